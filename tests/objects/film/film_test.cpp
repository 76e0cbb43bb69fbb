// Films written by our own film writer and read back: easing against
// numpy's extended sine and Python's half-even rounding, frame look-up at
// its boundaries, every version gate, chained tracks, layer parity, and
// every truncation or damaged byte refused or loaded without fault.
#include "objects/film/film_manager.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "tests/support/film_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <cmath>
#include <functional>
#include <random>
#include <sstream>

namespace {

void Load(TFilmManager& f, const std::vector<uint8_t>& bytes, const std::string& name = "data\\films\\a.vcm") {
    TMemoryStream s;
    if (!bytes.empty()) s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    f.LoadFromStream(s, name);
}

// One film holding a track of every kind, at the given version.
std::vector<uint8_t> EveryKind(int version) {
    TFilmWriter w(version);
    w.Header(640, 480, 0x123456, 1, 10, 20, 30);
    w.TrackCount(8);
    TFilmWriter::ImageBlock b;
    b.x_from = 1, b.y_from = 2, b.x_to = 3, b.y_to = 4, b.angle_from = -90, b.angle_to = 45;
    b.zoom_x_from = 0.5, b.zoom_x_to = 2.0, b.zoom_x_kind = 1, b.zoom_y_from = 3.0, b.zoom_y_to = 4.0, b.zoom_y_kind = 2;
    b.clip[2] = 7;  // clip size from x
    w.Track(0, -1, 10, 5, 3, 7, 1, 0, 1);
    w.Image(b, "pic.png");
    w.Track(1, 0, 4, 0);
    w.Label(b, "hello", 1, "font", 16, 20, 1, 0xff00, 2);
    const int32_t box[16] = {1, 2, 3, 4, 10, 200, 5, 6, 7, 8, 0x11, 0x22, 1, 2, 0x33, 0x44};
    w.Track(2, -1, 6, 0);
    w.Box(box, 1, 2);
    w.Track(3, 99, 8, 2);
    w.Wipe(5, "mask.png", 11, 12, 1);
    w.Track(4, -1, 3, 0);
    w.Sound("..\\se.wav", -10000, 0, -5, 5);
    const int32_t tile[8] = {8, 9, 10, 11, 12, 13, 14, 15};
    w.Track(5, -1, 2, 0);
    w.Tile(b, "\\abs.png", tile, 1, 2, 3, 4);
    w.Track(6, -1, 1, 0);
    w.EmptyParticle();
    w.Track(7 | 128, -1, 1, 0);
    w.Fire(42);
    return w.Bytes();
}

TEST(FilmTween, MatchesExtendedSineAndHalfEvenRounding) {
    std::ifstream in(std::string(VORQ_TEST_DATA) + "/films/tween_golden.txt");
    ASSERT_TRUE(in) << "golden data missing";
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        int kind, a, b, n, i, child, want;
        ls >> kind >> a >> b >> n >> i >> child >> want;
        EXPECT_EQ(FilmTweenInt(static_cast<uint8_t>(kind), a, b, n, i, child != 0), want) << line;
        EXPECT_EQ(TFilmEase(n, i, child != 0).Int(static_cast<uint8_t>(kind), a, b), want) << line;
        ++rows;
    }
    EXPECT_GT(rows, 1000);
}

