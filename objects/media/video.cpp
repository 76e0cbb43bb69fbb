#include "objects/media/video.h"

#include "script/game_clock.h"
#include "files/save_stream.h"
#include "media/base/media_managers.h"
#include "media/base/screen_manager.h"
#include "media/companion/video_companion.h"
#include "media/video/video_items.h"
#include "objects/base_list.h"
#include "objects/object_record.h"
#include "objects/media/sound.h"
#include "objects/media/volume_fade.h"
#include "platform/system/clock.h"
#include "render/dibx.h"

#include <algorithm>
#include <bit>

namespace {
// A side of the source at a zoom in 1/256, cut toward zero.
int32_t zoomed_side(int32_t side, int32_t zoom) { return static_cast<int32_t>(int64_t{side} * zoom / 256); }

void remove_item(TVideoItem*& item) {
    if (item && item->Manager()) item->Manager()->Remove(item);
    item = nullptr;
}
}  // namespace

TVorqVideo::TVorqVideo(TVorqBaseList* registry, int create_flags) : TVorqSoundLike(registry, create_flags) {
    TVorqCustomImage::SetZoomX(256);
    TVorqCustomImage::SetZoomY(256);
}

TVorqVideo::~TVorqVideo() {
    SetPictureSurface(nullptr);
    FFade.reset();
    remove_items();
    free_frame();
    Invalidate();
}

void TVorqVideo::remove_items() {
    // The fade reads the item: it goes first.
    FFade.reset();
    remove_item(FItem);
    remove_item(FFadingItem);
}

void TVorqVideo::free_frame() {
    SetPictureSurface(nullptr);
    FFrame.reset();
}

int32_t TVorqVideo::EffectiveVolume() const { return SoundItemVolume(FVolume, false); }

void TVorqVideo::SetSource(const std::string& v) {
    if (v == FSource) return;
    FSource = v;
    SetPictureSurface(nullptr);
    // A fade left running would drive the freed item.
    remove_items();
    free_frame();
    FPlayState = PS_STOP;
}

void TVorqVideo::SetVolume(int32_t v) {
    if (v == FVolume) return;
    FVolume = v;
    if (FItem) FItem->SetVolume(EffectiveVolume());
    if (FFade && !FFade->IsFadeOut()) FFade->SetEndVolume(EffectiveVolume());
}

void TVorqVideo::SetRepeat(bool v) {
    FRepeat = v;
    if (!FItem) return;
    FItem->SetAutoRepeat(v);
    if (v && !FPaused && FItem->GetPosition() >= FItem->GetLength() - 1) {
        FItem->SetPosition(0);
    }
}

void TVorqVideo::running_changed(bool was_running) {
    if (running() == was_running || !FItem) return;
    if (!running()) {
        FItem->Pause();
    } else if (FPlayState == PS_FADEIN) {
        start_fadein();
    } else {
        FItem->Play();
    }
}

void TVorqVideo::SetPaused(bool v) {
    if (v == (FPaused != 0)) return;
    const bool was = running();
    FPaused = v;
    running_changed(was);
}

void TVorqVideo::SetAniPaused(bool v) {
    if (v == (FAniPaused != 0)) return;
    const bool was = running();
    FAniPaused = v;
    running_changed(was);
}

void TVorqVideo::SetIndex(int32_t v) {
    FStartPos = v;
    if (!FItem) return;
    FItem->SetPosition(v);
}

int32_t TVorqVideo::GetCount() const {
    if (FItem) return FItem->GetLength();
    TVideoManager* manager = VideoManager();
    if (!manager || !SoundFileExists(FSource)) return 0;
    TDMediaItem* probe = manager->Add(FSource, false);
    const int32_t length = probe->GetLength();
    manager->Remove(probe);
    return length;
}

bool TVorqVideo::GetPlaying() const {
    if (FPaused || FAniPaused) return false;
    if (FRepeat) return true;
    return FItem && FItem->GetPosition() < FItem->GetLength() - 1;
}

