// The real player, headless, freeing sounds whose place is still being
// taken, thousands of times: a sound created at an INDEX in an Ogg with a
// page lost in its middle, or in a clean one over a megabyte, both placed
// on the shared threads, is at once stopped, replaced by a new sound of
// its name, faded out, or has a save loaded over it; in one loop (one
// frame) and with a frame between passes. Every run ends with status 0,
// the game having reached its end (its last save written) and read its
// first sound back playing at the INDEX given. Before, a placer started
// while its sound was freed used the freed decoder: the player died of
// SIGSEGV.
#include "engine/game_save.h"
#include "engine/scenario_writer.h"
#include "files/vocab.h"
#include "files/vr_file_collection.h"
#include "platform/filesystem/filesys.h"
#include "tests/support/file_bytes.h"
#include "tests/support/ogg_page_spans.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";
#ifdef __SANITIZE_ADDRESS__
constexpr int kHangSeconds = 2400;
#else
constexpr int kHangSeconds = 600;
#endif

// Oggs made by sox and oggenc in a folder of the test's own: name.ogg.
struct Oggs {
    std::string dir = ::testing::TempDir() + "sound_place_" + std::to_string(getpid()) + "/";
    Oggs() { RunCommand("mkdir -p '" + dir + "'"); }
    ~Oggs() { RunCommand("rm -rf '" + dir + "'"); }
    std::string make(const std::string& name, const std::string& synth, const std::string& quality) {
        const std::string cmd = "sox -n -r 44100 -c 2 -b 16 '" + dir + name + ".wav' synth " + synth +
                                " && oggenc -Q -q " + quality + " -o '" + dir + name + ".ogg' '" + dir + name + ".wav'";
        EXPECT_EQ(RunCommand(cmd).Status, 0) << cmd;
        return ReadNativeFileBytes(dir + name + ".ogg");
    }
};


enum class Free { Stop, Replace, FadeOut };

// A sound named "s" on file at INDEX index.
void create(TPageWriter& w, const std::string& file, int index) {
    w.Component(opSound, {{PR_NAME, "\"s\""}, {PR_SOURCE, "\"" + file + "\""}, {PR_INDEX, std::to_string(index)}});
}

struct Phase {
    Free how;
    bool frame_between;
    int passes;
};

// A game that, phase by phase, creates the sound and frees it, then has a
// save loaded over it loads times, saves in slot 2 and ends. The player's
// start-up takes a few seconds: one game runs every phase.
void write_game(TTestGameFolder& game, const std::string& file, int index, const std::vector<Phase>& phases,
                int loads) {
    auto page = [] {
        TPageWriter w;
        for (int id : {PR_NAME, PR_SOURCE, PR_INDEX}) w.SetMask(opSound, id);
        return w;
    };
    TPageWriter w = page();
    w.VarNew("i", PT_INT, "0");
    // What the game reads of its first sound, in the end save's caption
    // (INDEX * 10 + PLAYING): a sound never made would make every pass
    // below free nothing.
    create(w, file, index);
    w.GetProp("\"s\"", std::to_string(PR_INDEX), "at");
    w.GetProp("\"s\"", std::to_string(PR_PLAYING), "playing");
    w.MovieStop("\"s\"", "0");
    for (const Phase& p : phases) {
        w.WhileInit("i = 0");
        w.While("i < " + std::to_string(p.passes));
        w.Indent = 1;
        create(w, file, index);
        if (p.how == Free::Stop) w.MovieStop("\"s\"", "0");
        if (p.how == Free::FadeOut) w.MovieStop("\"s\"", "100");
        if (p.how == Free::Replace) create(w, file, index);
        if (p.frame_between) w.Wait("1");
        w.EndWhile("i = i + 1");
        w.Indent = 0;
    }
    // Each load frees the sound the one before made, and the resume page
    // (called over the loaded game) makes another and loads again: one
    // frame a pass. The count is a status variable, which a load leaves as
    // it is.
    create(w, file, index);
    w.GameSave("1", "\"s\"", "again.vsb");
    w.Wait("1");
    w.GameLoad("1");
    w.Wait("1000000");
    TPageWriter again = page();
    again.Calc("n = n + 1");
    again.If("n >= " + std::to_string(loads));
    again.Indent = 1;
    again.GameSave("2", "at * 10 + playing");
    again.Terminate();
    again.Indent = 0;
    again.Else();
    again.Indent = 1;
    create(again, file, index);
    again.GameLoad("1");
    again.Indent = 0;
    game.WritePage("again.vsb", again);
    game.WritePage("main.vsb", w);
    TProjectFileData project = TestProjectData("main.vsb");
    for (const char* name : {"n", "at", "playing"}) {
        TProjectFileData::Variable v;
        v.Type = PT_INT;
        v.Name = name;
        project.Variables.push_back(v);
    }
    game.WriteProject(project);
}

