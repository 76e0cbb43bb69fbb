// Particle emitters. A TVorqParticle (type 14) draws nothing itself: it
// gives birth to small image objects, its sprites (TVorqParticleImages),
// which become its children, move by one of four built-in patterns chosen
// by PARTMOTION and tuned by PARAM1..3, and die when they leave their area
// or when their motion film ends. Where a sprite is born and when the next
// one follows come from the creation command's APPEARX, APPEARY and DELAY
// expressions, or, when a film drives the emitter, from a parameter record.
// Time is counted in ticks of FramePeriod ms, so the speeds are per tick
// whatever the frame rate. Thousands of sprites are common: the emitter
// steps, updates and draws them itself in single passes, with its own place
// worked out once, instead of the registry's pass and the general drawing
// of children visiting each one.
#pragma once
#include "script/parser.h"
#include "objects/film/film_manager.h"
#include "objects/film_target.h"
#include "objects/images/image_list.h"
#include "objects/images/images.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TVorqParticle;
class TVorqParticleImages;

// Birth parameters a film's particle track writes at every film frame;
// while an emitter has one it replaces the three expressions.
struct TVorqParticleParam {
    int32_t XMin = 0, YMin = 0, XRange = 0, YRange = 0, IntervalMin = 0, IntervalRange = 0;
};

// At most this many sprites are born in one update: a huge pre-roll or a
// long frame with a 2 ms interval must not make an unbounded number of
// objects at once. Births beyond it are dropped, not postponed.
constexpr int32_t kMaxBirthsPerUpdate = 1000;

// The living sprites of one emitter; it does not own them (they are
// registered objects and the emitter's children, which it drives: the
// registry's update pass leaves them to it).
class TParticleImageList {
public:
    explicit TParticleImageList(TVorqParticle& emitter) : emitter_(emitter) {}
    ~TParticleImageList();
    TParticleImageList(const TParticleImageList&) = delete;
    TParticleImageList& operator=(const TParticleImageList&) = delete;

    // A new sprite in the emitter's registry, with an internal name, the
    // emitter's motion and IGNOREMOUSE 1, appended to the list.
    TVorqParticleImages* Add();
    void Remove(TVorqParticleImages* sprite);
    // Forgets every sprite (each forgets the list too; one under another
    // parent loses the picture, which is the emitter's).
    void Clear();
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    TVorqParticleImages* Get(int32_t i) const { return items_[static_cast<size_t>(i)]; }
    TVorqParticle& Emitter() const { return emitter_; }

private:
    TVorqParticle& emitter_;
    std::vector<TVorqParticleImages*> items_;
    // Where the search for the next sprite's free name starts.
    int64_t next_name_ = 0;
};

// The motion film a ".vmt" SOURCE names, played on whichever sprite is being
// updated: each sprite brings its own elapsed time and its own start
// position and priority, so sprites never share where they started.
class TVorqMotionParticle {
public:
    explicit TVorqMotionParticle(TVorqBaseList* scene);
    void Load(const std::string& file_name);
    // One step of the film on sprite at its age; true when its end was
    // reached.
    bool Step(TVorqParticleImages& sprite);
    int32_t Length() const { return film_.Length(); }
    TFilmManager& Film() { return film_; }

private:
    TFilmManager film_;
};

// The emitter's place, worked out once for a pass over its sprites: the
// emitter does not move while they step, so each sprite's redraw need not
// walk up to the layer again.
struct TSpriteStepView {
    TVorqBase* base = nullptr;
    TRect parent_rect{};
    int64_t parent_x = 0, parent_y = 0;
    // The emitter, whether it is shown, and its size.
    const TVorqControl* emitter = nullptr;
    bool shown = false;
    int32_t width = 0, height = 0;
};

// What the sprites' own updates of one frame read of their emitter.
struct TSpriteFrameView {
    const TVorqControl* emitter = nullptr;
    bool shown = false, ani_paused = false;
    int32_t frames = 0;
};

class TVorqParticleImages final : public TVorqCustomImages {
public:
    TVorqParticleImages(TVorqBaseList* registry, TParticleImageList* list, TVorqMotionParticle* motion);
    ~TVorqParticleImages() override;

    uint8_t GetCompoType() const override { return LT_NONE; }
    // Frames of an animated picture loop.
    bool GetRepeat() const override { return true; }
    int32_t GetPartMotion() const override { return FPartMotion; }
    void SetPartMotion(int32_t v) override { FPartMotion = static_cast<uint8_t>(v); }
    long double GetParam(int index) const override;
    void SetParam(int index, long double value) override;
    TVorqImageList* GetCurrentList() const override;
    bool Update() override;
    // Update, as the emitter runs it in its turn of the update pass, with
    // the emitter's state of the frame in view.
    bool UpdateInFrame(const TSpriteFrameView& view);
    // This sprite's part of its emitter's Draw: v is the emitter's part
    // inside the surface's clip, parent_x/y its screen place less its
    // scroll, shown whether it is shown.
    void DrawInEmitter(TCustomDIBX& s, const TRect& v, int64_t parent_x, int64_t parent_y, bool shown);

