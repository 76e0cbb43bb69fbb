#include "chrome/form_config.h"
#include "platform/text/codepage.h"
#include "tests/chrome/chrome_events.h"

#include <gtest/gtest.h>

namespace {
struct FormConfigTest : ::testing::Test {
    FormConfigTest() {
        video = Video::Create(VideoBackend::Headless);
        video->CreateWindow(270, 179, "");
        ini = (scratch.Path / "game.ini").string();
    }
    std::unique_ptr<TFormConfig> open() { return std::make_unique<TFormConfig>(*video, ini); }
    ScratchFolder scratch;
    std::unique_ptr<Video> video;
    std::string ini;
};

void expect_delay_controls(const TFormConfig& d, bool enabled) {
    EXPECT_EQ(d.LabelBuff.Enabled(), enabled);
    EXPECT_EQ(d.TrackBuff.Enabled(), enabled);
    EXPECT_EQ(d.LabelBuffInfo.Enabled(), enabled);
}
}  // namespace

TEST_F(FormConfigTest, WithoutGameIniShowsTheDefaultsAndOkCreatesTheFile) {
    auto d = open();
    EXPECT_TRUE(d->DialogOpen);
    EXPECT_TRUE(d->CheckSound.Checked());
    expect_delay_controls(*d, false);
    EXPECT_EQ(d->TrackBuff.Position(), 5);
    EXPECT_EQ(d->LabelBuffInfo.GetCaption().Text, "500ms");
    EXPECT_EQ(d->Focus(), &d->CheckSound);
    EXPECT_FALSE(std::filesystem::exists(ini));
    // Enter presses the default button, OK.
    press_key(*video, VK_RETURN);
    d->ProcessMessages();
    EXPECT_FALSE(d->DialogOpen);
    EXPECT_EQ(read_file(ini), "[Sound]\r\nDirectSound=1\r\nDelayTime=500\r\n\r\n");
}

TEST_F(FormConfigTest, StoredDelayIsCutToHundredsAndWrittenBackSo) {
    write_file(ini, "[Sound]\r\nDirectSound=0\r\nDelayTime=250\r\n");
    auto d = open();
    EXPECT_FALSE(d->CheckSound.Checked());
    expect_delay_controls(*d, true);
    EXPECT_EQ(d->TrackBuff.Position(), 2);
    EXPECT_EQ(d->LabelBuffInfo.GetCaption().Text, "200ms");
    // The OK button clicked with the pointer.
    click_at(*video, 137, 152);
    d->ProcessMessages();
    EXPECT_FALSE(d->DialogOpen);
    EXPECT_EQ(read_file(ini), "[Sound]\r\nDirectSound=0\r\nDelayTime=200\r\n\r\n");
}

TEST_F(FormConfigTest, StoredValuesAreReadByTheProfileRules) {
    const struct {
        const char* text;
        int32_t position;
        bool checked;
    } cases[] = {
        {"[Sound]\r\nDelayTime=0x1F4\r\n", 5, true},       // hexadecimal
        {"[sound]\r\ndelaytime=300\r\ndirectsound=7\r\n", 3, true},  // names without case; any non-zero is on
        {"[Sound]\r\nDelayTime=0\r\n", 1, true},            // below the range
        {"[Sound]\r\nDelayTime=-250\r\n", 1, true},
        {"[Sound]\r\nDelayTime=99\r\n", 1, true},
        {"[Sound]\r\nDelayTime=9999\r\n", 5, true},         // above it
        {"[Sound]\r\nDelayTime=abc\r\nDirectSound=x\r\n", 5, true},  // no number: the defaults
        {"DelayTime=100\r\n[Sound]\r\n", 5, true},          // before any section: ignored
    };
    for (const auto& c : cases) {
        write_file(ini, c.text);
        auto d = open();
        EXPECT_EQ(d->TrackBuff.Position(), c.position) << c.text;
        EXPECT_EQ(d->CheckSound.Checked(), c.checked) << c.text;
        char label[16];
        std::snprintf(label, sizeof label, "%dms", c.position * 100);
        EXPECT_EQ(d->LabelBuffInfo.GetCaption().Text, label);
    }
}

