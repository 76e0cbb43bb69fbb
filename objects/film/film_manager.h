// Films: key-framed tracks read from "VorqCinema"/"VorqMotion" files. The
// film keeps no clock; its owner turns elapsed time into film frames (1/60 s)
// and asks for the values of each track at that frame.
#pragma once
#include "platform/filesystem/stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct FilmPoint {
    int32_t x = 0, y = 0;
};

// Clip rectangle eased from/to; a size below 1 means no clip.
struct FilmClip {
    FilmPoint origin_from, size_from, origin_to, size_to;
    uint8_t x_kind = 0, y_kind = 0;
};

// Shared by image, tile and label tracks.
struct FilmImageBlock {
    FilmPoint anchor, pos_from, pos_to;
    uint8_t x_kind = 0, y_kind = 0;
    int32_t angle_from = 0, angle_to = 0;
    double zoom_x_from = 1.0, zoom_x_to = 1.0;
    uint8_t zoom_x_kind = 0;
    int32_t alpha_from = 0, alpha_to = 0;  // 0 stands for 255
    uint8_t angle_kind = 0;
    FilmClip clip;
    double zoom_y_from = 1.0, zoom_y_to = 1.0;
    uint8_t zoom_y_kind = 0;
};

struct FilmTileBlock {
    int32_t tile_w_from = 0, tile_h_from = 0, tile_w_to = 0, tile_h_to = 0;
    int32_t scroll_x_from = 0, scroll_y_from = 0, scroll_x_to = 0, scroll_y_to = 0;
    uint8_t scroll_x_kind = 0, scroll_y_kind = 0;
    int32_t distance_x = 0, distance_y = 0;
};

struct FilmLabelBlock {
    std::string text;
    uint8_t antialias = 0;
    std::string font_name;
    int32_t font_height = 12;
    int32_t line_space = 12;
    uint8_t font_style = 0;
    int32_t font_color = 0xffffff;
    uint8_t align = 0;
};

struct FilmBoxBlock {
    FilmPoint pos_from, pos_to;
    uint8_t x_kind = 0, y_kind = 0;
    int32_t alpha_from = 0, alpha_to = 0;
    int32_t width_from = 0, height_from = 0, width_to = 0, height_to = 0;
    int32_t color_from = 0, color_to = 0;
    int32_t border_width_from = 0, border_width_to = 0;
    int32_t border_color_from = 0, border_color_to = 0;
    FilmClip clip;
};

struct FilmWipeBlock {
    uint8_t kind = 0;
    std::string mask;
    int32_t param0 = 0, param1 = 0;
    uint8_t mode = 0;
};

struct FilmSoundBlock {
    std::string file;
    int32_t volume_from = 0, volume_to = 0, balance_from = 0, balance_to = 0;
    uint8_t volume_kind = 0, balance_kind = 0;
};

// The rect block of particle and fire tracks.
struct FilmRectBlock {
    FilmPoint pos_from, pos_to;
    uint8_t x_kind = 0, y_kind = 0;
    int32_t width_from = 0, height_from = 0, width_to = 0, height_to = 0;
    FilmClip clip;
};

// Kept for the particle and fire players.
struct FilmParticleBlock {
    std::string file;
    uint8_t part_motion = 0;
    int32_t preroll = 0;
    int32_t interval_min_from = 0, interval_min_to = 0, interval_range_from = 0, interval_range_to = 0;
    FilmPoint birth_min_from, birth_min_to, birth_range_from, birth_range_to;
    uint8_t birth_x_kind = 0, birth_y_kind = 0;
    double param_from[3] = {0, 0, 0}, param_to[3] = {0, 0, 0};
    FilmRectBlock rect;
    int32_t alpha_from = 0, alpha_to = 0;
};

struct FilmFireBlock {
    FilmRectBlock rect;
    double zoom_x_from = 1.0, zoom_y_from = 1.0, zoom_x_to = 1.0, zoom_y_to = 1.0;
    uint8_t zoom_x_kind = 0, zoom_y_kind = 0;
    int32_t power = 0;
};

enum class FilmTrackKind : uint8_t { Image = 0, Label = 1, Box = 2, Wipe = 3, Sound = 4, Tile = 5, Particle = 6, Fire = 7 };

class TFilmManager;
struct TFilmParentView;
class TFilmTarget;
class TTeskItem;
class TVorqBaseList;
class TVorqControl;
class TVorqObject;

