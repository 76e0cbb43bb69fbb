// The quit question of the toolbar. Without a display: the time a box
// stands open is no game time. On a real X server (this program runs
// itself again on Xvfb): a click on "終了" brings up our drawn
// question over the game, a screenshot shows it with both buttons'
// captions, "いいえ" puts the game back and lets it run on, "はい" ends it.
#include "chrome/message_dialog.h"
#include "shell/form_view.h"
#include "script/game_clock.h"
#include "platform/system/clock.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"
#include "platform/display/video.h"
#include "platform/system/quit_signals.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"
#include "tests/support/wait_until.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

namespace {

TPageWriter waiting_page() {
    TPageWriter w;
    w.Wait("1000000");
    return w;
}

void write_waiting_game(TTestGameFolder& folder) {
    folder.WritePage("main.vsb", waiting_page());
    TProjectFileData d = TestProjectData("main.vsb");
    d.Title = Sjis("テスト");
    folder.WriteProject(d);
}

// What the quit question saw each time it was asked.
struct Asked {
    uint32_t GameClockThen = 0;
    uint32_t FramesThen = 0;
    uint32_t WallBefore = 0, WallAfter = 0;
    int Answer = 0;
};
std::vector<Asked> g_asked;
uint32_t* g_fake_clock = nullptr;
uint32_t g_fake_pause = 0;

int recording_ask(const std::string& text, const std::string& caption, MessageBoxKind kind, MessageBoxIcon icon) {
    Asked a{GameClock, FrameCount, TimeGetTime()};
    // Without a display the box answers at once; the user is made to think.
    if (g_fake_clock) *g_fake_clock += g_fake_pause;
    a.Answer = ShowMessageBox(text, caption, kind, icon);
    if (g_fake_clock) a.Answer = IDNO;
    a.WallAfter = TimeGetTime();
    g_asked.push_back(a);
    return a.Answer;
}

TEST(QuitQuestion, TheTimeItStandsOpenIsNoGameTime) {
    TTestGameFolder folder;
    write_waiting_game(folder);
    uint32_t clock = 5000;
    SetClockSource([&] { return clock; });
    FormViewUnitStart();
    Terminating = false;
    GameClock = FrameCount = 0;
    {
        TFormView view({folder.Path()}, Video::Create(VideoBackend::Headless));
        view.FormCreate();
        ASSERT_FALSE(Terminating);
        view.Ask = recording_ask;
        g_asked.clear();
        g_fake_clock = &clock;
        g_fake_pause = 2500;  // below the gap the frame loop drops anyway
        auto frame = [&](uint32_t ms) {
            clock += ms;
            view.ApplicationEventsIdle();
        };
        frame(16);
        frame(16);
        const uint32_t before = GameClock;
        testing::internal::CaptureStderr();
        view.QuitClick();
        testing::internal::GetCapturedStderr();
        ASSERT_EQ(g_asked.size(), 1u);
        EXPECT_FALSE(view.ClosePosted());
        frame(16);
        frame(16);
        EXPECT_LE(GameClock - before, 32u);
        EXPECT_GT(GameClock, before);  // and the game goes on
        g_fake_clock = nullptr;
    }
    FormViewUnitFinish();
    SetClockSource({});
    Terminating = false;
}

// ---- on a real X server ------------------------------------------------------------

struct Screen {
    int32_t Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;  // 0x00RRGGBB
    uint32_t at(int32_t x, int32_t y) const { return Pixels[size_t(y) * size_t(Width) + size_t(x)]; }
};

bool load_ppm(Screen& s, const std::string& file) {
    const std::string bytes = ReadNativeFileBytes(file);
    int w = 0, h = 0, max = 0, used = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &w, &h, &max, &used) != 3 || max != 255) return false;
    ++used;
    if (bytes.size() < size_t(used) + size_t(w) * size_t(h) * 3) return false;
    s.Width = w;
    s.Height = h;
    s.Pixels.resize(size_t(w) * size_t(h));
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + used);
    for (size_t i = 0; i < s.Pixels.size(); ++i)
        s.Pixels[i] = uint32_t(p[3 * i]) << 16 | uint32_t(p[3 * i + 1]) << 8 | p[3 * i + 2];
    return true;
}

int count_in(const Screen& s, const TRect& box, bool (*pred)(uint32_t)) {
    int n = 0;
    for (int32_t y = box.Top; y < box.Bottom; ++y)
        for (int32_t x = box.Left; x < box.Right; ++x) n += pred(s.at(x, y));
    return n;
}

bool dark(uint32_t c) { return ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF) < 3 * 110; }
bool title_blue(uint32_t c) { return c == 0x0A246A; }

TRect shifted(const TRect& r, TPoint by) { return TRect{r.Left + by.X, r.Top + by.Y, r.Right + by.X, r.Bottom + by.Y}; }
TRect shrunk(const TRect& r, int32_t d) { return TRect{r.Left + d, r.Top + d, r.Right - d, r.Bottom - d}; }
std::string centre_of(const TRect& r) {
    return std::to_string(r.Left + r.Width() / 2) + " " + std::to_string(r.Top + r.Height() / 2);
}

TEST(QuitQuestionScreenshot, AskedOnTheScreenNoGoesOnAndYesEnds) {
    if (const char* tool = MissingTool({"Xvfb", "import", "convert", "xdotool"}))
        GTEST_SKIP() << tool << " is not installed";
    EXPECT_EQ(RunSelfUnderXvfb("QuitQuestionScreenshot.DISABLED_Inner"), 0);
}

