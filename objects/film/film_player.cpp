// Playing a film: each track sets the properties of its display object for
// a frame, and the wipe tracks switch the target registry's layers.
#include "objects/film/film_manager.h"

#include "objects/base_list.h"
#include "objects/film_target.h"
#include "objects/images/image.h"
#include "objects/object_kinds.h"
#include "objects/media/sound.h"
#include "platform/exception.h"
#include "render/dibx.h"
#include "render/tesk_collection.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kFrameMs = 16.666666666666668;

bool IsImageLike(FilmTrackKind k) {
    return k == FilmTrackKind::Image || k == FilmTrackKind::Tile || k == FilmTrackKind::Label;
}

// Zooms are eased in 1/256 units; a value beyond what 32 bits hold is cut
// to the nearest end rather than left undefined.
int32_t Zoom256(double v) {
    const double z = std::trunc(v * 256.0);
    if (!(z > -2147483648.0)) return INT32_MIN;
    if (!(z < 2147483647.0)) return INT32_MAX;
    return static_cast<int32_t>(z);
}

int32_t Plus(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
int32_t Minus(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

// Opacity of a frame: both ends 0 = opaque; 0 stands for 255; a negative
// result r (only from stored values below 0) becomes 256 - r.
int32_t EaseAlpha(TFilmEase& e, int32_t from, int32_t to) {
    if (from == 0 && to == 0) return 255;
    if (from == 0) from = 255;
    if (to == 0) to = 255;
    const int32_t r = e.Int(0, from, to);
    return r < 0 ? Minus(256, r) : r;
}

// Each colour byte eased linearly on its own.
int32_t EaseColor(TFilmEase& e, int32_t from, int32_t to) {
    if (from == to) return from;
    uint32_t c = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int32_t a = (from >> shift) & 0xff, b = (to >> shift) & 0xff;
        c |= (static_cast<uint32_t>(e.Int(0, a, b)) & 0xff) << shift;
    }
    return static_cast<int32_t>(c);
}

TRect EaseClip(TFilmEase& e, const FilmClip& from, const FilmClip& to) {
    const int32_t w = e.Int(to.x_kind, from.size_from.x, to.size_to.x);
    const int32_t h = e.Int(to.y_kind, from.size_from.y, to.size_to.y);
    if (w < 1 || h < 1) return TRect{};
    const int32_t l = e.Int(to.x_kind, from.origin_from.x, to.origin_to.x);
    const int32_t top = e.Int(to.y_kind, from.origin_from.y, to.origin_to.y);
    return TRect{l, top, Plus(l, w), Plus(top, h)};
}

// 256 steps per turn; negative angles map to 255 - (|v| mod 256), so -1
// degree (v = -1) shows as 254.
int32_t AngleSteps(long double degrees) {
    const long double v = std::nearbyint(degrees * 256.0L / 360.0L);
    if (!(std::fabs(v) < 9.0e18L)) return 0;
    const int64_t k = static_cast<int64_t>(v);
    if (k >= 0) return static_cast<int32_t>(k % 256);
    return static_cast<int32_t>(255 - ((-k) % 256));
}

}  // namespace

// ---------------------------------------------------------------------------
// Tracks

TCustomFrameList::~TCustomFrameList() {
    ReleaseTarget();
    ReleasePicture();
}

TCustomFrameList* TCustomFrameList::ChainFirst() {
    TCustomFrameList* t = this;
    while (t->parent) t = t->parent;
    return t;
}

TVorqObject* TCustomFrameList::Target() const {
    if (!target_ || !target_registry_) return nullptr;
    return target_registry_->Alive(target_, target_serial_, target_index_) ? target_ : nullptr;
}

void TCustomFrameList::SetTarget(TVorqObject* obj) {
    target_ = obj;
    target_serial_ = obj ? obj->Serial() : 0;
    target_registry_ = obj ? obj->Registry() : nullptr;
    target_index_ = 0;
    target_hook_ = dynamic_cast<TFilmTarget*>(obj);
}

