// The game's default cursor (@Cursor) on a real X server (this program runs
// itself again on Xvfb): xdotool moves the real pointer over the
// player's window and the X server's own record of the cursor it shows
// (XFixes) is compared with the cursor file as ImageMagick decodes it. An
// object without a cursor of its own, and the bare layer, show the default
// cursor; an object with its own shows that one; with @Cursor emptied the
// pointer shows what it shows outside the window.
#include "shell/form_view.h"
#include "script/param_collection.h"
#include "shell/player_modules.h"
#include "platform/filesystem/filesys.h"
#include "platform/display/video.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"
#include "tests/support/wait_until.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#ifdef HAVE_XFIXES
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#endif

namespace {

const std::string kDefaultFile = std::string(VORQ_TEST_DATA) + "/objects/red_square.cur";
const std::string kOwnFile = std::string(VORQ_TEST_DATA) + "/objects/own_cursor.cur";

struct CursorPicture {
    int32_t Width = 0, Height = 0, HotX = 0, HotY = 0;
    std::vector<uint32_t> Argb;  // fully transparent pixels as 0
    bool operator==(const CursorPicture&) const = default;
};

std::ostream& operator<<(std::ostream& out, const CursorPicture& p) {
    out << p.Width << " x " << p.Height << " hot " << p.HotX << "," << p.HotY;
    char c[12];
    for (size_t i = 0; i < p.Argb.size() && i < 8; ++i) {
        std::snprintf(c, sizeof c, " %08x", p.Argb[i]);
        out << c;
    }
    return out;
}

// The cursor file as ImageMagick decodes it, with the hot spot given.
CursorPicture decoded(const std::string& file, int32_t hot_x, int32_t hot_y, const std::string& scratch) {
    CursorPicture p;
    const std::string out = scratch + "decoded.rgba";
    const std::string size = scratch + "decoded.size";
    if (std::system(("convert '" + file + "[0]' -format '%w %h' -write info:'" + size + "' -depth 8 rgba:'" + out +
                     "' 2>/dev/null")
                        .c_str()) != 0)
        return p;
    std::istringstream(ReadNativeFileBytes(size)) >> p.Width >> p.Height;
    const std::string rgba = ReadNativeFileBytes(out);
    if (p.Width <= 0 || rgba.size() != size_t(p.Width) * size_t(p.Height) * 4) return {};
    p.HotX = hot_x;
    p.HotY = hot_y;
    for (size_t i = 0; i < rgba.size(); i += 4) {
        const auto* q = reinterpret_cast<const uint8_t*>(rgba.data() + i);
        p.Argb.push_back(q[3] ? uint32_t(q[3]) << 24 | uint32_t(q[0]) << 16 | uint32_t(q[1]) << 8 | q[2] : 0);
    }
    return p;
}

TPageWriter cursor_page() {
    TPageWriter w;
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_COLOR, PR_CURSOR})
        w.SetMask(opBoxNew, id);
    w.Calc("@Cursor = \"default.cur\"");
    w.Component(opBoxNew, {{PR_NAME, "\"plain\""}, {PR_PARENT, "\"\x01" "BASE0\""}, {PR_LEFT, "40"}, {PR_TOP, "40"},
                           {PR_WIDTH, "200"}, {PR_HEIGHT, "200"}, {PR_COLOR, "8421504"}});
    w.Component(opBoxNew, {{PR_NAME, "\"own\""}, {PR_PARENT, "\"\x01" "BASE0\""}, {PR_LEFT, "300"}, {PR_TOP, "40"},
                           {PR_WIDTH, "200"}, {PR_HEIGHT, "200"}, {PR_COLOR, "255"}, {PR_CURSOR, "\"own.cur\""}});
    w.Wait("100000000");
    return w;
}

}  // namespace

