#include "objects/effects/particle.h"

#include "script/game_clock.h"
#include "script/param.h"
#include "files/number_text.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/object_record.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr long double kPi = 3.14159265358979323846264338327950288L;
constexpr long double kTwoPi = 2 * kPi;
constexpr long double kInt32Edge = 2147483647.0L;
constexpr double kFilmFrameMs = 16.666666666666668;

// The frame period as a divisor: never below 1 ms.
int32_t period() { return FramePeriod > 0 ? FramePeriod : 1; }

// Positions from reals: half-even rounding or truncation, held inside the
// 32-bit range (a sprite pushed that far has left every screen anyway);
// NaN gives 0.
int32_t clamp_i32(long double v) {
    if (std::isnan(v)) return 0;
    if (v >= kInt32Edge) return INT32_MAX;
    if (v <= -2147483648.0L) return INT32_MIN;
    // v is whole already: converting in the current (nearest) mode gives it
    // exactly, without the switch to truncation a cast makes.
    return static_cast<int32_t>(std::llrint(v));
}
// rint rounds half to even in the default mode, as nearbyint does, without
// saving and restoring the exception flags on every sprite step.
int32_t round_i32(long double v) { return clamp_i32(std::rint(v)); }
int32_t trunc_i32(long double v) { return clamp_i32(std::trunc(v)); }

int32_t clamp_i64(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Sine or cosine of an 80-bit angle. The library's own reduction of angles
// past pi/4 costs several times the sine itself, and a snow angle only
// grows; this reduces by pi/2 in three exact-product parts (Cody-Waite) and
// agrees with the library to the last bit or one unit of it.
long double sin_or_cos(long double x, bool cosine) {
    if (!(std::fabs(x) < 1048576.0L)) return cosine ? std::cos(x) : std::sin(x);
    constexpr long double kP1 = 0x1.921fb544p0L, kP2 = 0x42d18469p-64L, kP3 = 0x898cc51701b839a2p-128L;
    constexpr long double kTwoOverPi = 0.636619772367581343075535053490057448L;
    const long double k = std::rint(x * kTwoOverPi);
    const long double r = ((x - k * kP1) - k * kP2) - k * kP3;
    switch ((static_cast<int64_t>(k) + (cosine ? 1 : 0)) & 3) {
    case 0: return std::sin(r);
    case 1: return std::cos(r);
    case 2: return -std::sin(r);
    default: return -std::cos(r);
    }
}
long double sin_x(long double x) { return sin_or_cos(x, false); }
long double cos_x(long double x) { return sin_or_cos(x, true); }
}  // namespace

long double ParticleSinOrCos(long double x, bool cosine) { return sin_or_cos(x, cosine); }

namespace {

// round_i32(sin_or_cos(x) * f), the position of a sprite on its circle,
// with the sine taken in double precision. For |x| and |f| up to 2^16 the
// double product lies within 2^-20 of the extended one (the argument's
// rounding, the double sine's last unit, the product's rounding), so it
// rounds the same wherever it is more than 2^-12 from a half and well
// inside 32 bits; only elsewhere does the extended path run.
int32_t round_sin_times_of(long double x, long double f, bool cosine) {
    if (std::fabs(x) <= 65536.0L && std::fabs(f) <= 65536.0L) {
        const double xd = static_cast<double>(x);
        const double v = (cosine ? std::cos(xd) : std::sin(xd)) * static_cast<double>(f);
        const int64_t t = static_cast<int64_t>(v);
        const int64_t lo = v < static_cast<double>(t) ? t - 1 : t;
        const double frac = v - static_cast<double>(lo);
        if (std::fabs(frac - 0.5) > 0x1p-12) return static_cast<int32_t>(frac < 0.5 ? lo : lo + 1);
    }
    return round_i32(sin_or_cos(x, cosine) * f);
}

}  // namespace

int32_t ParticleRoundSinTimes(long double x, long double f, bool cosine) { return round_sin_times_of(x, f, cosine); }

