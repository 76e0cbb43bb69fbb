#include "objects/film/cinema.h"

#include "script/game_clock.h"
#include "files/field_reader.h"
#include "files/save_stream.h"
#include "files/vr_file_manager.h"
#include "media/audio/sound_items.h"
#include "objects/base_list.h"
#include "objects/film/film_manager.h"
#include "objects/object_record.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "render/custom_dibx.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kFrameMs = 16.666666666666668;

bool default_film_test(const std::string& name) {
    if (name.empty()) return false;
    if (IsPlainPath(name)) return FileExists(name);
    return FileManager && FileManager->FileExists(name);
}

int32_t RoundMs(double v) {
    const double r = std::nearbyint(v);
    if (!(r > -2147483648.0)) return INT32_MIN;
    if (!(r < 2147483647.0)) return INT32_MAX;
    return static_cast<int32_t>(r);
}

TRect Moved(const TRect& r, int32_t dx, int32_t dy) {
    return TRect{WrapAdd(r.Left, dx), WrapAdd(r.Top, dy), WrapAdd(r.Right, dx), WrapAdd(r.Bottom, dy)};
}
}  // namespace

bool (*CinemaFileExists)(const std::string& name) = default_film_test;

TVorqCinema::TVorqCinema(TVorqBaseList* registry)
    : TVorqControl(registry), FScene(std::make_unique<TVorqBaseList>(registry)) {
    // The private scene composes at the depth of the layer it is copied to.
    if (registry) FScene->SurfaceBits = registry->CurrentSurfaceBits();
}

TVorqCinema::~TVorqCinema() {
    // The film's tracks scrap their objects in the private scene and the
    // scene's registry: both must still be there.
    FFilm.reset();
    FScene.reset();
}

void TVorqCinema::SetWidth(int32_t v) {
    TVorqControl::SetWidth(v);
    FScene->SetWidth(v);
}

void TVorqCinema::SetHeight(int32_t v) {
    TVorqControl::SetHeight(v);
    FScene->SetHeight(v);
}

void TVorqCinema::SetFileName(const std::string& name) {
    Invalidate();
    if (name == FSource) return;
    FSource = name;
    FFilm.reset();
    FPrivate = 0;
    FElapsed = 0;
    FEnded = 0;
    FCountdown = 2;
    std::unique_ptr<TFilmManager> film;
    if (CinemaFileExists(name)) {
        film = std::make_unique<TFilmManager>();
        film->sound_volume_scale = FVolume;
        film->scene = FRegistry;
        // A film that cannot be read (cut short, damaged) leaves the cinema
        // without one, as a missing file does; a scene being loaded goes on.
        try {
            film->LoadFromFile(name);
        } catch (const Exception&) {
            film.reset();
        }
    }
    if (film) {
        if (film->NeedsOwnLayers() || film->color >= 0) {
            film->SetTarget(FScene.get());
            FPrivate = 1;
        } else {
            // The film's objects become this cinema's children in the scene.
            film->SetTarget(FRegistry);
            film->bound_cinema = this;
        }
        SetWidth(film->width);
        SetHeight(film->height);
        FFilm = std::move(film);
        FFilm->Start();
        apply_film_pause();
    }
    FScene->Update();
    Invalidate();
}

int32_t TVorqCinema::GetIndex() const { return FFilm ? FFilm->current_frame : 0; }

void TVorqCinema::SetIndex(int32_t v) {
    const double ms = std::trunc(v * kFrameMs);
    FElapsed = ms >= 2147483647.0 ? INT32_MAX : ms <= -2147483648.0 ? INT32_MIN : static_cast<int32_t>(ms);
    FEnded = 0;
    FCountdown = 2;
}

int32_t TVorqCinema::GetCount() const { return FFilm ? FFilm->Length() : 0; }

void TVorqCinema::SetRepeat(bool v) {
    if (v == (FRepeat != 0)) return;
    FRepeat = v;
    if (v) {
        FEnded = 0;
    }
}

void TVorqCinema::apply_film_pause() {
    if (FFilm) FFilm->SetPaused(FPaused || GetAniPaused());
}

void TVorqCinema::SetPaused(bool v) {
    if (v == (FPaused != 0)) return;
    FPaused = v;
    apply_film_pause();
}

void TVorqCinema::SetAniPaused(bool v) {
    if (v == (FAniPaused != 0)) return;
    TVorqControl::SetAniPaused(v);
    apply_film_pause();
}

bool TVorqCinema::GetPlaying() const {
    if (!FFilm || GetIndex() >= GetCount() - 1 || FPaused) return false;
    return !GetAniPaused();
}

void TVorqCinema::SetVolume(int32_t v) {
    FVolume = std::max(v, 0);
    if (FFilm) FFilm->sound_volume_scale = FVolume;
}

