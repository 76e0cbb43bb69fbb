// The chrome on a real X server: this program runs itself again under
// Xvfb, shows the settings dialog and the toolbar in SDL windows, takes
// a screenshot of the screen with ImageMagick's import and checks that the
// captions' glyphs are on the screen, inside the boxes they belong to.
#include "chrome/form_config.h"
#include "chrome/message_dialog.h"
#include "chrome/toolbar.h"
#include "platform/text/codepage.h"
#include "tests/chrome/chrome_events.h"
#include "tests/support/run_command.h"
#include "tests/support/wait_until.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace {
void run_inner(const char* test) {
    if (MissingTool({"Xvfb"})) GTEST_SKIP() << "Xvfb is not installed";
    if (MissingTool({"import"})) GTEST_SKIP() << "ImageMagick's import is not installed";
    EXPECT_EQ(RunSelfUnderXvfb(std::string("Screenshot.DISABLED_") + test), 0);
}

// The whole X screen as 0x00RRGGBB pixels.
struct Screen {
    int32_t Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;
    uint32_t at(int32_t x, int32_t y) const { return Pixels[size_t(y) * Width + x]; }
};

bool grab_file(Screen& s, const std::filesystem::path& file) {
    const std::string bytes = read_file(file);
    int w = 0, h = 0, max = 0, used = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &w, &h, &max, &used) != 3 || max != 255) return false;
    ++used;  // the single blank after the header
    if (bytes.size() < size_t(used) + size_t(w) * h * 3) return false;
    s.Width = w;
    s.Height = h;
    s.Pixels.resize(size_t(w) * h);
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + used);
    for (size_t i = 0; i < s.Pixels.size(); ++i) s.Pixels[i] = uint32_t(p[3 * i]) << 16 | uint32_t(p[3 * i + 1]) << 8 | p[3 * i + 2];
    return true;
}

bool grab(Screen& s, const std::filesystem::path& folder) {
    const std::string file = (folder / "screen.ppm").string();
    if (std::system(("import -window root -depth 8 '" + file + "'").c_str()) != 0) return false;
    return grab_file(s, file);
}

TPoint client_origin() {
    int x = 0, y = 0;
    SDL_GetWindowPosition(ActiveSdlWindow(), &x, &y);
    return {x, y};
}

// Redraws the window until a grab of the screen into s shows it drawn
// (shown (s, client origin)), or the deadline passes.
bool settle(Video& v, const std::function<void()>& redraw, const std::filesystem::path& folder, Screen& s,
            const std::function<bool(const Screen&, TPoint)>& shown) {
    InputEvent e;
    return StepUntil(
        [&] {
            const TPoint o = client_origin();
            return grab(s, folder) && o.X >= 0 && o.Y >= 0 && shown(s, o);
        },
        [&] {
            while (v.PollEvent(e)) {
            }
            redraw();
        },
        kWaitDeadline, std::chrono::milliseconds(50));
}

// Dark (glyph) pixels of the screen inside a box of the window's client area.
struct Ink {
    int Count = 0;
    int32_t Left = 1 << 30, Right = -1;
};
Ink ink_in(const Screen& s, TPoint origin, const TRect& box) {
    Ink ink;
    for (int32_t y = box.Top; y < box.Bottom; ++y)
        for (int32_t x = box.Left; x < box.Right; ++x) {
            const uint32_t c = s.at(origin.X + x, origin.Y + y);
            const int lum = int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF);
            if (lum < 3 * 110) {
                ++ink.Count;
                ink.Left = std::min(ink.Left, x);
                ink.Right = std::max(ink.Right, x);
            }
        }
    return ink;
}
}  // namespace

TEST(Screenshot, SettingsDialogDrawsItsCaptions) { run_inner("SettingsDialogInner"); }
TEST(Screenshot, ToolbarShowsItsTwoCaptions) { run_inner("ToolbarInner"); }
TEST(Screenshot, MessageBoxWithoutAGameWindowHasItsOwn) {
    if (MissingTool({"xdotool", "convert"})) GTEST_SKIP() << "xdotool or ImageMagick's convert is not installed";
    run_inner("OwnWindowBoxInner");
}