TFilmTarget* TCustomFrameList::HookOf(TVorqObject* obj) const {
    // obj is alive: the serial tells the target from a newer object that
    // took its place in memory.
    if (obj && obj == target_ && obj->Serial() == target_serial_) return target_hook_;
    return dynamic_cast<TFilmTarget*>(obj);
}

void TCustomFrameList::ReleaseTarget() {
    if (TVorqObject* o = Target()) {
        o->Invalidate();
        if (auto* image = dynamic_cast<TVorqCustomImage*>(o)) {
            image->SetPictureSurface(nullptr);
            image->SetMaskSurface(nullptr);
        }
        o->Scrap();
    }
    SetTarget(nullptr);
}

void TCustomFrameList::ReleasePicture() {
    if (picture_) picture_->Release(this);
    picture_ = nullptr;
}

void TCustomFrameList::LoadPicture() {
    ReleasePicture();
    frame_durations.clear();
    if (file_name.empty() || !TeskCollection) return;
    // Trimmed: a frame's hot spot is its trim offset.
    picture_ = TeskCollection->Acquire(this, file_name, true, false);
    int64_t period_sum = 0;
    for (auto& f : picture_->Frames) {
        const int32_t d = std::max(1, FilmMsToFrames(f->Delay));
        frame_durations.push_back(d);
        period_sum += d;
    }
    period = static_cast<int32_t>(std::min<int64_t>(period_sum, INT32_MAX));
    if (kind_ == FilmTrackKind::Tile && !picture_->Frames.empty()) {
        const TTeskItemFrame& f0 = *picture_->Frames.front();
        const int32_t w = f0.Image ? f0.Image->Width() : 0, h = f0.Image ? f0.Image->Height() : 0;
        for (int32_t* v : {&tile.tile_w_from, &tile.tile_w_to})
            if (*v == 0) *v = w;
        for (int32_t* v : {&tile.tile_h_from, &tile.tile_h_to})
            if (*v == 0) *v = h;
    }
}

void TCustomFrameList::Prepare() {
    switch (kind_) {
    case FilmTrackKind::Image:
    case FilmTrackKind::Tile: {
        const int32_t keep = length;
        LoadPicture();
        length = keep;
        break;
    }
    case FilmTrackKind::Sound:
        if (parent && parent->kind_ == FilmTrackKind::Sound) sound.file = ChainFirst()->sound.file;
        break;
    case FilmTrackKind::Label:
        // A chained label goes on saying what the label before it said, in
        // its own look.
        if (parent && parent->kind_ == FilmTrackKind::Label) {
            const TCustomFrameList* first = parent;
            while (first->parent && first->parent->kind_ == FilmTrackKind::Label) first = first->parent;
            label.text = first->label.text;
        }
        break;
    default: break;
    }
}

TVorqControl* TCustomFrameList::PlacementParent() const {
    if (film_->bound_cinema) return film_->bound_cinema;
    TVorqBaseList* reg = film_->GetTarget();
    return reg ? reg->GetBaseAt(parity_ ^ (other_layer & 1)) : nullptr;
}

TVorqObject* TCustomFrameList::EnsureTarget() {
    // Particle and fire chains share the object of their first track.
    if (kind_ == FilmTrackKind::Particle || kind_ == FilmTrackKind::Fire) {
        TCustomFrameList* first = ChainFirst();
        if (first != this) {
            if (TVorqObject* o = first->EnsureTarget()) return o;
            return nullptr;
        }
    }
    if (TVorqObject* o = Target()) return o;
    TVorqBaseList* reg = film_->GetTarget();
    if (!reg) return nullptr;
    std::string prefix(1, kInternalMark);
    if (film_->bound_cinema) prefix += film_->bound_cinema->GetName() + kInternalMark;
    TVorqObject* made = nullptr;
    switch (kind_) {
    case FilmTrackKind::Image: made = new TVorqImage(reg, kCreateRegister); break;
    default: {
        int32_t type = 0;
        switch (kind_) {
        case FilmTrackKind::Box: type = LT_BOX; break;
        case FilmTrackKind::Label: type = LT_LABEL; break;
        case FilmTrackKind::Tile: type = LT_TILE; break;
        case FilmTrackKind::Particle: type = LT_PARTICLE; break;
        case FilmTrackKind::Fire: type = LT_FIRE; break;
        default: return nullptr;
        }
        // A kind this player does not make shows nothing; asked once.
        if (unmakeable_) return nullptr;
        try {
            made = CreateObjectByType(reg, type);
        } catch (const Exception&) {
            unmakeable_ = 1;
            return nullptr;
        }
        break;
    }
    }
    if (!made) return nullptr;
    made->SetName(reg->MakeUniqueName(prefix));
    if (kind_ == FilmTrackKind::Label) made->SetParent(PlacementParent());
    SetTarget(made);
    return made;
}