// The double-precision sine with its extended fallback against the
// extended formula itself: over random tracks, and over spans that put the
// product within a hair of a half (the convergents q of 2 sin x with an odd
// numerator p: 2 q sin x lies within 1/q' of p), where only the fallback
// rounds right.
TEST(FilmTween, FastSineEqualsExtendedSine) {
    const long double half_pi = 1.5707963267948966L;
    const auto angle = [&](int kind, int32_t n, int32_t i) {
        return kind == 1 ? (static_cast<long double>(n) - i - 1) * half_pi / n : static_cast<long double>(i) * half_pi / n;
    };
    const auto extended = [&](int kind, int32_t a, int32_t b, int32_t n, int32_t i) {
        const long double r = std::nearbyint(std::sin(angle(kind, n, i)) * static_cast<long double>(int64_t(b) - a));
        const int32_t k = r > 2147483647.0L ? INT32_MAX : r < -2147483648.0L ? INT32_MIN : static_cast<int32_t>(r);
        return static_cast<int32_t>(kind == 1 ? static_cast<uint32_t>(b) - static_cast<uint32_t>(k)
                                              : static_cast<uint32_t>(a) + static_cast<uint32_t>(k));
    };
    // One track's ease takes the sine once for all the spans at its frame.
    std::optional<TFilmEase> ease;
    const auto check = [&](int kind, int32_t a, int32_t b, int32_t n, int32_t i) {
        EXPECT_EQ(FilmTweenInt(uint8_t(kind), a, b, n, i, false), extended(kind, a, b, n, i))
            << kind << " " << a << " " << b << " " << n << " " << i;
        EXPECT_EQ(ease->Int(uint8_t(kind), a, b), extended(kind, a, b, n, i));
    };
    std::mt19937_64 rng(7);
    int near_half = 0;
    for (int k = 0; k < 20000 && !HasFailure(); ++k) {
        const int kind = 1 + int(rng() % 2);
        const int32_t n = 3 + int32_t(rng() % 400);
        const int32_t i = 1 + int32_t(rng() % uint64_t(n - 2));
        ease.emplace(n, i, false);
        const int32_t a = int32_t(rng());
        check(kind, a, int32_t(rng()), n, i);
        check(kind, a, a + int32_t(rng() % 2001) - 1000, n, i);
        // Continued fraction of 2 sin x.
        long double rest = 2 * std::sin(angle(kind, n, i));
        int64_t p0 = 1, q0 = 0, p1 = int64_t(std::floor(rest)), q1 = 1;
        for (int step = 0; step < 40 && q1 < (int64_t{1} << 31); ++step) {
            if (p1 % 2 != 0) {
                ++near_half;
                for (int64_t span : {q1, -q1}) check(kind, int32_t(-span / 2), int32_t(span - span / 2), n, i);
            }
            rest -= std::floor(rest);
            if (rest < 1e-18L) break;
            rest = 1 / rest;
            const int64_t c = int64_t(std::floor(rest));
            const int64_t p2 = c * p1 + p0, q2 = c * q1 + q0;
            p0 = p1, q0 = q1, p1 = p2, q1 = q2;
        }
    }
    EXPECT_GT(near_half, 20000);
}

TEST(FilmTween, FloatFormDividesByLength) {
    const double want[] = {0, 20, 40, 60, 100};
    for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(FilmTweenFloat(0, i, 0, 100, 5, false), want[i]) << i;
    // A chained track does not reach its to value on its own last frame.
    EXPECT_EQ(FilmTweenInt(0, 0, 100, 10, 9, true), 90);
    EXPECT_EQ(FilmTweenInt(0, 7, 100, 1, 0, false), 7);
    // Extremes do not overflow.
    EXPECT_EQ(FilmTweenInt(0, INT32_MIN, INT32_MAX, 3, 1, false), -1);
}

TEST(FilmTime, MillisecondsAndFramesRoundHalfEven) {
    struct { double ms; int32_t frames; } cases[] = {{0, 0}, {8.333333333333334, 0}, {25, 2}, {41.66666666666667, 2}, {1000, 60}};
    for (auto c : cases) EXPECT_EQ(FilmMsToFrames(c.ms), c.frames) << c.ms;
    EXPECT_EQ(FilmFramesToMs(3), 50);
    EXPECT_EQ(FilmFramesToMs(60), 1000);
}

