// The main window shows the executable's icon: the committed icon file,
// decoded as Pillow decodes it; a missing or damaged icon resource leaves
// the window without one but does not keep the game from starting.
#include "shell/form_view.h"
#include "script/game_clock.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/resources.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kIconFile = std::string(VORQ_SOURCE_DIR) + "/app/vorqplayer.ico";

// The icon as Pillow decodes it: RGBA bytes, row by row from the top.
std::string pillow_rgba(const std::string& ico, const std::string& out) {
    const std::string cmd = "/usr/bin/python3 -c \"import sys; from PIL import Image; "
                            "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGBA').tobytes())\" '" +
                            ico + "' > '" + out + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return {};
    return ReadNativeFileBytes(out);
}

class WindowIcon : public ::testing::Test {
protected:
    TTestGameFolder folder;
    std::string resource;  // the bytes registered as the icon; outlives the window

    void SetUp() override {
        folder.WriteWaitingGame();
        FormViewUnitStart();
        Terminating = false;
    }
    void TearDown() override {
        UnregisterResource(kMainIconName, kMainIconType);
        FormViewUnitFinish();
        Terminating = false;
    }
    // Starts the window with the resource (none when registered is false).
    std::unique_ptr<TFormView> start(bool registered) {
        if (registered)
            RegisterResource(kMainIconName, kMainIconType,
                             {reinterpret_cast<const uint8_t*>(resource.data()), resource.size()});
        auto view = std::make_unique<TFormView>(std::vector<std::string>{folder.Path()},
                                                Video::Create(VideoBackend::Headless));
        view->FormCreate();
        return view;
    }
};

TEST_F(WindowIcon, IsTheExecutablesIconAsPillowReadsIt) {
    resource = ReadNativeFileBytes(kIconFile);
    ASSERT_FALSE(resource.empty());
    auto view = start(true);
    EXPECT_FALSE(Terminating);
    const Video& window = view->Window();
    ASSERT_EQ(window.IconSize(), (TPoint{32, 32}));
    const std::string rgba = pillow_rgba(kIconFile, NativePath(folder.Path() + "icon.rgba"));
    if (rgba.empty()) GTEST_SKIP() << "Pillow is not installed";
    ASSERT_EQ(rgba.size(), 32u * 32u * 4u);
    int opaque = 0, clear = 0, wrong = 0;
    for (size_t i = 0; i < 32u * 32u; ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(rgba.data() + 4 * i);
        const uint32_t got = window.IconPixels()[i];
        // The AND mask takes out what is less than half opaque.
        const uint32_t alpha = p[3] >= 128 ? p[3] : 0;
        if (got >> 24 != alpha) ++wrong;
        else if (alpha && (got & 0xFFFFFF) != (uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2])) ++wrong;
        opaque += alpha == 255;
        clear += alpha == 0;
    }
    EXPECT_EQ(wrong, 0);
    // A drawing with a see-through outline, not a blank square.
    EXPECT_GT(opaque, 600);
    EXPECT_GT(clear, 4);
}

TEST_F(WindowIcon, WithoutAUsableIconTheGameStillStarts) {
    const std::string good = ReadNativeFileBytes(kIconFile);
    ASSERT_GT(good.size(), 100u);
    const struct {
        const char* Name;
        bool Registered;
        std::string Bytes;
    } cases[] = {
        {"no icon resource", false, ""},
        {"empty", true, ""},
        {"cut in its pixels", true, good.substr(0, good.size() / 2)},
        {"cut in its directory", true, good.substr(0, 10)},
        {"not an icon", true, std::string(good.size(), 'x')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        resource = c.Bytes;
        auto view = start(c.Registered);
        EXPECT_FALSE(Terminating);
        EXPECT_EQ(view->Window().IconSize(), (TPoint{0, 0}));
        EXPECT_TRUE(view->Window().Visible());
        view.reset();
        UnregisterResource(kMainIconName, kMainIconType);
        Terminating = false;
    }
}

}  // namespace