bool TCustomFrameList::ApplyAt(int32_t t) {
    switch (kind_) {
    case FilmTrackKind::Image:
    case FilmTrackKind::Tile:
    case FilmTrackKind::Label: return ApplyImageLike(t);
    case FilmTrackKind::Box: return ApplyBox(t);
    case FilmTrackKind::Sound: return ApplySound(t);
    case FilmTrackKind::Particle:
    case FilmTrackKind::Fire: return ApplyRect(t);
    case FilmTrackKind::Wipe: return false;
    }
    return false;
}

bool TCustomFrameList::EnterActive(int32_t t, TVorqObject*& obj) {
    if (!ActiveAt(t)) {
        if (!film_->motion_mode) ReleaseTarget();
        return false;
    }
    obj = film_->motion_mode ? film_->bound_object : EnsureTarget();
    return true;
}

void TCustomFrameList::ShiftRelative(FilmPoint& from, FilmPoint& to) const {
    if (!film_->relative_mode) return;
    const int32_t dx = Minus(film_->origin.x, film_->reference.x), dy = Minus(film_->origin.y, film_->reference.y);
    from = {Plus(from.x, dx), Plus(from.y, dy)};
    to = {Plus(to.x, dx), Plus(to.y, dy)};
}

bool TCustomFrameList::ApplyImageLike(int32_t t) {
    const bool motion = film_->motion_mode;
    TVorqObject* obj = nullptr;
    if (!EnterActive(t, obj)) return false;
    const int32_t u = Minus(t, absolute_start_);
    TFilmEase e(length, u, child_ != nullptr);
    const int32_t k = FrameIndexAt(u);
    if (k < 0 || static_cast<size_t>(k) >= frame_durations.size()) return true;
    if (!obj) return true;

    // From values of a chained track are its parent's to values.
    const FilmImageBlock& to = image;
    const FilmImageBlock& from = parent && IsImageLike(parent->kind_) ? parent->image : image;
    FilmPoint pf = parent && IsImageLike(parent->kind_) ? from.pos_to : from.pos_from;
    FilmPoint pt = to.pos_to;
    if (motion) ShiftRelative(pf, pt);
    const bool chained = parent && IsImageLike(parent->kind_);
    const double zxf = chained ? from.zoom_x_to : from.zoom_x_from, zyf = chained ? from.zoom_y_to : from.zoom_y_from;
    const int32_t angle_from = chained ? from.angle_to : from.angle_from;
    const int32_t alpha_from = chained ? from.alpha_to : from.alpha_from;
    FilmClip clip_from = from.clip;
    if (chained) {
        clip_from.origin_from = from.clip.origin_to;
        clip_from.size_from = from.clip.size_to;
    }

    const TTeskItemFrame* frame =
        picture_ && static_cast<size_t>(k) < picture_->Frames.size() ? picture_->Frames[static_cast<size_t>(k)].get()
                                                                      : nullptr;
    const int32_t hot_x = frame ? frame->TrimX : 0, hot_y = frame ? frame->TrimY : 0;
    const int32_t offset_x = Minus(to.anchor.x, hot_x), offset_y = Minus(to.anchor.y, hot_y);
    const int32_t x = e.Int(to.x_kind, pf.x, pt.x);
    const int32_t y = e.Int(to.y_kind, pf.y, pt.y);
    const int32_t zoom_x = e.Int(to.zoom_x_kind, Zoom256(zxf), Zoom256(to.zoom_x_to));
    const int32_t zoom_y = e.Int(to.zoom_y_kind, Zoom256(zyf), Zoom256(to.zoom_y_to));
    const TRect clip = EaseClip(e, clip_from, to.clip);
    int32_t angle = 0;
    if (angle_from != 0 || to.angle_to != 0)
        angle = AngleSteps(TweenFloat(to.angle_kind, u, angle_from, to.angle_to, length));
    const int32_t alpha = EaseAlpha(e, alpha_from, to.alpha_to);
    const int32_t priority = motion ? Plus(film_->base_priority, this->priority) : this->priority;

    if (kind_ == FilmTrackKind::Image) {
        auto* img = dynamic_cast<TVorqCustomImage*>(obj);
        if (motion) {
            if (img) {
                img->SetPictureSurface(frame ? frame->Image.get() : nullptr);
                img->SetMaskSurface(frame ? frame->Mask.get() : nullptr);
                if (TCustomDIBX* own = img->GetOwnSurface(); own && frame) {
                    img->SetTransparentColorField(frame->TransparentColor);
                    own->SetTransparentColor(own->ColorToPixel(frame->TransparentColor));
                }
            }
            if (frame && frame->Image) {
                obj->SetWidth(static_cast<int32_t>(int64_t(frame->Image->Width()) * zoom_x / 256));
                obj->SetHeight(static_cast<int32_t>(int64_t(frame->Image->Height()) * zoom_y / 256));
            }
            // An image's own track priority orders it among its siblings
            // without moving it past the film's base priority.
            obj->SetOrder(this->priority);
            obj->SetFlipH(flip_h != 0);
            obj->SetFlipV(flip_v != 0);
            obj->SetMotionX(x);
            obj->SetMotionY(y);
            obj->SetOffsetX(offset_x);
            obj->SetOffsetY(offset_y);
            obj->SetZoomX(zoom_x);
            obj->SetZoomY(zoom_y);
            obj->SetAngle(angle);
            obj->SetAlpha(alpha);
            ApplyFilmClip(*obj, clip);
            if (TVorqControl* c = dynamic_cast<TVorqControl*>(obj)) c->Invalidate();
        } else if (auto* vi = dynamic_cast<TVorqImage*>(obj)) {
            TFilmImageFrame f;
            f.parent = PlacementParent();
            f.picture = frame ? frame->Image.get() : nullptr;
            f.mask = frame ? frame->Mask.get() : nullptr;
            f.transparent_color = frame ? frame->TransparentColor : -1;
            f.zoom_x = zoom_x;
            f.zoom_y = zoom_y;
            f.priority = priority;
            f.flip_h = flip_h != 0;
            f.flip_v = flip_v != 0;
            f.offset_x = offset_x;
            f.offset_y = offset_y;
            f.left = x;
            f.top = y;
            f.angle = angle;
            f.alpha = alpha;
            f.clip = clip;
            vi->ApplyFilmFrame(f);
        }
        obj->SetCaptureMask(true);
        return true;
    }

    TFilmPlacement place;
    place.motion = motion;
    place.parent = motion ? nullptr : PlacementParent();
    place.priority = priority;
    place.clip = clip;
    TFilmTarget* hook = HookOf(obj);
    if (!hook) return true;
    if (kind_ == FilmTrackKind::Label) {
        place.left = x;
        place.top = y;
        TFilmLabelFrame f;
        f.place = place;
        f.font_name = label.font_name;
        f.font_height = label.font_height;
        f.line_space = label.line_space;
        f.font_color = label.font_color;
        f.font_style = label.font_style;
        f.antialias = label.antialias;
        f.align = label.align;
        f.flip_h = flip_h != 0;
        f.flip_v = flip_v != 0;
        f.text = label.text;
        f.offset_x = offset_x;
        f.offset_y = offset_y;
        f.alpha = alpha;
        f.angle = angle;
        f.zoom_x = zoom_x;
        f.zoom_y = zoom_y;
        hook->ApplyFilmLabel(f);
        return true;
    }
    // Tile: the rectangle eased by its corners, like a box.
    const FilmTileBlock& tf = parent && parent->kind_ == FilmTrackKind::Tile ? parent->tile : tile;
    const bool tile_chained = parent && parent->kind_ == FilmTrackKind::Tile;
    const int32_t twf = tile_chained ? tf.tile_w_to : tf.tile_w_from, thf = tile_chained ? tf.tile_h_to : tf.tile_h_from;
    const int32_t left = x;
    const int32_t right = e.Int(to.x_kind, Minus(Plus(pf.x, twf), 1), Minus(Plus(pt.x, tile.tile_w_to), 1));
    const int32_t top = y;
    const int32_t bottom = e.Int(to.y_kind, Minus(Plus(pf.y, thf), 1), Minus(Plus(pt.y, tile.tile_h_to), 1));
    place.left = left;
    place.top = top;
    TFilmTileFrame f;
    f.place = place;
    f.picture = frame ? frame->Image.get() : nullptr;
    f.mask = frame ? frame->Mask.get() : nullptr;
    f.transparent_color = frame ? frame->TransparentColor : -1;
    f.width = Plus(Minus(right, left), 1);
    f.height = Plus(Minus(bottom, top), 1);
    f.distance_x = tile.distance_x;
    f.distance_y = tile.distance_y;
    f.flip_h = flip_h != 0;
    f.flip_v = flip_v != 0;
    f.offset_x = offset_x;
    f.offset_y = offset_y;
    f.zoom_x = zoom_x;
    f.zoom_y = zoom_y;
    f.alpha = alpha;
    f.scroll_x = e.Int(tile.scroll_x_kind, tile_chained ? tf.scroll_x_to : tf.scroll_x_from, tile.scroll_x_to);
    f.scroll_y = e.Int(tile.scroll_y_kind, tile_chained ? tf.scroll_y_to : tf.scroll_y_from, tile.scroll_y_to);
    hook->ApplyFilmTile(f);
    return true;
}

