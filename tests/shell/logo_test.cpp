// The start-up logo: a film from the archive held as resource MADEWITH
// plays in a cinema before the first page runs; it ends by itself, or is
// skipped by a click, Space or Enter; a click on its label opens our page
// through the URL opener and leaves it playing.
#include "shell/form_view.h"

#include "script/param_collection.h"
#include "engine/project.h"
#include "files/big_stream.h"
#include "files/vr_file_collection.h"
#include "files/vr_file_manager.h"
#include "objects/scene/scene.h"
#include "platform/system/clock.h"
#include "platform/filesystem/filesys.h"
#include "platform/display/keys.h"
#include "platform/filesystem/resources.h"
#include "platform/filesystem/stream.h"
#include "platform/system/url_opener.h"
#include "tests/support/film_writer.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/player_window.h"
#include "tests/support/input_events.h"
#include "tests/support/scripted_video.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

std::vector<std::string> opened;
bool record_url(const std::string& url) {
    opened.push_back(url);
    return true;
}

// The logo archive: a 60-frame film (a box and a label) in the folder the
// player looks in.
std::vector<uint8_t> LogoArchive(TTestGameFolder& f) {
    TFilmWriter w;
    w.Header(100, 50, -1);
    w.TrackCount(2);
    const int32_t bg[16] = {0, 0, 0, 0, 255, 255, 100, 50, 100, 50, 0x202020, 0x202020, 0, 0, 0, 0};
    w.Track(2, -1, 60, 0);
    w.Box(bg);
    TFilmWriter::ImageBlock b;
    b.x_from = b.x_to = 10, b.y_from = b.y_to = 10;
    w.Track(1, -1, 60, 0, 0, 1);
    w.Label(b, "Made with", 0, "", 16, 0, 0, 0xFFFFFF, 0);
    ForceDirectories(f.Path() + "logo/MadeWithVorqLogo");
    {
        TFileStream out(f.Path() + "logo/MadeWithVorqLogo/logo.vcm", fmCreate);
        out.WriteBuffer(w.Bytes().data(), static_cast<int64_t>(w.Bytes().size()));
    }
    TVrFileCollection c;
    c.BaseFolder = f.Path() + "logo/";
    c.AddFileEntry("MadeWithVorqLogo\\logo.vcm");
    TWzBigMemoryStream s;
    c.SaveToStream(s);
    return std::vector<uint8_t>(s.Inner().Memory(), s.Inner().Memory() + s.Inner().GetSize());
}

class Logo : public PlayerWindowTest {
protected:
    std::vector<uint8_t> archive;

    void SetUp() override {
        PlayerWindowTest::SetUp();
        opened.clear();
        SetUrlOpener(record_url);
        InstallObjectKinds();
        archive = LogoArchive(folder);
        RegisterResource("MADEWITH", "DATA", {archive.data(), archive.size()});
        TPageWriter w;
        w.VarNew("ran", PT_INT, "1");
        w.Wait("1000000");
        folder.WritePage("main.vsb", w);
        folder.WriteProject(TestProjectData("main.vsb"));
        open_view();
    }
    void after_view_closed() override {
        UnregisterResource("MADEWITH", "DATA");
        SetComponentFactory(nullptr);
        SetUrlOpener(nullptr);
    }
    void idle(uint32_t ms = 16) {
        clock += ms;
        view->ApplicationEventsIdle();
    }
    bool page_ran() const { return Params && Params->Find("ran"); }
    TVorqObject* label() const {
        for (int32_t i = 0; i < VorqBaseList->GetObjectCount(); ++i)
            if (VorqBaseList->GetObjectAt(i)->GetCompoType() == LT_LABEL) return VorqBaseList->GetObjectAt(i);
        return nullptr;
    }
};

}  // namespace

TEST_F(Logo, PlaysFirstThenSkippedOrLinkedAsAskedFor) {
    ASSERT_FALSE(view->LogoDone);
    idle();
    ASSERT_NE(view->LogoCinema, nullptr);
    EXPECT_EQ(view->LogoCinema->GetCompoType(), LT_CINEMA);
    // Centred on the 640x480 layer.
    EXPECT_EQ(view->LogoCinema->GetLeft(), 270);
    EXPECT_EQ(view->LogoCinema->GetTop(), 215);
    for (int i = 0; i < 3; ++i) idle();
    ASSERT_NE(label(), nullptr);
    EXPECT_EQ(label()->GetName(), "Label");
    EXPECT_EQ(label()->GetIgnoreMouse(), 3);
    EXPECT_FALSE(page_ran());

    // A click on the label opens our page and the logo plays on.
    const TRect r = label()->GetRect();
    ASSERT_GT(r.Right, r.Left);
    const int32_t top = view->ImageOffsetY;
    const int32_t x = (r.Left + r.Right) / 2, y = (r.Top + r.Bottom) / 2 + top;
    view->HandleEvent(MouseEvent(InputEventKind::MouseMove, x, y));
    view->HandleEvent(MouseEvent(InputEventKind::MouseDown, x, y));
    idle();
    view->HandleEvent(MouseEvent(InputEventKind::MouseUp, x, y));
    idle();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "https://vorqplayer.example/");
    EXPECT_FALSE(view->LogoDone);
    EXPECT_NE(view->LogoCinema, nullptr);

    // Space skips it; the page runs on the frame after the cinema went.
    view->HandleEvent(KeyEvent(InputEventKind::KeyDown, 32));
    idle();
    view->HandleEvent(KeyEvent(InputEventKind::KeyUp, 32));
    for (int i = 0; i < 3; ++i) idle();
    EXPECT_TRUE(view->LogoDone);
    EXPECT_EQ(view->LogoCinema, nullptr);
    EXPECT_TRUE(page_ran());
    // The logo's archive is gone from the file manager.
    EXPECT_FALSE(FileManager->FileExists("MadeWithVorqLogo\\logo.vcm"));
}

TEST_F(Logo, EndsByItselfOrByEnterOrAClickElsewhere) {
    const struct {
        const char* what;
        std::function<void(TFormView&)> act;
        int max_frames;
    } cases[] = {
        {"by itself", [](TFormView&) {}, 70},
        {"Enter",
         [](TFormView& v) {
             v.HandleEvent(KeyEvent(InputEventKind::KeyDown, 13));
         },
         5},
        {"click elsewhere",
         [](TFormView& v) {
             v.HandleEvent(MouseEvent(InputEventKind::MouseMove, 5, 5 + v.ImageOffsetY));
             v.HandleEvent(MouseEvent(InputEventKind::MouseDown, 5, 5 + v.ImageOffsetY));
         },
         5},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        for (int i = 0; i < 4; ++i) idle();
        ASSERT_FALSE(view->LogoDone);
        c.act(*view);
        int frames = 0;
        while (!view->LogoDone && frames < 200) {
            idle();
            ++frames;
        }
        EXPECT_TRUE(view->LogoDone);
        EXPECT_LE(frames, c.max_frames);
        EXPECT_TRUE(opened.empty());
    }
}
