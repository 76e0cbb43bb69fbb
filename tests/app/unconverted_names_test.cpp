// A game folder unpacked on Linux without converting its names, as unzip
// and 7z leave a Japanese archive: its names on disc are the raw Shift-JIS
// bytes, or the UTF-8 of a JIS-style converter ("〜" U+301C where code page
// 932 reads 81 60 as "～" U+FF5E). Python's codecs spell them. The real
// player, headless, finds the start page, a picture in a folder, and the
// page it goes on to once the picture has its own width.
#include "files/vocab.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"
#include "render/tesk.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";

TEST(UnconvertedNames, AGameUnpackedWithoutConvertingNamesPlays) {
    // The names as the game asks for them. "表" ends in the byte of "\",
    // "∥" and "～" are two of the characters the converters spell otherwise.
    const std::string start = "開始～.vsb", folder = "絵", picture = "表～.tes", next = "次∥.vsb";
    const struct {
        const char* converter;
        const char* spell;  // Python: the name on disc of the name n
    } cases[] = {
        {"raw Shift-JIS", "n.encode('cp932')"},
        {"JIS-style", "n.encode('cp932').decode('shift_jis').encode()"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.converter);
        TTestGameFolder game;
        TPageWriter first;
        for (int id : {PR_NAME, PR_SOURCE}) first.SetMask(opImgNew, id);
        first.VarNew("w", PT_INT, "0");
        first.Component(opImgNew, {{PR_NAME, "\"pic\""}, {PR_SOURCE, Sjis("\"" + folder + "\\" + picture + "\"")}});
        first.GetProp("\"pic\"", std::to_string(PR_WIDTH), "w");
        // The placeholder of a missing picture is 80 wide.
        first.Jump(Sjis(next), 0, "w == 37");
        first.Terminate();
        game.WritePage("first", first);
        TPageWriter second;
        second.Terminate();
        game.WritePage("second", second);
        TTeskFrameList layered;
        layered.AddFrame()->Image.SetSize(37, 23, 24);
        TMemoryStream picture_bytes;
        layered.SaveToStream(picture_bytes, 0);
        picture_bytes.SaveToFile(game.Path() + "picture");
        TProjectFileData project = TestProjectData(Sjis(start));
        project.SleepBetweenFrames = true;  // so that the start-up logo ends within the frames allowed
        game.WriteProject(project);

        const std::string dir = NativePath(game.Path());
        const std::string script = "import os, sys\n"
                                   "os.chdir(sys.argv[1])\n"
                                   "spell = lambda n: " + std::string(c.spell) + "\n"
                                   "os.mkdir(spell('" + folder + "'))\n"
                                   "os.rename(b'picture', os.path.join(spell('" + folder + "'), spell('" + picture + "')))\n"
                                   "os.rename(b'first', spell('" + start + "'))\n"
                                   "os.rename(b'second', spell('" + next + "'))\n";
        const CommandOutcome named = RunCommand("/usr/bin/python3 -c \"" + script + "\" '" + dir + "' 2>&1");
        ASSERT_EQ(named.Status, 0) << named.Output;

        const CommandOutcome o = RunCommand("env VORQ_HEADLESS=1 VORQ_FRAMES=3000 VORQ_TRACE='" + dir +
                                            "trace.txt' timeout 120 '" + kPlayer + "' '" + dir + "' 2>&1");
        EXPECT_EQ(o.Status, 0) << o.Output;
        EXPECT_NE(ReadNativeFileBytes(dir + "trace.txt").find(" : " + Sjis(next) + "(1)"), std::string::npos)
            << o.Output;
    }
}

}  // namespace
