// The font back end against the installed IPA faces. Golden data in
// tests/data/fonts was made by tests/data/fonts/make_golden.py: metric
// fields from the faces' OS/2, hhea, post and head tables read with
// fontTools, glyph advances, ink boxes and an 8-bit coverage mask rendered
// by Pillow's ImageFont (FreeType) from the same files at the same em size.
#include "platform/text/codepage.h"
#include "platform/text/fonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace {

std::string data_path(const std::string& name) { return std::string(VORQ_TEST_DATA) + "/fonts/" + name; }

LogFont request(const std::string& utf8_face, int32_t height, int32_t weight = 0, bool italic = false) {
    LogFont lf;
    lf.FaceName = Sjis(utf8_face);
    lf.Height = height;
    lf.Weight = weight;
    lf.Italic = italic;
    lf.CharSet = SHIFTJIS_CHARSET;
    return lf;
}

uint16_t code_of(const std::string& utf8) {
    std::string s = Sjis(utf8);
    return s.size() == 1 ? static_cast<uint8_t>(s[0])
                         : static_cast<uint16_t>(static_cast<uint8_t>(s[0]) << 8 | static_cast<uint8_t>(s[1]));
}

std::map<std::string, int64_t> metric_fields(Font& f) {
    const OutlineTextMetric& m = f.Metrics();
    const TextMetric& t = m.otmTextMetrics;
    return {
        {"ppem", f.PixelsPerEm()}, {"tmHeight", t.tmHeight}, {"tmAscent", t.tmAscent},
        {"tmDescent", t.tmDescent}, {"tmInternalLeading", t.tmInternalLeading},
        {"tmAveCharWidth", t.tmAveCharWidth}, {"tmMaxCharWidth", t.tmMaxCharWidth},
        {"tmWeight", t.tmWeight}, {"tmCharSet", t.tmCharSet}, {"otmEMSquare", m.otmEMSquare},
        {"otmAscent", m.otmAscent}, {"otmDescent", m.otmDescent}, {"otmLineGap", m.otmLineGap},
        {"otmsCapEmHeight", m.otmsCapEmHeight}, {"otmsXHeight", m.otmsXHeight},
        {"otmrcFontBox.left", m.otmrcFontBox.left}, {"otmrcFontBox.top", m.otmrcFontBox.top},
        {"otmrcFontBox.right", m.otmrcFontBox.right}, {"otmrcFontBox.bottom", m.otmrcFontBox.bottom},
        {"otmMacAscent", m.otmMacAscent}, {"otmMacDescent", m.otmMacDescent},
        {"otmMacLineGap", m.otmMacLineGap}, {"otmusMinimumPPEM", m.otmusMinimumPPEM},
        {"otmfsType", m.otmfsType}, {"otmsCharSlopeRise", m.otmsCharSlopeRise},
        {"otmsCharSlopeRun", m.otmsCharSlopeRun}, {"otmItalicAngle", m.otmItalicAngle},
        {"otmptSubscriptSize.x", m.otmptSubscriptSize.x}, {"otmptSubscriptSize.y", m.otmptSubscriptSize.y},
        {"otmptSubscriptOffset.x", m.otmptSubscriptOffset.x}, {"otmptSubscriptOffset.y", m.otmptSubscriptOffset.y},
        {"otmptSuperscriptSize.x", m.otmptSuperscriptSize.x}, {"otmptSuperscriptSize.y", m.otmptSuperscriptSize.y},
        {"otmptSuperscriptOffset.x", m.otmptSuperscriptOffset.x},
        {"otmptSuperscriptOffset.y", m.otmptSuperscriptOffset.y},
        {"otmsStrikeoutSize", m.otmsStrikeoutSize}, {"otmsStrikeoutPosition", m.otmsStrikeoutPosition},
        {"otmsUnderscoreSize", m.otmsUnderscoreSize}, {"otmsUnderscorePosition", m.otmsUnderscorePosition},
        {"panose.bProportion", m.otmPanoseNumber.bProportion},
        {"panose.bSerifStyle", m.otmPanoseNumber.bSerifStyle},
    };
}

const char* face_of_file(const std::string& file) { return file == "ipag.ttf" ? "IPAGothic" : "IPAPGothic"; }

}  // namespace