    // At birth: a child of the emitter, at its place in the children's
    // order (a sprite is never focused nor in a cabinet of its own, so
    // nothing else of a parent change applies).
    void AttachTo(TVorqParticle& emitter);
    // A sprite that a script puts under another parent is that parent's to
    // draw and the registry's to update; its emitter still moves it.
    void SetParent(TVorqControl* parent) override;
    // Once, at birth: the pattern's start values.
    void StartMotion();
    // n ticks of the pattern; view, when given, is the emitter's place.
    void StepMotion(int32_t n, const TSpriteStepView* view = nullptr);
    // Asks for the memory a step reads: the emitter does so a few sprites
    // ahead of its pass, whose sprites lie all over the heap.
    void PrefetchStep() const {
        __builtin_prefetch(this);
        __builtin_prefetch(&FLeft);
        __builtin_prefetch(&FMotionX);
        __builtin_prefetch(&FParams[0]);
        __builtin_prefetch(&FReach);
    }
    // The same for the sprite's update and its drawing.
    void PrefetchUpdate() const {
        __builtin_prefetch(this);
        __builtin_prefetch(&FLeft);
        __builtin_prefetch(&FCountdown);
        __builtin_prefetch(&FFinished);
    }
    void PrefetchDraw() const {
        __builtin_prefetch(this);
        __builtin_prefetch(&FLeft);
        __builtin_prefetch(&FMotionX);
        PrefetchPictureFields();
    }

    bool Finished() const { return FFinished != 0; }
    int32_t Age() const { return FAge; }
    TParticleImageList* OwningList() const { return FList; }
    // Without a list the sprite is the registry's to update.
    void ForgetList() {
        FList = nullptr;
        SetDriver(nullptr);
    }
    void ForgetMotion();
    TVorqMotionParticle* SharedMotion() const { return FShared; }

    // Where this sprite's motion film started (its own, never another
    // sprite's): recorded at its first motion step.
    bool FilmOriginRecorded = false;
    FilmPoint FilmOrigin;
    int32_t FilmBasePriority = 0;
    int32_t MotionElapsed = 0;

private:
    // GetScreenX/Y (horizontal or not) from the parent's screen place less
    // its scroll, and GetLocalX/Y, without the calls through the object.
    int32_t ScreenAxisIn(bool horizontal, int64_t parent_term) const;
    void MoveTo(int32_t left, int32_t top, const TSpriteStepView* view);
    // Invalidate, with the emitter's place from view.
    void InvalidateIn(const TSpriteStepView* view);

    long double FParams[3] = {0, 0, 0};
    long double FXAcc = 0, FYAcc = 0;
    long double FA = 0, FB = 0, FAngle = 0, FR = 0;
    int32_t FOriginX = 0, FOriginY = 0;
    uint8_t FPartMotion = 0;
    int32_t FAge = 0;
    long double FReach = 0;
    TParticleImageList* FList;
    TVorqMotionParticle* FShared;
    uint8_t FFinished = 0;
};

class TVorqParticle : public TVorqControl, public TFilmTarget {
public:
    explicit TVorqParticle(TVorqBaseList* registry);
    ~TVorqParticle() override;

    uint8_t GetCompoType() const override { return LT_PARTICLE; }
    std::string GetSource() const override { return FSource; }
    void SetSource(const std::string& name) override;
    int32_t GetPartMotion() const override { return FPartMotion; }
    void SetPartMotion(int32_t v) override;
    long double GetParam(int index) const override;
    void SetParam(int index, long double value) override;
    int32_t GetAlpha() const override { return FAlpha; }
    void SetAlpha(int32_t v) override;
    int32_t GetIndex() const override { return FPreroll; }
    void SetIndex(int32_t v) override { FPreroll = v; }
    int32_t GetDuration() const override { return FDuration; }
    void SetDuration(int32_t v) override { FDuration = v; }
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override { FPaused = v; }
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    bool GetPlaying() const override;

    bool Update() override;
    // The sprites' own updates, in the order of their births.
    void UpdateDriven() override;
    // The children in their order, the sprites among them drawn from the
    // emitter's place worked out once.
    void Draw() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;
    void ReleaseSurfaces() override;
    void RestoreSurfaces() override;
    void ApplyFilmParticle(const TFilmParticleFrame& f) override;

    // ticks of FramePeriod ms; births only with emit.
    void Advance(int32_t ticks, bool emit);

    TVorqParser& AppearX() { return FAppearX; }
    TVorqParser& AppearY() { return FAppearY; }
    TVorqParser& Delay() { return FDelay; }
    TVorqParticleParam* Param() const { return FParam.get(); }
    TVorqParticleParam& EnsureParam();
    TVorqImageList& Picture() { return FPicture; }
    TParticleImageList& Sprites() { return FSprites; }
    TVorqMotionParticle* Motion() const { return FMotionParticle.get(); }
    int32_t State() const { return FState; }
    int32_t Countdown() const { return FCountdown; }
    void SetCountdown(int32_t ms) { FCountdown = ms; }
    int32_t Remainder() const { return FRemainder; }
    void SetRemainder(int32_t ms) { FRemainder = ms; }
    void SetState(int32_t s) { FState = s; }

private:
    void FreeSprites();

    int32_t FState = 0;
    TVorqParser FAppearX, FAppearY, FDelay;
    std::unique_ptr<TVorqParticleParam> FParam;
    std::string FSource;
    TVorqImageList FPicture;
    TParticleImageList FSprites{*this};
    uint8_t FPartMotion = 0;
    long double FParams[3] = {0, 0, 0};
    int32_t FAlpha = 255;
    int32_t FCountdown = 0;
    int32_t FRemainder = 0;
    int32_t FPreroll = 0;
    std::string FOnIdle;
    uint8_t FPaused = 0;
    int32_t FDuration = 0;
    std::unique_ptr<TVorqMotionParticle> FMotionParticle;
};

// The extended sine (or cosine) the sprites move by, and the rounded
// product with f a sprite's position takes from it (double precision where
// that rounds the same, else the extended value).
long double ParticleSinOrCos(long double x, bool cosine);
int32_t ParticleRoundSinTimes(long double x, long double f, bool cosine);

// Copies the particle-creation command's birth point and interval
// expressions into a new emitter; other objects ignore them.
void AssignParticleExpressions(TVorqObject& obj, const TVorqParser* x, const TVorqParser* y, const TVorqParser* delay);
