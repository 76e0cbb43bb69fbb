#include "objects/base_list.h"
#include "platform/display/video.h"
#include "render/dib_surface.h"
#include "render/ico.h"
#include "tests/objects/scene_fixture.h"

#include <gtest/gtest.h>

namespace {
// red_square.cur: ImageMagick 6.9 "convert t.png t.cur" of a 16 x 16
// picture whose top-left 8 x 8 square is opaque red and the rest fully
// transparent (made with Pillow); the header then patched to type 2 (cursor)
// with the hot spot (3, 5).
const std::string kCursor = std::string(VORQ_TEST_DATA) + "/objects/red_square.cur";
}  // namespace

TEST(CursorImage, ColoursMaskAndHotSpotComeFromTheFile) {
    TCursorImage image;
    ASSERT_TRUE(LoadCursorImage(kCursor, image));
    ASSERT_EQ(image.Width, 16);
    ASSERT_EQ(image.Height, 16);
    EXPECT_EQ(image.HotSpot, MakePoint(3, 5));
    EXPECT_EQ(image.Argb[0], 0xFFFF0000u);
    EXPECT_EQ(image.Argb[7 * 16 + 7], 0xFFFF0000u);
    EXPECT_EQ(image.Argb[8] >> 24, 0u);
    EXPECT_EQ(image.Argb[15 * 16 + 15] >> 24, 0u);
    EXPECT_FALSE(LoadCursorImage(std::string(VORQ_TEST_DATA) + "/objects/missing.cur", image));
}

int g_asked = 0;
int ask_first(const TIconDirectory&, TStream&) {
    ++g_asked;
    return 0;
}

// Files of several images (make_cursors.py: Pillow's entries, one colour
// each): the pointer takes the image nearest 32 x 32, then the one with the
// most colours, without asking; loading the file as a picture still asks.
TEST(CursorImage, SeveralImagesTakeTheNearest32WithMostColoursUnasked) {
    SetIconChooser(ask_first);
    const struct {
        const char* file;
        int32_t size;
        uint32_t colour;
    } cases[] = {{"choose_size.cur", 32, 0xFF00FF00u},
                 {"choose_colours.cur", 32, 0xFF0000FFu},
                 {"choose_tie.cur", 16, 0xFFFF0000u}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = std::string(VORQ_TEST_DATA) + "/objects/" + c.file;
        g_asked = 0;
        TCursorImage image;
        ASSERT_TRUE(LoadCursorImage(path, image));
        EXPECT_EQ(g_asked, 0);
        EXPECT_EQ(image.Width, c.size);
        EXPECT_EQ(image.Height, c.size);
        EXPECT_EQ(image.Argb[0], c.colour);
        TDIBSurface picture;
        picture.LoadFromFile(path);
        EXPECT_EQ(g_asked, 1);
    }
    SetIconChooser(nullptr);
}

using CursorTest = SceneTest;

TEST_F(CursorTest, PointerOverAnObjectShowsItsCursorAndTheDefaultElsewhere) {
    auto video = Video::Create(VideoBackend::Headless);
    video->CreateWindow(640, 480, "");
    reg->CursorView = video.get();
    TTestBox* a = Box("a", 0, 0, 10, 10);
    a->SetCursor(kCursor);
    TTestBox* b = Box("b", 20, 0, 10, 10);
    b->SetCursor("no such cursor.cur");
    Step(5, 5);
    int32_t handle = video->CurrentCursor();
    EXPECT_NE(handle, 0);
    Step(100, 100);  // the layer: no cursor of its own, no default
    EXPECT_EQ(video->CurrentCursor(), 0);
    Step(6, 5);
    EXPECT_NE(video->CurrentCursor(), 0);
    Step(25, 5);  // a file that cannot be loaded shows the arrow
    EXPECT_EQ(video->CurrentCursor(), 0);
    reg->DefaultCursor = [] { return kCursor; };
    Step(100, 100);
    EXPECT_NE(video->CurrentCursor(), 0);
    reg.reset();  // the registry gives its cursor back
}
