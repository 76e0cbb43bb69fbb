#include "objects/effects/fire.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "files/number_text.h"
#include "platform/exception.h"

namespace {
uint32_t crc(const uint8_t* p, size_t n) { return uint32_t(crc32(0, p, uInt(n))); }

// Golden CRCs from tests/data/fire/make_fire_golden.py.
TEST(FireField, IntensityTablesMatchTheFormula) {
    struct Case { double factor; uint32_t crc; } cases[] = {
        {4.5, 0x88ad3a5du}, {FireHeatFactor(255), 0xf493b600u}, {FireHeatFactor(0), 0x176db5f5u}};
    for (const auto& c : cases) {
        std::array<uint8_t, 1024> t{};
        BuildFireIntensityTable(c.factor, t);
        EXPECT_EQ(crc(t.data(), t.size()), c.crc) << c.factor;
    }
    std::array<uint8_t, 1024> t{};
    BuildFireIntensityTable(4.5, t);
    const int idx[] = {0, 16, 64, 100, 256, 512, 768, 1020, 1023};
    const int want[] = {0, 4, 14, 22, 57, 114, 171, 227, 227};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(t[idx[i]], want[i]) << idx[i];
}

// A field wider than 256 cells must draw its noise from every column.
TEST(FireField, StepsMatchTheFormulaIncludingWideFields) {
    struct Case { int w, h, steps; uint32_t crc; } cases[] = {
        {300, 12, 20, 0xc04b515bu}, {40, 20, 17, 0xb08af81cu}, {2, 6, 3, 0x5db0d10eu}};
    for (const auto& c : cases) {
        RandSeed() = 12345;
        FireField f;
        f.SetIntensity(4.5);
        f.Reset(c.w, c.h);
        for (int i = 0; i < c.steps; ++i) f.Step();
        EXPECT_EQ(crc(f.Pixels(), size_t(c.w) * c.h), c.crc) << c.w;
    }
}

TEST(FireField, RefusesNegativeSizesAndEmptyFieldsDoNothing) {
    FireField f;
    EXPECT_THROW(f.Reset(-1, 10), Exception);
    EXPECT_THROW(f.Reset(10, -3), Exception);
    f.Reset(0, 0);
    f.Step();
    EXPECT_EQ(f.Width(), 0);
}

TEST(FireField, PaletteKnotsAndRaisedEntries) {
    const auto& p = FirePalette32();
    struct Case { int i; uint32_t rgb; } cases[] = {
        {0, 0x000000}, {32, 0x662703}, {112, 0xD56107}, {113, 0xD66207}, {123, 0xDC6E08},
        {160, 0xF39D0D}, {192, 0xFFC037}, {255, 0xFFE6AF}, {16, 0x331301}};
    for (const auto& c : cases) EXPECT_EQ(p[c.i], c.rgb) << c.i;
}
}  // namespace
