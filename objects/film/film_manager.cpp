#include "objects/film/film_manager.h"

#include "files/field_reader.h"
#include "files/path_parser.h"
#include "files/vr_file_manager.h"
#include "media/audio/sound_items.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"

#include <algorithm>
#include <cmath>

namespace {

// The step of the time base: the 64-bit float 1000/60.
constexpr double kFrameMs = 16.666666666666668;
// π/2 as the extended constant the easing has always used.
constexpr long double kHalfPi = 1.5707963267948966L;

// A sine whose argument is too large to reduce gives 0, as the hardware did.
long double SineOrZero(long double x) {
    if (!(std::fabs(x) < 9.2233720368547758e18L)) return 0.0L;
    return std::sin(x);
}

int32_t RoundToI32(long double v) {
    long double r = std::nearbyint(v);
    if (!(r >= -2147483648.0L && r <= 2147483647.0L)) return r > 0 ? INT32_MAX : INT32_MIN;
    return static_cast<int32_t>(r);
}

// RoundToI32(sinl(x) * span) for the eased value, with the sine taken in
// double precision: that differs from the extended sine by under 2^-51 for
// |x| <= 4, so the product lies within 2^-16 of the extended one and rounds
// the same wherever it is more than 2^-10 from a half and inside 32 bits.
// Only there does the extended path run. RoundedDoubleTimes takes s, the
// double sine, and is false where the extended path must run.
bool RoundedDoubleTimes(double s, int64_t span, int32_t& out) {
    const double v = s * static_cast<double>(span);
    if (std::fabs(v) < 2147483000.0) {
        const int64_t t = static_cast<int64_t>(v);
        const int64_t lo = v < static_cast<double>(t) ? t - 1 : t;
        const double f = v - static_cast<double>(lo);
        if (std::fabs(f - 0.5) > 0x1p-10) {
            out = static_cast<int32_t>(f < 0.5 ? lo : lo + 1);
            return true;
        }
    }
    return false;
}

int32_t RoundedSineTimes(long double x, int64_t span) {
    int32_t r;
    if (std::fabs(x) <= 4.0L && RoundedDoubleTimes(std::sin(static_cast<double>(x)), span, r)) return r;
    return RoundToI32(SineOrZero(x) * span);
}

int32_t Doubled(int32_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v) * 2u); }

FilmPoint ReadPoint(FieldReader& r, const char* field) {
    FilmPoint p;
    p.x = r.I32(field);
    p.y = r.I32(field);
    return p;
}

void ReadClip(FieldReader& r, FilmClip& c) {
    c.origin_from = ReadPoint(r, "clip origin from");
    c.size_from = ReadPoint(r, "clip size from");
    c.origin_to = ReadPoint(r, "clip origin to");
    c.size_to = ReadPoint(r, "clip size to");
    c.x_kind = r.U8("clip X easing kind");
    c.y_kind = r.U8("clip Y easing kind");
}

void ReadImageBlock(FieldReader& r, int version, FilmImageBlock& b) {
    b.anchor = ReadPoint(r, "anchor");
    b.pos_from = ReadPoint(r, "position from");
    b.pos_to = ReadPoint(r, "position to");
    b.x_kind = r.U8("X easing kind");
    b.y_kind = r.U8("Y easing kind");
    b.angle_from = r.I32("angle from");
    b.angle_to = r.I32("angle to");
    b.zoom_x_from = r.F64("zoom X from");
    b.zoom_x_to = r.F64("zoom X to");
    b.zoom_x_kind = r.U8("zoom X easing kind");
    b.alpha_from = r.I32("alpha from");
    b.alpha_to = r.I32("alpha to");
    b.angle_kind = r.U8("angle easing kind");
    if (version >= 101) ReadClip(r, b.clip);
    if (version >= 105) {
        b.zoom_y_from = r.F64("zoom Y from");
        b.zoom_y_to = r.F64("zoom Y to");
        b.zoom_y_kind = r.U8("zoom Y easing kind");
    } else {
        b.zoom_y_from = b.zoom_x_from;
        b.zoom_y_to = b.zoom_x_to;
        b.zoom_y_kind = b.zoom_x_kind;
    }
}

void ReadRectBlock(FieldReader& r, FilmRectBlock& b) {
    b.pos_from = ReadPoint(r, "position from");
    b.pos_to = ReadPoint(r, "position to");
    b.x_kind = r.U8("X easing kind");
    b.y_kind = r.U8("Y easing kind");
    b.width_from = r.I32("width from");
    b.height_from = r.I32("height from");
    b.width_to = r.I32("width to");
    b.height_to = r.I32("height to");
    ReadClip(r, b.clip);
}