TEST(FontLookup, GameFaceNamesMapToTheIpaFaces) {
    EXPECT_EQ(Font(request("ＭＳ ゴシック", 16)).FamilyName(), "IPAGothic");
    EXPECT_EQ(Font(request("ＭＳ Ｐゴシック", 16)).FamilyName(), "IPAPGothic");
    EXPECT_EQ(Font(request("ＭＳ 明朝", 16)).FamilyName(), "IPAMincho");
    EXPECT_EQ(Font(request("ＭＳ Ｐ明朝", 16)).FamilyName(), "IPAPMincho");
    // An installed face by either of its names, without regard to case.
    EXPECT_EQ(Font(request("IPA P明朝", 16)).FamilyName(), "IPAPMincho");
    EXPECT_EQ(Font(request("ipapgothic", 16)).FamilyName(), "IPAPGothic");
    // Names fontconfig would answer with some other face get the default
    // Japanese face, which has kana.
    EXPECT_EQ(Font(request("Helvetica", 16)).FamilyName(), "IPAGothic");
    EXPECT_EQ(Font(request("存在しないフォント", 16)).FamilyName(), "IPAGothic");
    EXPECT_EQ(Font(request("", 16)).FamilyName(), "IPAGothic");
}

TEST(FontMetrics, OutlineMetricsMatchTheFaceTables) {
    std::ifstream in(data_path("metrics.txt"));
    ASSERT_TRUE(in) << "missing golden metrics";
    std::string line, key;
    std::unique_ptr<Font> font;
    std::map<std::string, int64_t> got;
    int checked = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        int64_t value = 0;
        ls >> key;
        if (key == "request") {
            std::string file;
            int height = 0;
            ls >> file >> height;
            font = std::make_unique<Font>(request(face_of_file(file), height));
            got = metric_fields(*font);
            continue;
        }
        ls >> value;
        ASSERT_TRUE(got.count(key)) << key;
        EXPECT_EQ(got[key], value) << key << " of " << font->FamilyName() << " at " << font->PixelsPerEm();
        ++checked;
    }
    EXPECT_GT(checked, 150);
}

TEST(FontMetrics, PositiveHeightIsTheCellNegativeTheEm) {
    for (int h = 6; h <= 72; ++h) {
        Font f(request("ＭＳ ゴシック", h));
        const TextMetric& tm = f.Metrics().otmTextMetrics;
        EXPECT_EQ(tm.tmAscent + tm.tmDescent, h);
        EXPECT_EQ(tm.tmHeight, h);
        EXPECT_EQ(tm.tmInternalLeading, h - f.PixelsPerEm());
    }
    Font em(request("ＭＳ ゴシック", -20));
    EXPECT_EQ(em.PixelsPerEm(), 20);
    EXPECT_GT(em.Metrics().otmTextMetrics.tmHeight, 20);

    Font fixed(request("ＭＳ ゴシック", 16));
    Font prop(request("ＭＳ Ｐゴシック", 16));
    EXPECT_EQ(fixed.Metrics().otmTextMetrics.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
    EXPECT_NE(prop.Metrics().otmTextMetrics.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
    EXPECT_EQ(fixed.Metrics().otmSize, fixed.Metrics().otmpFullName + std::string("IPAGothic").size() + 1);
}

// Pillow renders hinted outlines with the same FreeType; its ink box and
// ours may still differ by a pixel where a faint edge row rounds to no
// coverage, so boxes are compared within one pixel. Advances are exact.
TEST(FontGlyphs, AdvancesAndBlackBoxesAgreeWithPillow) {
    std::ifstream in(data_path("glyphs.txt"));
    ASSERT_TRUE(in);
    std::string line, file;
    int checked = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        int ppem, code, advance, left, top, width, height;
        ls >> file >> ppem >> code >> advance >> left >> top >> width >> height;
        Font f(request(face_of_file(file), -ppem));
        GlyphMetrics gm;
        std::vector<uint8_t> bits;
        ASSERT_GT(f.GetGlyphOutline(static_cast<uint16_t>(code), GlyphFormat::Gray8, gm, &bits), 0);
        SCOPED_TRACE(line);
        EXPECT_EQ(gm.gmCellIncX, advance);
        EXPECT_NEAR(gm.gmptGlyphOrigin.x, left, 1);
        EXPECT_NEAR(gm.gmptGlyphOrigin.y, top, 1);
        EXPECT_NEAR(static_cast<int>(gm.gmBlackBoxX), width, 1);
        EXPECT_NEAR(static_cast<int>(gm.gmBlackBoxY), height, 1);
        AbcWidths abc;
        ASSERT_TRUE(f.GetCharABCWidths(static_cast<uint16_t>(code), abc));
        EXPECT_EQ(abc.abcA + static_cast<int>(abc.abcB) + abc.abcC, advance);
        EXPECT_NEAR(abc.abcA, left, 1);
        AbcWidths same;
        f.GetGlyphOutline(static_cast<uint16_t>(code), GlyphFormat::Gray4, gm, nullptr, &same);
        EXPECT_EQ(same.abcA, abc.abcA);
        EXPECT_EQ(same.abcB, abc.abcB);
        EXPECT_EQ(same.abcC, abc.abcC);
        EXPECT_EQ(f.TextExtentWidth(static_cast<uint16_t>(code)), advance);
        ++checked;
    }
    EXPECT_EQ(checked, 100);
}

TEST(FontGlyphs, CoverageOfAKnownGlyphMatchesPillow) {
    std::ifstream in(data_path("a_24.pgm"), std::ios::binary);
    ASSERT_TRUE(in);
    std::string magic, hash, word;
    int ox, oy, w, h, maxv;
    in >> magic >> hash >> word >> ox >> oy >> w >> h >> maxv;
    in.get();
    std::vector<uint8_t> ref(static_cast<size_t>(w) * h);
    in.read(reinterpret_cast<char*>(ref.data()), static_cast<std::streamsize>(ref.size()));
    ASSERT_TRUE(in);

    Font f(request("ＭＳ ゴシック", -24));
    GlyphMetrics gm;
    std::vector<uint8_t> bits;
    int64_t n = f.GetGlyphOutline(code_of("あ"), GlyphFormat::Gray8, gm, &bits);
    const uint32_t stride = (gm.gmBlackBoxX + 3) & ~3u;
    ASSERT_EQ(n, static_cast<int64_t>(stride * gm.gmBlackBoxY));
    // Every Pillow pixel, placed by its offset from the pen on the baseline,
    // quantised to 0..64, must be the level we return at the same place.
    int inked = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = ref[static_cast<size_t>(y) * w + x];
            const int gx = ox + x - gm.gmptGlyphOrigin.x;
            const int gy = oy + y + gm.gmptGlyphOrigin.y;
            const bool inside = gx >= 0 && gy >= 0 && gx < static_cast<int>(gm.gmBlackBoxX) &&
                                gy < static_cast<int>(gm.gmBlackBoxY);
            const int ours = inside ? bits[static_cast<size_t>(gy) * stride + gx] : 0;
            EXPECT_NEAR(ours, (v * 64 + 127) / 255, 1) << x << "," << y;
            inked += v > 0;
        }
    EXPECT_GT(inked, 50);
}

