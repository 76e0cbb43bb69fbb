// The X servers that tests start: each on a display it picks itself and
// names once it takes connections (-displayfd), with no reset when its
// last client leaves (-noreset: a reset drops a client that connects
// meanwhile, and a server resetting may miss its end), its files in a
// folder of its own, and the mark of this build's tests in its environment
// (kTestXServerMark) so that the suite's last check finds any left running;
// only clients given its cookie connect.
// It ends with the object that started it: asked with SIGTERM, killed after
// a short grace, and waited for; with the thread that started it too
// (a test program killed midway takes its server along).
#pragma once
#include <sys/types.h>

#include <string>

// The environment variable that marks the X servers of this build's tests;
// its value is the build folder.
inline constexpr const char* kTestXServerMark = "VORQ_TEST_X_SERVER";

class TestXServer {
public:
    // screen: "WIDTHxHEIGHT" for Xvfb with one screen of that size at 24
    // bits; "dummy" for Xorg's dummy driver (its modes switch for real).
    explicit TestXServer(const std::string& screen);
    ~TestXServer() { End(); }
    TestXServer(const TestXServer&) = delete;
    TestXServer& operator=(const TestXServer&) = delete;

    // ":N" once the server takes connections; empty when it did not start,
    // and Failure () says why, with what the server wrote.
    const std::string& Display() const { return display_; }
    const std::string& Failure() const { return failure_; }
    // The file that its clients take their cookie from (XAUTHORITY).
    const std::string& Authority() const { return authority_; }
    // Asks the server to end, kills it when it has not within a short
    // grace, and waits for it; its folder goes too. Again, nothing.
    void End();

private:
    pid_t pid_ = -1;
    std::string folder_, display_, authority_, failure_;
};

// The switch by which a test program runs a bash script on an X server of
// its own instead of its tests: PROGRAM --on-own-x-server=SCREEN SCRIPT.
inline constexpr const char* kOnOwnXServerSwitch = "--on-own-x-server=";

// Runs the bash script with DISPLAY and XAUTHORITY naming a server started
// for it, and ends the server once the script has ended: the script's exit
// status (128 + the signal that ended it), 125 when the server did not start.
int RunOnOwnXServer(const std::string& screen, const std::string& script);