void TVorqVideo::SetOverlay(bool v) {
    if (v == (FOverlay != 0)) return;
    FOverlay = v;
    if (!FItem) return;
    // The video reopens in the other mode where it was.
    const int32_t at = FItem->GetPosition();
    SetPlayState(PS_STOP);
    FStartPos = at;
    SetPlayState(PS_PLAY);
}

void TVorqVideo::resize_to_source() {
    const int32_t w = FItem ? zoomed_side(FItem->SourceWidth(), GetZoomX()) : 0;
    const int32_t h = FItem ? zoomed_side(FItem->SourceHeight(), GetZoomY()) : 0;
    TVorqControl::SetWidth(w);
    TVorqControl::SetHeight(h);
}

void TVorqVideo::SetZoomX(int32_t v) {
    if (v == GetZoomX()) return;
    TVorqCustomImage::SetZoomX(v);  // invalidates and stores at least 1
    TVorqControl::SetWidth(FItem ? zoomed_side(FItem->SourceWidth(), GetZoomX()) : 0);
    if (FOverlay) update_placement();
    else Invalidate();
}

void TVorqVideo::SetZoomY(int32_t v) {
    if (v == GetZoomY()) return;
    TVorqCustomImage::SetZoomY(v);
    TVorqControl::SetHeight(FItem ? zoomed_side(FItem->SourceHeight(), GetZoomY()) : 0);
    if (FOverlay) update_placement();
    else Invalidate();
}

#define VIDEO_PLACED_SETTER(Name, Getter)        \
    void TVorqVideo::Name(int32_t v) {           \
        if (v == Getter()) return;               \
        TVorqCustomImage::Name(v);               \
        if (FOverlay) update_placement();        \
    }
VIDEO_PLACED_SETTER(SetLeft, GetLeft)
VIDEO_PLACED_SETTER(SetTop, GetTop)
VIDEO_PLACED_SETTER(SetOffsetX, GetOffsetX)
VIDEO_PLACED_SETTER(SetOffsetY, GetOffsetY)
VIDEO_PLACED_SETTER(SetPlusX, GetPlusX)
VIDEO_PLACED_SETTER(SetPlusY, GetPlusY)
#undef VIDEO_PLACED_SETTER

void TVorqVideo::SetVisible(bool v) {
    if (v == (FVisible != 0)) return;
    TVorqCustomImage::SetVisible(v);
    if (FOverlay) update_placement();
}

// Where the module draws an overlay: the object's rectangle clipped to its
// parents and its own clip area, and the part of the source that shows.
// The window scales the whole game picture by the display zoom itself.
void TVorqVideo::update_placement() {
    if (!FOverlay || !FItem) return;
    const int32_t sw = FItem->SourceWidth(), sh = FItem->SourceHeight();
    const int32_t zx = std::max(GetZoomX(), 1), zy = std::max(GetZoomY(), 1);
    const TRect shown = Bounds(GetScreenX(), GetScreenY(), zoomed_side(sw, zx), zoomed_side(sh, zy));
    TRect visible = shown;
    for (TVorqControl* p = GetParent(); p; p = p->GetParent()) visible = IntersectRects(visible, p->GetRect());
    AdjustDirtyRect(visible);
    const TRect clip = GetClipRect();
    if (!RectIsEmpty(clip)) visible = IntersectRects(visible, clip);
    if (RectIsEmpty(visible) || !IsShownOnActiveBase()) {
        FItem->SetVisible(false);
        return;
    }
    const TRect source{static_cast<int32_t>(int64_t{visible.Left - shown.Left} * 256 / zx),
                       static_cast<int32_t>(int64_t{visible.Top - shown.Top} * 256 / zy),
                       sw - static_cast<int32_t>(int64_t{shown.Right - visible.Right} * 256 / zx),
                       sh - static_cast<int32_t>(int64_t{shown.Bottom - visible.Bottom} * 256 / zy)};
    FItem->SetRect(source, visible);
    FItem->SetVisible(true);
}

