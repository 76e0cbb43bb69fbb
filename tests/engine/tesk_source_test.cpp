#include "engine/tesk_source.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "files/vr_file_manager.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "render/custom_dibx.h"
#include "render/tesk.h"

// The image cache over the real file manager: a loose picture in the game
// folder is decoded, a missing one is the placeholder, and without a file
// manager reading is refused with an error rather than a crash.
TEST(ProjectTeskSource, CacheReadsThroughTheFileManager) {
    const std::string base = PrivateTempFolder() + "tesk_source/";
    std::filesystem::remove_all(NativePath(base));
    ForceDirectories(base + "cg/");
    {
        TTeskFrameList list;
        TTeskFrame& fr = *list.AddFrame();
        fr.Image.SetSize(7, 3, 24);
        fr.Image.FillRect(TRect{0, 0, 7, 3}, 0x123456);
        TMemoryStream s;
        list.SaveToStream(s, 0);
        std::ofstream(NativePath(base + "cg/a.tes"), std::ios::binary)
            .write(reinterpret_cast<const char*>(s.Memory()), s.GetSize());
    }
    CreateFileManager();
    FileManager->SetBaseFolder(base.substr(0, base.size() - 1));
    TProjectTeskSource& src = ProjectTeskSource();
    EXPECT_EQ(0u, src.IdCode());  // no project running
    EXPECT_TRUE(src.FileExists("CG\\A.TES"));
    EXPECT_TRUE(src.ManagerFileExists("cg\\a.tes"));
    EXPECT_FALSE(src.ManagerFileExists(""));
    {
        TTeskCollection cache(&src);
        int user = 0;
        TTeskItem* item = cache.Acquire(&user, "cg\\a.tes", false, false);
        ASSERT_EQ(1, item->GetFrameCount());
        EXPECT_EQ(7, item->Width);
        EXPECT_EQ(3, item->Height);
        TTeskItem* missing = cache.Acquire(&user, "cg\\none.tes", false, false);
        ASSERT_EQ(1, missing->GetFrameCount());
        EXPECT_EQ(80, missing->Frames[0]->Image->Width());
    }
    FreeFileManager();
    EXPECT_FALSE(src.FileExists("cg\\a.tes"));
    EXPECT_FALSE(src.ManagerFileExists("cg\\a.tes"));
    TMemoryStream s;
    EXPECT_THROW(src.LoadToStream(s, "cg\\a.tes"), EFOpenError);
}