TEST_F(FormConfigTest, OtherSectionsSurviveButCommentsAndBlankLinesDoNot) {
    write_file(ini,
               "; settings\r\n[Window]\r\nLeft=10\r\n\r\n; the sound\r\n[sound]\r\ndelaytime=300\r\nExtra=a=b\r\n"
               "[Last]\r\nK=V\r\n");
    auto d = open();
    press_with(*video, VK_MENU, 'S');  // clear the check box
    press_key(*video, VK_RETURN);
    d->ProcessMessages();
    EXPECT_FALSE(d->DialogOpen);
    EXPECT_EQ(read_file(ini),
              "[Window]\r\nLeft=10\r\n\r\n[sound]\r\ndelaytime=300\r\nExtra=a=b\r\nDirectSound=0\r\n\r\n"
              "[Last]\r\nK=V\r\n\r\n");
}

TEST_F(FormConfigTest, EscapeCancelAndTheCloseBoxLeaveTheFileAlone) {
    const std::string before = "; keep me\r\n[Sound]\r\nDelayTime=250\r\n";
    for (int way = 0; way < 3; ++way) {
        write_file(ini, before);
        auto d = open();
        press_key(*video, VK_RIGHT);  // change something first
        press_key(*video, VK_SPACE);
        if (way == 0) press_key(*video, VK_ESCAPE);
        else if (way == 1) click_at(*video, 217, 152);
        else video->InjectEvent(key_event(InputEventKind::CloseRequest, 0));
        d->ProcessMessages();
        EXPECT_FALSE(d->DialogOpen) << way;
        EXPECT_EQ(read_file(ini), before) << way;
    }
}

TEST_F(FormConfigTest, KeyboardMovesTheFocusAndDrivesTheControls) {
    write_file(ini, "[Sound]\r\nDirectSound=0\r\nDelayTime=300\r\n");
    auto d = open();
    EXPECT_EQ(d->Focus(), &d->CheckSound);
    press_key(*video, VK_TAB);
    d->ProcessMessages();
    EXPECT_EQ(d->Focus(), &d->btnOK);
    press_key(*video, VK_TAB);
    press_key(*video, VK_TAB);
    d->ProcessMessages();
    EXPECT_EQ(d->Focus(), &d->TrackBuff);  // tab order 3 comes last
    press_key(*video, VK_TAB);
    d->ProcessMessages();
    EXPECT_EQ(d->Focus(), &d->CheckSound);  // and round again
    press_with(*video, VK_SHIFT, VK_TAB);
    d->ProcessMessages();
    EXPECT_EQ(d->Focus(), &d->TrackBuff);

    // Arrows, Home and End move the track bar within 1..5 and update the label.
    press_key(*video, VK_LEFT);
    d->ProcessMessages();
    EXPECT_EQ(d->TrackBuff.Position(), 2);
    EXPECT_EQ(d->LabelBuffInfo.GetCaption().Text, "200ms");
    press_key(*video, VK_HOME);
    press_key(*video, VK_LEFT);
    d->ProcessMessages();
    EXPECT_EQ(d->TrackBuff.Position(), 1);
    press_key(*video, VK_END);
    press_key(*video, VK_DOWN);
    d->ProcessMessages();
    EXPECT_EQ(d->TrackBuff.Position(), 5);
    EXPECT_EQ(d->LabelBuffInfo.GetCaption().Text, "500ms");

    // Alt+S ticks the box (focusing it) and disables the delay controls,
    // which then leave the tab order; Alt+D cannot reach a disabled bar.
    press_with(*video, VK_MENU, 'S');
    d->ProcessMessages();
    EXPECT_TRUE(d->CheckSound.Checked());
    EXPECT_EQ(d->Focus(), &d->CheckSound);
    expect_delay_controls(*d, false);
    press_with(*video, VK_MENU, 'D');
    d->ProcessMessages();
    EXPECT_EQ(d->Focus(), &d->CheckSound);
    press_with(*video, VK_SHIFT, VK_TAB);
    d->ProcessMessages();
    EXPECT_EQ(d->Focus(), &d->btnCancel);
    // Space on the check box clears it again; Alt+D then focuses the bar.
    d->SetFocus(&d->CheckSound);
    press_key(*video, VK_SPACE);
    press_with(*video, VK_MENU, 'D');
    d->ProcessMessages();
    EXPECT_FALSE(d->CheckSound.Checked());
    EXPECT_EQ(d->Focus(), &d->TrackBuff);
    // A plain letter is no access key.
    press_key(*video, 'S');
    d->ProcessMessages();
    EXPECT_FALSE(d->CheckSound.Checked());
    // Enter with the focus on Cancel presses Cancel, not the default button.
    d->SetFocus(&d->btnCancel);
    press_key(*video, VK_RETURN);
    d->ProcessMessages();
    EXPECT_FALSE(d->DialogOpen);
    EXPECT_EQ(read_file(ini), "[Sound]\r\nDirectSound=0\r\nDelayTime=300\r\n");
}