bool TCustomFrameList::ApplyBox(int32_t t) {
    const bool motion = film_->motion_mode;
    TVorqObject* obj = nullptr;
    if (!EnterActive(t, obj)) return false;
    if (!obj) return true;
    const int32_t u = Minus(t, absolute_start_);
    TFilmEase e(length, u, child_ != nullptr);
    const bool chained = parent && parent->kind_ == FilmTrackKind::Box;
    const FilmBoxBlock& to = box;
    const FilmBoxBlock& fb = chained ? parent->box : box;
    FilmPoint pf = chained ? fb.pos_to : fb.pos_from, pt = to.pos_to;
    if (motion) ShiftRelative(pf, pt);
    const int32_t wf = chained ? fb.width_to : fb.width_from, hf = chained ? fb.height_to : fb.height_from;
    const int32_t left = e.Int(to.x_kind, pf.x, pt.x);
    const int32_t right = e.Int(to.x_kind, Minus(Plus(pf.x, wf), 1), Minus(Plus(pt.x, to.width_to), 1));
    const int32_t top = e.Int(to.y_kind, pf.y, pt.y);
    const int32_t bottom = e.Int(to.y_kind, Minus(Plus(pf.y, hf), 1), Minus(Plus(pt.y, to.height_to), 1));
    FilmClip clip_from = fb.clip;
    if (chained) {
        clip_from.origin_from = fb.clip.origin_to;
        clip_from.size_from = fb.clip.size_to;
    }
    const TRect clip = EaseClip(e, clip_from, to.clip);
    const int32_t alpha = EaseAlpha(e, chained ? fb.alpha_to : fb.alpha_from, to.alpha_to);
    const int32_t color = EaseColor(e, chained ? fb.color_to : fb.color_from, to.color_to);
    const int32_t border_color =
        EaseColor(e, chained ? fb.border_color_to : fb.border_color_from, to.border_color_to);
    const int32_t bwf = chained ? fb.border_width_to : fb.border_width_from;
    const int32_t border_width = bwf == to.border_width_to ? bwf : e.Int(0, bwf, to.border_width_to);
    const int32_t width = Plus(Minus(right, left), 1), height = Plus(Minus(bottom, top), 1);
    if (!motion) {
        // A kind that takes the frame whole; otherwise the setters below.
        if (TFilmTarget* hook = HookOf(obj)) {
            TFilmBoxFrame f;
            f.parent_view = film_->frame_view_;
            f.place.parent = PlacementParent();
            f.place.priority = priority;
            f.place.left = left;
            f.place.top = top;
            f.place.clip = clip;
            f.width = width;
            f.height = height;
            f.alpha = alpha;
            f.color = color;
            f.border_width = border_width;
            f.border_color = border_color;
            if (hook->ApplyFilmBox(f)) return true;
        }
        if (auto* c = dynamic_cast<TVorqControl*>(obj)) {
            c->SetParent(PlacementParent());
            c->SetRect(left, top, width, height);
            obj->SetPriority(priority);
        }
    } else {
        obj->SetMotionX(left);
        obj->SetMotionY(top);
        obj->SetWidth(width);
        obj->SetHeight(height);
        obj->SetPriority(Plus(film_->base_priority, priority));
        if (auto* c = dynamic_cast<TVorqControl*>(obj)) c->Invalidate();
    }
    obj->SetAlpha(alpha);
    obj->SetColor(color);
    obj->SetBorderWidth(border_width);
    obj->SetBorderColor(border_color);
    ApplyFilmClip(*obj, clip);
    return true;
}

