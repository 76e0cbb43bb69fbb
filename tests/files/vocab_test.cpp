#include "files/vocab.h"

#include "platform/text/codepage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

TEST(Vocab, PropertyTableShape) {
    // Counts per type and the non-integer codes as the scenario engine's own
    // property list gives them.
    int counts[5] = {};
    std::set<std::string> names;
    for (int i = 0; i < PROPERTY_COUNT; ++i) {
        ++counts[PropertyInfos[i].Type];
        EXPECT_EQ(std::string(PropertyInfos[i].Name).rfind("PR_", 0), 0u) << i;
        names.insert(PropertyInfos[i].Name);
    }
    EXPECT_EQ(names.size(), 161u);
    EXPECT_EQ(counts[PT_NONE], 0);
    EXPECT_EQ(counts[PT_INT], 83);
    EXPECT_EQ(counts[PT_FLOAT], 3);
    EXPECT_EQ(counts[PT_BOOL], 22);
    EXPECT_EQ(counts[PT_STR], 53);
    for (int id : {PR_PARAM1, PR_PARAM2, PR_PARAM3}) EXPECT_EQ(PropertyInfos[id].Type, PT_FLOAT);
    const int bools[] = {25, 27, 29, 32, 47, 71, 73, 81, 86, 87, 88, 98, 100, 111, 112, 134, 137, 138, 139, 150, 152, 158};
    for (int id : bools) EXPECT_EQ(PropertyInfos[id].Type, PT_BOOL) << PropertyInfos[id].Name;
    EXPECT_EQ(PR_PARAM1, 95);
    EXPECT_EQ(PR_COMPOTYPE, 140);
    EXPECT_EQ(PR_PLUSY, 160);
    EXPECT_STREQ(PropertyInfos[PR_FONTHOVERSHADOWCOLOR].Name, "PR_FONTHOVERSHADOWCOLOR");
    EXPECT_EQ(PropertyDisplayName(PR_NAME), Sjis("名前"));
    EXPECT_EQ(PropertyDisplayName(PR_LEFT), "");
    EXPECT_EQ(PropertyDisplayName(-1), "");

    EXPECT_EQ(LT_CABINET, 27);
    EXPECT_EQ(LT_PARTICLE, 14);
    EXPECT_EQ(VkmWheelUp, 69);
    EXPECT_STREQ(KeyNames[VkmA], "VkmA");
    EXPECT_STREQ(KeyNames[VkmF12], "VkmF12");
}

TEST(Vocab, Labels) {
    const std::string disc = ProjectMessageName(CHANGEMEDIA);
    EXPECT_EQ(Cp932ToUtf8(disc), "ディスク入替(ディスク番号を%dで記述)");
    EXPECT_NE(disc.find("%d"), std::string::npos);
    EXPECT_EQ(Cp932ToUtf8(ProjectMessageName(EXIT)), "終了確認");
    EXPECT_EQ(ProjectMessageName(2), "");
    EXPECT_EQ(Cp932ToUtf8(WallpaperStyleName(1)), "拡大して表示");
    EXPECT_EQ(WallpaperStyleName(3), "");
}

TEST(Vocab, UnescapeText) {
    EXPECT_EQ(UnescapeText("a\\nb"), "a\r\nb");
    EXPECT_EQ(UnescapeText("a\\xb"), "a\\xb");
    EXPECT_EQ(UnescapeText("\\\\n"), "\\n");
    EXPECT_EQ(UnescapeText("say \\\"hi\\\""), "say \"hi\"");
    EXPECT_EQ(UnescapeText("end\\"), "end\\");
    // The trail byte of "so" is a backslash: not an escape.
    EXPECT_EQ(UnescapeText("\x83\x5Cn"), "\x83\x5Cn");
    EXPECT_EQ(UnescapeText("\x83\x5C\\n"), "\x83\x5C\r\n");
    EXPECT_EQ(UnescapeText("x\x83"), "x\x83");
}

TEST(Vocab, FontStylesAndColors) {
    TFontStyles s;
    s.Include(fsBold).Include(fsStrikeOut);
    EXPECT_EQ(FontStylesToInt(s), fsBold | fsStrikeOut);
    EXPECT_EQ(IntToFontStyles(0xF0 | fsItalic | fsUnderline), TFontStyles{}.Include(fsItalic).Include(fsUnderline));
    EXPECT_FALSE(IntToFontStyles(-16).Contains(fsBold));
    EXPECT_EQ(FontStylesToInt(IntToFontStyles(15)), 15);

    EXPECT_EQ(ScaleColor(0xFFFFFF, 128), 0x7F7F7F);
    EXPECT_EQ(ScaleColor(0x123456, 256), 0x123456);
    EXPECT_EQ(ScaleColor(static_cast<int32_t>(0xFF804020u), 256), 0x804020);  // top byte cleared
    EXPECT_EQ(ScaleColor(0x0000FF, 512), 0x0000FE);  // 0x1FE kept in its byte
    EXPECT_EQ(ScaleColor(0x102030, 0), 0);
}

TEST(Vocab, PathsAndLabels) {
    EXPECT_EQ(AddTrailingBackslash(""), "\\");
    EXPECT_EQ(AddTrailingBackslash("a\\"), "a\\");
    EXPECT_EQ(AddTrailingBackslash("a"), "a\\");
    // Ends in "so", whose trail byte is 0x5C: still needs a delimiter.
    EXPECT_EQ(AddTrailingBackslash("a\\\x83\x5C"), "a\\\x83\x5C\\");

    std::string name = "data\\title.vsb:start", label = "old";
    SplitFileLabel(name, label);
    EXPECT_EQ(name, "data\\title.vsb");
    EXPECT_EQ(label, "start");

    name = "title.vsb";
    SplitFileLabel(name, label);
    EXPECT_EQ(name, "title.vsb");
    EXPECT_EQ(label, "");

    name = "a:b\\c.vsb";  // ':' in a folder part
    SplitFileLabel(name, label);
    EXPECT_EQ(name, "a:b\\c.vsb");
    EXPECT_EQ(label, "");

    name = ":start";  // the first byte never splits
    SplitFileLabel(name, label);
    EXPECT_EQ(name, ":start");
    EXPECT_EQ(label, "");

    // "a" kanji (0x88 0x9F) ends in a lead-range byte; the ':' after it is a
    // character of its own and splits.
    name = "\x88\x9F:start";
    SplitFileLabel(name, label);
    EXPECT_EQ(name, "\x88\x9F");
    EXPECT_EQ(label, "start");

    // A label naming a kanji whose trail byte is '\' is not cut there.
    name = "p.vsb:\x95\x5C";
    SplitFileLabel(name, label);
    EXPECT_EQ(name, "p.vsb");
    EXPECT_EQ(label, "\x95\x5C");
}

TEST(Vocab, WorkAreaAndWallpaper) {
    const TRect r = GetWorkAreaRect();  // dummy video driver under ctest
    EXPECT_GT(r.Width(), 0);
    EXPECT_GT(r.Height(), 0);

    const char* old = std::getenv("SDL_VIDEODRIVER");
    const std::string saved = old ? old : "";
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    EXPECT_EQ(GetWorkAreaRect(), Bounds(0, 0, 640, 480));
    if (old) setenv("SDL_VIDEODRIVER", saved.c_str(), 1);
    else unsetenv("SDL_VIDEODRIVER");

    EXPECT_FALSE(SetWallPaper("/tmp/x.bmp", 0));
}