namespace {
// The process-wide generator's real form, in [0, 1).
long double rnd() { return RandomReal(); }

// The object motion a sprite holds: it lets the control place the sprite by
// its motion position and steps the emitter's shared film on this sprite.
// The shared film is not owned, so it outlives every sprite.
class TParticleMotionLink : public TControlMotion {
public:
    TParticleMotionLink(TVorqMotionParticle& shared, TVorqParticleImages& sprite) : shared_(&shared), sprite_(sprite) {}
    bool Step() override {
        if (!shared_) return false;
        if (shared_->Step(sprite_)) ended_ = 1;
        return ended_ != 0;
    }
    bool Ended() const override { return ended_ != 0; }
    void Restart() override { ended_ = 0; }
    void ClearTarget() override { shared_ = nullptr; }
    void Reapply() override {}
    int32_t CurrentFrame() const override { return frame_; }
    int32_t Length() const override { return shared_ ? shared_->Length() : 0; }
    int32_t frame_ = 0;

private:
    TVorqMotionParticle* shared_;
    TVorqParticleImages& sprite_;
    uint8_t ended_ = 0;
};

int32_t round_frames(double v) {
    const double r = std::nearbyint(v);
    if (!(r > -2147483648.0)) return INT32_MIN;
    if (!(r < 2147483647.0)) return INT32_MAX;
    return static_cast<int32_t>(r);
}
}  // namespace

// ---- TParticleImageList ----

TParticleImageList::~TParticleImageList() { Clear(); }

TVorqParticleImages* TParticleImageList::Add() {
    TVorqBaseList* reg = emitter_.Registry();
    auto* sprite = new TVorqParticleImages(reg, this, emitter_.Motion());
    if (reg) {
        const std::string prefix = std::string(1, kInternalMark) + emitter_.GetName() + kInternalMark;
        sprite->StoreName(reg->MakeUniqueName(prefix, next_name_));
    }
    sprite->SetIgnoreMouse(1);
    // The emitter updates its sprites in its own turn, not the registry.
    sprite->SetDriver(&emitter_);
    items_.push_back(sprite);
    return sprite;
}

void TParticleImageList::Remove(TVorqParticleImages* sprite) {
    auto it = std::find(items_.begin(), items_.end(), sprite);
    if (it == items_.end()) return;
    items_.erase(it);
    sprite->ForgetList();
}

void TParticleImageList::Clear() {
    for (TVorqParticleImages* s : items_) {
        s->ForgetList();
        // One under another parent outlives the list, but not the
        // emitter's picture, whose frames it shows.
        if (s->GetParent() != &emitter_) {
            s->SetPictureSurface(nullptr);
            s->SetMaskSurface(nullptr);
        }
    }
    items_.clear();
}

// ---- TVorqMotionParticle ----

TVorqMotionParticle::TVorqMotionParticle(TVorqBaseList* scene) {
    film_.motion_mode = true;
    film_.scene = scene;
}

void TVorqMotionParticle::Load(const std::string& file_name) { film_.LoadFromFile(file_name); }

bool TVorqMotionParticle::Step(TVorqParticleImages& sprite) {
    if (!sprite.FilmOriginRecorded) {
        // Recorded at the sprite's own first step, whatever its age then:
        // a sprite born late in a long frame must not start where another
        // sprite started.
        sprite.FilmOrigin = film_.relative_mode ? FilmPoint{sprite.GetLeft(), sprite.GetTop()} : FilmPoint{};
        sprite.FilmBasePriority = sprite.GetPriority();
        sprite.FilmOriginRecorded = true;
    }
    const int32_t length = film_.Length();
    if (length <= 0) return true;
    int32_t frame = round_frames(sprite.MotionElapsed / kFilmFrameMs);
    bool ended = false;
    if (frame >= length) {
        frame = length - 1;
        ended = true;
    }
    if (frame < 0) frame = 0;
    film_.bound_object = &sprite;
    film_.origin = sprite.FilmOrigin;
    film_.base_priority = sprite.FilmBasePriority;
    film_.SetFrame(frame);
    film_.bound_object = nullptr;
    if (auto* link = dynamic_cast<TParticleMotionLink*>(sprite.GetMotion())) link->frame_ = frame;
    sprite.MotionElapsed = static_cast<int32_t>(static_cast<uint32_t>(sprite.MotionElapsed) + FrameTime);
    return ended;
}

// ---- TVorqParticleImages ----

TVorqParticleImages::TVorqParticleImages(TVorqBaseList* registry, TParticleImageList* list, TVorqMotionParticle* motion)
    : TVorqCustomImages(registry, kCreateRegister), FList(list), FShared(motion) {
    if (motion) FMotion = std::make_unique<TParticleMotionLink>(*motion, *this);
}

