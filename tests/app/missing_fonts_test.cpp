// The real executable on machines short of fonts, each given by a private
// fontconfig file: with only Debian's DejaVu it plays and says once that a
// Japanese font is missing; with a Japanese face of another name it plays
// in that; with no font at all it says so, in the desktop's own box where
// there is a display, and ends with a failure.
#include "platform/filesystem/filesys.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";
const std::string kDemoData = std::string(VORQ_BINARY_DIR) + "/demo/game.dat";
const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";  // fonts-dejavu-core

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

enum class Fonts { None, DejaVu, OtherJapanese };

// A fontconfig file naming one folder, holding the fonts asked for. The
// other Japanese face is IPA Gothic under a name nobody asks for, renamed
// with fontTools.
std::string font_config(const TTestGameFolder& game, Fonts fonts) {
    const std::string dir = NativePath(game.Path()) + "fonts";
    EXPECT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
    if (fonts == Fonts::DejaVu) {
        EXPECT_EQ(std::system(("cp '" + kDejaVu + "' '" + dir + "/'").c_str()), 0);
    } else if (fonts == Fonts::OtherJapanese) {
        const std::string rename =
            "/usr/bin/python3 -c \"from fontTools.ttLib import TTFont\n"
            "f = TTFont('/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf', lazy=True)\n"
            "for r in f['name'].names:\n"
            "    if r.nameID in (1, 3, 4, 6, 16, 17): r.string = 'TestGothic'\n"
            "f.save('" + dir + "/testgothic.ttf')\"";
        EXPECT_EQ(std::system(rename.c_str()), 0);
    }
    const std::string conf = NativePath(game.Path()) + "fonts.conf";
    std::ofstream(conf) << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
                        << "<dir>" << dir << "</dir>\n<cachedir>" << dir << "-cache</cachedir>\n</fontconfig>\n";
    return conf;
}

TEST(MissingFonts, HeadlessPlaysWithTheFontsThereAreAndEndsWithoutAny) {
    const char* kMissing = "日本語フォントが見つかりません";
    const struct {
        Fonts Installed;
        int Status;
        const char* Message;  // said once; null: nothing is said of fonts
    } cases[] = {
        {Fonts::DejaVu, 0, "日本語フォントが見つかりません: no Japanese font is installed, text is drawn in DejaVu Sans"},
        {Fonts::None, 1, "日本語フォントが見つかりません\nNo font is installed to draw text with"},
        {Fonts::OtherJapanese, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Installed));
        TTestGameFolder game;
        ASSERT_EQ(std::system(("cp '" + kDemoData + "' '" + NativePath(game.Path()) + "'").c_str()), 0);
        const std::string conf = font_config(game, c.Installed);
        const CommandOutcome o = RunCommand("env VORQ_HEADLESS=1 VORQ_FRAMES=200 FONTCONFIG_FILE='" + conf +
                                            "' timeout 120 '" + kPlayer + "' '" + NativePath(game.Path()) + "' 2>&1");
        EXPECT_EQ(o.Status, c.Status) << o.Output;
        EXPECT_EQ(count_of(o.Output, c.Message ? c.Message : kMissing), c.Message ? 1u : 0u) << o.Output;
    }
}

TEST(MissingFonts, WithoutAnyTheDesktopsOwnBoxSaysSo) {
    if (const char* tool = MissingTool({"Xvfb", "xdotool", "xwininfo"}))
        GTEST_SKIP() << tool << " is not installed";
    TTestGameFolder game;
    const std::string folder = NativePath(game.Path());
    const std::string conf = font_config(game, Fonts::None);
    std::ofstream script(folder + "run.sh");
    script << "FONTCONFIG_FILE='" << conf << "' '" << kPlayer << "' '" << folder << "' 2> '" << folder
           << "stderr.txt' & pid=$!\n"
           // The box's window, by its caption, polled within a deadline: it
           // has no class or process id to wait on, and xdotool cannot match
           // a caption outside ASCII.
           << "for i in $(seq 300); do wid=$(xwininfo -root -tree | grep '\"エラー\"' | awk '{print $1}' | head -1); "
           << "[ -n \"$wid\" ] && break; sleep 0.1; done\n"
           << "[ -n \"$wid\" ] && echo shown > '" << folder << "box.txt' && xdotool windowfocus --sync $wid key Return\n"
           << ShellAwaitEnd(folder + "status.txt") << "cat '" << folder << "stderr.txt' >&2\n";
    script.close();
    const CommandOutcome run = RunScriptUnderXvfb(folder + "run.sh");
    // A failure below shows what the script and the player said.
    SCOPED_TRACE("the script's output:\n" + run.Output);
    ASSERT_EQ(run.Status, 0);
    EXPECT_EQ(ReadNativeFileBytes(folder + "box.txt"), "shown\n");
    EXPECT_EQ(ReadNativeFileBytes(folder + "status.txt"), "1\n");
    EXPECT_EQ(count_of(ReadNativeFileBytes(folder + "stderr.txt"), "日本語フォントが見つかりません"), 1u)
        << ReadNativeFileBytes(folder + "stderr.txt");
}

}  // namespace
