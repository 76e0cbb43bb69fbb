#include "files/install_set.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

// The samples in tests/data/install were written with Python's struct
// module by make_install.py in that folder.
namespace {
std::string sample(const char* name) { return std::string(VORQ_TEST_DATA) + "/install/" + name; }

TMemoryStream file_bytes(const char* name) {
    TMemoryStream m;
    m.LoadFromFile(sample(name));
    return m;
}
}  // namespace

TEST(InstallSet, ReadsEveryVersionWithItsGates) {
    for (const char* name : {"v0.dat", "v100.dat", "v107.dat"}) {
        SCOPED_TRACE(name);
        TVorqInstallSet set;
        set.LoadFromFile(sample(name));
        EXPECT_EQ(set.DiskIndex, 1);
        EXPECT_EQ(set.Title, Sjis("テスト物語"));
        EXPECT_EQ(set.ExeName, "test.exe");
        EXPECT_EQ(set.RequiredSpace, 12345);
        ASSERT_EQ(set.GetDiskCount(), 2);
        EXPECT_EQ(set.DiskValues[0][1], 101);
        EXPECT_EQ(set.DiskValues[3][1], -2);  // a 4-byte value of an old file is sign-extended
        EXPECT_EQ(set.TotalValues[3], 10);
        EXPECT_EQ(set.Flag18, 1);
    }
    TVorqInstallSet v100;
    v100.LoadFromFile(sample("v100.dat"));
    EXPECT_TRUE(v100.Names.empty());  // registered names came with version 102
    EXPECT_EQ(v100.Flag19, 0);

    TVorqInstallSet v107;
    v107.LoadFromFile(sample("v107.dat"));
    ASSERT_EQ(v107.Names.size(), 2u);
    EXPECT_EQ(v107.Names[1], Sjis("画像.bmp"));
    EXPECT_EQ(v107.Names2, std::vector<std::string>{"extra"});
    EXPECT_EQ(v107.Text25, "last");
    EXPECT_EQ(v107.IndexOfName("SAVE\\Shot1.BMP"), 0);
    EXPECT_EQ(v107.AddName("save\\shot1.bmp"), 0);
    EXPECT_EQ(v107.AddName("new.bmp"), 2);
}

TEST(InstallSet, WritesVersion107ByteForByte) {
    // Reading and writing back a 107 file reproduces Python's bytes; an
    // older file comes back upgraded and reads identically.
    TVorqInstallSet set;
    set.LoadFromFile(sample("v107.dat"));
    TMemoryStream out;
    set.SaveToStream(out);
    TMemoryStream expected = file_bytes("v107.dat");
    ASSERT_EQ(out.GetSize(), expected.GetSize());
    EXPECT_EQ(0, memcmp(out.Memory(), expected.Memory(), out.GetSize()));

    TVorqInstallSet old;
    old.LoadFromFile(sample("v0.dat"));
    old.SetDiskCount(3);
    old.DiskValues[2][2] = int64_t{1} << 40;
    TMemoryStream up;
    old.SaveToStream(up);
    up.SetPosition(0);
    TVorqInstallSet back;
    back.LoadFromStream(up);
    EXPECT_EQ(back.GetDiskCount(), 3);
    EXPECT_EQ(back.DiskValues[2][2], int64_t{1} << 40);
    EXPECT_EQ(back.Title, old.Title);
    EXPECT_EQ(up.GetPosition(), up.GetSize());
}

