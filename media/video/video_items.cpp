#include "media/video/video_items.h"

#include "files/big_stream.h"
#include "files/vr_file_manager.h"
#include "media/audio/sound_items.h"
#include "media/base/media_managers.h"
#include "media/companion/video_companion.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"

bool TVideoItem::ExtractedFirst(const std::string& name) {
    if (IsPlainPath(name)) return false;
    const std::string ext = LowerFileExt(name);
    return !ext.empty() && std::string(".wmv.asf.").find(ext + ".") != std::string::npos;
}

TVideoItem::TVideoItem(TVideoManager* manager, const std::string& name, bool overlay)
    : TDMediaItem(manager), FOverlay(overlay) {
    // The video's sound plays through the device the module was handed.
    if (MediaSoundComponent) PrepareLibrarySound(*MediaSoundComponent);
    std::string path = name;
    if (ExtractedFirst(name)) {
        if (!FileManager) throw EFOpenError(name);
        path = FileManager->GetLocalFileName(name);
        FStream = std::make_unique<TFileRangeStream>(path, 0, 0);
    } else {
        FStream = OpenMediumStream(name);
    }
    FHandle = vorqVidmanAdd(path.c_str(), FStream.get(), overlay ? -1 : 0);
    if (overlay && manager) manager->ShowOverlay(this);
}

TVideoItem::~TVideoItem() {
    if (auto* m = dynamic_cast<TVideoManager*>(Manager())) m->HideOverlay(this);
    // The module stops reading the stream before it is freed.
    vorqVidmanDel(FHandle);
}

bool TVideoItem::GetAutoRepeat() { return vorqVideoGetAutoRepeat(FHandle) != 0; }
void TVideoItem::SetAutoRepeat(bool on) { vorqVideoSetAutoRepeat(FHandle, on ? -1 : 0); }
int32_t TVideoItem::GetPan() { return vorqVideoGetPan(FHandle); }
int32_t TVideoItem::GetVolume() { return vorqVideoGetVol(FHandle); }
void TVideoItem::SetPan(int32_t pan) { vorqVideoSetPan(FHandle, pan); }
void TVideoItem::SetVolume(int32_t volume) { vorqVideoSetVol(FHandle, volume); }
int32_t TVideoItem::GetPosition() { return vorqVideoGetPosition(FHandle); }
void TVideoItem::SetPosition(int32_t ms) { vorqVideoSetPosition(FHandle, ms); }
int32_t TVideoItem::GetLength() { return vorqVideoGetLen(FHandle); }
bool TVideoItem::CheckEnd() { return vorqVideoIsEnd(FHandle) != 0; }
bool TVideoItem::IsPlaying() { return vorqVideoIsPlaying(FHandle) != 0; }
bool TVideoItem::IsPaused() { return vorqVideoIsPaused(FHandle) != 0; }
void TVideoItem::Play() { vorqVideoPlay(FHandle); }
void TVideoItem::Pause() { vorqVideoPause(FHandle); }
bool TVideoItem::GetVisible() { return vorqVideoGetVisible(FHandle) != 0; }
void TVideoItem::SetVisible(bool on) { vorqVideoSetVisible(FHandle, on ? -1 : 0); }
void TVideoItem::SetRect(const TRect& source, const TRect& dest) { vorqVideoSetRect(FHandle, &source, &dest); }
int32_t TVideoItem::SourceWidth() { return vorqVideoGetSourceWidth(FHandle); }
int32_t TVideoItem::SourceHeight() { return vorqVideoGetSourceHeight(FHandle); }
bool TVideoItem::NeedPaint() { return vorqVideoNeedPaint(FHandle) != 0; }
const VideoPicture* TVideoItem::GetDC() { return vorqVideoGetDC(FHandle); }
void TVideoItem::DrawOverlay(Video& window, TPoint view_origin) { vorqVideoPaintOverlay(FHandle, window, view_origin); }

TDMediaItem* TVideoManager::Add(const std::string& name, bool overlay) {
    return Adopt(std::make_unique<TVideoItem>(this, name, overlay));
}
