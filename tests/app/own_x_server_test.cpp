// The X servers that the tests start take every connection: one made while
// another client leaves is never dropped. A server that resets once its
// last client has gone drops the clients connecting meanwhile, and a
// player started beside a script polling for its window then cannot open
// its display.
#include "platform/filesystem/filesys.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

TEST(OwnXServer, NoConnectionIsDroppedWhileAnotherClientLeaves) {
    if (const char* tool = MissingTool({"Xvfb", "xdpyinfo"})) GTEST_SKIP() << tool << " is not installed";
    TTestGameFolder scratch;
    const std::string folder = NativePath(scratch.Path());
    // Two clients at a time connect and leave, 200 times each: on a server
    // that resets, about one connection in ten is dropped.
    std::ofstream(folder + "run.sh")
        << "cd '" << folder << "'\n"
        << "clients() { local dropped=0; for i in $(seq 200); do xdpyinfo >/dev/null 2>&1 || "
           "dropped=$((dropped + 1)); done; echo $dropped; }\n"
        << "clients > a & other=$!; clients > b; wait $other\n"
        << "echo \"dropped: $(cat a) and $(cat b)\"\n";
    const CommandOutcome o = RunCommand(UnderXvfb("bash \"" + folder + "run.sh\"", "640x480", false) + " 2>&1");
    EXPECT_EQ(o.Status, 0) << o.Output;
    EXPECT_EQ(o.Output, "dropped: 0 and 0\n");
}

}  // namespace