TEST(DefaultCursorOnX, ObjectsWithoutTheirOwnShowTheGamesDefault) {
#ifndef HAVE_XFIXES
    GTEST_SKIP() << "built without XFixes";
#endif
    if (const char* tool = MissingTool({"Xvfb", "xdotool", "convert"})) GTEST_SKIP() << tool << " is not installed";
    EXPECT_EQ(RunSelfUnderXvfb("DefaultCursorOnX.DISABLED_Inner"), 0);
}

#ifdef HAVE_XFIXES
TEST(DefaultCursorOnX, DISABLED_Inner) {
    TTestGameFolder folder;
    const std::string scratch = NativePath(folder.Path());
    folder.WriteFile("default.cur", ReadNativeFileBytes(kDefaultFile));
    folder.WriteFile("own.cur", ReadNativeFileBytes(kOwnFile));
    folder.WritePage("main.vsb", cursor_page());
    folder.WriteProject(TestProjectData("main.vsb"));
    // red_square.cur's hot spot is (3, 5); make_cursors.py gives own_cursor.cur (10, 20).
    const CursorPicture game_default = decoded(scratch + "default.cur", 3, 5, scratch);
    const CursorPicture own = decoded(scratch + "own.cur", 10, 20, scratch);
    ASSERT_EQ(game_default.Width, 16);
    ASSERT_EQ(own.Width, 32);

    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    int event_base = 0, error_base = 0;
    ASSERT_TRUE(XFixesQueryExtension(x, &event_base, &error_base));
    auto shown = [&] {
        CursorPicture p;
        XFixesCursorImage* image = XFixesGetCursorImage(x);
        if (!image) return p;
        p.Width = image->width;
        p.Height = image->height;
        p.HotX = image->xhot;
        p.HotY = image->yhot;
        for (size_t i = 0; i < size_t(p.Width) * size_t(p.Height); ++i) {
            const uint32_t c = static_cast<uint32_t>(image->pixels[i]);
            p.Argb.push_back(c >> 24 ? c : 0);
        }
        XFree(image);
        return p;
    };

    InstallPlayerModules();
    FormViewUnitStart();
    {
        TFormView view({folder.Path()}, Video::Create(VideoBackend::Sdl));
        view.FormCreate();
        ASSERT_FALSE(Terminating);
        InputEvent e;
        auto frame = [&] {
            while (view.Window().PollEvent(e)) view.HandleEvent(e);
            view.ApplicationEventsIdle();
        };
        ASSERT_TRUE(StepUntil([&] { return view.PresentedFrames > 5u; }, frame));
        TPoint o;
        SDL_GetWindowPosition(ActiveSdlWindow(), &o.X, &o.Y);
        auto move = [&](int32_t gx, int32_t gy) {
            const std::string to = std::to_string(o.X + view.ImageOffsetX + gx) + " " +
                                   std::to_string(o.Y + view.ImageOffsetY + gy);
            ASSERT_EQ(std::system(("xdotool mousemove " + to).c_str()), 0);
        };
        auto until_shown = [&](const CursorPicture& want) -> testing::AssertionResult {
            if (StepUntil([&] { return shown() == want; }, frame)) return testing::AssertionSuccess();
            return testing::AssertionFailure() << "shows " << shown() << "\nwanted " << want;
        };

        // Outside the window the pointer shows the system's cursor.
        ASSERT_EQ(std::system("xdotool mousemove 1020 764"), 0);
        frame();
        const CursorPicture system = shown();
        ASSERT_GT(system.Width, 0);
        ASSERT_NE(system, game_default);

        move(100, 100);  // the plain box
        EXPECT_TRUE(until_shown(game_default)) << "plain box";
        move(400, 100);  // the box with a cursor of its own
        EXPECT_TRUE(until_shown(own)) << "own cursor";
        move(400, 400);  // the bare layer
        EXPECT_TRUE(until_shown(game_default)) << "layer";
        Params->cursor_name.clear();  // the game empties @Cursor
        move(100, 101);
        EXPECT_TRUE(until_shown(system)) << "empty @Cursor";
    }
    FormViewUnitFinish();
    XCloseDisplay(x);
}
#endif
