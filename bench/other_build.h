// Benchmarks that compare with another build's code in the same run: the
// benchmark program built beside that code, named by an environment
// variable, does the same work in a process of its own.
#pragma once
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// The other build's program that variable names; null, and the benchmark
// skipped, when it names none.
inline const char* OtherBuildProgram(benchmark::State& st, const char* variable) {
    const char* program = std::getenv(variable);
    if (!program) {
        st.SkipWithError((std::string(variable) + " names no program").c_str());
        for (auto _ : st) {
        }
    }
    return program;
}

inline std::string ThisProgram() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

// The first line the program prints when run with args; empty when it
// printed none.
inline std::string ProgramOutput(const std::string& program, const std::string& args) {
    FILE* p = popen(("'" + program + "' " + args).c_str(), "r");
    if (!p) return {};
    std::array<char, 4096> line{};
    const bool got = std::fgets(line.data(), int(line.size()), p) != nullptr;
    pclose(p);
    return got ? std::string(line.data()) : std::string();
}
