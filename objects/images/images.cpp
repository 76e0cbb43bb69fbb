#include "objects/images/images.h"

#include "script/game_clock.h"
#include "script/param.h"
#include "files/save_stream.h"
#include "objects/object_record.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"
#include "render/custom_dibx.h"

// ---- TVorqCustomImages ----

TVorqCustomImages::TVorqCustomImages(TVorqBaseList* registry, int create_flags)
    : TVorqCustomImage(registry, create_flags) {}

TVorqCustomImages::~TVorqCustomImages() = default;

bool TVorqCustomImages::ValidFrame(int32_t index) const {
    const TVorqImageList* list = GetCurrentList();
    return list && index >= 0 && index < list->Count();
}

void TVorqCustomImages::SetVisible(bool v) {
    TVorqCustomImage::SetVisible(v);
    FCountdown = 0;
}

bool TVorqCustomImages::GetPlaying() const {
    if (TControlMotion* m = GetMotion()) return !m->Ended() && !GetPaused() && !GetAniPaused();
    if (!GetRepeat() && FIndex >= GetCount() - 1 && FCountdown < 1) return false;
    return !GetPaused() && !GetAniPaused();
}

void TVorqCustomImages::SetBrightness(int32_t v) {
    if (v == FLevel) return;
    FLevel = v;
    if (!ValidFrame(FIndex)) return;
    TVorqImageData* d = GetCurrentList()->GetItem(FIndex);
    d->SetBrightness(v);
    SetPictureSurface(d->GetSurface());
    Invalidate();
}

int32_t TVorqCustomImages::GetIndex() const {
    if (TControlMotion* m = GetMotion()) return m->CurrentFrame();
    return FIndex;
}

int32_t TVorqCustomImages::GetCount() const {
    if (TControlMotion* m = GetMotion()) return m->Length();
    const TVorqImageList* list = GetCurrentList();
    return list ? list->Count() : 0;
}

void TVorqCustomImages::SetPaused(bool v) {
    if (v == (FPaused != 0)) return;
    FPaused = v;
    FCountdown = 0;
}

void TVorqCustomImages::SetIndex(int32_t v) {
    if (v == FIndex) return;
    if (TControlMotion* m = GetMotion()) {
        m->SetElapsedMs(static_cast<int32_t>(int64_t(v) * 1000 / 60));
        return;
    }
    if (!ValidFrame(FIndex)) FCountdown = 0;
    else Invalidate();
    FIndex = v;
    FEndReported = false;
    if (!ValidFrame(v)) return;
    TVorqImageList& list = *GetCurrentList();
    TVorqImageData& d = *list.GetItem(v);
    d.SetBrightness(FLevel);
    SetPictureSurface(d.GetSurface());
    SetMaskSurface(d.GetMask());
    SetTransparentColorField(d.GetTransparentColor());
    FCountdown = WrapAdd(FCountdown, d.GetDelay());
    if (v == list.Count() - 1 && list.Count() >= 2 && FLastFrameDelay.Count() > 0) {
        FLastFrameDelay.Evaluate();
        if (TCustomParam* extra = FLastFrameDelay.Result()) FCountdown = WrapAdd(FCountdown, extra->GetAsInt());
    }
    // The size setters invalidate the old and the new area.
    if (IsSizedByImage()) {
        RecalcWidth();
        RecalcHeight();
    }
}

bool TVorqCustomImages::Update() {
    bool r = TVorqCustomImage::Update();
    if (GetMotion() || !ValidFrame(FIndex) || !GetVisible() || GetPaused() || GetAniPaused()) return r;
    if (FCountdown > 0) FCountdown = WrapSub(FCountdown, static_cast<int32_t>(FrameTime));
    bool stopped = false;
    while (FCountdown < 1 && !stopped) {
        const int32_t count = GetCurrentList()->Count();
        if (FIndex < count - 1) {
            // Two frames: every advance starts afresh, so none is skipped.
            if (count < 3) FCountdown = 0;
            SetIndex(FIndex + 1);
            continue;
        }
        stopped = true;
        if (GetRepeat()) {
            FCountdown = 0;
            SetIndex(0);
        } else if (!GetAutoScrap()) {
            // Resting on the last frame reports the end once, not every frame.
            const std::string label = GetOnPlayEnd();
            if (!label.empty() && !FEndReported) QueueEvent(label, PR_ONPLAYEND);
            FEndReported = true;
        } else {
            r = true;
        }
    }
    return r;
}

void TVorqCustomImages::DrawImage() {
    // Without a frame an image set shows nothing (not its blank own surface).
    if (!HasPictureSurface()) return;
    TVorqCustomImage::DrawImage();
}