bool TCustomFrameList::ApplyRect(int32_t t) {
    const bool motion = film_->motion_mode;
    if (!ActiveAt(t)) {
        // The chain's object lives over the chain's whole span: only its
        // last track lets it go, and only outside that span.
        if (!motion && !child_) {
            TCustomFrameList* first = ChainFirst();
            const int64_t s = first->absolute_start_;
            if (!(s <= t && t < int64_t(absolute_start_) + length)) first->ReleaseTarget();
        }
        return false;
    }
    TVorqObject* obj = motion ? film_->bound_object : EnsureTarget();
    if (!obj) return true;
    TFilmTarget* hook = HookOf(obj);
    const int32_t u = Minus(t, absolute_start_);
    TFilmEase e(length, u, child_ != nullptr);
    const bool chained = parent && parent->kind_ == kind_;
    const FilmRectBlock& to = kind_ == FilmTrackKind::Particle ? particle.rect : fire.rect;
    const FilmRectBlock& fb = chained ? (kind_ == FilmTrackKind::Particle ? parent->particle.rect : parent->fire.rect) : to;
    FilmPoint pf = chained ? fb.pos_to : fb.pos_from, pt = to.pos_to;
    if (motion) ShiftRelative(pf, pt);
    const int32_t wf = chained ? fb.width_to : fb.width_from, hf = chained ? fb.height_to : fb.height_from;
    FilmClip clip_from = fb.clip;
    if (chained) {
        clip_from.origin_from = fb.clip.origin_to;
        clip_from.size_from = fb.clip.size_to;
    }
    TFilmPlacement place;
    place.motion = motion;
    place.parent = motion ? nullptr : PlacementParent();
    place.priority = motion ? Plus(film_->base_priority, priority) : priority;
    place.clip = EaseClip(e, clip_from, to.clip);

    if (kind_ == FilmTrackKind::Particle) {
        const FilmParticleBlock& p = particle;
        const FilmParticleBlock& q = chained ? parent->particle : particle;
        const int32_t left = e.Int(to.x_kind, pf.x, pt.x);
        const int32_t right = e.Int(to.x_kind, Minus(Plus(pf.x, wf), 1), Minus(Plus(pt.x, to.width_to), 1));
        const int32_t top = e.Int(to.y_kind, pf.y, pt.y);
        const int32_t bottom = e.Int(to.y_kind, Minus(Plus(pf.y, hf), 1), Minus(Plus(pt.y, to.height_to), 1));
        TFilmParticleFrame f;
        place.left = left;
        place.top = top;
        f.place = place;
        f.width = Plus(Minus(right, left), 1);
        f.height = Plus(Minus(bottom, top), 1);
        f.alpha = EaseAlpha(e, chained ? q.alpha_to : q.alpha_from, p.alpha_to);
        f.source = p.file;
        f.part_motion = p.part_motion;
        f.preroll = p.preroll;
        for (int k = 0; k < 3; ++k)
            f.param[k] = TweenFloat(0, u, chained ? q.param_to[k] : q.param_from[k], p.param_to[k], length);
        f.interval_min = e.Int(0, chained ? q.interval_min_to : q.interval_min_from, p.interval_min_to);
        f.interval_range =
            e.Int(0, chained ? q.interval_range_to : q.interval_range_from, p.interval_range_to);
        f.x_min = e.Int(p.birth_x_kind, chained ? q.birth_min_to.x : q.birth_min_from.x, p.birth_min_to.x);
        f.y_min = e.Int(p.birth_y_kind, chained ? q.birth_min_to.y : q.birth_min_from.y, p.birth_min_to.y);
        f.x_range = e.Int(0, chained ? q.birth_range_to.x : q.birth_range_from.x, p.birth_range_to.x);
        f.y_range = e.Int(0, chained ? q.birth_range_to.y : q.birth_range_from.y, p.birth_range_to.y);
        if (hook) hook->ApplyFilmParticle(f);
        return true;
    }
    // Fire: the size eased directly, not by corners.
    const FilmFireBlock& p = fire;
    const FilmFireBlock& q = chained ? parent->fire : fire;
    TFilmFireFrame f;
    place.left = e.Int(to.x_kind, pf.x, pt.x);
    place.top = e.Int(to.y_kind, pf.y, pt.y);
    f.place = place;
    f.orig_width = e.Int(to.x_kind, wf, to.width_to);
    f.orig_height = e.Int(to.y_kind, hf, to.height_to);
    f.zoom_x = e.Int(p.zoom_x_kind, Zoom256(chained ? q.zoom_x_to : q.zoom_x_from), Zoom256(p.zoom_x_to));
    f.zoom_y = e.Int(p.zoom_y_kind, Zoom256(chained ? q.zoom_y_to : q.zoom_y_from), Zoom256(p.zoom_y_to));
    f.power = p.power;
    if (hook) hook->ApplyFilmFire(f);
    return true;
}