bool TVorqCinema::Update() {
    bool finished = TVorqControl::Update();
    FDrawn = 0;
    if (!FFilm) return finished;
    FFilm->SetSoundOn(!GetAniPaused() && !FPaused);
    if (FPaused) return finished;
    if (!FEnded && !GetAniPaused() && FCountdown < 1) FElapsed = WrapAdd(FElapsed, static_cast<int32_t>(FrameTime));
    int32_t frame = RoundMs(FElapsed / kFrameMs);
    const int32_t length = FFilm->Length();
    if (frame >= length) {
        if (!FRepeat) {
            FEnded = 1;
            if (FAutoScrap) {
                finished = true;
            } else if (!FOnPlayEnd.empty()) {
                // A film resting at its end reports it on every update.
                QueueEventUnlessWaiting(FOnPlayEnd, PR_ONPLAYEND);
            }
            frame = length - 1;
        } else {
            frame = static_cast<int32_t>(
                std::min<int64_t>(int64_t(frame) % std::max(length, 1) + FFilm->loop_start, int64_t(length) - 1));
            FElapsed = RoundMs(frame * kFrameMs);
        }
        // An empty film rests on frame 0, never on -1.
        frame = std::max(frame, 0);
    }
    if (FCountdown == 2 || frame != FFilm->current_frame) FFilm->SetFrame(frame);
    if (FCountdown > 0) --FCountdown;
    if (FPrivate) {
        FScene->Update();
        TVorqBase* own = GetBase();
        if (FScene->TransitionKind != 0 || FScene->Transition()) {
            Invalidate();
        } else if (own) {
            // Only what shows through the cinema's clip needs redrawing.
            const TRect r = GetRect();
            const TRect clip = GetClipRect();
            TClipList& dirty = FScene->ActiveBase()->DirtyList;
            for (int32_t i = 0; i < dirty.Count(); ++i) {
                TRect d = Moved(dirty.GetRect(i), r.Left, r.Top);
                if (!RectIsEmpty(clip)) d = IntersectRects(d, clip);
                if (!RectIsEmpty(d)) own->AddDirtyRect(d);
            }
        }
    }
    return finished;
}

void TVorqCinema::Draw() {
    if (!GetVisible()) return;
    if (!FFilm || !FPrivate) {
        TVorqControl::Draw();
        return;
    }
    TCustomDIBX* dst = GetSurface();
    if (!dst) return;
    const TRect r = GetRect();
    // The layer calls Draw once per dirty rectangle: the private scene is
    // composed once, with all of them.
    if (!FDrawn) {
        TVorqBase* pl = FScene->ActiveBase();
        if (TVorqBase* own = GetBase())
            for (int32_t i = 0; i < own->DirtyList.Count(); ++i)
                pl->AddDirtyRect(Moved(own->DirtyList.GetRect(i), -r.Left, -r.Top));
        FScene->Draw();
        FScene->ClearDirty();
        FDrawn = 1;
    }
    TCustomDIBX* src = FScene->GetOwnSurface();
    if (src && !src->IsEmpty() && src->BitCount() == dst->BitCount()) {
        // The part of the private scene inside the cinema's clip and the
        // rectangle being redrawn.
        TRect area = IntersectRects(Bounds(r.Left, r.Top, src->Width(), src->Height()), dst->GetClipRect());
        const TRect clip = GetClipRect();
        if (!RectIsEmpty(clip)) area = IntersectRects(area, clip);
        if (!RectIsEmpty(area))
            dst->Draw(area.Left, area.Top, *src, Moved(area, -r.Left, -r.Top), false, false, false);
    }
    TVorqControl::Draw();
}

TVorqObject* TVorqCinema::HitTest(const TPoint& p, uint32_t mask) {
    if (!GetVisible() || !PointInRect(p, GetRect())) return nullptr;
    TVorqObject* candidate = nullptr;
    const uint8_t m = GetIgnoreMouse();
    if (m < 8 && ((mask >> m) & 1)) candidate = this;
    // The film's own objects are part of the picture, not targets.
    for (size_t i = FChildren.size(); i-- > 0;) {
        if (IsInternalName(FChildren[i]->GetName())) continue;
        if (TVorqObject* hit = FChildren[i]->HitTest(p, mask)) return hit;
    }
    return candidate;
}

void TVorqCinema::ReleaseSurfaces() {
    TVorqControl::ReleaseSurfaces();
    FScene->ReleaseSurfaces();
}

void TVorqCinema::RestoreSurfaces() {
    TVorqControl::RestoreSurfaces();
    FScene->RestoreSurfaces();
    if (FFilm && !FPaused) FFilm->SetFrame(FFilm->current_frame);
}

void TVorqCinema::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    WriteStreamString(s, FSource);
    WriteStreamByte(s, FRepeat);
    WriteStreamByte(s, FPaused);
    WriteStreamByte(s, FAutoScrap);
    WriteStreamString(s, FOnPlayEnd);
    WriteStreamString(s, FOnIdle);
    WriteStreamInteger(s, GetIndex());
    WriteStreamByte(s, FRewindOnLoad);
    WriteStreamInteger(s, FVolume);
    WriteStreamByte(s, FMuteOnLoad);
}

void TVorqCinema::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    const std::string source = r.String("source");
    const uint8_t repeat = r.U8("repeat");
    const uint8_t paused = r.U8("paused");
    FAutoScrap = r.U8("auto scrap");
    FOnPlayEnd = r.String("play-end handler");
    if (version >= 104) FOnIdle = r.String("idle handler");
    int32_t index = 0;
    if (version >= 117) {
        index = r.I32("index");
        FRewindOnLoad = r.U8("rewind on load");
    }
    if (version >= 129) {
        FVolume = r.I32("volume");
        FMuteOnLoad = r.U8("mute on load");
    } else {
        FMuteOnLoad = 0;
    }
    // Fields first, the film last: a damaged record loads no film.
    SetFileName(source);
    FRepeat = repeat;
    SetPaused(paused != 0);
    if (index >= 1 && !FRewindOnLoad) SetIndex(index);
    if (FMuteOnLoad) FVolume = 0;
    SetVolume(FVolume);
}