TEST(QuitQuestionScreenshot, DISABLED_Inner) {
    TTestGameFolder folder;
    write_waiting_game(folder);
    const std::string scratch = NativePath(folder.Path());
    // A driver that fails ends the game with SIGTERM rather than leave it waiting.
    CatchQuitSignals();
    FormViewUnitStart();
    InstallMessageDialog();
    {
        TFormView view({folder.Path()}, Video::Create(VideoBackend::Sdl));
        view.FormCreate();
        ASSERT_FALSE(Terminating);
        view.Ask = recording_ask;
        g_asked.clear();
        // Let the window appear and show its first frames.
        InputEvent e;
        ASSERT_TRUE(StepUntil([&] { return view.PresentedFrames > 5u; },
                              [&] {
                                  while (view.Window().PollEvent(e)) view.HandleEvent(e);
                                  view.ApplicationEventsIdle();
                              }));
        TPoint o;
        SDL_GetWindowPosition(ActiveSdlWindow(), &o.X, &o.Y);
        const int32_t width = view.Window().ClientWidth(), height = view.Window().ClientHeight();
        const MessageDialogLayout l = LayoutMessageDialog(Sjis("「テスト」を終了しますか？"), Sjis("テスト"),
                                                          MessageBoxKind::YesNo, MessageBoxIcon::Question, true);
        const TPoint box{o.X + (width - l.Width) / 2, o.Y + (height - l.Height) / 2};
        const TRect title = shifted(l.TitleBar, box);
        const TRect quit = shifted(Bounds(0, 2, 67, 18), o);

        // The driver: it clicks, and waits on the screen for the box to come and go.
        std::ofstream script(scratch + "drive.sh");
        script << "shot() { import -window root -depth 8 \"$1\" 2>/dev/null; }\n"
                  "blue() { convert \"$1\" -crop 1x1+" << title.Right - 4 << "+" << title.Top + 2
               << " -depth 8 txt:- | grep -qi '#0A246A'; }\n"
                  "until_box() { for i in $(seq 300); do shot \"$2\"; if blue \"$2\"; then [ $1 = up ] && return 0; "
                  "else [ $1 = gone ] && return 0; fi; sleep 0.1; done; echo \"box not $1\" > failed; kill -TERM "
               << getpid() << "; exit 1; }\n"
                  "cd '" << scratch << "'\n"
                  "xdotool mousemove " << centre_of(quit) << " click 1\n"
                  "until_box up asked.ppm\n"
                  "sleep 1.5\n"  // the box stands open: this is no game time
                  "xdotool mousemove " << centre_of(shifted(l.Buttons[1], box)) << " click 1\n"
                  "until_box gone after.ppm\n"
                  "sleep 0.5\n"
                  "xdotool mousemove " << centre_of(quit) << " click 1\n"
                  "until_box up again.ppm\n"
                  "xdotool mousemove " << centre_of(shifted(l.Buttons[0], box)) << " click 1\n"
                  "touch done\n";
        script.close();
        ASSERT_EQ(std::system(("bash '" + scratch + "drive.sh' >'" + scratch + "drive.log' 2>&1 &").c_str()), 0);
        view.Run();
        EXPECT_TRUE(view.Closed());
        EXPECT_FALSE(view.Failed);
        WaitUntil([&] { return FileExists(folder.Path() + "done") || FileExists(folder.Path() + "failed"); });
        ASSERT_TRUE(FileExists(folder.Path() + "done"))
            << ReadNativeFileBytes(scratch + "failed") << ReadNativeFileBytes(scratch + "drive.log");

        ASSERT_EQ(g_asked.size(), 2u);
        EXPECT_EQ(g_asked[0].Answer, IDNO);
        EXPECT_EQ(g_asked[1].Answer, IDYES);
        // After "いいえ" the game ran on, and the time the box stood open
        // (at least 1.5 s) did not go onto the game clock.
        EXPECT_GT(g_asked[1].FramesThen, g_asked[0].FramesThen + 5);
        const uint32_t wall = g_asked[1].WallBefore - g_asked[0].WallBefore;
        const uint32_t open = g_asked[0].WallAfter - g_asked[0].WallBefore;
        EXPECT_GE(open, 1500u);
        EXPECT_LE(g_asked[1].GameClockThen - g_asked[0].GameClockThen, wall - open + 100);

        Screen asked, after;
        ASSERT_TRUE(load_ppm(asked, scratch + "asked.ppm"));
        ASSERT_TRUE(load_ppm(after, scratch + "after.ppm"));
        ASSERT_LE(box.X + l.Width, asked.Width);
        ASSERT_LE(box.Y + l.Height, asked.Height);
        // The box with its title bar, question and both captions (inside the
        // focus frame).
        EXPECT_GT(count_in(asked, title, title_blue), title.Width() * title.Height() / 2);
        EXPECT_GT(count_in(asked, shifted(l.Text, box), dark), 100);
        const int yes = count_in(asked, shrunk(shifted(l.Buttons[0], box), 5), dark);
        const int no = count_in(asked, shrunk(shifted(l.Buttons[1], box), 5), dark);
        EXPECT_GT(yes, 20);  // "はい"
        EXPECT_GT(no, yes);  // "いいえ": three characters against two
        // Gone again: the game's (black) picture is back where it stood.
        EXPECT_EQ(count_in(after, title, title_blue), 0);
        EXPECT_EQ(count_in(after, shifted(TRect{0, l.TitleBar.Bottom, l.Width, l.Height}, box),
                           [](uint32_t c) { return c != 0; }),
                  0);
    }
    FormViewUnitFinish();
}

}  // namespace
