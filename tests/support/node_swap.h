// A process that keeps exchanging two names every 200 us until it is
// stopped, as a careless or hostile program may swap a save file with a
// FIFO or a device node while the player saves.
#pragma once
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

class NodeSwapper {
public:
    NodeSwapper(const std::string& a, const std::string& b) {
        pid_ = fork();
        if (pid_ == 0) {
            for (;;) {
                ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE);
                ::usleep(200);
            }
        }
    }
    ~NodeSwapper() { Stop(); }
    NodeSwapper(const NodeSwapper&) = delete;
    NodeSwapper& operator=(const NodeSwapper&) = delete;
    bool Started() const { return pid_ > 0; }
    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

// One of the two names holds the node of that type, the other a regular
// file: nothing was put where the node stood.
inline void ExpectNodeAndFile(const std::string& a, const std::string& b, mode_t type) {
    int nodes = 0;
    for (const std::string& name : {a, b}) {
        struct stat st {};
        ASSERT_EQ(::lstat(name.c_str(), &st), 0) << name;
        if ((st.st_mode & S_IFMT) == (type & S_IFMT)) {
            ++nodes;
        } else {
            EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
        }
    }
    EXPECT_EQ(nodes, 1);
}

struct SwappedNode {
    const char* What;
    mode_t Type;
    dev_t Dev;
};
// A FIFO, and a device that reads without end (/dev/zero's numbers) when
// this runs as root, the only user who makes device nodes.
inline std::vector<SwappedNode> NodesToSwap() {
    std::vector<SwappedNode> nodes{{"a FIFO", S_IFIFO | 0666, 0}};
    if (::geteuid() == 0) nodes.push_back({"a device", S_IFCHR | 0666, makedev(1, 5)});
    return nodes;
}