TEST(Screenshot, DISABLED_SettingsDialogInner) {
    ScratchFolder scratch;
    // Delay controls enabled, so that every caption is drawn in black.
    write_file(scratch.Path / "game.ini", "[Sound]\r\nDirectSound=0\r\nDelayTime=300\r\n");
    auto v = Video::Create(VideoBackend::Sdl);
    v->CreateWindow(270, 179, "");
    TFormConfig dialog(*v, (scratch.Path / "game.ini").string());
    v->Centre();
    v->Show(true);
    // The screen shows exactly the dialog's picture.
    auto differing = [&](const Screen& s, TPoint o) {
        if (o.X + 270 > s.Width || o.Y + 179 > s.Height) return -1;
        int n = 0;
        for (int32_t y = 0; y < 179; ++y)
            for (int32_t x = 0; x < 270; ++x) n += s.at(o.X + x, o.Y + y) != dialog.Canvas().Pixel(x, y);
        return n;
    };
    Screen s;
    settle(*v, [&] { dialog.Show(*v, 0, 0, true); }, scratch.Path, s,
           [&](const Screen& g, TPoint o) {
               // Drawn: the face between the controls is light, and all is
               // the dialog's picture.
               return differing(g, o) == 0 && ink_in(g, o, TRect{12, 100, 258, 118}).Count == 0;
           });
    const TPoint o = client_origin();
    ASSERT_LE(o.X + 270, s.Width);
    ASSERT_LE(o.Y + 179, s.Height);
    EXPECT_EQ(differing(s, o), 0);

    // Each caption's glyphs lie in its own box.
    const Ink check = ink_in(s, o, TRect{45, 24, 245, 41});
    EXPECT_GT(check.Count, 80);   // "DirectSoundを使用する(S)"
    EXPECT_GT(check.Right, 45 + 120);
    EXPECT_GT(ink_in(s, o, TRect{28, 56, 151, 68}).Count, 60);  // the delay label
    const Ink info = ink_in(s, o, TRect{173, 56, 241, 68});
    EXPECT_GT(info.Count, 15);  // "300ms", right-aligned
    EXPECT_GT(info.Left, 173 + 20);
    EXPECT_GE(info.Right, 241 - 3);
    EXPECT_GT(ink_in(s, o, TRect{104, 144, 171, 161}).Count, 10);  // "OK" inside its button frame
    EXPECT_GT(ink_in(s, o, TRect{184, 144, 251, 161}).Count, 30);  // "キャンセル"
    // Between the controls there is no text.
    EXPECT_EQ(ink_in(s, o, TRect{12, 100, 258, 118}).Count, 0);
    EXPECT_EQ(ink_in(s, o, TRect{12, 124, 96, 175}).Count, 0);
}

TEST(Screenshot, DISABLED_ToolbarInner) {
    ScratchFolder scratch;
    auto v = Video::Create(VideoBackend::Sdl);
    v->CreateWindow(563, 122, "");
    TToolbar97 bar(563);
    bar.SetBarHeight(18);
    bar.AddButton(Sjis("終了"), 67, 18, nullptr);
    bar.AddButton(Sjis("画面切替"), 67, 18, nullptr);
    bar.SetDockHeight(22);
    v->Show(true);
    Screen s;
    // Drawn once the bar's face is light and a caption's ink is on it.
    settle(*v, [&] { bar.Draw(*v, true); }, scratch.Path, s, [](const Screen& g, TPoint o) {
        return o.X + 563 <= g.Width && ink_in(g, o, TRect{134, 2, 563, 20}).Count == 0 &&
               ink_in(g, o, TRect{0, 2, 67, 20}).Count > 20;
    });
    const TPoint o = client_origin();
    ASSERT_LE(o.X + 563, s.Width);
    const Ink quit = ink_in(s, o, TRect{0, 2, 67, 20});
    const Ink change = ink_in(s, o, TRect{67, 2, 134, 20});
    EXPECT_GT(quit.Count, 20);    // "終了"
    EXPECT_GT(change.Count, 50);  // "画面切替": four characters, more ink than two
    EXPECT_GT(change.Count, quit.Count);
    // Captions are centred in their buttons.
    EXPECT_GT(quit.Left, 10);
    EXPECT_LT(quit.Right, 57);
    EXPECT_GT(change.Left, 67 + 5);
    EXPECT_EQ(ink_in(s, o, TRect{134, 0, 563, 21}).Count, 0);
    // The game's area below the dock is untouched (black).
    EXPECT_EQ(s.at(o.X + 10, o.Y + 60), 0u);
}