void TCustomFrameList::PrepareSound() {
    if (kind_ != FilmTrackKind::Sound) return;
    if (parent && parent->kind_ == FilmTrackKind::Sound) {
        ReleaseTarget();
        ChainFirst()->PrepareSound();
        return;
    }
    if (Target()) return;
    TVorqBaseList* reg = film_->SceneRegistry();
    if (!reg) return;
    auto* s = new TVorqSound(reg);
    std::string prefix(1, kInternalMark);
    if (film_->bound_cinema) prefix += film_->bound_cinema->GetName() + kInternalMark;
    s->SetName(reg->MakeUniqueName(prefix));
    SetTarget(s);
    s->SetSource(sound.file);
    s->SetVolume(static_cast<int32_t>(int64_t(sound.volume_from) * film_->sound_volume_scale / 1000));
    // Repeat when the sound is shorter than its span, or when the span runs
    // to the end of a film that loops back into it.
    const int64_t span_ms = static_cast<int64_t>(std::trunc(length * kFrameMs));
    const int64_t end = int64_t(absolute_start_) + length;
    const int32_t loop = film_->loop_start, film_len = film_->Length();
    const bool repeat = span_ms > s->GetCount() ||
                        (end >= film_len && absolute_start_ <= loop && end > loop && loop >= 1 && loop < int64_t(film_len) - 1);
    s->SetRepeat(repeat);
    s->SetBalance(sound.balance_from);
    s->SetPaused(true);
    s->SetPlayState(PS_PLAY);
}