TVorqParticleImages::~TVorqParticleImages() {
    if (FList) FList->Remove(this);
    // The frame is the emitter's; the link goes before the control's own
    // clean-up so the shared film is left alone.
    SetPictureSurface(nullptr);
    SetMaskSurface(nullptr);
    ForgetMotion();
}

void TVorqParticleImages::ForgetMotion() {
    if (FMotion) FMotion->ClearTarget();
    FMotion.reset();
    FShared = nullptr;
}

long double TVorqParticleImages::GetParam(int index) const {
    return index >= 0 && index < 3 ? FParams[index] : 0.0L;
}

void TVorqParticleImages::SetParam(int index, long double value) {
    if (index >= 0 && index < 3) FParams[index] = value;
}

TVorqImageList* TVorqParticleImages::GetCurrentList() const { return FList ? &FList->Emitter().Picture() : nullptr; }

void TVorqParticleImages::StartMotion() {
    SetOffsetX(GetWidth() / 2);
    SetOffsetY(GetHeight() / 2);
    long double& p1 = FParams[0];
    long double& p2 = FParams[1];
    long double& p3 = FParams[2];
    switch (FPartMotion) {
    case PM_SNOW:
        FOriginX = GetLeft();
        FOriginY = GetTop();
        FA = 0;
        FB = rnd() * 0.02L + 0.02L;
        if (p1 <= 0) p1 = 0.1L;
        if (p2 < p3) FA = rnd() * (p3 - p2);
        break;
    case PM_STAR: {
        FOriginX = GetLeft();
        FOriginY = GetTop();
        FAngle = rnd() * kPi * 2;
        FR = p1 + 0.1L;
        SetLeft(WrapAdd(round_i32(cos_x(FAngle) * FR), FOriginX));
        SetTop(WrapAdd(round_i32(sin_x(FAngle) * FR), FOriginY));
        const TVorqControl* parent = GetParent();
        const long double w = parent ? parent->GetWidth() : 0, h = parent ? parent->GetHeight() : 0;
        const long double dx = FOriginX < w / 2 ? w : 0, dy = FOriginY < h / 2 ? h : 0;
        FReach = std::hypot(std::fabs(dx - FOriginX), std::fabs(dy - FOriginY));
        p3 = rnd() * (p3 * 0.3L) + p3 * 0.7L;
        break;
    }
    case PM_FLUFF:
        p2 = rnd() * (p3 - p2) + p2;
        FXAcc = GetLeft();
        FOriginY = GetTop();
        break;
    case PM_TWISTER:
        FOriginX = GetLeft();
        FYAcc = GetTop();
        FA = rnd() * (p2 / 2 * 0.05L) + p2 / 2 * 0.95L;
        FR = rnd() * (p3 * 0.5L) + p3 * 0.5L;
        break;
    default: break;
    }
}

int32_t TVorqParticleImages::ScreenAxisIn(bool horizontal, int64_t parent_term) const {
    // A position in the parent's picture pixels takes the general path.
    if (FPosZoomed) return ScreenAxisFrom(horizontal, parent_term);
    return PlainScreenAxis(*this, horizontal, parent_term);
}

