#include "tests/support/x_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    // A test program also runs the scripts of tests on X servers of their
    // own (run_command.h), in place of its tests.
    if (argc == 3 && std::strncmp(argv[1], kOnOwnXServerSwitch, std::strlen(kOnOwnXServerSwitch)) == 0)
        return RunOnOwnXServer(argv[1] + std::strlen(kOnOwnXServerSwitch), argv[2]);
    // Tests run headless unless a caller names other drivers (the Xvfb test
    // does). ctest's environment list cannot carry both reliably.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