bool TCustomFrameList::ApplySound(int32_t t) {
    PrepareSound();
    TCustomFrameList* first = ChainFirst();
    TVorqObject* obj = first->Target();
    if (t < last_frame_ && film_->sound_on && obj) obj->SetPaused(true);
    last_frame_ = t;
    const int64_t end = std::min<int64_t>(int64_t(absolute_start_) + length, int64_t(film_->Length()) - 1);
    if (absolute_start_ <= t && t < end) {
        if (!obj) return true;
        const int32_t u = Minus(t, absolute_start_);
        const bool chained = parent && parent->kind_ == FilmTrackKind::Sound;
        const FilmSoundBlock& q = chained ? parent->sound : sound;
        const int32_t vol = TweenInt(sound.volume_kind, chained ? q.volume_to : q.volume_from, sound.volume_to, length, u);
        obj->SetVolume(static_cast<int32_t>(int64_t(vol) * film_->sound_volume_scale / 1000));
        obj->SetBalance(TweenInt(sound.balance_kind, chained ? q.balance_to : q.balance_from, sound.balance_to, length, u));
        if (!film_->sound_on) {
            obj->SetPaused(true);
            return true;
        }
        if (!obj->GetPaused() && obj->GetPlayState() != PS_STOP) {
            const int64_t expected = (int64_t(t) - first->absolute_start_) * 1000 / 60;
            if (std::llabs(int64_t(obj->GetIndex()) - expected) >= 3000) obj->SetIndex(static_cast<int32_t>(expected));
            return true;
        }
        if (auto* s = dynamic_cast<TVorqSound*>(obj)) s->Restart();
        return true;
    }
    if (!child_ && obj) {
        const int64_t s = first->absolute_start_;
        if (!(s <= t && t < end)) obj->SetPaused(true);
    }
    return false;
}