void TVorqParticleImages::StepMotion(int32_t n, const TSpriteStepView* view) {
    FAge = static_cast<int32_t>(static_cast<uint32_t>(FAge) + static_cast<uint32_t>(period()) * static_cast<uint32_t>(n));
    const long double p1 = FParams[0], p2 = FParams[1], p3 = FParams[2];
    const TVorqControl* parent = FParent;
    int32_t pw = 0, ph = 0;
    if (view && parent && parent == view->emitter) {
        pw = view->width;
        ph = view->height;
    } else if (parent) {
        pw = parent->GetWidth();
        ph = parent->GetHeight();
    }
    switch (FPartMotion) {
    case PM_SNOW: {
        FAngle += n * FB;
        const int32_t left = WrapAdd(round_sin_times_of(FAngle, p2 + FA, false), FOriginX);
        int32_t top = FTop;
        FYAcc += n * p1;
        if (FYAcc >= 1) {
            const int32_t t = trunc_i32(FYAcc);
            top = WrapAdd(top, t);
            FYAcc -= t;
        }
        MoveTo(left, top, view);
        if (!FFinished) FFinished = ph <= LocalAxisOf(*this, false);
        break;
    }
    case PM_STAR: {
        if (n > 1) FR *= std::pow(p2, static_cast<long double>(n - 1));
        // A radius that no longer fits a position (or is no number at all)
        // ends the sprite before any position is made from it.
        if (std::isnan(FR) || FR > kInt32Edge || FR < -kInt32Edge) {
            FFinished = 1;
            return;
        }
        MoveTo(WrapAdd(round_sin_times_of(FAngle, FR, true), FOriginX), WrapAdd(round_sin_times_of(FAngle, FR, false), FOriginY),
               view);
        FR *= p2;
        if (!FFinished) FFinished = FR >= FReach;
        FAngle += p3;
        break;
    }
    case PM_FLUFF: {
        FXAcc += n * p2;
        FYAcc += n;
        MoveTo(trunc_i32(FXAcc), WrapSub(FOriginY, trunc_i32(p1 * FYAcc * FYAcc)), view);
        if (!FFinished) {
            const int64_t left = LocalAxisOf(*this, true), top = LocalAxisOf(*this, false);
            const bool above = top + GetHeight() < 0;
            if (p2 >= 0) FFinished = (pw <= left) || above;
            else FFinished = (left + GetWidth() < 0) || above;
        }
        break;
    }
    case PM_TWISTER: {
        FAngle += n * FR;
        if (FAngle > kTwoPi) FAngle -= kTwoPi;
        const long double s = std::fabs(cos_x(FAngle / 2)) * 0.5L + 0.5L;
        const int32_t zoom = round_i32(s * 256);
        if (zoom != GetZoomX()) SetZoomX(zoom);
        if (zoom != GetZoomY()) SetZoomY(zoom);
        FYAcc -= p1;
        MoveTo(WrapAdd(trunc_i32(sin_x(FAngle) * FA * s), FOriginX), trunc_i32(FYAcc), view);
        SetPriority(round_i32((s - 0.5L) / 0.5L * 2000 - 1000));
        if (!FFinished) FFinished = int64_t(LocalAxisOf(*this, false)) + GetHeight() < 0;
        break;
    }
    default: FFinished = 1; break;
    }
}

void TVorqParticleImages::AttachTo(TVorqParticle& emitter) {
    FParent = &emitter;
    emitter.InsertChild(this);
}

void TVorqParticleImages::SetParent(TVorqControl* parent) {
    TVorqCustomImages::SetParent(parent);
    TVorqParticle* emitter = FList ? &FList->Emitter() : nullptr;
    SetDriver(emitter && FParent == emitter ? emitter : nullptr);
}

void TVorqParticleImages::InvalidateIn(const TSpriteStepView* view) {
    // The view is the emitter's place: of no use to a sprite elsewhere.
    if (!view || FParent != view->emitter) return Invalidate();
    // As the picture's Invalidate, with the parent's part known.
    const TCustomDIBX* s = GetOwnSurface();
    if (!s || s->IsEmpty() || !view->base) return;
    if (!FVisible || !view->shown) return;
    TRect r = IntersectRects(
        Bounds(ScreenAxisIn(true, view->parent_x), ScreenAxisIn(false, view->parent_y), FWidth, FHeight),
        view->parent_rect);
    if (RectIsEmpty(r)) return;
    if (FClipWidth > 0 && FClipHeight > 0) return InvalidateCut(view->base, r);
    // No clip of its own: the rest of InvalidateCut.
    if (FParent) FParent->AdjustDirtyRect(r);
    view->base->AddDirtyRect(r);
}

void TVorqParticleImages::MoveTo(int32_t left, int32_t top, const TSpriteStepView* view) {
    // LEFT and TOP at once: one redraw of the old and one of the new place
    // per step, whichever of the two moved.
    const bool x = left != FLeft, y = top != FTop;
    if (!x && !y) return;
    InvalidateIn(view);
    if (x) {
        FLeft = left;
        FMotionX = 0;
    }
    if (y) {
        FTop = top;
        FMotionY = 0;
    }
    InvalidateIn(view);
}

bool TVorqParticleImages::UpdateInFrame(const TSpriteFrameView& view) {
    // A sprite of one frame without a motion, in its emitter: what the image
    // set's update comes to, its frame countdown, without the calls through
    // the object. Everything else takes the update itself.
    if (FFinished || FMotion || GetNeedsRelayout() || !FList || FParent != view.emitter || view.frames != 1)
        return Update();
    const bool ani_paused = IsInternalName(FName) ? view.ani_paused : FAniPaused != 0;
    if (FIndex != 0 || !FVisible || !view.shown || GetPaused() || ani_paused) return false;
    if (FCountdown > 0) FCountdown = WrapSub(FCountdown, static_cast<int32_t>(FrameTime));
    // The only frame again, which it already shows.
    if (FCountdown < 1) FCountdown = 0;
    return false;
}

