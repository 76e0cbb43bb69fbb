// The real player, headless, freeing sounds whose place is still being
// taken, thousands of times: a sound created at an INDEX in an Ogg with a
// page lost in its middle, or in a clean one over a megabyte, both placed
// on the shared threads, is at once stopped, replaced by a new sound of
// its name, faded out, or has a save loaded over it; in one loop (one
// frame) and with a frame between passes. Every run ends with status 0,
// the game having reached its end (its last save written) and read its
// first sound back playing at the INDEX given. Before, a placer started
// while its sound was freed used the freed decoder: the player died of
// SIGSEGV. And a sound's length learnt on the shared threads while 40
// others are placed anew every frame.
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

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kHangSeconds = 2400;
constexpr int kWholeWithinMs = 10000;
#else
constexpr int kHangSeconds = 600;
constexpr int kWholeWithinMs = 5000;
#endif

// Oggs made by sox and oggenc in a folder of the test's own: name.ogg.
struct Oggs {
    std::string dir = ::testing::TempDir() + "sound_place_" + std::to_string(getpid()) + "/";
    Oggs() { RunCommand("mkdir -p '" + dir + "'"); }
    ~Oggs() { RunCommand("rm -rf '" + dir + "'"); }
    std::string make(const std::string& name, const std::string& synth, const std::string& oggenc) {
        const std::string cmd = "sox -n -r 44100 -c 2 -b 16 '" + dir + name + ".wav' synth " + synth +
                                " && oggenc -Q " + oggenc + " -o '" + dir + name + ".ogg' '" + dir + name + ".wav'";
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
    const std::string noise = oggs.make("noise", "10 pinknoise vol 0.3", "-q 3");
    const auto np = OggPageSpans(noise);
    ASSERT_GT(np.size(), 10u);
    const auto lost = np[np.size() / 2];
    const std::string damaged = oggs.dir + "damaged.ogg";
    std::ofstream(damaged, std::ios::binary) << noise.substr(0, lost.first) + noise.substr(lost.second);
    const std::string clean = oggs.make("clean", "40 pinknoise vol 0.3", "-q 10");
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

// A game whose 40 sounds on a damaged file over a megabyte are each given a
// new INDEX every frame; 0.3 s in, a sound is made on a chain of two links
// of one serial number, whose COUNT is its last link's until the look at
// its pages ends, and made anew each time its COUNT is whole, chains times
// (a place ending while no other waits lets every check waiting through:
// one chain may be let through by chance). The flood ends with the last,
// or once within_ms and within_frames have passed since a chain's making
// (a frame held back on a busy machine holds the window open); the end
// save's caption: the chains whole, the COUNT last read, and the ms and
// frames from that chain's making.
void write_flood_game(TTestGameFolder& game, const std::string& damaged, const std::string& chain, int whole,
                      int chains, int within_ms, int within_frames) {
    TPageWriter w;
    for (int id : {PR_NAME, PR_SOURCE, PR_INDEX}) w.SetMask(opSound, id);
    const std::string name = "\"f\" ++ IntToStr(k)";
    for (const char* v : {"k", "start", "made", "count", "n", "frames"}) w.VarNew(v, PT_INT, "0");
    w.WhileInit("k = 0");
    w.While("k < 40");
    w.Indent = 1;
    w.Component(opSound, {{PR_NAME, name}, {PR_SOURCE, "\"" + damaged + "\""}, {PR_INDEX, "Random(30000)"}});
    w.EndWhile("k = k + 1");
    w.Indent = 0;
    w.Calc("start = @PCTickCount");
    w.While("(n < " + std::to_string(chains) + ") & ((made == 0) | (@PCTickCount - made < " +
            std::to_string(within_ms) + ") | (frames < " + std::to_string(within_frames) + "))");
    w.Indent = 1;
    w.WhileInit("k = 0");
    w.While("k < 40");
    w.Indent = 2;
    w.SetProp(name, std::to_string(PR_INDEX), "Random(30000)");
    w.EndWhile("k = k + 1");
    w.Indent = 1;
    w.Calc("frames = frames + 1");
    w.If("made > 0");
    w.Indent = 2;
    w.GetProp("\"c\"", std::to_string(PR_COUNT), "count");
    w.Calc("n = n + (count == " + std::to_string(whole) + ")");
    w.Indent = 1;
    w.If("((made == 0) & (@PCTickCount - start >= 300)) | ((count == " + std::to_string(whole) + ") & (n < " +
         std::to_string(chains) + "))");
    w.Indent = 2;
    w.Component(opSound, {{PR_NAME, "\"c\""}, {PR_SOURCE, "\"" + chain + "\""}});
    w.Calc("made = @PCTickCount");
    w.Calc("count = 0");
    w.Calc("frames = 0");
    w.Indent = 1;
    w.Wait("1");
    w.EndWhile();
    w.Indent = 0;
    w.GameSave("2", "IntToStr(n) ++ \" \" ++ IntToStr(count) ++ \" \" ++ IntToStr(@PCTickCount - made) ++ \" \" ++ "
                    "IntToStr(frames)");
    w.Terminate();
    game.WritePage("main.vsb", w);
    game.WriteProject(TestProjectData("main.vsb"));
}

// Page checks keep their turn on the shared threads while places keep
// coming: each of eight chains made one after another has its COUNT whole
// within 5 s and 2,000 frames of its making (within 10 ms and 10 frames on
// a quiet machine, 0.4 s beside three busy loops a core). Before, a free
// thread always took a waiting place first, and a chain read its last
// link's length until the places happened to leave a thread free (after
// 10 to 30 s, now and then at once).
TEST(SoundPlaceRun, APageCheckRunsWhileOtherSoundsArePlacedEveryFrame) {
    if (const char* tool = MissingTool({"sox", "oggenc"})) GTEST_SKIP() << tool << " is not installed";
    Oggs oggs;
    const std::string large = oggs.make("large", "40 pinknoise vol 0.3", "-q 10");
    ASSERT_GT(large.size(), size_t{1} << 20);
    const auto pages = OggPageSpans(large);
    const auto lost = pages[pages.size() / 2];
    const std::string damaged = oggs.dir + "damaged.ogg";
    std::ofstream(damaged, std::ios::binary) << large.substr(0, lost.first) + large.substr(lost.second);
    // 60 s a link, one serial number: 120000 ms whole, 60000 before its
    // pages are known.
    const std::string chain = oggs.make("first", "60 pinknoise vol 0.3", "-q 3 -s 7") +
                              oggs.make("second", "60 whitenoise vol 0.3", "-q 3 -s 7");
    ASSERT_GT(chain.size(), size_t{1} << 20);
    std::ofstream(oggs.dir + "chain.ogg", std::ios::binary) << chain;
    TTestGameFolder game;
    write_flood_game(game, damaged, oggs.dir + "chain.ogg", 120000, 8, kWholeWithinMs, 2000);
    const CommandOutcome o = RunCommand("env VORQ_HEADLESS=1 timeout -s KILL " + std::to_string(kHangSeconds) + " '" +
                                        kPlayer + "' '" + NativePath(game.Path()) + "' 2>&1");
    EXPECT_EQ(o.Status, 0) << o.Output;
    const std::optional<std::string> caption = end_caption(game.Path());
    ASSERT_TRUE(caption) << "the game did not reach its end\n" << o.Output;
    int chains = 0, count = 0, ms = 0, frames = 0;
    ASSERT_EQ(std::sscanf(caption->c_str(), "%d %d %d %d", &chains, &count, &ms, &frames), 4) << *caption;
    EXPECT_EQ(chains, 8) << "the next chain's COUNT read " << count << " " << ms << " ms and " << frames
                         << " frames after its making\n"
                         << o.Output;
}

}  // namespace