void TVorqCustomImages::SaveToStream(TStream& s) {
    TVorqCustomImage::SaveToStream(s);
    WriteStreamInteger(s, FCountdown);
    WriteStreamInteger(s, GetIndex());
    WriteStreamInteger(s, FLevel);
    WriteStreamByte(s, FPaused);
    FLastFrameDelay.SaveToStream(s);
}

void TVorqCustomImages::LoadFromStream(TStream& s, int32_t version) {
    TVorqCustomImage::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    FCountdown = r.I32("countdown");
    FIndex = r.I32("index");
    FLevel = r.I32("brightness");
    FPaused = r.U8("paused");
    FLastFrameDelay.LoadFromStream(s);
}

void TVorqCustomImages::ReleaseSurfaces() {
    SetPictureSurface(nullptr);
    TVorqCustomImage::ReleaseSurfaces();
}

void TVorqCustomImages::RestoreSurfaces() {
    if (ValidFrame(FIndex)) SetPictureSurface(GetCurrentList()->GetItem(FIndex)->GetSurface());
    TVorqCustomImage::RestoreSurfaces();
}

void AssignImageDelayExpression(TVorqObject& obj, const TVorqParser* delay) {
    auto* images = dynamic_cast<TVorqCustomImages*>(&obj);
    if (images && delay) images->LastFrameDelay().Assign(*delay);
}

// ---- TVorqImages ----

TVorqImages::TVorqImages(TVorqBaseList* registry, int picture_states, int create_flags)
    : TVorqCustomImages(registry, create_flags) {
    for (int i = 0; i < picture_states; ++i) FLists.push_back(std::make_unique<TVorqImageList>());
}

TVorqImages::~TVorqImages() {
    // The borrowed frame goes before the lists that own it.
    SetPictureSurface(nullptr);
    SetMaskSurface(nullptr);
}

TVorqImageList* TVorqImages::GetCurrentList() const {
    const int32_t state = GetPictureState();
    if (state < 0 || state >= GetPictureStateCount()) return nullptr;
    return FLists[static_cast<size_t>(state)].get();
}

void TVorqImages::SetSource(const std::string& v) {
    if (v == FSource) return;
    FSource = v;
    if (GetPictureState() == 0) {
        SetIndex(-1);
        SetPictureSurface(nullptr);
        SetMaskSurface(nullptr);
    }
    FLists[0]->Clear();
    if (FMotion) {
        FMotion->ClearTarget();
        FMotion.reset();
    }
    const std::string ext = AnsiLowerCase(ExtractFileExt(v));
    if (ext == ".tes") {
        FLists[0]->LoadFromFile(this, v, false);
    } else if (ext == ".vmt") {
        AttachMotion(v);
        if (FMotion) FMotion->Step();
    }
    if (GetPictureState() == 0 && FLists[0]->Count() > 0) SetIndex(0);
}

void TVorqImages::SetRepeat(bool v) {
    if (v == (FRepeat != 0)) return;
    FRepeat = v;
    if (!v) return;
    if (!FMotion) {
        if (!ValidFrame(FIndex)) SetIndex(0);
    } else if (FMotion->Ended()) {
        RestartMotion();
    }
}

void TVorqImages::SaveToStream(TStream& s) {
    TVorqCustomImages::SaveToStream(s);
    WriteStreamByte(s, FRepeat);
    WriteStreamByte(s, FAutoScrap);
    WriteStreamString(s, FSource);
    WriteStreamString(s, FOnPlayEnd);
    WriteStreamString(s, FOnIdle);
}

void TVorqImages::LoadFromStream(TStream& s, int32_t version) {
    TVorqCustomImages::LoadFromStream(s, version);
    const int32_t index = FIndex;
    FieldReader r = ObjectRecordReader(s);
    FRepeat = r.U8("repeat");
    FAutoScrap = r.U8("auto scrap");
    const std::string source = r.String("source");
    FOnPlayEnd = r.String("play-end handler");
    if (version >= 104) FOnIdle = r.String("idle handler");
    // The frame list is empty after loading: the source loads it again.
    FSource.clear();
    FIndex = -1;
    SetSource(source);
    SetIndex(index);
}

void TVorqImages::ReleaseSurfaces() {
    TVorqCustomImages::ReleaseSurfaces();
    for (auto& list : FLists) list->ReleaseAdjusted();
}

void TVorqImages::RestoreSurfaces() {
    for (auto& list : FLists) list->RebuildAdjusted();
    TVorqCustomImages::RestoreSurfaces();
}
