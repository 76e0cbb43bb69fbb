#include "chrome/canvas.h"
#include "platform/text/codepage.h"

#include <gtest/gtest.h>

TEST(ChromeCaption, AccessMarkers) {
    Caption c = ParseCaption(Sjis("DirectSoundを使用する(&S)"));
    EXPECT_EQ(c.Text, Sjis("DirectSoundを使用する(S)"));
    EXPECT_EQ(c.AccessKey(), 'S');
    EXPECT_EQ(c.Text[static_cast<size_t>(c.Access)], 'S');
    c = ParseCaption("Save && &quit");
    EXPECT_EQ(c.Text, "Save & quit");
    EXPECT_EQ(c.AccessKey(), 'Q');  // lower case keys are their capital
    c = ParseCaption("&&&1");
    EXPECT_EQ(c.Text, "&1");
    EXPECT_EQ(c.AccessKey(), '1');
    // Double-byte characters pass whole, even one whose trail byte looks
    // like ASCII ("表" ends in 0x5C).
    c = ParseCaption(Sjis("表示"));
    EXPECT_EQ(c.Text, Sjis("表示"));
    EXPECT_EQ(c.Access, -1);
    EXPECT_EQ(c.AccessKey(), 0);
    // A marker before a double-byte character keeps the character whole.
    c = ParseCaption(Sjis("&終了"));
    EXPECT_EQ(c.Text, Sjis("終了"));
    EXPECT_EQ(c.Access, 0);
    EXPECT_EQ(c.AccessKey(), 0);
    EXPECT_EQ(ParseCaption("end&").Text, "end&");
}

TEST(ChromeCanvas, TextBlendsItsColourOverTheBackgroundChannelByChannel) {
    ChromeCanvas c;
    c.SetSize(80, 20);
    c.Fill({0, 0, 80, 20}, 0x808080);
    const ChromeFont font = DefaultChromeFont();
    c.DrawText(2, 2, Sjis("設定Ok"), font, 0xFF0000, {0, 0, 80, 20});
    int red = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 80; ++x) {
            const uint32_t p = c.Pixel(x, y);
            // Red over grey: green and blue stay equal and never rise, red never falls.
            ASSERT_EQ((p >> 8) & 0xFF, p & 0xFF) << x << "," << y;
            ASSERT_LE(p & 0xFF, 0x80u);
            ASSERT_GE(p >> 16, 0x80u);
            red += p == 0xFF0000;
        }
    EXPECT_GT(red, 10);
    // The clip holds: nothing is drawn outside it.
    ChromeCanvas d;
    d.SetSize(40, 20);
    d.DrawText(0, 0, "WWWW", font, 0xFFFFFF, {0, 0, 10, 20});
    for (int y = 0; y < 20; ++y)
        for (int x = 10; x < 40; ++x) ASSERT_EQ(d.Pixel(x, y), 0u);
    EXPECT_GT(ChromeCanvas::TextWidth(Sjis("画面切替"), font), ChromeCanvas::TextWidth(Sjis("終了"), font));
    EXPECT_EQ(ChromeCanvas::TextWidth("", font), 0);
}

TEST(ChromeCanvas, EdgesAndDottedFrame) {
    ChromeCanvas c;
    c.SetSize(6, 5);
    c.Edges({0, 0, 6, 5}, 1, 2);
    EXPECT_EQ(c.Pixel(0, 0), 1u);
    EXPECT_EQ(c.Pixel(4, 0), 1u);
    EXPECT_EQ(c.Pixel(5, 0), 2u);  // the top-right corner belongs to the right edge
    EXPECT_EQ(c.Pixel(0, 4), 2u);
    EXPECT_EQ(c.Pixel(5, 4), 2u);
    EXPECT_EQ(c.Pixel(2, 2), 0u);
    c.Fill({-5, -5, 50, 50}, 0);  // clipped to the canvas
    c.DottedFrame({0, 0, 6, 5}, 7);
    EXPECT_EQ(c.Pixel(0, 0), 7u);
    EXPECT_EQ(c.Pixel(1, 0), 0u);
    EXPECT_EQ(c.Pixel(2, 0), 7u);
    EXPECT_EQ(c.Pixel(5, 1), 7u);
    EXPECT_EQ(c.Pixel(3, 3), 0u);
}