void TVorqParticleImages::DrawInEmitter(TCustomDIBX& s, const TRect& v, int64_t parent_x, int64_t parent_y,
                                       bool shown) {
    if (!FVisible || !shown) return;
    // Turned, placed in picture pixels, clipped or with children of its
    // own: the general way.
    if ((GetAngle() & 0xFF) != 0 || FPosZoomed || (FClipWidth > 0 && FClipHeight > 0) || !FChildren.empty())
        return DrawChild(s, v, *this);
    const int32_t x = ScreenAxisIn(true, parent_x), y = ScreenAxisIn(false, parent_y);
    if (RectIsEmpty(IntersectRects(v, Bounds(x, y, FWidth, FHeight)))) return;
    s.ClearClipRect();
    s.AddClipRect(v);
    TCustomDIBX* own = GetOwnSurface();
    // As Draw and DrawImage: without a frame nothing is drawn.
    if (own && !own->IsEmpty() && HasPictureSurface() && GetAlpha() > 0 && FWidth > 0 && FHeight > 0)
        DrawUnrotated(s, *own, x, y);
    s.ClearClipRect();
}

bool TVorqParticleImages::Update() {
    bool result = false;
    if (!FFinished) {
        if (FShared && FMotion) {
            MotionElapsed = FAge;
            result = FMotion->Step();
        } else {
            result = TVorqCustomImages::Update();
        }
    }
    if (FFinished || result) {
        if (FList) FList->Remove(this);
        return true;
    }
    return false;
}

// ---- TVorqParticle ----

TVorqParticle::TVorqParticle(TVorqBaseList* registry) : TVorqControl(registry) {}

void TVorqParticle::UpdateDriven() {
    if (FSprites.Count() == 0) return;
    TSpriteFrameView view;
    view.emitter = this;
    view.shown = GetVisible();
    view.ani_paused = GetAniPaused();
    view.frames = FPicture.Count();
    const bool in_cabinet = IsInCabinet();
    // What the registry's pass would skip it skips too; a finished sprite
    // leaves the list and is freed.
    constexpr int32_t kAhead = 4;
    for (int32_t i = 0; i < FSprites.Count();) {
        if (i + kAhead < FSprites.Count()) FSprites.Get(i + kAhead)->PrefetchUpdate();
        TVorqParticleImages* s = FSprites.Get(i);
        // One under another parent is the registry's to update.
        if (s->Driver() != this || s->GetPaused() || (FRegistry && FRegistry->IsPendingDelete(s)) ||
            (s->GetParent() == this ? in_cabinet : s->IsInCabinet())) {
            ++i;
            continue;
        }
        if (!s->UpdateInFrame(view)) {
            ++i;
            continue;
        }
        // It left the list (the next one is at i now).
        s->FreeNow();
    }
}

void TVorqParticle::Draw() {
    DrawChildrenWith([this](TCustomDIBX& s, const TRect& v) {
        const bool shown = GetVisible();
        const int64_t x = int64_t(GetScreenX()) - GetScrollX(), y = int64_t(GetScreenY()) - GetScrollY();
        constexpr size_t kAhead = 4;
        const size_t n = FChildren.size();
        for (size_t i = 0; i < n; ++i) {
            if (i + kAhead < n && FChildren[i + kAhead]->Driver() == this)
                static_cast<const TVorqParticleImages*>(FChildren[i + kAhead])->PrefetchDraw();
            TVorqControl* child = FChildren[i];
            if (child->Driver() == this) static_cast<TVorqParticleImages*>(child)->DrawInEmitter(s, v, x, y, shown);
            else DrawChild(s, v, *child);
        }
    });
}

TVorqParticle::~TVorqParticle() {
    // The sprites borrow the picture and the motion film: they go first.
    FreeSprites();
    FMotionParticle.reset();
}

void TVorqParticle::FreeSprites() {
    // From a copy: each sprite leaves the children and the list as it goes.
    std::vector<TVorqControl*> children = FChildren;
    for (size_t i = children.size(); i-- > 0;)
        if (auto* s = dynamic_cast<TVorqParticleImages*>(children[i])) s->FreeNow();
    FSprites.Clear();
}