void TCustomFrameList::SetPaused(bool flag) {
    if (kind_ != FilmTrackKind::Sound) return;
    if ((paused_ != 0) == flag) return;
    paused_ = flag;
    if (TVorqObject* o = ChainFirst()->Target()) o->SetPaused(flag);
}

// ---------------------------------------------------------------------------
// The film

TFilmManager::~TFilmManager() { Clear(); }

void TFilmManager::Start() {
    if (!motion_mode && !bound_cinema && target_) {
        target_->SetWidth(width);
        target_->SetHeight(height);
        target_->SetColor(color);
    }
    for (auto& t : tracks_) t->PrepareSound();
}

void TFilmManager::SetFrame(int32_t t) {
    // Box tracks running one after another share what they ask of their
    // parent; any other track may change it and starts the view afresh.
    TFilmParentView view;
    frame_view_ = &view;
    struct Unset {
        TFilmParentView*& view;
        ~Unset() { view = nullptr; }
    } unset{frame_view_};
    for (auto& track : tracks_) {
        if (track->Kind() != FilmTrackKind::Box) view.parent = nullptr;
        track->ApplyAt(t);
    }
    if (!motion_mode && !bound_cinema && target_) {
        TCustomFrameList* active = ActiveWipeAt(t);
        int parity = 0;
        for (auto& w : tracks_)
            if (w->Kind() == FilmTrackKind::Wipe && w.get() != active &&
                int64_t(w->AbsoluteStart()) + w->length - 1 <= t)
                parity ^= 1;
        if (active) {
            TCustomWipe* wipe = target_->SetActiveBase(parity, active->wipe.kind, active->wipe.mode,
                                                       active != current_wipe_, Minus(t, active->AbsoluteStart()),
                                                       active->length);
            if (wipe) {
                wipe->SetParam(0, active->wipe.param0);
                wipe->SetParam(1, active->wipe.param1);
                wipe->SetName(active->wipe.mask);
                wipe->Prepare();
            }
        } else {
            target_->SetActiveBase(parity, 0, 0, current_wipe_ != nullptr, 0, 0);
        }
        target_->ActiveBase()->SortChildren();
        current_wipe_ = active;
    }
    current_frame = t;
}

void TFilmManager::SetPaused(bool flag) {
    if ((paused != 0) == flag) return;
    paused = flag;
    for (auto& t : tracks_) t->SetPaused(flag);
}

void TFilmManager::SetSoundOn(bool flag) {
    sound_on = flag;
    if (flag) return;
    for (auto& t : tracks_)
        if (t->Kind() == FilmTrackKind::Sound)
            if (TVorqObject* o = t->ChainFirst()->Target()) o->SetPaused(true);
}
