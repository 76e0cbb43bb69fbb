// Every kind, on the layer, in a box and in a wave, drawn with positions,
// sizes, zooms, angles, offsets and clips at the ends of the 32-bit range:
// no arithmetic overflows (the sanitizer build fails on one) and a wave
// walks only its own rows.
#include "objects/effects/wave.h"
#include "tests/objects/kind_drawing.h"
#include "tests/objects/kind_scene.h"

#include <gtest/gtest.h>

#include <climits>

namespace {
using namespace kind_drawing;

class ExtremeGeometry : public KindScene {
protected:
    void SetUp() override {
        OpenScene(64, 48);
        SetDisplayBitCount(32);
        AddPictures(pictures);
        ServePictures(&pictures);
    }
    MemoryPictures pictures;
};

TEST_F(ExtremeGeometry, EveryKindDrawsAtTheEndsOfTheRange) {
    // The setters' order in GeometrySetters.
    enum : uint8_t { Left, Top, Width, Height, ZoomX, ZoomY, Angle, OffsetX, OffsetY, BorderWidth, Amp = 22, FlipH = 28, FlipV };
    struct Case {
        const char* name;
        std::vector<std::pair<uint8_t, int32_t>> kind, holder;  // setter index, value
    };
    const Case cases[] = {
        {"far right and down, widest", {{Left, INT_MAX}, {Top, INT_MAX}, {Width, INT_MAX}, {Height, INT_MAX}}, {}},
        {"far left and up, widest", {{Left, INT_MIN}, {Top, INT_MIN}, {Width, INT_MAX}, {Height, INT_MAX}}, {}},
        {"widest from the middle", {{Left, -1000}, {Top, -1000}, {Width, INT_MAX}, {Height, INT_MAX}}, {}},
        {"most negative size", {{Width, INT_MIN}, {Height, INT_MIN}, {BorderWidth, INT_MAX}}, {}},
        {"largest zoom and angle", {{ZoomX, INT_MAX}, {ZoomY, INT_MAX}, {Angle, INT_MAX}}, {}},
        {"most negative zoom and angle", {{ZoomX, INT_MIN}, {ZoomY, INT_MIN}, {Angle, INT_MIN}, {Left, INT_MIN}}, {}},
        {"far offsets", {{OffsetX, INT_MIN}, {OffsetY, INT_MAX}, {BorderWidth, INT_MIN}}, {}},
        {"flipped, most negative size", {{FlipH, 1}, {FlipV, 1}, {Width, INT_MIN}, {Height, INT_MIN}}, {}},
        {"flipped and turned about a far pivot",
         {{FlipH, 1}, {FlipV, 1}, {Angle, 64}, {OffsetX, -INT_MAX}, {OffsetY, -INT_MAX}}, {}},
        {"holder far off", {{Left, INT_MAX}, {Width, 100}}, {{Left, INT_MAX}, {Top, INT_MIN}, {Height, INT_MAX}}},
        {"holder with the largest ripple", {{Top, -5}, {Height, INT_MAX}}, {{Amp, INT_MAX}, {Left, INT_MIN + 3}}},
        {"holder with the most negative ripple", {{Left, INT_MAX - 2}}, {{Amp, INT_MIN}, {Top, -20}}},
    };
    const std::vector<Setter>& set = GeometrySetters();
    for (int32_t kind : Kinds())
        for (uint8_t h = 0; h < kHolders; ++h)
            for (const Case& c : cases) {
                SCOPED_TRACE(testing::Message() << "kind " << kind << ", holder " << int(h) << ": " << c.name);
                reg->ResetScene();
                const Scene s = MakeScene(*reg, kind, Holder(h));
                for (const auto& [i, v] : c.kind) Apply(*s.Object, set[i], v);
                if (s.Holder)
                    for (const auto& [i, v] : c.holder) Apply(*s.Holder, set[i], v);
                UpdateAndDraw(*reg);
            }
}

TEST_F(ExtremeGeometry, AWaveWalksOnlyTheRowsOfItsTable) {
    struct Case {
        TRect fill;
        int64_t rows;
    } cases[] = {
        {TRect{0, 2, 10, 6}, 4},
        {TRect{0, -2000000000, 10, 2000000000}, 48},
        {TRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 48},
        {TRect{0, 100, 10, 2000000000}, 0},
    };
    for (const Case& c : cases) {
        TDIBXWave wave;
        TPlainDIBX target(64, 48, 32);
        wave.SetTarget(&target);
        wave.SetSize(64, 48, 32);
        wave.FillRect(c.fill, 1);
        wave.DrawStretch(c.fill, target, TRect{0, 0, 4, 4}, false, false, false, 255);
        EXPECT_EQ(wave.RowsWalked(), 2 * c.rows) << c.fill.Top << " " << c.fill.Bottom;
    }
}

}  // namespace