// One track: the common header, the record of its kind, and its frame
// durations (one frame for every kind but image and tile).
class TCustomFrameList {
public:
    TCustomFrameList(TFilmManager* film, FilmTrackKind kind) : film_(film), kind_(kind) {}
    // Scraps the object the track made and returns its picture to the cache.
    ~TCustomFrameList();
    TCustomFrameList(const TCustomFrameList&) = delete;
    TCustomFrameList& operator=(const TCustomFrameList&) = delete;

    FilmTrackKind Kind() const { return kind_; }
    TFilmManager* Film() const { return film_; }

    int32_t parent_index = -1;
    TCustomFrameList* parent = nullptr;
    int32_t length = 0;
    int32_t spare = 0;
    int32_t start = 0;
    int32_t period = 0;
    int32_t priority = 0;
    uint8_t flip_h = 0, flip_v = 0, other_layer = 0;

    FilmImageBlock image;      // image, tile, label
    std::string file_name;     // image and tile
    FilmTileBlock tile;
    FilmLabelBlock label;
    FilmBoxBlock box;
    FilmWipeBlock wipe;
    FilmSoundBlock sound;
    FilmParticleBlock particle;
    FilmFireBlock fire;

    // Durations in film frames of the track's frames.
    std::vector<int32_t> frame_durations;

    // AbsoluteStart(parent) + length(parent) for a chained track.
    int32_t AbsoluteStart() const;
    bool ActiveAt(int32_t t) const;
    int32_t FrameIndexAt(int32_t u) const;
    // The first track of the film chained to this one (cached after load).
    TCustomFrameList* FindChild() const { return child_; }

    int32_t TweenInt(uint8_t kind, int32_t a, int32_t b, int32_t n, int32_t i) const;
    double TweenFloat(uint8_t kind, int32_t i, double a, double b, int32_t n) const;

    // ---- playing (film_player.cpp) ----
    // Sets the values of frame t on the track's object; true when active.
    bool ApplyAt(int32_t t);
    // After loading: image and tile tracks load their picture and frames,
    // chained sound tracks take their parent's file name and chained label
    // tracks its text (and keep their own font, colour and layout).
    void Prepare();
    // Scraps the object the track made (or, for a chain's last sound,
    // nothing: the chain's first track owns it).
    void ReleaseTarget();
    void SetPaused(bool flag);
    // Makes sure the chain's sound object exists (sound tracks).
    void PrepareSound();
    // The track's object while it is alive in its registry, else null.
    TVorqObject* Target() const;
    // The picture frames of image and tile tracks (null when none loaded).
    TTeskItem* Picture() const { return picture_; }

private:
    friend class TFilmManager;
    TCustomFrameList* ChainFirst();
    // Outside its span a track lets its own object go (false); inside, obj
    // is the object it drives (the bound one in motion mode; may be null).
    bool EnterActive(int32_t t, TVorqObject*& obj);
    // Relative motions move both ends by the bound object's offset.
    void ShiftRelative(FilmPoint& from, FilmPoint& to) const;
    bool ApplyImageLike(int32_t t);
    bool ApplyBox(int32_t t);
    bool ApplySound(int32_t t);
    bool ApplyRect(int32_t t);
    TVorqObject* EnsureTarget();
    void SetTarget(TVorqObject* obj);
    // obj's film hook (the cached one when obj is the target).
    TFilmTarget* HookOf(TVorqObject* obj) const;
    void LoadPicture();
    void ReleasePicture();
    TVorqControl* PlacementParent() const;

    TFilmManager* film_;
    FilmTrackKind kind_;
    TCustomFrameList* child_ = nullptr;
    int32_t absolute_start_ = 0;
    // The screen layer parity at the track's absolute start.
    int32_t parity_ = 0;

    TVorqObject* target_ = nullptr;
    uint32_t target_serial_ = 0;
    TVorqBaseList* target_registry_ = nullptr;
    // Where the target was last seen in its registry's list.
    mutable size_t target_index_ = 0;
    // The target's film hook, found once when the target is set.
    TFilmTarget* target_hook_ = nullptr;
    TTeskItem* picture_ = nullptr;
    int32_t last_frame_ = 0;
    uint8_t paused_ = 0;
    uint8_t unmakeable_ = 0;
};

// The easing formulas, shared by every track kind. has_child adds one frame
// so that the last frame of a chained track does not yet reach the to value.
int32_t FilmTweenInt(uint8_t kind, int32_t a, int32_t b, int32_t n, int32_t i, bool has_child);
double FilmTweenFloat(uint8_t kind, int32_t i, double a, double b, int32_t n, bool has_child);

