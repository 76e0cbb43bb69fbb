#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/display/message_box.h"
#include "platform/system/trace.h"

#include "platform/filesystem/stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {
std::string read_all(const std::string& path) {
    TMemoryStream m;
    m.LoadFromFile(path);
    return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
}
}  // namespace

TEST(Trace, HookIsSetOnlyWhileTracing) {
    ::unsetenv("VORQ_TRACE");
    EXPECT_FALSE(TraceStartFromEnvironment());
    EXPECT_EQ(VorqLogWrite, nullptr);
    TraceWrite("lost");

    std::string path = PrivateTempFolder() + "trace.txt";
    ::setenv("VORQ_TRACE", path.c_str(), 1);
    ASSERT_TRUE(TraceStartFromEnvironment());
    ASSERT_NE(VorqLogWrite, nullptr);
    VorqLogWrite(("0000002a : " + Sjis("開始") + "(3)").c_str());
    TraceWrite("second");
    EXPECT_EQ(read_all(path), "0000002a : " + Sjis("開始") + "(3)\r\nsecond\r\n");
    TraceFinal();
    EXPECT_EQ(VorqLogWrite, nullptr);
    TraceWrite("after");
    EXPECT_EQ(read_all(path), "0000002a : " + Sjis("開始") + "(3)\r\nsecond\r\n");

    EXPECT_FALSE(TraceInit(PrivateTempFolder() + "no/such/folder/trace.txt"));
    EXPECT_EQ(VorqLogWrite, nullptr);
    ::unsetenv("VORQ_TRACE");
}

TEST(MessageBox, WithoutADisplayTheTextGoesToStderrAndTheDefaultIsReturned) {
    testing::internal::CaptureStderr();
    int yes = ShowMessageBox(Sjis("「テスト」を終了しますか？"), Sjis("確認"), MessageBoxKind::YesNo,
                             MessageBoxIcon::Question);
    int ok = ShowMessageBox("text", "", MessageBoxKind::OKCancel);
    int one = ShowMessageBox("x", "c", MessageBoxKind::OK, MessageBoxIcon::Warning);
    // A path the system gave, with characters Shift-JIS lacks, reads as the system spells it.
    ShowMessageBox(GamePath("/g/Café/한국") + Sjis(":ファイルがありません"), "", MessageBoxKind::OK);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(yes, IDYES);
    EXPECT_EQ(ok, IDOK);
    EXPECT_EQ(one, IDOK);
    EXPECT_EQ(err, "確認: 「テスト」を終了しますか？\ntext\nc: x\n/g/Café/한국:ファイルがありません\n");
}

TEST(MessageBox, ADrawnBoxThatFailsLeavesTheTextOnStderrAndTheDefaultAnswer) {
    // A display is named, so the drawn box is tried; no X server serves it,
    // so the desktop's box cannot stand either.
    ::unsetenv("SDL_VIDEODRIVER");
    ::setenv("DISPLAY", ":7391", 1);
    SetMessageBoxPresenter([](const std::string&, const std::string&, MessageBoxKind, MessageBoxIcon) -> int {
        throw Exception("no font to lay the box out with");
    });
    testing::internal::CaptureStderr();
    const int yes = ShowMessageBox(Sjis("終了しますか？"), Sjis("確認"), MessageBoxKind::YesNo);
    const std::string err = testing::internal::GetCapturedStderr();
    SetMessageBoxPresenter(nullptr);
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    EXPECT_EQ(yes, IDYES);
    EXPECT_NE(err.find("確認: 終了しますか？\n"), std::string::npos) << err;
}