TEST(FontGlyphs, FormatsGiveTheirLevelsAndRowAlignment) {
    Font f(request("ＭＳ ゴシック", -30));
    const uint16_t square = code_of("■");
    struct { GlyphFormat fmt; int top; } formats[] = {
        {GlyphFormat::Gray2, 4}, {GlyphFormat::Gray4, 16}, {GlyphFormat::Gray8, 64}};
    for (auto [fmt, top] : formats) {
        GlyphMetrics gm;
        std::vector<uint8_t> bits;
        int64_t n = f.GetGlyphOutline(square, fmt, gm, &bits);
        const uint32_t stride = (gm.gmBlackBoxX + 3) & ~3u;
        ASSERT_EQ(n, static_cast<int64_t>(stride * gm.gmBlackBoxY));
        EXPECT_EQ(*std::max_element(bits.begin(), bits.end()), top);
        // The middle of a filled square is fully covered.
        EXPECT_EQ(bits[(gm.gmBlackBoxY / 2) * stride + gm.gmBlackBoxX / 2], top);
        // Size query without a buffer agrees.
        GlyphMetrics gm2;
        EXPECT_EQ(f.GetGlyphOutline(square, fmt, gm2, nullptr), n);
    }
    GlyphMetrics gm;
    std::vector<uint8_t> bits;
    int64_t n = f.GetGlyphOutline(square, GlyphFormat::Bitmap, gm, &bits);
    const uint32_t stride = ((gm.gmBlackBoxX + 31) / 32) * 4;
    ASSERT_EQ(n, static_cast<int64_t>(stride * gm.gmBlackBoxY));
    const uint32_t mid = gm.gmBlackBoxY / 2;
    // A filled row has its first pixel in the top bit and nothing past the width.
    EXPECT_EQ(bits[mid * stride] & 0x80, 0x80);
    const uint32_t past = gm.gmBlackBoxX;
    if (past % 8) {
        EXPECT_EQ(bits[mid * stride + past / 8] & (0xFF >> (past % 8)), 0);
    }
}

TEST(FontGlyphs, SpaceHasNoOutlineButAnAdvance) {
    Font f(request("ＭＳ ゴシック", 16));
    for (uint16_t code : {uint16_t(' '), code_of("　")}) {
        GlyphMetrics gm;
        std::vector<uint8_t> bits{1, 2, 3};
        EXPECT_EQ(f.GetGlyphOutline(code, GlyphFormat::Gray8, gm, &bits), 0);
        EXPECT_GT(gm.gmCellIncX, 0);
        EXPECT_EQ(gm.gmBlackBoxX, 0u);
        AbcWidths abc;
        ASSERT_TRUE(f.GetCharABCWidths(code, abc));
        EXPECT_EQ(abc.abcA + static_cast<int>(abc.abcB) + abc.abcC, gm.gmCellIncX);
    }
    Font em(request("ＭＳ ゴシック", -24));
    EXPECT_EQ(em.TextExtentWidth(code_of("　")), 2 * em.TextExtentWidth(' '));
}