void TVorqParticle::SetSource(const std::string& name) {
    if (name == FSource) return;
    FSource = name;
    // The registry's update pass keeps its place by itself when objects go
    // during it, so freeing the sprites here is safe in the middle of a pass
    // (an idle handler or a film may change SOURCE then).
    FreeSprites();
    FPicture.Clear();
    FMotionParticle.reset();
    const std::string ext = AnsiLowerCase(ExtractFileExt(name));
    if (ext == ".tes") {
        FPicture.LoadFromFile(this, name, false);
    } else if (ext == ".vmt") {
        auto m = std::make_unique<TVorqMotionParticle>(FRegistry);
        m->Load(name);
        FMotionParticle = std::move(m);
    }
    FState = 0;
}

void TVorqParticle::SetPartMotion(int32_t v) {
    const auto m = static_cast<uint8_t>(v);
    if (m == FPartMotion) return;
    FPartMotion = m;
    FState = 0;
}

long double TVorqParticle::GetParam(int index) const { return index >= 0 && index < 3 ? FParams[index] : 0.0L; }

void TVorqParticle::SetParam(int index, long double value) {
    if (index >= 0 && index < 3) FParams[index] = value;
}

void TVorqParticle::SetAlpha(int32_t v) {
    if (v == FAlpha) return;
    FAlpha = v;
    Invalidate();
}

bool TVorqParticle::GetPlaying() const {
    if (FPaused || GetAniPaused()) return false;
    if (FMotion && FMotion->Ended()) return false;
    return true;
}

TVorqParticleParam& TVorqParticle::EnsureParam() {
    if (!FParam) FParam = std::make_unique<TVorqParticleParam>();
    return *FParam;
}

void TVorqParticle::Advance(int32_t ticks, bool emit) {
    const int64_t span = int64_t(period()) * ticks;
    if (emit) FCountdown = clamp_i64(int64_t(FCountdown) - span);
    int64_t remain = span;
    TSpriteStepView view;
    view.base = GetBase();
    view.parent_rect = GetRect();
    view.parent_x = int64_t(view.parent_rect.Left) - GetScrollX();
    view.parent_y = int64_t(view.parent_rect.Top) - GetScrollY();
    view.emitter = this;
    view.shown = GetVisible();
    view.width = GetWidth();
    view.height = GetHeight();
    if (ticks > 0) {
        constexpr int32_t kAhead = 4;
        for (int32_t i = FSprites.Count(); i-- > 0;) {
            if (i >= kAhead) FSprites.Get(i - kAhead)->PrefetchStep();
            FSprites.Get(i)->StepMotion(ticks, &view);
        }
    }
    if (!emit || FPartMotion == 0) return;
    int32_t births = 0;
    while (FCountdown <= 0) {
        if (births == kMaxBirthsPerUpdate) {
            // The backlog is dropped: the next birth comes at the usual pace.
            FCountdown = 0;
            break;
        }
        ++births;
        int32_t x = 0, y = 0;
        if (FParam) {
            x = WrapAdd(RandomInt(FParam->XRange), FParam->XMin);
            y = WrapAdd(RandomInt(FParam->YRange), FParam->YMin);
            int32_t interval = WrapAdd(RandomInt(FParam->IntervalRange), FParam->IntervalMin);
            if (interval <= 2) interval = 2;
            FCountdown = clamp_i64(int64_t(FCountdown) + interval);
            remain -= interval;
        } else {
            FDelay.Evaluate();
            if (TCustomParam* d = FDelay.Result()) {
                int32_t interval = d->GetAsInt();
                if (interval <= 2) interval = 2;
                FCountdown = clamp_i64(int64_t(FCountdown) + interval);
                remain -= interval;
            } else {
                FCountdown = period();
                remain -= period();
            }
            FAppearX.Evaluate();
            if (TCustomParam* v = FAppearX.Result()) x = v->GetAsInt();
            FAppearY.Evaluate();
            if (TCustomParam* v = FAppearY.Result()) y = v->GetAsInt();
        }
        TVorqParticleImages* s = FSprites.Add();
        s->SetPartMotion(FPartMotion);
        s->AttachTo(*this);
        s->SetLeft(x);
        s->SetTop(y);
        s->SetAlpha(FAlpha);
        for (int k = 0; k < 3; ++k) s->SetParam(k, FParams[k]);
        if (FPicture.Count() > 0) s->SetIndex(0);
        s->StartMotion();
        if (remain > 0) s->StepMotion(static_cast<int32_t>(remain / period()), &view);
    }
}