// The caption of the game's save in slot 2, written at its end; none
// when the game did not reach it.
std::optional<std::string> end_caption(const std::string& game_folder) {
    if (!std::filesystem::exists(game_folder + "save.dat")) return std::nullopt;
    TVrFileCollection a;
    a.OpenOwnArchive(game_folder + "save.dat");
    const TVrFile* e = a.FindEntry(GameSaveEntryName(2));
    if (!e) return std::nullopt;
    TMemoryStream m;
    a.LoadEntry(*e, m);
    m.SetPosition(0);
    return ReadGameHead(m).Caption;
}

TEST(SoundPlaceRun, SoundsFreedWhileTheirPlaceIsTakenNeverEndThePlayer) {
    if (const char* tool = MissingTool({"sox", "oggenc"})) GTEST_SKIP() << tool << " is not installed";
    Oggs oggs;
    // 10 s of noise with a page lost in its middle; 40 s at the highest
    // quality, over a megabyte.
    const std::string noise = oggs.make("noise", "10 pinknoise vol 0.3", "3");
    const auto np = OggPageSpans(noise);
    ASSERT_GT(np.size(), 10u);
    const auto lost = np[np.size() / 2];
    const std::string damaged = oggs.dir + "damaged.ogg";
    std::ofstream(damaged, std::ios::binary) << noise.substr(0, lost.first) + noise.substr(lost.second);
    const std::string clean = oggs.make("clean", "40 pinknoise vol 0.3", "10");
    ASSERT_GT(clean.size(), size_t{1} << 20);
    const struct {
        const char* file;
        std::string path;
        int index;
    } files[] = {{"damaged", damaged, 9000}, {"clean, over a megabyte", oggs.dir + "clean.ogg", 30000}};
    const std::vector<Phase> phases = {
        {Free::Stop, false, 4000},   {Free::Stop, true, 2000},     {Free::Replace, false, 2000},
        {Free::Replace, true, 2000}, {Free::FadeOut, true, 2000},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.file);
        TTestGameFolder game;
        write_game(game, f.path, f.index, phases, 1000);
        // The game runs until it ends itself; its frames are not counted
        // by what it does (a wait of 1 ms is many frames on a fast machine).
        // The deadline is only for a player that hangs: 10 s here alone,
        // about 75 s beside three busy loops a core, and the sanitizers many times
        // slower.
        const CommandOutcome o = RunCommand("env VORQ_HEADLESS=1 timeout -s KILL " + std::to_string(kHangSeconds) +
                                            " '" + kPlayer + "' '" + NativePath(game.Path()) + "' 2>&1");
        EXPECT_EQ(o.Status, 0) << o.Output;
        // Its first sound was playing, at the INDEX given.
        const std::optional<std::string> caption = end_caption(game.Path());
        EXPECT_TRUE(caption) << "the game did not reach its end";
        if (!caption) continue;
        const int read = std::atoi(caption->c_str());
        EXPECT_TRUE(read % 10 == 1 && read / 10 >= f.index) << "INDEX * 10 + PLAYING read back: " << *caption;
    }
}

}  // namespace
