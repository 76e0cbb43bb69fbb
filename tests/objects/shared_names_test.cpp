// One name for each thing the layers share: a file may use the font style
// bits of the vocabulary and of the glyph cache, and the surface maker of
// label lists and of the display objects, together.
#include "files/vocab.h"
#include "objects/base_list.h"
#include "render/font_pixel.h"
#include "render/label_list.h"
#include "tests/support/plain_dibx.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {
int made = 0;
std::unique_ptr<TCustomDIBX> counted_plain(int32_t width, int32_t height, int32_t bits) {
    ++made;
    auto s = std::make_unique<TPlainDIBX>();
    if (width > 0 && height > 0) s->SetSize(width, height, bits);
    return s;
}
}  // namespace

TEST(SharedNames, FontStyleBitsAreOneSetForPropertiesAndGlyphs) {
    struct Case {
        uint8_t bit;
        int value;
    };
    for (const Case& c : {Case{fsBold, 1}, Case{fsItalic, 2}, Case{fsUnderline, 4}, Case{fsStrikeOut, 8}}) {
        EXPECT_EQ(c.bit, c.value);
        EXPECT_TRUE(IntToFontStyles(c.value).Contains(c.bit));
        EXPECT_EQ(FontStylesToInt(TFontStyles{}.Include(c.bit)), c.value);
    }
}

TEST(SharedNames, OneSurfaceMakerServesLabelsAndLayers) {
    static_assert(std::is_same_v<TSurfaceMaker, std::function<std::unique_ptr<TCustomDIBX>(int32_t, int32_t, int32_t)>>);
    made = 0;
    TWzLabelList list(counted_plain);
    list.AddLabel();
    EXPECT_EQ(made, 2);  // a label's colour and mask
    SetSurfaceMaker(counted_plain);
    SetSurfaceMaker(nullptr);  // the default again
}