// With no game window standing, a box comes in a window of its own, shows
// its text, icon and captions, and is answered by the keyboard.
TEST(Screenshot, DISABLED_OwnWindowBoxInner) {
    InstallMessageDialog();
    const struct {
        const char* Caption;
        const char* Text;
        MessageBoxKind Kind;
        MessageBoxIcon Icon;
        uint32_t IconColour;
        const char* Keys;
        int Answer;
    } cases[] = {
        {"警告", "プロジェクトがありません", MessageBoxKind::OK, MessageBoxIcon::Warning, 0xFFD800, "Return", IDOK},
        {"情報", "ディスクを入れてください", MessageBoxKind::OKCancel, MessageBoxIcon::Information, 0x2858D8,
         "Escape", IDCANCEL},
        {"テスト", "「テスト」を終了しますか？", MessageBoxKind::YesNo, MessageBoxIcon::Question, 0x2858D8, "n", IDNO},
        {"テスト", "「テスト」を終了しますか？", MessageBoxKind::YesNo, MessageBoxIcon::Question, 0x2858D8,
         "Right Return", IDNO},
        {"Error", "vorq.vpb", MessageBoxKind::OK, MessageBoxIcon::Error, 0xE02020, "space", IDOK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Caption) + " " + c.Keys);
        ScratchFolder scratch;
        const std::string dir = scratch.Path.string();
        // The driver waits for the box's window to be drawn, takes the
        // screen, then types.
        std::ofstream script(scratch.Path / "drive.sh");
        script << "cd '" << dir << "'\n"
               << ShellFindWindow(std::to_string(getpid()))
               << "xdotool getwindowgeometry --shell $wid > geometry\n"
               << ". ./geometry\n"
               << "for i in $(seq 300); do import -window root -depth 8 screen.ppm 2>/dev/null; "
                  "convert screen.ppm -crop 1x1+$((X + 2))+$((Y + 2)) -depth 8 txt:- | grep -qi '#D4D0C8' && break; "
                  "sleep 0.1; done\n"
               << "xdotool mousemove --window $wid 3 3\n"
               << "xdotool key " << c.Keys << "\n"
               << "touch typed\n";
        script.close();
        ASSERT_EQ(std::system(("bash '" + dir + "/drive.sh' >'" + dir + "/drive.log' 2>&1 &").c_str()), 0);
        EXPECT_EQ(ShowMessageBox(Sjis(c.Text), Sjis(c.Caption), c.Kind, c.Icon), c.Answer) << read_file(scratch.Path / "drive.log");
        // The driver has typed; let it end before its folder goes.
        WaitUntil([&] { return std::filesystem::exists(scratch.Path / "typed"); });

        const MessageDialogLayout l = LayoutMessageDialog(Sjis(c.Text), Sjis(c.Caption), c.Kind, c.Icon, false);
        int x = -1, y = -1, w = 0, h = 0;
        const std::string g = read_file(scratch.Path / "geometry");
        ASSERT_EQ(std::sscanf(g.c_str(), "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d", &x, &y, &w, &h), 4) << g;
        EXPECT_EQ(w, l.Width);
        EXPECT_EQ(h, l.Height);
        Screen s;
        ASSERT_TRUE(grab_file(s, scratch.Path / "screen.ppm"));
        ASSERT_LE(x + w, s.Width);
        ASSERT_LE(y + h, s.Height);
        const TPoint o{x, y};
        EXPECT_GT(ink_in(s, o, l.Text).Count, 40);
        for (const TRect& b : l.Buttons) EXPECT_GT(ink_in(s, o, TRect{b.Left + 5, b.Top + 5, b.Right - 5, b.Bottom - 5}).Count, 10);
        int icon = 0;
        for (int32_t yy = l.Icon.Top; yy < l.Icon.Bottom; ++yy)
            for (int32_t xx = l.Icon.Left; xx < l.Icon.Right; ++xx) icon += s.at(o.X + xx, o.Y + yy) == c.IconColour;
        EXPECT_GT(icon, 150);
    }
}
