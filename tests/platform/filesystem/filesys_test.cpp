#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/replace_file.h"
#include "platform/filesystem/stream.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

#include "tests/support/run_command.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

TEST(MemoryStream, ReadWriteSeekAndShortRead) {
    TMemoryStream m;
    EXPECT_EQ(m.Write("hello", 5), 5);
    EXPECT_EQ(m.GetSize(), 5);
    m.SetPosition(1);
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 8), 4);
    EXPECT_STREQ(buf, "ello");
    EXPECT_EQ(m.Read(buf, 8), 0);
    m.SetPosition(3);
    EXPECT_THROW(m.ReadBuffer(buf, 3), EReadError);
    m.SetSize(8);
    m.SetPosition(5);
    EXPECT_EQ(m.Read(buf, 8), 3);
    EXPECT_EQ(buf[0], 0);  // growing zero-fills
}

TEST(MemoryStream, CopyFromRaisesOnAShortSourceAndIgnoresNegativeCounts) {
    TMemoryStream src, dst;
    src.WriteBuffer("abcdef", 6);
    src.SetPosition(2);
    EXPECT_EQ(dst.CopyFrom(src, 3), 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(dst.Memory()), 3), "cde");
    EXPECT_THROW(dst.CopyFrom(src, 5), EReadError);  // one byte left: never a silent short copy
    src.SetPosition(0);
    EXPECT_EQ(dst.CopyFrom(src, -1), -1);  // nothing copied, nothing allocated
    EXPECT_EQ(src.GetPosition(), 0);
    EXPECT_EQ(dst.CopyFrom(src, 0), 6);    // 0: the whole source from its start
}

TEST(CodePage, CaseFoldingLeavesDoubleByteCharactersAlone) {
    // 0x83 0x41 is katakana "a": its trail byte is the letter 'A'.
    std::string s = "ab\x83\x41Z";
    EXPECT_EQ(AnsiUpperCase(s), "AB\x83\x41Z");
    EXPECT_EQ(AnsiLowerCase(s), "ab\x83\x41z");
    EXPECT_TRUE(AnsiSameText("Image\\BG001", "image\\bg001"));
    EXPECT_FALSE(AnsiSameText("\x83\x41", "\x83\x61"));
    EXPECT_EQ(Cp932ToUtf8("\x82\xa0"), "あ");
    EXPECT_EQ(Sjis("警告"), "\x8c\x78\x8d\x90");
}

TEST(FileSystem, GamePathsMatchComponentsWithoutCase) {
    std::string dir = PrivateTempFolder() + "CaseTest/Sub";
    ASSERT_TRUE(ForceDirectories(dir));
    {
        TFileStream f(dir + "/Data.BIN", fmCreate);
        f.WriteBuffer("x", 1);
    }
    std::string game = PrivateTempFolder() + "casetest\\SUB\\data.bin";
    EXPECT_TRUE(FileExists(game));
    EXPECT_EQ(FileSizeOf(game), 1);
    EXPECT_GT(FileAge(game), 0);
    EXPECT_EQ(ExtractFileExt(game), ".bin");
    EXPECT_EQ(ExtractFileName(game), "data.bin");
    EXPECT_THROW(TFileStream(PrivateTempFolder() + "missing", fmOpenRead), EFOpenError);
    // A "\" that is the trail byte of a double-byte character is no delimiter.
    EXPECT_EQ(ExtractFilePath("a\\\x95\x5c.txt"), "a\\");
}

// Folder names the system gives come back to the system unchanged. What
// code page 932 holds is converted (bytes from Python's cp932 codec); any
// other byte is carried as a character the code page leaves unassigned,
// so that no "\\" turns up.
TEST(FileSystem, SystemNamesSurviveTheTripThroughGamePaths) {
    const struct {
        const char* native;
        const char* game;
    } cases[] = {
        {"/x/ゲーム画像ｶﾅ表", "/x/\x83Q\x81[\x83\x80\x89\xe6\x91\x9c\xb6\xc5\x95\\"},
        {"/x/Café", "/x/Caf\x86\x83\x85\xA9"},
        {"/x/한국", "/x/\x86\xAD\x85\x95\x85\x9C\x86\xAA\x85\xB5\x85\xAD"},
        {"/x/a\\b¥", "/x/a\x85\xC0" "b\x86\x82\x85\xA5"},  // "¥" would read as "\\"
        {"/x/〜\xE9t\xE9", "/x/\x86\xA3\x85\x80\x85\x9C\x86\xA9t\x86\xA9"},  // wave dash, Latin-1
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GamePath(c.native), c.game) << c.native;
        EXPECT_EQ(NativePath(GamePath(c.native)), c.native);
        EXPECT_EQ(ExtractFilePath(GamePath(c.native)), "/x/") << c.native;
    }
}

