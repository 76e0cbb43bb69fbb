// Runs a shell command line and gathers what it writes to its standard
// output (add 2>&1 to the line for its errors too) and how it ended.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>

struct CommandOutcome {
    int Status = -1;  // the exit status; -1 when it did not start or did not exit
    std::string Output;
};

inline CommandOutcome RunCommand(const std::string& cmd) {
    CommandOutcome o;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return o;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) o.Output.append(buf, n);
    const int st = pclose(p);
    o.Status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return o;
}
