#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/ini_file.h"
#include "platform/filesystem/stream.h"
#include "platform/text/codepage.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {
std::string read_all(const std::string& path) {
    TMemoryStream m;
    m.LoadFromFile(path);
    return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
}

void write_all(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}
}  // namespace

TEST(IniFile, SectionsAndKeysCompareWithoutCaseAndValueIsAllAfterTheFirstEquals) {
    IniFile ini;
    ini.LoadFromText("ignored=1\r\n[Sound]\r\nDirectSound=0\r\n; DelayTime=100\r\n  DelayTime = 300  \r\n"
                     "Name=\"  quoted  \"\r\nOther='x'\r\nHalf=\"open\r\nEq=a=b\r\n[sound]\r\nExtra=5\r\n");
    EXPECT_FALSE(ini.ReadBool("SOUND", "directsound", true));
    EXPECT_EQ(ini.ReadInteger("sound", "DELAYTIME", 500), 300);
    EXPECT_EQ(ini.ReadString("Sound", "Name", ""), "\"  quoted  \"");
    EXPECT_EQ(ini.ReadString("Sound", "Other", ""), "'x'");
    EXPECT_EQ(ini.ReadString("Sound", "DelayTime", ""), " 300");
    EXPECT_EQ(ini.ReadString("Sound", "Half", ""), "\"open");
    EXPECT_EQ(ini.ReadString("Sound", "Eq", ""), "a=b");
    // A section named again continues the first.
    EXPECT_EQ(ini.ReadInteger("Sound", "Extra", 0), 5);
    // Lines before any section and comments belong to nothing.
    EXPECT_EQ(ini.ReadInteger("", "ignored", 7), 7);
    EXPECT_FALSE(ini.ValueExists("Sound", "; DelayTime"));
    EXPECT_EQ(ini.ReadString("Missing", "Key", "def"), "def");
}

TEST(IniFile, IntegersFollowTheProfileParseRules) {
    // Golden results from Free Pascal in Delphi mode (see the data file's header).
    std::ifstream in(std::string(VORQ_TEST_DATA) + "/ini/profile_integers.txt");
    ASSERT_TRUE(in);
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        size_t bar = line.rfind('|');
        std::string input = line.substr(1, bar - 1);
        int32_t expected = std::stoi(line.substr(bar + 1));
        EXPECT_EQ(ParseProfileInteger(input).value_or(12345), expected) << "input |" << input << "|";
        ++checked;
    }
    EXPECT_GT(checked, 25);
    // Out of 32 bits gives the default, where a wrapped number would be wrong.
    EXPECT_FALSE(ParseProfileInteger("2147483648"));
    EXPECT_FALSE(ParseProfileInteger("-2147483649"));
    EXPECT_FALSE(ParseProfileInteger("$100000000"));
    EXPECT_FALSE(ParseProfileInteger("99999999999999999999999"));

    IniFile ini;
    ini.LoadFromText("[Sound]\nDelayTime=0x1F4\nBad=12ms\nDirectSound=  2  \nQuoted=\"300\"\nShort=0x\n");
    EXPECT_EQ(ini.ReadInteger("Sound", "Quoted", 500), 500);  // quotes are part of the value
    EXPECT_EQ(ini.ReadInteger("Sound", "Short", 500), 500);   // "0x" alone is no number
    EXPECT_EQ(ini.ReadInteger("Sound", "DelayTime", 0), 500);
    EXPECT_EQ(ini.ReadInteger("Sound", "Bad", 500), 500);
    EXPECT_TRUE(ini.ReadBool("Sound", "DirectSound", false));
    EXPECT_FALSE(ini.ReadBool("Sound", "Bad", false));
}

TEST(IniFile, WritingKeepsOrderAndDropsCommentsAndBlankLines) {
    IniFile ini;
    ini.LoadFromText("; top\n[Window]\nLeft=10\n\n[Sound]\n;c\nDirectSound=1\nFlag\n");
    ini.WriteInteger("SOUND", "directsound", 0);  // replaced in its line, spelling kept
    ini.WriteInteger("Sound", "DelayTime", 200);  // appended to its section
    ini.WriteBool("New", "On", true);             // a new section goes last
    ini.WriteString("Window", "Title", "a\r\n[Evil]\r\nx=1");
    EXPECT_EQ(ini.ToText(),
              "[Window]\r\nLeft=10\r\nTitle=a\r\n\r\n"
              "[Sound]\r\nDirectSound=0\r\nFlag\r\nDelayTime=200\r\n\r\n"
              "[New]\r\nOn=1\r\n\r\n");
    EXPECT_FALSE(ini.SectionExists("Evil"));
}

TEST(IniFile, MissingFileReadsEmptyAndSaveCreatesIt) {
    std::string dir = PrivateTempFolder() + "ini_new/";
    ASSERT_TRUE(ForceDirectories(dir));
    IniFile ini(dir + "GAME.INI");
    EXPECT_TRUE(ini.ReadBool("Sound", "DirectSound", true));
    EXPECT_EQ(ini.ReadInteger("Sound", "DelayTime", 500), 500);
    ini.WriteBool("Sound", "DirectSound", true);
    ini.WriteInteger("Sound", "DelayTime", 500);
    ini.Save();
    EXPECT_EQ(read_all(dir + "GAME.INI"), "[Sound]\r\nDirectSound=1\r\nDelayTime=500\r\n\r\n");
    // The file is found again whatever the case of the name asked for.
    IniFile again(dir + "game.ini");
    EXPECT_EQ(again.ReadInteger("sound", "delaytime", 0), 500);
    EXPECT_EQ(ListDirectory(dir).size(), 1u);  // no temporary file left
}

TEST(IniFile, FailedSaveKeepsTheOldFile) {
    std::string dir = PrivateTempFolder() + "ini_fail/";
    ASSERT_TRUE(ForceDirectories(dir));
    const std::string old_text = "[Sound]\r\nDelayTime=300\r\n\r\n";
    write_all(dir + "game.ini", old_text);
    // The save fails part-way through, as on a full disk.
    EXPECT_EQ(ExitOfWriteOnFullDisk<EWriteError>(16, [&] {
                  IniFile ini(dir + "game.ini");
                  ini.WriteString("Sound", "Comment", std::string(200, 'x'));
                  ini.Save();
              }),
              3);
    EXPECT_EQ(read_all(dir + "game.ini"), old_text);
    EXPECT_EQ(ListDirectory(dir).size(), 1u);
    // A folder that does not exist cannot take the temporary file.
    IniFile ini;
    EXPECT_THROW(ini.SaveToFile(dir + "no/such/game.ini"), EFCreateError);
}