// Names of files a track refers to stay within what a path can be.
constexpr uint32_t kNameLimit = 4096;
// Label texts are short; a megabyte is far beyond any real one.
constexpr uint32_t kTextLimit = 1u << 20;
// Bytes of the smallest track record: kind byte and common header.
constexpr uint64_t kMinTrackBytes = 1 + 6 * 4 + 3;
constexpr uint32_t kTrackLimit = 1u << 16;
// Far beyond any screen a film was made for.
constexpr int32_t kScreenLimit = 8192;

bool IsAbsoluteName(const std::string& s) { return (!s.empty() && s[0] == '\\') || (s.size() >= 2 && s[1] == ':'); }

void ReadTrack(FieldReader& r, int version, const std::string& folder, TCustomFrameList& t) {
    t.parent_index = r.I32("parent");
    t.length = r.I32("length");
    t.spare = r.I32("spare");
    t.start = r.I32("start");
    t.period = r.I32("period");
    t.priority = r.I32("priority");
    t.flip_h = r.U8("flip H");
    t.flip_v = r.U8("flip V");
    t.other_layer = r.U8("other layer");
    if (version < 107) {
        t.start = Doubled(t.start);
        t.length = Doubled(t.length);
        t.period = Doubled(t.period);
    }
    switch (t.Kind()) {
    case FilmTrackKind::Image:
    case FilmTrackKind::Tile:
        ReadImageBlock(r, version, t.image);
        t.file_name = ExpandRelativePath(r.String("image file name", kNameLimit), folder);
        if (t.Kind() == FilmTrackKind::Tile) {
            FilmTileBlock& b = t.tile;
            b.tile_w_from = r.I32("tile width from");
            b.tile_h_from = r.I32("tile height from");
            b.tile_w_to = r.I32("tile width to");
            b.tile_h_to = r.I32("tile height to");
            b.scroll_x_from = r.I32("scroll X from");
            b.scroll_y_from = r.I32("scroll Y from");
            b.scroll_x_to = r.I32("scroll X to");
            b.scroll_y_to = r.I32("scroll Y to");
            b.scroll_x_kind = r.U8("scroll X easing kind");
            b.scroll_y_kind = r.U8("scroll Y easing kind");
            b.distance_x = r.I32("distance X");
            b.distance_y = r.I32("distance Y");
            if (version >= 101) ReadClip(r, t.image.clip);
        }
        break;
    case FilmTrackKind::Label: {
        ReadImageBlock(r, version, t.image);
        FilmLabelBlock& b = t.label;
        b.text = r.String("label text", kTextLimit);
        b.antialias = r.U8("antialias");
        b.font_name = r.String("font name", kNameLimit);
        b.font_height = r.I32("font height");
        if (version >= 103)
            b.line_space = r.I32("line space");
        else
            r.Skip(4, "line space");
        b.font_style = r.U8("font style");
        b.font_color = r.I32("font colour");
        if (version >= 103) b.align = r.U8("horizontal alignment");
        break;
    }
    case FilmTrackKind::Box: {
        FilmBoxBlock& b = t.box;
        b.pos_from = ReadPoint(r, "position from");
        b.pos_to = ReadPoint(r, "position to");
        b.x_kind = r.U8("X easing kind");
        b.y_kind = r.U8("Y easing kind");
        b.alpha_from = r.I32("alpha from");
        b.alpha_to = r.I32("alpha to");
        b.width_from = r.I32("width from");
        b.height_from = r.I32("height from");
        b.width_to = r.I32("width to");
        b.height_to = r.I32("height to");
        b.color_from = r.I32("colour from");
        b.color_to = r.I32("colour to");
        b.border_width_from = r.I32("border width from");
        b.border_width_to = r.I32("border width to");
        b.border_color_from = r.I32("border colour from");
        b.border_color_to = r.I32("border colour to");
        if (version >= 101) ReadClip(r, b.clip);
        break;
    }
    case FilmTrackKind::Wipe: {
        FilmWipeBlock& b = t.wipe;
        b.kind = r.U8("transition kind");
        if (version >= 101) {
            b.mask = r.String("mask file name", kNameLimit);
            // An empty name means no mask; it must not turn into the folder.
            if (!b.mask.empty() && !IsAbsoluteName(b.mask)) b.mask = folder + b.mask;
            b.param0 = r.I32("parameter 0");
            b.param1 = r.I32("parameter 1");
            b.mode = r.U8("mode");
        }
        break;
    }
    case FilmTrackKind::Sound: {
        FilmSoundBlock& b = t.sound;
        b.file = ExpandRelativePath(r.String("sound file name", kNameLimit), folder);
        b.volume_from = r.I32("volume from");
        b.volume_to = r.I32("volume to");
        b.balance_from = r.I32("balance from");
        b.balance_to = r.I32("balance to");
        b.volume_kind = r.U8("volume easing kind");
        b.balance_kind = r.U8("balance easing kind");
        if (version < 108) {
            b.volume_from = b.volume_from / 10 + 1000;
            b.volume_to = b.volume_to / 10 + 1000;
        }
        break;
    }
    case FilmTrackKind::Particle: {
        FilmParticleBlock& b = t.particle;
        b.file = ExpandRelativePath(r.String("particle file name", kNameLimit), folder);
        if (b.file.empty()) break;
        b.part_motion = r.U8("PARTMOTION");
        b.preroll = r.I32("pre-roll");
        b.interval_min_from = r.I32("interval minimum from");
        b.interval_min_to = r.I32("interval minimum to");
        b.interval_range_from = r.I32("interval range from");
        b.interval_range_to = r.I32("interval range to");
        b.birth_min_from = ReadPoint(r, "birth minimum from");
        b.birth_min_to = ReadPoint(r, "birth minimum to");
        b.birth_range_from = ReadPoint(r, "birth range from");
        b.birth_range_to = ReadPoint(r, "birth range to");
        b.birth_x_kind = r.U8("birth X easing kind");
        b.birth_y_kind = r.U8("birth Y easing kind");
        for (double& p : b.param_from) p = r.F64("PARAM from");
        for (double& p : b.param_to) p = r.F64("PARAM to");
        ReadRectBlock(r, b.rect);
        b.alpha_from = r.I32("alpha from");
        b.alpha_to = r.I32("alpha to");
        break;
    }
    case FilmTrackKind::Fire: {
        FilmFireBlock& b = t.fire;
        ReadRectBlock(r, b.rect);
        b.zoom_x_from = r.F64("zoom X from");
        b.zoom_y_from = r.F64("zoom Y from");
        b.zoom_x_to = r.F64("zoom X to");
        b.zoom_y_to = r.F64("zoom Y to");
        b.zoom_x_kind = r.U8("zoom X easing kind");
        b.zoom_y_kind = r.U8("zoom Y easing kind");
        b.power = r.I32("POWER");
        break;
    }
    }
    if (t.Kind() != FilmTrackKind::Image && t.Kind() != FilmTrackKind::Tile) t.frame_durations.assign(1, 1);
}

}  // namespace

