// The ways a system answers openat2, for tests of what the player does
// where the kernel lacks it (before 5.6) or a sandbox's filter refuses it.
#pragma once
#include "platform/filesystem/replace_file.h"

#include <cerrno>
#include <cstddef>

struct Openat2Answer {
    const char* What;
    Openat2Call Call;  // nullptr: the kernel's own
};

inline long Openat2Missing(int, const char*, struct open_how*, size_t) {
    errno = ENOSYS;
    return -1;
}
inline long Openat2Refused(int, const char*, struct open_how*, size_t) {
    errno = EPERM;
    return -1;
}

inline constexpr Openat2Answer kOpenat2Answers[] = {
    {"openat2", nullptr},
    {"no openat2 (ENOSYS)", Openat2Missing},
    {"openat2 refused (EPERM)", Openat2Refused},
};

// Puts the kernel's openat2 back when a test ends, however it ends.
struct Openat2StandIn {
    explicit Openat2StandIn(Openat2Call call) { SetOpenat2ForTests(call); }
    ~Openat2StandIn() { SetOpenat2ForTests(nullptr); }
    Openat2StandIn(const Openat2StandIn&) = delete;
    Openat2StandIn& operator=(const Openat2StandIn&) = delete;
};