TEST_F(FormConfigTest, PointerDrivesTheCheckBoxAndTheTrackBar) {
    write_file(ini, "[Sound]\r\nDirectSound=0\r\nDelayTime=100\r\n");
    auto d = open();
    // A press on the box that is released elsewhere changes nothing.
    video->InjectEvent(mouse_event(InputEventKind::MouseDown, 40, 32));
    video->InjectEvent(mouse_event(InputEventKind::MouseMove, 40, 60));
    video->InjectEvent(mouse_event(InputEventKind::MouseUp, 40, 60));
    d->ProcessMessages();
    EXPECT_FALSE(d->CheckSound.Checked());
    // Dragging the thumb to the far right end takes the last position.
    const TRect thumb = d->TrackBuff.ThumbRect();
    const int32_t y = (thumb.Top + thumb.Bottom) / 2;
    video->InjectEvent(mouse_event(InputEventKind::MouseDown, (thumb.Left + thumb.Right) / 2, y));
    video->InjectEvent(mouse_event(InputEventKind::MouseMove, d->TrackBuff.PositionX(3) + 2, y));
    d->ProcessMessages();
    EXPECT_EQ(d->TrackBuff.Position(), 3);
    video->InjectEvent(mouse_event(InputEventKind::MouseMove, 400, y));
    video->InjectEvent(mouse_event(InputEventKind::MouseUp, 400, y));
    d->ProcessMessages();
    EXPECT_EQ(d->TrackBuff.Position(), 5);
    EXPECT_EQ(d->Focus(), &d->TrackBuff);
    // A press on the channel left of the thumb steps one page toward it.
    click_at(*video, d->TrackBuff.PositionX(1), y);
    d->ProcessMessages();
    EXPECT_EQ(d->TrackBuff.Position(), 4);
    // Clicking the box ticks it.
    click_at(*video, 34, 32);
    d->ProcessMessages();
    EXPECT_TRUE(d->CheckSound.Checked());
    expect_delay_controls(*d, false);
    EXPECT_TRUE(d->DialogOpen);
}

TEST_F(FormConfigTest, AFailedWriteKeepsTheDialogOpen) {
    // A folder that does not exist cannot take the file.
    ini = (scratch.Path / "missing" / "game.ini").string();
    auto d = open();
    press_key(*video, VK_RETURN);
    d->ProcessMessages();
    EXPECT_TRUE(d->DialogOpen);
    EXPECT_FALSE(std::filesystem::exists(ini));
    press_key(*video, VK_ESCAPE);
    d->ProcessMessages();
    EXPECT_FALSE(d->DialogOpen);
}

TEST_F(FormConfigTest, RunServesTheDialogUntilItCloses) {
    write_file(ini, "[Sound]\r\nDirectSound=0\r\nDelayTime=300\r\n");
    press_with(*video, VK_MENU, 'D');
    press_key(*video, VK_RIGHT);
    press_key(*video, VK_RETURN);
    TFormConfig::Run(*video, ini);
    EXPECT_EQ(read_file(ini), "[Sound]\r\nDirectSound=0\r\nDelayTime=400\r\n\r\n");
    EXPECT_FALSE(video->Visible());
    EXPECT_GT(video->PresentCount(), 0u);
}