int32_t FilmMsToFrames(double ms) { return RoundToI32(static_cast<long double>(ms / kFrameMs)); }
int32_t FilmFramesToMs(int32_t frames) { return RoundToI32(static_cast<long double>(frames * kFrameMs)); }

int32_t FilmTweenInt(uint8_t kind, int32_t a, int32_t b, int32_t n, int32_t i, bool has_child) {
    if (has_child) n = static_cast<int32_t>(static_cast<uint32_t>(n) + 1u);
    if (i == 0) return a;
    if (int64_t(i) == int64_t(n) - 1) return b;
    if (n <= 1) return a;  // a track no longer than one frame never moves
    const int64_t span = int64_t(b) - a;
    if (kind == 0) return static_cast<int32_t>(span * i / (int64_t(n) - 1) + a);
    // An end that does not move stays where it is, whatever the sine.
    if (span == 0) return a;
    if (kind == 1) {
        const int32_t r = RoundedSineTimes((static_cast<long double>(n) - i - 1) * kHalfPi / n, span);
        return static_cast<int32_t>(static_cast<uint32_t>(b) - static_cast<uint32_t>(r));
    }
    const int32_t r = RoundedSineTimes(static_cast<long double>(i) * kHalfPi / n, span);
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(r));
}

int32_t TFilmEase::Sined(uint8_t kind, int32_t a, int32_t b, int64_t span) {
    const bool out = kind == 1;
    Sine& q = sine_[out ? 0 : 1];
    if (!q.taken) {
        q.x = out ? (static_cast<long double>(n_) - i_ - 1) * kHalfPi / n_ : static_cast<long double>(i_) * kHalfPi / n_;
        q.small = std::fabs(q.x) <= 4.0L;
        if (q.small) q.s = std::sin(static_cast<double>(q.x));
        q.taken = true;
    }
    int32_t r;
    if (!(q.small && RoundedDoubleTimes(q.s, span, r))) r = RoundToI32(SineOrZero(q.x) * span);
    if (out) return static_cast<int32_t>(static_cast<uint32_t>(b) - static_cast<uint32_t>(r));
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(r));
}