void TVorqVideo::SetPlayState(uint8_t state) {
    FFade.reset();
    FPlayState = state;
    if (state == PS_PLAY || state == PS_FADEIN) {
        if (FItem) return;
        TVideoManager* manager = VideoManager();
        if (!manager || !SoundFileExists(FSource)) return;
        FItem = static_cast<TVideoItem*>(manager->Add(FSource, FOverlay != 0));
        FItem->SetAutoRepeat(FRepeat != 0);
        const int32_t bits = FRegistry ? FRegistry->CurrentSurfaceBits() : DisplayBitCount();
        if (DeviceSurfacesAllowed()) FFrame = std::make_unique<TDxDIBX>();
        else FFrame = std::make_unique<TDIBX>();
        FFrame->SetSize(std::max(1, FItem->SourceWidth()), std::max(1, FItem->SourceHeight()),
                        bits > 0 ? bits : DisplayBitCount());
        FFrame->Fill(0);
        SetPictureSurface(FFrame.get());
        resize_to_source();
        if (FOverlay && GetVisible()) update_placement();
        Invalidate();
        FItem->SetPan(FBalance);
        FStartTime = GameClock;
    } else if (state == PS_STOP) {
        if (!FItem) return;
        Invalidate();
        remove_item(FItem);
        free_frame();
        FStartPos = 0;
    }
    switch (FPlayState) {
    case PS_PLAY:
        FItem->SetVolume(EffectiveVolume());
        FItem->Play();
        if (!running()) FItem->Pause();
        if (FStartPos > 0) FItem->SetPosition(FStartPos);
        break;
    case PS_FADEIN:
        if (running()) start_fadein();
        break;
    case PS_FADEOUT:
        if (!FItem) {
            Scrap();
            break;
        }
        FFade = std::make_unique<TVorqMixerFadeout>(FItem, FDelay);
        // The fade drives the item from now on; the object lets it go and
        // removes it when the fade is over.
        remove_item(FFadingItem);
        FFadingItem = FItem;
        FItem = nullptr;
        FStartPos = 0;
        break;
    default: break;
    }
}

void TVorqVideo::Restart() {
    FStartPos = 0;
    FPaused = 0;
    SetPlayState(PS_FADEIN);
    if (!FItem) return;
    FFade.reset();
    if (FDelay > 0) {
        FItem->Pause();
        FItem->SetVolume(-10000);
        FItem->SetPosition(0);
        start_fadein();
    } else {
        FItem->SetVolume(EffectiveVolume());
        FItem->SetPosition(0);
        if (FItem->IsPaused() || !FItem->IsPlaying()) FItem->Play();
    }
}

void TVorqVideo::EnterCabinet() {
    if (!FItem || !running() || FPlayState >= PS_STOP) return;
    FItem->Pause();
    FItem->Play();
}

void TVorqVideo::LeaveCabinet() { EnterCabinet(); }

bool TVorqVideo::Update() {
    if (TVorqCustomImage::Update()) return true;
    if (FItem) {
        if (FOverlay && IsShownOnActiveBase() != FItem->GetVisible()) update_placement();
        const uint32_t now = TimeGetTime();
        if (now - FLastCheck >= 33) {
            FLastCheck = now;
            if (FItem->NeedPaint()) Invalidate();
        }
        // A video resting at its end reports it on every update, until the
        // scenario stops or restarts it.
        if (!FRepeat && FItem->CheckEnd()) {
            if (FAutoScrap) Scrap();
            else if (!FOnPlayEnd.empty()) QueueEventUnlessWaiting(FOnPlayEnd, PR_ONPLAYEND);
        }
    }
    if (FFade && FFade->Step()) {
        const bool out = FFade->IsFadeOut();
        FFade.reset();
        if (out) {
            remove_item(FFadingItem);
            Invalidate();
            return true;
        }
    }
    return false;
}

