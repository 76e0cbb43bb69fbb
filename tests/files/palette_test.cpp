#include "files/palette.h"

#include <gtest/gtest.h>

TEST(Palette, ScanLineWidthRoundsRowsUpToFourBytes) {
    EXPECT_EQ(ScanLineWidth(1, 1), 4);
    EXPECT_EQ(ScanLineWidth(3, 24), 12);
    EXPECT_EQ(ScanLineWidth(5, 8), 8);
    EXPECT_EQ(ScanLineWidth(33, 1), 8);
    EXPECT_EQ(ScanLineWidth(9, 4), 8);
    EXPECT_EQ(ScanLineWidth(7, 16), 16);
}

TEST(Palette, NearestColorIndexByChannelDistance) {
    const TPaletteEntry e[] = {{10, 0, 0, 0}, {0, 10, 0, 0}, {200, 200, 200, 0}, {255, 255, 255, 0}, {255, 255, 255, 0}};
    // Colour 0x00BBGGRR: red in the low byte.
    EXPECT_EQ(NearestColorIndex(e, 0x000005, 5), 0);  // red 5: 25 to entry 0, 125 to entry 1
    EXPECT_EQ(NearestColorIndex(e, 0x000505, 5), 0);  // 25 + 25 to both: the first wins
    EXPECT_EQ(NearestColorIndex(e, 0x000605, 5), 1);
    EXPECT_EQ(NearestColorIndex(e, 0xFFFFFF, 5), 3);  // exact match: first of the equal pair
    EXPECT_EQ(NearestColorIndex(e, 0xC0C0C0, 5), 2);
    EXPECT_EQ(NearestColorIndex(e, 0x00FF00, 0), 0);
    EXPECT_EQ(NearestColorIndex(e, 0x00FF00, -3), 0);
    // Channel order: blue in bits 16..23 matches peBlue.
    const TPaletteEntry rb[] = {{255, 0, 0, 0}, {0, 0, 255, 0}};
    EXPECT_EQ(NearestColorIndex(rb, 0xF00000, 2), 1);
    EXPECT_EQ(NearestColorIndex(rb, 0x0000F0, 2), 0);
}

TEST(Palette, PaletteConversionsAndLookups) {
    TPalette empty;
    EXPECT_EQ(NearestPaletteIndex(empty, 0), -1);
    const TRGBQuad quads[3] = {{1, 2, 3, 9}, {40, 50, 60, 0}, {255, 0, 0, 0}};
    const TPalette p = CreatePaletteFromQuads(quads, 3);
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0], (TPaletteEntry{3, 2, 1, 0}));
    EXPECT_EQ(GetPaletteColor(p, 1), 60 | 50 << 8 | 40 << 16);
    EXPECT_EQ(GetPaletteColor(p, 3), -1);
    EXPECT_EQ(GetPaletteColor(p, -1), -1);
    EXPECT_EQ(NearestPaletteIndex(p, 0xFE0000), 2);  // blue 254
    TRGBQuad back[256] = {};
    EXPECT_EQ(PaletteToQuads(p, back), 3);
    EXPECT_EQ(back[0], (TRGBQuad{1, 2, 3, 0}));  // reserved comes back as 0
    EXPECT_EQ(back[2], quads[2]);
    TPalette big(300, TPaletteEntry{1, 1, 1, 0});
    EXPECT_EQ(PaletteToQuads(big, back), 256);
}

TEST(Palette, GreyRamps) {
    TRGBQuad q[256] = {};
    MakeGrayPalette(q, 1);
    EXPECT_EQ(q[1], (TRGBQuad{255, 255, 255, 0}));
    MakeGrayPalette(q, 2);
    EXPECT_EQ(q[2], (TRGBQuad{170, 170, 170, 0}));
    MakeGrayPalette(q, 4);
    EXPECT_EQ(q[15], (TRGBQuad{255, 255, 255, 0}));
    EXPECT_EQ(q[3], (TRGBQuad{51, 51, 51, 0}));
    MakeGrayPalette(q, 8);
    EXPECT_EQ(q[200], (TRGBQuad{200, 200, 200, 0}));
    MakeGrayPalette(q, 24);
    EXPECT_EQ(q[255], (TRGBQuad{255, 255, 255, 0}));
}