double FilmTweenFloat(uint8_t kind, int32_t i, double a, double b, int32_t n, bool has_child) {
    if (has_child) n = static_cast<int32_t>(static_cast<uint32_t>(n) + 1u);
    if (i == 0) return a;
    if (int64_t(i) == int64_t(n) - 1) return b;
    if (n <= 0) return a;
    const long double span = static_cast<long double>(b) - a;
    if (kind == 0) return static_cast<double>(span * i / n + a);
    if (kind == 1) return static_cast<double>(b - SineOrZero((static_cast<long double>(n) - 1 - i) * kHalfPi / n) * span);
    return static_cast<double>(SineOrZero(static_cast<long double>(i) * kHalfPi / n) * span + a);
}

int32_t TCustomFrameList::AbsoluteStart() const { return absolute_start_; }

bool TCustomFrameList::ActiveAt(int32_t t) const {
    const int64_t s = absolute_start_;
    return s <= t && t < s + length;
}

int32_t TCustomFrameList::FrameIndexAt(int32_t u) const {
    if (kind_ != FilmTrackKind::Image && kind_ != FilmTrackKind::Tile) return 0;
    const int64_t p = std::max<int64_t>(1, period);
    int64_t r = int64_t(u) % p;
    for (size_t k = 0; k < frame_durations.size(); ++k) {
        r -= frame_durations[k];
        if (r < 0) return static_cast<int32_t>(k);
    }
    return static_cast<int32_t>(frame_durations.size()) - 1;
}

int32_t TCustomFrameList::TweenInt(uint8_t kind, int32_t a, int32_t b, int32_t n, int32_t i) const {
    return FilmTweenInt(kind, a, b, n, i, child_ != nullptr);
}

double TCustomFrameList::TweenFloat(uint8_t kind, int32_t i, double a, double b, int32_t n) const {
    return FilmTweenFloat(kind, i, a, b, n, child_ != nullptr);
}

void TFilmManager::Clear() {
    current_wipe_ = nullptr;
    tracks_.clear();
    loop_start = 0;
    reference = {};
    relative_mode = 0;
    length_ = 0;
    version = 0;
    is_motion_file = false;
}

TCustomFrameList* TFilmManager::GetTrack(int i) const {
    if (i < 0 || i >= Count()) return nullptr;
    return tracks_[static_cast<size_t>(i)].get();
}

void TFilmManager::CollectFiles(std::vector<std::string>& names) const {
    for (const auto& t : tracks_) {
        if (t->Kind() != FilmTrackKind::Particle || t->particle.file.empty()) continue;
        const std::string& file = t->particle.file;
        const bool listed = std::any_of(names.begin(), names.end(),
                                        [&file](const std::string& n) { return AnsiSameText(n, file); });
        if (listed) continue;
        names.push_back(file);
        if (!AnsiSameText(ExtractFileExt(file), ".vmt")) continue;
        TFilmManager nested;
        try {
            nested.LoadFromFile(file);
        } catch (const Exception&) {
            continue;
        }
        nested.CollectFiles(names);
    }
}

void TFilmManager::LoadFromFile(const std::string& name) {
    TMemoryStream s;
    // A plain path (absolute, as the logo and tests name them) is a file of
    // its own; any other name is game data.
    if (IsPlainPath(name)) {
        s.LoadFromFile(name);
    } else {
        if (!FileManager) throw Exception(name + Sjis(":ファイルがありません"));
        FileManager->LoadToStream(s, name);
    }
    s.SetPosition(0);
    LoadFromStream(s, name);
}

