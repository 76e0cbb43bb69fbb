// The real executable, run as a user would run it but without a display:
// the demo game plays its pages (seen in the command trace) and ends
// itself; bad games and a missing display end with a message and a
// failure status.
#include "platform/filesystem/filesys.h"
#include "tests/support/fixture_writers.h"
#include "tools/demo/scenes.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <vector>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace {

const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";
const std::string kDemo = std::string(VORQ_BINARY_DIR) + "/demo";

using Outcome = CommandOutcome;

Outcome run(const std::string& env, const std::string& args) {
    const std::string cmd = "env " + env + " '" + kPlayer + "' " + args + " 2>&1";
    return RunCommand(cmd);
}

std::vector<std::string> lines_of(const std::string& path) {
    std::ifstream f(path);
    std::vector<std::string> out;
    for (std::string l; std::getline(f, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();  // the trace ends its lines with CR LF
        out.push_back(l);
    }
    return out;
}

// The music reaches the sound device: SDL's disk driver writes what it
// plays to a file from start-up on. Loudness second by second: the music is
// heard from its start, after the quiet seconds before it, through the middle
// of the game (it fades out at the end).
void expect_music(const std::string& capture) {
    std::ifstream f(capture, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(f), {}};
    const size_t frames = bytes.size() / 4;
    ASSERT_GT(frames, 44100u * 2);  // the game runs for seconds
    std::vector<double> rms;
    for (size_t s = 0; s + 44100 <= frames; s += 44100) {
        double sum = 0;
        for (size_t i = s; i < s + 44100; ++i) {
            int16_t l;
            std::memcpy(&l, bytes.data() + 4 * i, 2);
            sum += double(l) * l;
        }
        rms.push_back(std::sqrt(sum / 44100));
    }
    size_t start = 0;
    while (start < rms.size() && rms[start] <= 1000.0) ++start;
    // How long the start takes depends on the machine; once the music has
    // started it is heard to the end.
    ASSERT_GE(rms.size(), start + 3) << "no music heard";
    for (size_t s = start; s + 1 < rms.size(); ++s) EXPECT_GT(rms[s], 1000.0) << "second " << s;
}

TEST(DemoRun, PlaysItsPagesHeadlessAndEndsCleanly) {
    TTestGameFolder scratch;
    const std::string trace = NativePath(scratch.Path() + "trace.txt");
    const std::string capture = NativePath(scratch.Path() + "audio.raw");
    // One run for pages and sound: a second player would find the first
    // one's instance lock.
    const Outcome o = run("VORQ_HEADLESS=1 VORQ_FRAMES=6400 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" + capture +
                              "' VORQ_TRACE='" + trace + "'",
                          "'" + kDemo + "'");
    EXPECT_EQ(o.Status, 0) << o.Output;
    const std::vector<std::string> lines = lines_of(trace);
    ASSERT_GT(lines.size(), 10u) << trace << "\n" << o.Output;
    const std::regex command(R"(^[0-9a-f]{8} : ([a-z]+\.vsb)\((\d+)\)$)");
    int main_lines = 0, calls = 0, map_lines = 0, story_lines = 0, backlogs = 0;
    bool finished = false, in_order = true;
    unsigned long last_clock = 0;
    // The transitions scene: its first and last command on the game clock.
    unsigned long transitions_from = 0, transitions_to = 0;
    // The widgets scene likewise.
    unsigned long widgets_from = 0, widgets_to = 0;
    // The film scene: its cinema plays 2.5 s before the page goes on.
    unsigned long film_from = 0, film_to = 0;
    // The first command runs once the start-up logo (two seconds) is over.
    unsigned long first_command = 0;
    bool any_command = false;
    // The video scene: its page, and when the video's end event ran.
    unsigned long video_from = 0, video_to = 0, video_ended = 0;
    // The saves scene: how often each of its commands ran.
    unsigned long saves_from = 0, saves_to = 0;
    std::map<std::string, int> saves_runs;
    std::string saves_last;  // a wait that an event interrupted is traced again
    const std::regex event(R"(^[0-9a-f]{8} : <Event>([a-z_]+\.vsb)\((\d+)\)$)");
    // The pictures scene: nobody clicks its button, so it waits out its time.
    unsigned long images_from = 0, images_to = 0;
    // The menu scene: nobody chooses, so the first road is taken after 3 s.
    unsigned long menu_from = 0, menu_to = 0;
    unsigned long effects_from = 0, effects_to = 0;
    // The name scene: nobody types, so the default name is filled in and greeted.
    unsigned long edit_from = 0, edit_to = 0, edit_default = 0, edit_greeting = 0;
    int edit_keys = 0;
    // The particle scene, and its page that runs only when the snow had sprites.
    unsigned long particles_from = 0, particles_to = 0, particles_seen = 0;
    for (const std::string& l : lines) {
        std::smatch m;
        if (std::regex_match(l, m, event) && m[1] == "video_end.vsb" && !video_ended)
            video_ended = std::stoul(l.substr(0, 8), nullptr, 16);
        if (!std::regex_match(l, m, command)) continue;
        const unsigned long clock = std::stoul(l.substr(0, 8), nullptr, 16);
        in_order = in_order && clock >= last_clock;
        if (!any_command) first_command = clock;
        any_command = true;
        last_clock = clock;
        if (m[1] == "main.vsb") ++main_lines;
        if (m[1] == "map.vsb") ++map_lines;
        if (m[1] == "double.vsb" && m[2] == "1") ++calls;
        if (m[1] == "mes.vsb") ++story_lines;
        if (m[1] == "meslog.vsb" && m[2] == "1") ++backlogs;
        if (m[1] == "finish.vsb" && m[2] == "3") finished = true;  // the terminate command
        if (m[1] == "film.vsb") {
            if (!film_from) film_from = clock;
            film_to = clock;
        }
        if (m[1] == "images.vsb") {
            if (!images_from) images_from = clock;
            images_to = clock;
        }
        if (m[1] == "transitions.vsb") {
            if (!transitions_from) transitions_from = clock;
            transitions_to = clock;
        }
        if (m[1] == "widgets.vsb") {
            if (!widgets_from) widgets_from = clock;
            widgets_to = clock;
        }
        if (m[1] == "video.vsb") {
            if (!video_from) video_from = clock;
            video_to = clock;
        }
        if (m[1] == "saves.vsb") {
            if (!saves_from) saves_from = clock;
            saves_to = clock;
            if (m[2] != saves_last) ++saves_runs[m[2]];
            saves_last = m[2];
        }
        if (m[1] == "effects.vsb") {
            if (!effects_from) effects_from = clock;
            effects_to = clock;
        }
        if (m[1] == "particles.vsb" || m[1] == "snowseen.vsb") {
            if (!particles_from) particles_from = clock;
            particles_to = clock;
        }
        if (m[1] == "snowseen.vsb" && !particles_seen) particles_seen = clock;
        if (m[1] == "edit.vsb") {
            if (!edit_from) edit_from = clock;
            edit_to = clock;
            if (m[2] == std::to_string(kEditDefaultNameLine)) edit_default = clock;
            if (m[2] == std::to_string(kEditGreetingLine)) edit_greeting = clock;
        }
        if (m[1] == "ed_key.vsb" || m[1] == "ed_ok.vsb") ++edit_keys;
        if (m[1] == "menu.vsb") {
            if (!menu_from) menu_from = clock;
            menu_to = clock;
        }
    }
    EXPECT_GT(main_lines, 20);
    EXPECT_EQ(calls, 5);  // one call per round
    // The sea chart waits its three seconds a tenth at a time.
    EXPECT_GT(map_lines, 30);
    // The story scene ran its pages and showed the backlog once by itself.
    EXPECT_GT(story_lines, 20);
    EXPECT_EQ(backlogs, 1);
    EXPECT_TRUE(finished);
    // Ten transitions, each waited for, with a short pause after each.
    EXPECT_GE(transitions_to - transitions_from, 7800u + 9 * 250u);
    // The label, gauge and slider steps: six waits of 500 ms and one of 300.
    EXPECT_GE(widgets_to - widgets_from, 6 * 500u + 300u);
    EXPECT_GE(widgets_from, transitions_to);
    EXPECT_GE(film_to - film_from, 2700u);
    EXPECT_GE(film_from, widgets_to);
    EXPECT_GE(first_command, 1950u);
    // The three-second video played to its end within the scene's wait.
    EXPECT_GE(video_from, film_to);
    EXPECT_GE(video_to - video_from, 400u + 3500u);
    EXPECT_GT(video_ended, video_from + 2500) << "the video's end event";
    EXPECT_LT(video_ended, video_to);
    // The pictures come in (500 ms), thirty waits of 100 ms, then the next scene.
    EXPECT_GE(images_to - images_from, 3000u + 500u);
    EXPECT_LE(images_to, transitions_from);
    // The game loaded the slot it saved: the command after the save ran
    // twice (before the move and after the load), every other once.
    EXPECT_GE(saves_from, video_to);
    EXPECT_GE(saves_to - saves_from, 300u + 600u + 600u);
    int once = 0, twice = 0, more = 0;
    for (const auto& [line, runs] : saves_runs) {
        if (runs == 1)
            ++once;
        else if (runs == 2)
            ++twice;
        else
            ++more;
    }
    EXPECT_EQ(twice, 1);
    EXPECT_GE(once, 8);
    EXPECT_EQ(more, 0);
    EXPECT_TRUE(in_order);
    EXPECT_GE(menu_from, saves_to);
    EXPECT_GE(menu_to - menu_from, 3000u + 1500u);
    // The effects scene: the flip and three seconds of wave and fire.
    EXPECT_GE(effects_from, menu_to);
    EXPECT_GE(effects_to - effects_from, 300u + 3000u);
    // The particle scene: the flip, a second of snow and sparks, the count of
    // the snow's sprites (more than 20 leads through its own page), two more
    // seconds.
    EXPECT_GE(particles_from, effects_to);
    EXPECT_GT(particles_seen, particles_from + 1000) << "the snow emitter had sprites";
    EXPECT_GE(particles_to - particles_from, 300u + 1000u + 2000u);
    // The name scene: the flip, four seconds for a name, the default one
    // shown for 600 ms, the greeting for 1500 ms.
    EXPECT_GE(edit_from, particles_to);
    EXPECT_GT(edit_default, edit_from + 4000) << "the default name was filled in";
    EXPECT_GT(edit_greeting, edit_default) << "the player was greeted";
    EXPECT_GE(edit_to - edit_from, 300u + 4000u + 600u + 1500u);
    EXPECT_EQ(edit_keys, 0);
    // Five waits of 400 ms and one of 500 ms went by on the game clock.
    EXPECT_GE(last_clock, 2500u);
    expect_music(capture);
}

TEST(DemoRun, MissingGameEndsWithItsMessageAndAFailure) {
    TTestGameFolder empty;
    const Outcome o = run("VORQ_HEADLESS=1", "'" + NativePath(empty.Path()) + "'");
    EXPECT_EQ(o.Status, 1);
    EXPECT_NE(o.Output.find("プロジェクトがありません"), std::string::npos) << o.Output;
}

TEST(DemoRun, NoDisplaySaysSoAndEnds) {
    // A display number that no X server serves here.
    int unserved = 7391;
    while (access(("/tmp/.X11-unix/X" + std::to_string(unserved)).c_str(), F_OK) == 0) ++unserved;
    const std::string unserved_display = ":" + std::to_string(unserved);
    const struct {
        std::string Env;
        std::string Message;
    } cases[] = {
        {"-u DISPLAY -u WAYLAND_DISPLAY -u VORQ_HEADLESS SDL_VIDEODRIVER=x11", "no display"},
        // SDL left to choose: it falls back to drawing off screen.
        {"-u WAYLAND_DISPLAY -u VORQ_HEADLESS -u SDL_VIDEODRIVER DISPLAY=" + unserved_display,
         "cannot open the display " + unserved_display},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Env);
        // A folder of its own: the demo may be running in another test, and a
        // second player on one folder ends silently.
        TTestGameFolder elsewhere;
        const Outcome o = run(c.Env + " timeout 120", "'" + NativePath(elsewhere.Path()) + "'");
        EXPECT_EQ(o.Status, 1);
        EXPECT_NE(o.Output.find(c.Message), std::string::npos) << o.Output;
    }
}

}  // namespace