TEST(InstallSet, DamagedFilesRaiseClearErrors) {
    TVorqInstallSet set;
    EXPECT_THROW(set.LoadFromFile(sample("truncated.dat")), Exception);  // cut inside a text

    TMemoryStream bad_version;
    bad_version.WriteBuffer("is1x7", 5);
    bad_version.SetPosition(0);
    EXPECT_THROW(set.LoadFromStream(bad_version), ECorruptData);

    // A disc count far beyond the file is refused before anything is sized by it.
    TMemoryStream huge = file_bytes("v107.dat");
    TVorqInstallSet good;
    good.LoadFromFile(sample("v107.dat"));
    // Find the disc count: it follows the title and three texts.
    int64_t pos = 5 + 4 + 4 + good.Title.size() + 4 + 7 + 4 + 9 + 4 + 13 + 1 + 4 + 5 + 1;
    ASSERT_EQ(huge.Memory()[pos], 2);
    huge.Memory()[pos + 3] = 0x7F;
    huge.SetPosition(0);
    try {
        set.LoadFromStream(huge);
        FAIL() << "no error";
    } catch (const ECorruptData& e) {
        EXPECT_NE(std::string(e.what()).find("disc count"), std::string::npos) << e.what();
    }
}

TEST(FolderDiskList, FindsTheInnermostRegisteredFolder) {
    TFolderDiskList list;
    list.AddFolder("data\\movie", 2);
    list.AddFolder("DATA\\Voice\\", 3);
    EXPECT_EQ(list.DiskOf("Data\\Movie\\op.wmv"), 2);
    EXPECT_EQ(list.DiskOf("data\\voice\\ch1\\001.ogg"), 3);
    EXPECT_EQ(list.DiskOf("data\\image\\bg.tes"), 0);
    EXPECT_EQ(list.DiskOf(""), 0);
    EXPECT_EQ(list.IndexOfFolder("data\\voice"), 1);
    // A trail byte 0x5C of a double-byte character is not a folder delimiter.
    std::string sjis_folder = Sjis("表");  // 0x95 0x5C
    list.AddFolder(sjis_folder, 4);
    EXPECT_EQ(list.DiskOf(sjis_folder + "\\a.tes"), 4);
    // Registered with its delimiter, a folder ending in such a character is found too.
    TFolderDiskList kana;
    kana.AddFolder(Sjis("ソフト\\表") + "\\", 5);
    EXPECT_EQ(kana.DiskOf(Sjis("ソフト\\表\\a.tes")), 5);
    EXPECT_EQ(kana.IndexOfFolder(Sjis("ソフト\\表")), 0);
    EXPECT_EQ(kana.DiskOf(Sjis("ソフト\\a.tes")), 0);

    TMemoryStream m;
    list.SaveToStream(m);
    m.SetPosition(0);
    TFolderDiskList back;
    back.LoadFromStream(m);
    ASSERT_EQ(back.Count(), 3);
    EXPECT_EQ(back.Get(1).Folder, "DATA\\Voice\\");
    EXPECT_EQ(back.Get(2).Disk, 4);

    TMemoryStream bad;
    int32_t n = 1000000;
    bad.WriteBuffer(&n, 4);
    bad.SetPosition(0);
    EXPECT_THROW(back.LoadFromStream(bad), ECorruptData);
}

TEST(InstallSet, EveryPrefixAndReplacedByteLoadsOrIsRefused) {
    TVorqInstallSet good;
    good.LoadFromFile(sample("v107.dat"));
    TMemoryStream whole;
    good.SaveToStream(whole);
    const std::string bytes(reinterpret_cast<const char*>(whole.Memory()), static_cast<size_t>(whole.GetSize()));
    auto load = [](const std::string& b) {
        TMemoryStream s;
        s.WriteBuffer(b.data(), static_cast<int64_t>(b.size()));
        s.SetPosition(0);
        TVorqInstallSet set;
        try {
            set.LoadFromStream(s);
            return true;
        } catch (const ECorruptData&) {
            return false;
        }
    };
    // Every field is there in full or the file is refused: no prefix loads.
    for (size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(load(bytes.substr(0, n))) << n;
    EXPECT_TRUE(load(bytes));
    int refused = 0;
    for (size_t i = 0; i < bytes.size(); ++i)
        for (char v : {'\x00', '\x7F', '\x80', '\xFF'}) {
            std::string b = bytes;
            b[i] = v;
            refused += !load(b);  // any other exception or a crash fails the test
        }
    EXPECT_GT(refused, 0);
}
