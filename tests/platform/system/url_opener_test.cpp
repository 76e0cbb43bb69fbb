// The URL opener starts its program with the address as one argument, in
// UTF-8, with nothing in between that could read the text as a command.
// A recording script stands in for the desktop's opener; IsPathInsideFolder
// is the test the screen shots rely on to stay in the game's folder.
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"
#include "platform/system/url_opener.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

struct TempFolder {
    std::string path;
    TempFolder() {
        char tmpl[] = "/tmp/vorq_url_XXXXXX";
        path = std::string(mkdtemp(tmpl)) + "/";
    }
    ~TempFolder() { std::system(("rm -rf '" + path + "'").c_str()); }
};

std::string read_all(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

TEST(UrlOpener, TheAddressIsOneArgumentInUtf8) {
    TempFolder dir;
    const std::string log = dir.path + "args";
    const std::string script = dir.path + "opener";
    std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done >> '" << log << "'\n";
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    SetUrlOpenerProgram(script, true);
    const struct {
        std::string sjis, utf8;
    } cases[] = {
        {"http://example.com/?q=a b&c=\"d\"", "http://example.com/?q=a b&c=\"d\""},
        {"http://x/`id`;$(id)|id>out", "http://x/`id`;$(id)|id>out"},
        {Sjis("http://例え.jp/ソ表"), "http://例え.jp/ソ表"},  // trail bytes 0x5C stay in their characters
    };
    for (const auto& c : cases) {
        std::remove(log.c_str());
        EXPECT_TRUE(ShellOpenUrl(c.sjis));
        EXPECT_EQ(read_all(log), "[" + c.utf8 + "]");
    }
    EXPECT_FALSE(std::ifstream(dir.path + "out").good());
    // Text that would read as an option never reaches the program.
    std::remove(log.c_str());
    EXPECT_FALSE(ShellOpenUrl("--help"));
    EXPECT_EQ(read_all(log), "");
    SetUrlOpenerProgram(dir.path + "no-such-program", true);
    EXPECT_FALSE(ShellOpenUrl("http://example.com/"));
    SetUrlOpenerProgram("");
}

TEST(PathInsideFolder, OnlyNamesThatStayInTheFolder) {
    TempFolder dir;
    TempFolder other;
    ASSERT_EQ(mkdir((dir.path + "sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink(other.path.c_str(), (dir.path + "out").c_str()), 0);
    ASSERT_EQ(symlink((dir.path + "sub").c_str(), (dir.path + "in").c_str()), 0);
    const struct {
        std::string name;
        bool inside;
    } cases[] = {
        {"a.tes", true},
        {"sub\\a.tes", true},
        {"SUB/a.tes", true},  // components match without case
        {"in\\a.tes", true},  // a link that stays inside
        {".\\a.tes", true},
        {"sub\\..\\a.tes", false},
        {"..\\a.tes", false},
        {"../a.tes", false},
        {"..", false},
        {"sub\\", false},
        {"", false},
        {"\\tmp\\a.tes", false},
        {"/tmp/a.tes", false},
        {"C:\\a.tes", false},
        {"a.tes:stream", false},
        {"out\\a.tes", false},   // a link leading out
        {"none\\a.tes", false},  // no such folder
        {Sjis("ソ\\a.tes"), false},  // the folder "ソ" does not exist
    };
    for (const auto& c : cases) EXPECT_EQ(IsPathInsideFolder(dir.path, c.name), c.inside) << c.name;
    ASSERT_EQ(mkdir((dir.path + "ソ").c_str(), 0755), 0);
    EXPECT_TRUE(IsPathInsideFolder(dir.path, Sjis("ソ\\a.tes")));
    EXPECT_TRUE(IsPathInsideFolder(dir.path.substr(0, dir.path.size() - 1), "a.tes"));  // no trailing delimiter
}

}  // namespace