// A game's file names may hold user-defined characters (0xF040-0xF9FC):
// on disk they are the private-use characters of Python's cp932 codec, and
// the game's own spelling finds them and is what a listing gives back,
// beside names whose bytes are carried.
TEST(FileSystem, UserDefinedCharactersOnDiskAreFoundAndListedAsTheGameSpellsThem) {
    const struct {
        const char* native;
        const char* game;
    } cases[] = {
        {"\xEE\x80\xBF.txt", "\xF0\x80.txt"},     {"a\xEE\x81\xBE", "a\xF0\xBF"},
        {"\xEE\x83\xBB\xEE\x84\xBA", "\xF1\x80\xF1\xBF"}, {"\xEE\x86\xB7", "\xF2\x80"},
        {"\xEE\x80\x80\xEE\x9D\x97", "\xF0\x40\xF9\xFC"}, {"Caf\xC3\xA9", "Caf\x86\x83\x85\xA9"},
        {"x\xE9", "x\x86\xA9"},
    };
    const std::string dir = PrivateTempFolder() + "gaiji/";
    ASSERT_TRUE(ForceDirectories(dir));
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        std::ofstream(NativePath(dir) + c.native) << "x";
        expected.push_back(c.game);
        EXPECT_TRUE(FileExists(dir + c.game)) << c.native;
        EXPECT_EQ(NativePath(dir + c.game), NativePath(dir) + c.native);
    }
    std::vector<std::string> listed = ListDirectory(dir);
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
}

// A game unpacked without converting names has them on disc as the raw
// Shift-JIS bytes or as a JIS-style converter spells them (bytes from
// Python's shift_jis and cp932 codecs): found when the code page 932
// spelling is missing, folding letters only outside double-byte characters.
TEST(FileSystem, NamesUnpackedWithoutConvertingAreFoundAfterTheCodePageSpelling) {
    const struct {
        std::vector<std::string> on_disc;
        const char* asked;
        const char* found;  // "" when none
    } cases[] = {
        {{"\xEF\xBD\x9E.txt", "\xE3\x80\x9C.txt"}, "\x81\x60.txt", "\xEF\xBD\x9E.txt"},  // "～" and "〜"
        {{"\xE3\x80\x9C.txt"}, "\x81\x60.TXT", "\xE3\x80\x9C.txt"},
        {{"\x95\x5C.TXT"}, "\x95\x5C.txt", "\x95\x5C.TXT"},  // "表", its trail byte "\\"
        {{"\x83\x41.txt"}, "\x83\x61.txt", ""},                // "ア" is not "ヂ"
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked);
        const std::string dir = PrivateTempFolder() + "unconverted" + std::to_string(n++) + "/";
        ASSERT_TRUE(ForceDirectories(dir));
        for (const std::string& name : c.on_disc) std::ofstream(NativePath(dir) + name) << "x";
        EXPECT_EQ(FileExists(dir + c.asked), *c.found != 0);
        if (*c.found) {
            EXPECT_EQ(NativePath(dir + c.asked), NativePath(dir) + c.found);
        }
    }
}

// Names as the converters themselves spell them on disc, read from the
// real converters: glibc's JIS-style one turns "~" into "‾" in plain ASCII
// names too, JIS X 0213 ones (glibc's and Python's) spell 81 5C, 81 5F,
// FB FC and ED 40 otherwise than code page 932, and a folder unpacked once
// converted and once raw is searched in both spellings.
TEST(FileSystem, NamesAsEachConverterSpellsThemAreFound) {
    const std::string glibc = "iconv -f SHIFT_JIS -t UTF-8", glibc_x0213 = "iconv -f SHIFT_JISX0213 -t UTF-8",
                      raw = "cat";
    const auto python = [](const char* codec) {
        return "/usr/bin/python3 -c \"import sys; sys.stdout.buffer.write(sys.stdin.buffer.read().decode('" +
               std::string(codec) + "').encode())\"";
    };
    const struct {
        std::string converter, folder, name;  // folder and name in Shift-JIS, the folder "" for none
    } cases[] = {
        {glibc, "", "bgm~1.txt"},
        {glibc, "", "BGM~2.TXT"},
        {glibc, "", Sjis("音~3.txt")},
        {glibc_x0213, "", "g\x81\x5C.txt"},
        {glibc_x0213, "", "g\x81\x5F.txt"},
        {glibc_x0213, "", "g\xFB\xFC.txt"},
        {glibc_x0213, "", "g\xED\x40.txt"},
        {python("shift_jisx0213"), "", "p\x81\x5C.txt"},
        {python("shift_jisx0213"), "", "p\x81\x5F.txt"},
        {python("shift_jisx0213"), "", "p\xFB\xFC.txt"},
        {python("shift_jisx0213"), "", "p\xED\x40.txt"},
        {python("shift_jisx0213"), "", "p~.txt"},
        // One folder in two spellings, each holding a file of its own.
        {python("cp932"), Sjis("絵"), "a.txt"},
        {raw, Sjis("絵"), "b.txt"},
        {python("shift_jis"), Sjis("絵～"), "c.txt"},
        {raw, Sjis("絵～"), "d.txt"},
    };
    const std::string dir = PrivateTempFolder() + "converters/", native = NativePath(dir);
    ASSERT_TRUE(ForceDirectories(dir));
    const auto spelt = [&](const std::string& converter, const std::string& sjis) {
        std::ofstream(native + "name") << sjis;
        return RunCommand(converter + " < '" + native + "name'").Output;
    };
    std::vector<std::string> on_disc;
    for (const auto& c : cases) {
        const std::string folder = c.folder.empty() ? "" : spelt(c.converter, c.folder) + "/";
        on_disc.push_back(native + folder + spelt(c.converter, c.name));
        std::filesystem::create_directories(native + folder);
        std::ofstream(on_disc.back()) << "x";
        ASSERT_TRUE(std::filesystem::exists(on_disc.back())) << on_disc.back();
    }
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string asked = dir + (cases[i].folder.empty() ? "" : cases[i].folder + "\\") + cases[i].name;
        SCOPED_TRACE(Cp932ToUtf8(asked) + " by " + cases[i].converter);
        EXPECT_TRUE(FileExists(asked));
        EXPECT_EQ(NativePath(asked), on_disc[i]);
    }
}

