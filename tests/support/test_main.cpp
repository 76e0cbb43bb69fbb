#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Tests run headless unless a caller names other drivers (the Xvfb test
    // does). ctest's environment list cannot carry both reliably.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