bool TVorqParticle::Update() {
    const bool done = TVorqControl::Update();
    if (GetAniPaused()) return done;
    const int32_t p = period();
    switch (FState) {
    case 0:
        FState = 1;
        FRemainder = FPreroll;
        FCountdown = 0;
        {
            const int32_t ticks = FRemainder / p;
            FRemainder %= p;
            Advance(ticks, true);
        }
        return done;
    case 1: {
        FRemainder = WrapAdd(FRemainder, static_cast<int32_t>(FrameTime));
        const int32_t ticks = FRemainder / p;
        FRemainder %= p;
        Advance(ticks, true);
        if (FDuration > 0) {
            FDuration = WrapSub(FDuration, static_cast<int32_t>(FrameTime));
            if (FDuration <= 0) FState = 2;
        }
        return done;
    }
    default: {
        if (FSprites.Count() == 0) return true;
        FRemainder = WrapAdd(FRemainder, static_cast<int32_t>(FrameTime));
        const int32_t ticks = FRemainder / p;
        FRemainder %= p;
        Advance(ticks, false);
        return false;
    }
    }
}

void TVorqParticle::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    FAppearX.SaveToStream(s);
    FAppearY.SaveToStream(s);
    FDelay.SaveToStream(s);
    WriteStreamString(s, FSource);
    WriteStreamByte(s, FPartMotion);
    for (long double p : FParams) WriteStreamExtended(s, p);
    WriteStreamInteger(s, FAlpha);
    WriteStreamInteger(s, FPreroll);
    WriteStreamString(s, FOnIdle);
    WriteStreamByte(s, FPaused);
    WriteStreamInteger(s, FDuration);
}

void TVorqParticle::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FAppearX.LoadFromStream(s);
    FAppearY.LoadFromStream(s);
    FDelay.LoadFromStream(s);
    FieldReader r = ObjectRecordReader(s);
    const std::string source = r.String("source");
    FPartMotion = r.U8("particle motion");
    for (long double& p : FParams) p = r.Extended("parameter");
    FAlpha = r.I32("alpha");
    if (version >= 104) FPreroll = r.I32("pre-roll");
    if (version >= 104) FOnIdle = r.String("idle handler");
    if (version >= 104) FPaused = r.U8("paused");
    if (version >= 104) FDuration = r.I32("duration");
    SetSource(source);
    FState = 0;
}

void TVorqParticle::ReleaseSurfaces() {
    FPicture.ReleaseAdjusted();
    TVorqControl::ReleaseSurfaces();
}

void TVorqParticle::RestoreSurfaces() {
    FPicture.RebuildAdjusted();
    TVorqControl::RestoreSurfaces();
}

void TVorqParticle::ApplyFilmParticle(const TFilmParticleFrame& f) {
    const TRect& c = f.place.clip;
    if (f.place.motion) {
        Invalidate();
        SetMotionX(f.place.left);
        SetMotionY(f.place.top);
        SetWidth(f.width);
        SetHeight(f.height);
        SetPriority(f.place.priority);
        SetAlpha(f.alpha);
        Invalidate();
    } else {
        if (f.place.parent) SetParent(f.place.parent);
        SetRect(f.place.left, f.place.top, f.width, f.height);
        SetPriority(f.place.priority);
        SetAlpha(f.alpha);
        SetSource(f.source);
        SetPartMotion(f.part_motion);
        SetIndex(f.preroll);
        for (int k = 0; k < 3; ++k) SetParam(k, f.param[k]);
        TVorqParticleParam& p = EnsureParam();
        p.XMin = f.x_min;
        p.YMin = f.y_min;
        p.XRange = f.x_range;
        p.YRange = f.y_range;
        p.IntervalMin = f.interval_min;
        p.IntervalRange = f.interval_range;
    }
    ApplyFilmClip(*this, c);
}

void AssignParticleExpressions(TVorqObject& obj, const TVorqParser* x, const TVorqParser* y, const TVorqParser* delay) {
    auto* p = dynamic_cast<TVorqParticle*>(&obj);
    if (!p) return;
    if (x) p->AppearX().Assign(*x);
    if (y) p->AppearY().Assign(*y);
    if (delay) p->Delay().Assign(*delay);
}