TEST(FileSystem, LowerFileExtTellsFormatsApartByName) {
    struct Case {
        const char* path;
        const char* ext;
    } cases[] = {
        {"BGM\\Title.OGG", ".ogg"},   {"/abs/Movie.WmV", ".wmv"}, {"c:\\dir.X\\file", ""},
        {"a.b/c", ""},                 {"noext", ""},              {"x.tar.GZ", ".gz"},
        // The trail byte 0x5C of a double-byte character ends no folder.
        {"\x95\x5c.Wav", ".wav"},
    };
    for (const Case& c : cases) EXPECT_EQ(LowerFileExt(c.path), c.ext) << c.path;
}

TEST(FileSystem, NativePathResolvesCaseDotDotAndMissingFolders) {
    const std::string base = PrivateTempFolder() + "NativeCase";
    ASSERT_TRUE(ForceDirectories(base + "/" + Sjis("画像A") + "/Deep"));
    { TFileStream f(base + "/" + Sjis("画像A") + "/Deep/Pic.BMP", fmCreate); }
    const std::string native_base = NativePath(base);
    // An ASCII letter right after a Japanese character still folds.
    EXPECT_EQ(NativePath(base + "\\" + Sjis("画像a") + "\\deep\\pic.bmp"),
              native_base + "/画像A/Deep/Pic.BMP");
    // ".." steps back out of a folder matched without case.
    EXPECT_EQ(NativePath(base + "\\" + Sjis("画像a") + "\\DEEP\\..\\deep\\PIC.bmp"),
              native_base + "/画像A/Deep/../Deep/Pic.BMP");
    EXPECT_TRUE(FileExists(base + "\\" + Sjis("画像a") + "\\DEEP\\..\\deep\\PIC.bmp"));
    // Past a missing folder the rest stays as written.
    EXPECT_EQ(NativePath(base + "\\" + Sjis("画像a") + "\\Gone\\deep\\PIC.bmp"),
              native_base + "/画像A/Gone/deep/PIC.bmp");
    EXPECT_FALSE(FileExists(base + "\\Gone\\deep"));
}

TEST(FileSystem, FileFaultsAreToldInJapaneseWithTheSystemsOwnPath) {
    // Paths as the engine builds them: a folder, "\" and a file name.
    const std::string folder = PrivateTempFolder() + "faults";
    ASSERT_TRUE(ForceDirectories(folder + "/sub"));
    const std::string shown = GamePath(NativePath(folder)) + "/";
    const auto message = [](auto f) {
        try {
            f();
        } catch (const Exception& e) {
            return e.Message();
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([&] { TFileStream(folder + "\\missing.dat", fmOpenRead); }),
              shown + "missing.dat" + Sjis(":ファイルがありません"));
    EXPECT_EQ(message([&] { TFileStream(folder + "\\sub", fmOpenRead); }), shown + "sub" + Sjis(":ファイルを開けません"));
    EXPECT_EQ(message([&] { TFileStream(folder + "\\none\\x.dat", fmCreate); }),
              shown + "none/x.dat" + Sjis(":ファイルが作れません"));
    EXPECT_EQ(message([&] { ReplaceFileContents(folder + "\\sub", "x", 1); }),
              shown + "sub" + Sjis(":ファイルに書き込めません"));
}
