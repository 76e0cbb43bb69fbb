// What a film track hands the display object it drives, for one frame.
// Image tracks set their objects through TVorqImage::ApplyFilmFrame; the
// kinds below take their values through TFilmTarget, which a kind's class
// adds as a second base:
//
//     class TVorqLabel : public TVorqControl, public TFilmTarget { ...
//         void ApplyFilmLabel(const TFilmLabelFrame& f) override; };
//
// A track finds the hook with dynamic_cast<TFilmTarget*>; an object without
// it is left alone (a box track sets its properties one by one instead).
// All values are already eased for the frame.
#pragma once
#include "platform/rect.h"

#include <cstdint>
#include <string>

class TCustomDIBX;
class TVorqBase;
class TVorqControl;
class TVorqObject;

// Where the values go: a track in a film of its own (or bound to a cinema)
// places the object it created, a motion moves an existing object.
struct TFilmPlacement {
    // Motion mode: set the motion position (SetMotionX/Y) instead of LEFT
    // and TOP, and leave the parent alone.
    bool motion = false;
    // The layer or cinema to become the object's parent; null = keep it.
    TVorqControl* parent = nullptr;
    // PRIORITY (in motion mode already the film's base priority plus the
    // track's).
    int32_t priority = 0;
    int32_t left = 0, top = 0;
    // CLIPLEFT, CLIPTOP, CLIPWIDTH, CLIPHEIGHT from Left/Top/Right/Bottom;
    // an empty rectangle means no clip.
    TRect clip{};
};

// CLIPLEFT, CLIPTOP, CLIPWIDTH and CLIPHEIGHT from a track's clip edges.
void ApplyFilmClip(TVorqObject& o, const TRect& clip);

// Puts a control at the placement's LEFT and TOP, or in motion mode at its
// motion position, redrawing both where it was and where it goes.
void ApplyFilmPosition(TVorqControl& c, const TFilmPlacement& place);

// Label track (type 9): set in this order FONTNAME, FONTHEIGHT, LINESPACE,
// FONTCOLOR, FONTSTYLE, ANTIALIAS, HALIGN, FLIPH, FLIPV, TEXT, PRIORITY, the
// position, OFFSETX, OFFSETY, ALPHA, ANGLE, ZOOMX, ZOOMY and the clip.
struct TFilmLabelFrame {
    TFilmPlacement place;
    std::string font_name;
    int32_t font_height = 12, line_space = 12, font_color = 0xffffff;
    uint8_t font_style = 0, antialias = 0, align = 0;
    bool flip_h = false, flip_v = false;
    std::string text;
    int32_t offset_x = 0, offset_y = 0, alpha = 255, angle = 0, zoom_x = 256, zoom_y = 256;
};

// What redrawing a child asks of its parent: whether it is shown, its
// layer, the screen origin of its children and its rectangle. A film keeps
// one over a frame while only box tracks run, since setting a box changes
// none of this for the box's parent.
struct TFilmParentView {
    const TVorqControl* parent = nullptr;  // null: not taken yet
    bool shown = false;
    TVorqBase* base = nullptr;
    int64_t term_x = 0, term_y = 0;
    TRect rect{};
};

// Box track (type 2), outside motion mode: the same as setting, in this
// order, the parent, SetRect(place.left, place.top, width, height),
// PRIORITY, ALPHA, COLOR, BORDERWIDTH, BORDERCOLOR and the clip, each
// setter redrawing what it changes.
struct TFilmBoxFrame {
    TFilmPlacement place;
    // The view of the parent kept by the film for this frame (null: none).
    TFilmParentView* parent_view = nullptr;
    int32_t width = 0, height = 0;
    int32_t alpha = 255, color = 0, border_width = 0, border_color = 0;
};

// Tile track (type 20): the frame's picture, mask and transparent colour,
// the eased rectangle (place.left/top, width, height), DISTANCEX/Y, FLIPH,
// FLIPV, OFFSETX/Y, ZOOMX/Y, ALPHA, SCROLLX/Y and the clip.
struct TFilmTileFrame {
    TFilmPlacement place;
    TCustomDIBX* picture = nullptr;
    TCustomDIBX* mask = nullptr;
    int32_t transparent_color = -1;
    int32_t width = 0, height = 0;
    int32_t distance_x = 0, distance_y = 0;
    bool flip_h = false, flip_v = false;
    int32_t offset_x = 0, offset_y = 0, zoom_x = 256, zoom_y = 256, alpha = 255;
    int32_t scroll_x = 0, scroll_y = 0;
};

// Particle track (type 14): SetRect(place.left, place.top, width, height),
// PRIORITY, ALPHA, SOURCE, PARTMOTION, INDEX := pre-roll, PARAM1..3, the
// emitter's parameter record (XMin, YMin, XRange, YRange, IntervalMin,
// IntervalRange), then the clip. In motion mode only the position, WIDTH,
// HEIGHT, PRIORITY, ALPHA and the clip.
struct TFilmParticleFrame {
    TFilmPlacement place;
    int32_t width = 0, height = 0, alpha = 255;
    std::string source;
    uint8_t part_motion = 0;
    int32_t preroll = 0;
    long double param[3] = {0, 0, 0};
    int32_t x_min = 0, y_min = 0, x_range = 1, y_range = 1;
    int32_t interval_min = 100, interval_range = 1;
};

// Fire track (type 6): PRIORITY, the position, ORIGWIDTH, ORIGHEIGHT,
// ZOOMX, ZOOMY, POWER and the clip.
struct TFilmFireFrame {
    TFilmPlacement place;
    int32_t orig_width = 0, orig_height = 0;
    int32_t zoom_x = 1024, zoom_y = 1024;
    int32_t power = 100;
};

class TFilmTarget {
public:
    virtual ~TFilmTarget() = default;
    virtual void ApplyFilmLabel(const TFilmLabelFrame& /*f*/) {}
    // False: the kind does not take box frames, the track sets the
    // properties one by one.
    virtual bool ApplyFilmBox(const TFilmBoxFrame& /*f*/) { return false; }
    virtual void ApplyFilmTile(const TFilmTileFrame& /*f*/) {}
    virtual void ApplyFilmParticle(const TFilmParticleFrame& /*f*/) {}
    virtual void ApplyFilmFire(const TFilmFireFrame& /*f*/) {}
};