void TFilmManager::LoadFromStream(TStream& s, const std::string& name) {
    Clear();
    std::string folder;
    for (size_t k = 0; k < name.size(); ++k) {
        const unsigned char c = static_cast<unsigned char>(name[k]);
        if (c == '\\' || c == '/') folder = name.substr(0, k + 1);
        else if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ++k;  // trail byte is no delimiter
    }
    FieldReader r(s, Sjis("フィルムファイルが壊れています") + ": " + name);
    // Anything but a film tag is no film: it plays as an empty one.
    if (r.Remaining() < 13) return;
    const int64_t at = r.Position();
    const std::string tag = r.Fixed(13, "tag");
    const std::string head = tag.substr(0, 10);
    if (head != "VorqCinema" && head != "VorqMotion") {
        s.SetPosition(at);
        return;
    }
    const int v = ParseTagVersion(tag.data(), tag.size(), head.c_str());
    if (v < 0) throw EConvertError(Sjis("フィルムファイルの版が数字ではありません") + ": " + name);
    try {
        version = v;
        is_motion_file = head == "VorqMotion";
        width = r.I32("width");
        height = r.I32("height");
        // The film's screen becomes a surface when it plays in a scene of
        // its own: a damaged size must not ask for gigabytes.
        if (width < 0 || width > kScreenLimit) r.Fail("width");
        if (height < 0 || height > kScreenLimit) r.Fail("height");
        color = r.I32("colour");
        if (v >= 102) relative_mode = r.U8("relative mode");
        if (v >= 104) reference = ReadPoint(r, "reference point");
        if (v >= 106) {
            loop_start = r.I32("loop start");
            if (v < 107) loop_start = Doubled(loop_start);
        }
        const uint32_t count = r.Count("track count", kMinTrackBytes, kTrackLimit);
        tracks_.reserve(count);
        for (uint32_t k = 0; k < count; ++k) {
            const uint8_t kind = r.U8("track kind") & 127;
            // Kinds past fire have a record nobody knows the size of.
            if (kind > 7) r.Fail("track kind");
            tracks_.push_back(std::make_unique<TCustomFrameList>(this, static_cast<FilmTrackKind>(kind)));
            ReadTrack(r, v, folder, *tracks_.back());
        }
        for (auto& t : tracks_) t->parent = GetTrack(t->parent_index);
        // A chain that comes back to itself has no start; refuse the file
        // rather than recurse for ever when the track plays.
        for (auto& t : tracks_) {
            size_t steps = 0;
            for (const TCustomFrameList* p = t->parent; p; p = p->parent)
                if (++steps > tracks_.size()) r.Fail("parent");
        }
        for (auto& t : tracks_) {
            uint32_t start = 0;
            const TCustomFrameList* p = t.get();
            std::vector<const TCustomFrameList*> chain;
            for (; p->parent; p = p->parent) chain.push_back(p->parent);
            start = static_cast<uint32_t>(p->start);
            for (size_t k = chain.size(); k-- > 0;)
                start += static_cast<uint32_t>(chain[k]->length);
            t->absolute_start_ = static_cast<int32_t>(start);
        }
        // The first track of the list chained to a track is its child.
        for (auto& t : tracks_)
            if (t->parent && !t->parent->child_) t->parent->child_ = t.get();
        int64_t len = 0;
        for (auto& t : tracks_) len = std::max<int64_t>(len, int64_t(t->absolute_start_) + t->length);
        length_ = static_cast<int32_t>(std::min<int64_t>(len, INT32_MAX));
        // The layer a track's objects go to never changes while it plays:
        // the parity of the wipes ended by its start, counted once here.
        std::vector<int64_t> wipe_ends;
        for (auto& w : tracks_)
            if (w->Kind() == FilmTrackKind::Wipe) wipe_ends.push_back(int64_t(w->absolute_start_) + w->length - 1);
        std::sort(wipe_ends.begin(), wipe_ends.end());
        for (auto& t : tracks_) {
            const auto ended = std::upper_bound(wipe_ends.begin(), wipe_ends.end(), int64_t(t->absolute_start_));
            t->parity_ = static_cast<int32_t>((ended - wipe_ends.begin()) & 1);
        }
        for (auto& t : tracks_) t->Prepare();
    } catch (...) {
        // A refused film keeps nothing half-read.
        Clear();
        throw;
    }
}

TCustomFrameList* TFilmManager::FirstRootTrack() const {
    for (auto& t : tracks_)
        if (t->AbsoluteStart() == 0) return t.get();
    return nullptr;
}

bool TFilmManager::NeedsOwnLayers() const {
    for (auto& t : tracks_)
        if (t->Kind() == FilmTrackKind::Wipe || t->other_layer) return true;
    return false;
}

TCustomFrameList* TFilmManager::ActiveWipeAt(int32_t t) const {
    TCustomFrameList* active = nullptr;
    for (auto& w : tracks_)
        if (w->Kind() == FilmTrackKind::Wipe && w->ActiveAt(t)) active = w.get();
    return active;
}

int TFilmManager::LayerParityAt(int32_t t) const {
    int n = 0;
    for (auto& w : tracks_)
        if (w->Kind() == FilmTrackKind::Wipe && int64_t(w->AbsoluteStart()) + w->length - 1 <= t) ++n;
    return n & 1;
}
