// An icon file holding several images asks which one to load: the dialog
// lists each image by its own header, previews the selected one, and the
// image chosen with the keys is the one loaded (Pillow and ImageMagick
// made the two-image file). A file of one image loads without asking.
#include "chrome/icon_chooser.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "render/dib_surface.h"
#include "tests/chrome/chrome_events.h"

#include <gtest/gtest.h>

namespace {

const std::string kTwoImages = std::string(VORQ_TEST_DATA) + "/dib/ico_two.ico";
const std::string kOneImage = std::string(VORQ_TEST_DATA) + "/dib/ico_one.ico";

Video* g_window = nullptr;
int g_asked = 0;
std::vector<std::string> g_lines;
int g_preview_ink = 0;

// Runs the dialog over the test's window with the events injected beforehand.
int ask_on_window(const TIconDirectory& dir, TStream& stream) {
    ++g_asked;
    TIconChooserDialog dialog(dir, stream, true);
    g_lines = dialog.List.Items();
    dialog.Paint();
    // The preview shows the selected image on its plain background.
    const TRect box = dialog.PreviewRect();
    g_preview_ink = 0;
    for (int32_t y = box.Top + 1; y < box.Bottom - 1; ++y)
        for (int32_t x = box.Left + 1; x < box.Right - 1; ++x)
            g_preview_ink += dialog.Canvas().Pixel(x, y) != chrome_colour::Face;
    RunModalDialog(*g_window, dialog, 100, 100);
    return dialog.Answer();
}

}  // namespace

TEST(IconChooser, AsksForAFileOfSeveralImagesAndLoadsTheOneChosen) {
    auto window = Video::Create(VideoBackend::Headless);
    window->CreateWindow(640, 480, "");
    g_window = window.get();
    SetIconChooser(ask_on_window);
    const struct {
        std::vector<int32_t> keys;
        int32_t width;  // of the image loaded
    } cases[] = {{{VK_RETURN}, 16}, {{VK_DOWN, VK_RETURN}, 8}, {{VK_DOWN, VK_UP, VK_ESCAPE}, 16}, {{VK_END}, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        g_asked = 0;
        for (const int32_t vk : c.keys) press_key(*window, vk);
        TDIBSurface icon;
        icon.LoadFromFile(GamePath(kTwoImages));
        EXPECT_EQ(g_asked, 1);
        EXPECT_EQ(g_lines, (std::vector<std::string>{"000 : 16 x 16  32 bpp", "001 : 8 x 8  32 bpp"}));
        EXPECT_GT(g_preview_ink, 16 * 16 / 2);
        EXPECT_EQ(icon.Width(), c.width);
        EXPECT_EQ(icon.Height(), c.width);
    }
    g_asked = 0;
    TDIBSurface one;
    one.LoadFromFile(GamePath(kOneImage));
    EXPECT_EQ(g_asked, 0);
    EXPECT_EQ(one.Width(), 8);
    SetIconChooser(nullptr);
    g_window = nullptr;
}