TEST(FilmRead, EveryKindAtCurrentVersion) {
    TFilmManager f;
    Load(f, EveryKind(108));
    ASSERT_EQ(f.Count(), 8);
    EXPECT_EQ(f.width, 640);
    EXPECT_EQ(f.color, 0x123456);
    EXPECT_EQ(f.relative_mode, 1);
    EXPECT_EQ(f.reference.y, 20);
    EXPECT_EQ(f.loop_start, 30);
    auto* img = f.GetTrack(0);
    EXPECT_EQ(img->Kind(), FilmTrackKind::Image);
    EXPECT_EQ(img->file_name, "data\\films\\pic.png");
    EXPECT_EQ(img->image.angle_from, -90);
    EXPECT_EQ(img->image.clip.size_from.x, 7);
    EXPECT_DOUBLE_EQ(img->image.zoom_y_from, 3.0);
    EXPECT_EQ(img->other_layer, 1);
    auto* label = f.GetTrack(1);
    EXPECT_EQ(label->parent, img);
    EXPECT_EQ(img->FindChild(), label);
    EXPECT_EQ(label->AbsoluteStart(), 15);
    EXPECT_EQ(label->label.text, "hello");
    EXPECT_EQ(label->label.line_space, 20);
    EXPECT_EQ(label->label.align, 2);
    EXPECT_EQ(f.GetTrack(2)->box.border_color_to, 0x44);
    auto* wipe = f.GetTrack(3);
    EXPECT_EQ(wipe->parent, nullptr);  // index beyond the list
    EXPECT_EQ(wipe->wipe.mask, "data\\films\\mask.png");
    EXPECT_EQ(wipe->wipe.param1, 12);
    EXPECT_EQ(f.GetTrack(4)->sound.file, "DATA\\se.wav");
    EXPECT_EQ(f.GetTrack(4)->sound.volume_from, -10000);
    EXPECT_EQ(f.GetTrack(5)->file_name, "\\abs.png");
    EXPECT_EQ(f.GetTrack(5)->tile.distance_y, 4);
    EXPECT_EQ(f.GetTrack(7)->Kind(), FilmTrackKind::Fire);  // high bit ignored
    EXPECT_EQ(f.GetTrack(7)->fire.power, 42);
    EXPECT_EQ(f.Length(), 19);
    EXPECT_TRUE(f.NeedsOwnLayers());
}

TEST(FilmRead, OldVersionsDoubleTimesAndConvertVolumes) {
    TFilmManager f;
    Load(f, EveryKind(100));
    ASSERT_EQ(f.Count(), 8);
    EXPECT_EQ(f.relative_mode, 0);
    EXPECT_EQ(f.loop_start, 0);
    auto* img = f.GetTrack(0);
    EXPECT_EQ(img->length, 20);
    EXPECT_EQ(img->start, 10);
    EXPECT_EQ(img->period, 6);
    EXPECT_DOUBLE_EQ(img->image.zoom_y_from, 0.5);  // copy of zoom X
    EXPECT_EQ(img->image.zoom_y_kind, 1);
    EXPECT_EQ(img->image.clip.size_from.x, 0);
    EXPECT_EQ(f.GetTrack(1)->label.line_space, 12);
    EXPECT_EQ(f.GetTrack(3)->wipe.mask, "");
    EXPECT_EQ(f.GetTrack(4)->sound.volume_from, 0);
    EXPECT_EQ(f.GetTrack(4)->sound.volume_to, 1000);
    // Loop start exists from 106 and is doubled below 107.
    TFilmWriter w(106);
    w.Header(1, 1, -1, 0, 0, 0, 25);
    w.TrackCount(0);
    Load(f, w.Bytes());
    EXPECT_EQ(f.loop_start, 50);
}

TEST(FilmRead, TagsAndRefusals) {
    TFilmManager f;
    // Not a film: empty, no error; the tag is case-sensitive.
    for (std::string tag : {"vorqcinema108", "Hello", ""}) {
        std::vector<uint8_t> b(tag.begin(), tag.end());
        b.resize(40, 0);
        EXPECT_NO_THROW(Load(f, b));
        EXPECT_EQ(f.Count(), 0);
        EXPECT_EQ(f.Length(), 0);
    }
    std::string bad = "VorqMotion1x8";
    EXPECT_THROW(Load(f, std::vector<uint8_t>(bad.begin(), bad.end())), EConvertError);

    struct Case { const char* what; std::function<void(TFilmWriter&)> body; } cases[] = {
        {"kind 8", [](TFilmWriter& w) { w.TrackCount(1); w.Track(8, -1, 1, 0); }},
        {"self parent", [](TFilmWriter& w) { w.TrackCount(1); w.Track(3, 0, 1, 0); w.Wipe(0, "", 0, 0, 0); }},
        {"cycle", [](TFilmWriter& w) {
             w.TrackCount(2);
             w.Track(3, 1, 1, 0); w.Wipe(0, "", 0, 0, 0);
             w.Track(3, 0, 1, 0); w.Wipe(0, "", 0, 0, 0); }},
        {"count beyond bytes", [](TFilmWriter& w) { w.TrackCount(5); w.Track(3, -1, 1, 0); w.Wipe(0, "", 0, 0, 0); }},
        {"long string", [](TFilmWriter& w) { w.TrackCount(1); w.Track(4, -1, 1, 0); w.I32(100000); }},
    };
    for (auto& c : cases) {
        TFilmWriter w(108);
        w.Header(1, 1, -1);
        c.body(w);
        Load(f, EveryKind(108));
        EXPECT_THROW(Load(f, w.Bytes()), ECorruptData) << c.what;
        EXPECT_EQ(f.Count(), 0) << c.what << ": a refused film keeps nothing";
    }
    // A screen size no film has: refused before anything plays at it.
    const struct {
        int32_t w, h;
        bool ok;
    } sizes[] = {{8192, 8192, true}, {0, 0, true}, {8193, 1, false}, {1, 8193, false}, {-1, 1, false},
                 {1, INT32_MIN, false}};
    for (auto z : sizes) {
        TFilmWriter w(108);
        w.Header(z.w, z.h, -1);
        w.TrackCount(0);
        if (z.ok) {
            EXPECT_NO_THROW(Load(f, w.Bytes())) << z.w << "x" << z.h;
            EXPECT_EQ(f.width, z.w);
            continue;
        }
        Load(f, EveryKind(108));
        EXPECT_THROW(Load(f, w.Bytes()), ECorruptData) << z.w << "x" << z.h;
        EXPECT_EQ(f.Count(), 0);
    }
}