// Copies the frame due now into the frame surface, converting the module's
// 32-bit pixels to the surface's depth.
void TVorqVideo::copy_frame() {
    const VideoPicture* pic = FItem->GetDC();
    if (!pic || !pic->Pixels) return;
    TCustomDIBX& s = *FFrame;
    const int32_t w = std::min(pic->Width, s.Width()), h = std::min(pic->Height, s.Height());
    uint8_t* base = s.Lock(0, 0);
    if (!base) return;
    const int32_t pitch = s.Pitch();
    const int32_t bits = s.BitCount();
    const int rs = s.RedShift(), gs = s.GreenShift(), bs = s.BlueShift();
    const int rl = 8 - std::popcount(s.RedMask()), gl = 8 - std::popcount(s.GreenMask()),
              bl = 8 - std::popcount(s.BlueMask());
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* in = pic->Pixels + size_t(y) * size_t(pic->Width);
        uint8_t* row = base + int64_t{y} * pitch;
        if (bits == 32) {
            auto* out = reinterpret_cast<uint32_t*>(row);
            for (int32_t x = 0; x < w; ++x) out[x] = in[x] & 0xFFFFFFu;
        } else if (bits == 15 || bits == 16) {
            auto* out = reinterpret_cast<uint16_t*>(row);
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t p = in[x];
                out[x] = static_cast<uint16_t>((((p >> 16) & 0xFF) >> rl) << rs | (((p >> 8) & 0xFF) >> gl) << gs |
                                               ((p & 0xFF) >> bl) << bs);
            }
        }
    }
    s.Unlock();
}

void TVorqVideo::Draw() {
    // The last frame copied stays the picture until a newer one is due, so
    // a redraw of the area without a new frame still shows the video.
    if (FItem && FFrame && !FOverlay) {
        if (FItem->NeedPaint()) copy_frame();
        DrawImage();
    }
    TVorqControl::Draw();
}

void TVorqVideo::SaveToStream(TStream& s) {
    TVorqCustomImage::SaveToStream(s);
    WriteStreamString(s, FSource);
    WriteStreamByte(s, FRepeat);
    WriteStreamByte(s, FAutoScrap);
    WriteStreamByte(s, FPaused);
    WriteStreamInteger(s, FVolume);
    WriteStreamInteger(s, FBalance);
    WriteStreamInteger(s, FDelay);
    WriteStreamInteger(s, GetIndex());
    WriteStreamByte(s, FPlayState);
    WriteStreamString(s, FOnPlayEnd);
    WriteStreamString(s, FOnIdle);
    WriteStreamByte(s, FRewindOnLoad);
    WriteStreamByte(s, FOverlay);
    WriteStreamByte(s, FMuteOnLoad);
}

void TVorqVideo::LoadFromStream(TStream& s, int32_t version) {
    TVorqCustomImage::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    const std::string source = r.String("source");
    FRepeat = r.U8("repeat");
    FAutoScrap = r.U8("auto scrap");
    const uint8_t paused = r.U8("paused");
    FVolume = r.I32("volume");
    FBalance = r.I32("balance");
    const int32_t delay = r.I32("delay");
    FDelay = 0;
    const int32_t position = r.I32("position");
    const uint8_t state = r.U8("play state");
    FOnPlayEnd = r.String("play end handler");
    FOnIdle = r.String("idle handler");
    FRewindOnLoad = version >= 108 ? r.U8("rewind on load") : 0;
    if (version >= 112) FOverlay = r.U8("overlay");
    FMuteOnLoad = version >= 129 ? r.U8("mute on load") : 0;
    if (FMuteOnLoad) FVolume = 0;
    SetSource(source);
    FStartPos = FRewindOnLoad ? 0 : position;
    FPaused = paused;
    if (state == PS_FADEOUT) SetPlayState(PS_PLAY);
    FDelay = delay;
    SetPlayState(state);
}