TEST(FontGlyphs, ShiftJisCodesGoThroughCodePage932) {
    EXPECT_EQ(SjisCodeToUnicode('A'), 0x41u);
    EXPECT_EQ(SjisCodeToUnicode(0xB1), 0xFF71u);  // half-width katakana
    EXPECT_EQ(SjisCodeToUnicode(0x82A0), 0x3042u);
    EXPECT_EQ(SjisCodeToUnicode(0x815F), 0xFF3Cu);  // CP932's full-width backslash
    EXPECT_EQ(SjisCodeToUnicode(0x8740), 0x2460u);  // NEC row 13
    EXPECT_EQ(SjisCodeToUnicode(0x82), 0u);         // a lone lead byte
    Font f(request("ＭＳ ゴシック", -24));
    EXPECT_EQ(f.TextExtentWidth(0xB1), 12);
    EXPECT_EQ(f.TextExtentWidth(0x82A0), 24);
}

TEST(FontGlyphs, SyntheticBoldAndItalic) {
    Font plain(request("ＭＳ Ｐゴシック", -24));
    Font bold(request("ＭＳ Ｐゴシック", -24, FW_BOLD));
    Font italic(request("ＭＳ Ｐゴシック", -24, 0, true));
    const uint16_t code = code_of("l");
    GlyphMetrics p, b, i;
    ASSERT_GT(plain.GetGlyphOutline(code, GlyphFormat::Gray8, p, nullptr), 0);
    ASSERT_GT(bold.GetGlyphOutline(code, GlyphFormat::Gray8, b, nullptr), 0);
    ASSERT_GT(italic.GetGlyphOutline(code, GlyphFormat::Gray8, i, nullptr), 0);
    EXPECT_EQ(b.gmCellIncX, p.gmCellIncX + 1);
    EXPECT_GT(b.gmBlackBoxX, p.gmBlackBoxX);
    EXPECT_EQ(b.gmBlackBoxY, p.gmBlackBoxY);
    EXPECT_EQ(bold.Metrics().otmTextMetrics.tmWeight, FW_BOLD);
    EXPECT_EQ(plain.Metrics().otmTextMetrics.tmWeight, FW_NORMAL);
    // A slanted tall stroke spans more columns.
    EXPECT_GT(i.gmBlackBoxX, p.gmBlackBoxX + 2);
    EXPECT_EQ(i.gmCellIncX, p.gmCellIncX);
    EXPECT_NE(italic.Metrics().otmTextMetrics.tmItalic, 0);
    EXPECT_NE(italic.Metrics().otmfsSelection & 1u, 0u);
}

TEST(FontNames, InstalledJapaneseFacesAndTheirDescriptions) {
    const std::string gothic = Sjis("ＭＳ ゴシック");
    const std::string pgothic = Sjis("ＭＳ Ｐゴシック");
    auto all = GetFontNames(true, false, false);
    auto has = [](const std::vector<std::string>& v, const std::string& s) {
        return std::find(v.begin(), v.end(), s) != v.end();
    };
    EXPECT_TRUE(has(all, gothic));
    EXPECT_TRUE(has(all, pgothic));
    EXPECT_TRUE(has(all, "IPAGothic"));
    EXPECT_TRUE(has(all, Sjis("IPA明朝")));
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end(),
                               [](const std::string& a, const std::string& b) { return AnsiCompareText(a, b) < 0; }));
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size());
    auto fixed = GetFontNames(false, false, true);
    EXPECT_TRUE(has(fixed, gothic));
    EXPECT_TRUE(has(fixed, "IPAMincho"));
    EXPECT_FALSE(has(fixed, pgothic));
    EXPECT_FALSE(has(fixed, "IPAPGothic"));
    EXPECT_EQ(GetFontNames(true, true, false).size(), all.size());  // no vertical faces here

    LogFont lf = GetLogFontByName(gothic);
    EXPECT_EQ(lf.FaceName, gothic);
    EXPECT_EQ(lf.CharSet, SHIFTJIS_CHARSET);
    EXPECT_EQ(lf.Height, 16);
    EXPECT_EQ(lf.Weight, FW_NORMAL);
    EXPECT_EQ(lf.PitchAndFamily & 3, FIXED_PITCH);
    EXPECT_EQ(GetLogFontByName(pgothic).PitchAndFamily & 3, VARIABLE_PITCH);

    // Exact names only: no case folding, no fall-back.
    for (const std::string& name : {std::string("ipagothic"), std::string("Helvetica"), std::string()}) {
        LogFont none = GetLogFontByName(name);
        EXPECT_EQ(none.Height, 0);
        EXPECT_EQ(none.CharSet, 0);
        EXPECT_TRUE(none.FaceName.empty());
    }
}