TEST(FilmFrames, LookupAtBoundaries) {
    TFilmManager f;
    TFilmWriter w(108);
    w.Header(1, 1, -1);
    w.TrackCount(1);
    w.Track(0, -1, 100, 0, 6);
    w.Image({}, "");
    Load(f, w.Bytes());
    auto* t = f.GetTrack(0);
    EXPECT_EQ(t->FrameIndexAt(0), -1);  // no frames yet
    t->frame_durations = {2, 1, 3};
    struct { int32_t u, index; } cases[] = {{0, 0}, {1, 0}, {2, 1}, {3, 2}, {5, 2}, {6, 0}, {8, 1}, {-1, 0}, {-4, 0}};
    for (auto c : cases) EXPECT_EQ(t->FrameIndexAt(c.u), c.index) << c.u;
    t->period = 0;  // one cycle of one frame: always the first
    EXPECT_EQ(t->FrameIndexAt(17), 0);
    t->period = 10;  // beyond the frames' sum: the last frame
    EXPECT_EQ(t->FrameIndexAt(8), 2);
    EXPECT_EQ(f.GetTrack(0)->ActiveAt(99), true);
    EXPECT_EQ(f.GetTrack(0)->ActiveAt(100), false);
}

TEST(FilmFrames, WipesSelectLayers) {
    TFilmManager f;
    TFilmWriter w(108);
    w.Header(1, 1, -1);
    w.TrackCount(2);
    w.Track(3, -1, 10, 10);
    w.Wipe(1, "", 0, 0, 0);
    w.Track(3, 0, 10, 0);
    w.Wipe(2, "", 0, 0, 0);
    Load(f, w.Bytes());
    struct { int32_t t; int parity; int active; } cases[] = {
        {0, 0, -1}, {10, 0, 0}, {19, 1, 0}, {20, 1, 1}, {29, 0, 1}, {30, 0, -1}};
    for (auto c : cases) {
        EXPECT_EQ(f.LayerParityAt(c.t), c.parity) << c.t;
        EXPECT_EQ(f.ActiveWipeAt(c.t), f.GetTrack(c.active)) << c.t;
    }
}

TEST(FilmRead, DamagedFilesAreRefusedOrLoaded) {
    const auto good = EveryKind(108);
    TFilmManager f;
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
        if (n < 13) {
            EXPECT_NO_THROW(Load(f, cut)) << n;
            EXPECT_EQ(f.Count(), 0);
        } else {
            EXPECT_THROW(Load(f, cut), Exception) << n;
        }
    }
    for (size_t k = 13; k < good.size(); ++k)
        for (uint8_t v : {0x00, 0x07, 0x80, 0xff}) {
            auto bad = good;
            bad[k] = v;
            try {
                Load(f, bad);
                EXPECT_LE(f.Count(), 8);
            } catch (const Exception&) {
                EXPECT_EQ(f.Count(), 0);
            }
        }
}

}  // namespace