// FilmTweenInt for many values at one frame of one track (the same n, i and
// has_child): the sine of the frame is taken once for each easing shape.
class TFilmEase {
public:
    TFilmEase(int32_t n, int32_t i, bool has_child)
        : n_(has_child ? static_cast<int32_t>(static_cast<uint32_t>(n) + 1u) : n), i_(i) {}
    int32_t Int(uint8_t kind, int32_t a, int32_t b) {
        if (i_ == 0) return a;
        if (int64_t(i_) == int64_t(n_) - 1) return b;
        if (n_ <= 1) return a;
        const int64_t span = int64_t(b) - a;
        // An end that does not move stays, whatever the shape.
        if (span == 0) return a;
        if (kind == 0) return static_cast<int32_t>(span * i_ / (int64_t(n_) - 1) + a);
        return Sined(kind, a, b, span);
    }

private:
    int32_t Sined(uint8_t kind, int32_t a, int32_t b, int64_t span);
    struct Sine {
        long double x = 0;
        double s = 0;
        bool small = false, taken = false;
    };
    Sine sine_[2];  // ease-out (kind 1), ease-in (the others)
    int32_t n_, i_;
};
// Milliseconds to film frames and back (half-even).
int32_t FilmMsToFrames(double ms);
int32_t FilmFramesToMs(int32_t frames);

class TFilmManager {
public:
    TFilmManager() = default;
    ~TFilmManager();
    TFilmManager(const TFilmManager&) = delete;
    TFilmManager& operator=(const TFilmManager&) = delete;

    void Clear();
    // name gives the folder for the relative names the tracks store.
    void LoadFromStream(TStream& s, const std::string& name);
    void LoadFromFile(const std::string& name);

    int Count() const { return static_cast<int>(tracks_.size()); }
    TCustomFrameList* GetTrack(int i) const;
    int32_t Length() const { return length_; }
    TCustomFrameList* FirstRootTrack() const;
    bool NeedsOwnLayers() const;
    // Adds the files the tracks refer to, each once (names compare as file
    // names do, without case): the sources of particle tracks, and the files
    // of the motion files among them, followed the first time they are
    // listed only, so that a motion file naming itself or an earlier one
    // ends the walk instead of recursing. A motion file that cannot be read
    // is listed and not followed.
    void CollectFiles(std::vector<std::string>& names) const;

    // The wipe track active at t and the number of wipe tracks whose last
    // frame lies at or before t (the screen layer parity).
    TCustomFrameList* ActiveWipeAt(int32_t t) const;
    int LayerParityAt(int32_t t) const;

    int32_t width = 0, height = 0;
    int32_t color = -1;
    int32_t version = 0;
    bool is_motion_file = false;
    uint8_t relative_mode = 0;
    FilmPoint reference;
    int32_t loop_start = 0;
    int32_t sound_volume_scale = 1000;
    uint8_t sound_on = 1;
    uint8_t paused = 0;
    int32_t current_frame = 0;

    // ---- playing (film_player.cpp) ----
    // The registry whose layers receive the film's objects.
    void SetTarget(TVorqBaseList* registry) { target_ = registry; }
    TVorqBaseList* GetTarget() const { return target_; }
    // The scene's registry, where sound objects go even when the film plays
    // into a private one; null = the target.
    TVorqBaseList* scene = nullptr;
    TVorqBaseList* SceneRegistry() const { return scene ? scene : target_; }
    // Bound-cinema mode: the objects are children of this cinema in the
    // target (scene) registry; no layers, no transitions.
    TVorqControl* bound_cinema = nullptr;
    // Motion mode: every track drives the bound object; positions are
    // absolute or, in relative mode, shifted by origin - reference.
    bool motion_mode = false;
    TVorqControl* bound_object = nullptr;
    FilmPoint origin;
    int32_t base_priority = 0;

    // Size and colour of a registry of its own, and the sound objects.
    void Start();
    void SetFrame(int32_t t);
    void SetPaused(bool flag);
    void SetSoundOn(bool flag);
    // The wipe track running at the previous SetFrame.
    TCustomFrameList* CurrentWipe() const { return current_wipe_; }
    // A wipe's settings changed: the next SetFrame starts it afresh.
    void ForgetCurrentWipe() { current_wipe_ = nullptr; }

private:
    friend class TCustomFrameList;
    std::vector<std::unique_ptr<TCustomFrameList>> tracks_;
    int32_t length_ = 0;
    TVorqBaseList* target_ = nullptr;
    TCustomFrameList* current_wipe_ = nullptr;
    // During SetFrame, the parent view the box tracks share.
    TFilmParentView* frame_view_ = nullptr;
};
