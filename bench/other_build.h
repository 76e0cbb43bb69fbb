// Stress benchmarks that compare with another build's code in the same run:
// the benchmark program, built beside that code and named by an
// environment variable, plays the same stress in a process of its own, as
// this program does its own (the player has one sound device and module a
// process).
#pragma once
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <type_traits>

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

// What the program's stress (run with "--stress arg") gave, handed back
// as the bytes of a plain struct in hex; value-initialised when it failed.
template <class Result>
Result StressIn(const std::string& program, int64_t arg) {
    static_assert(std::is_trivially_copyable_v<Result>);
    const std::string out = ProgramOutput(program, "--stress " + std::to_string(arg));
    std::array<unsigned char, sizeof(Result)> bytes{};
    if (out.size() < 2 * bytes.size()) return Result{};
    for (size_t i = 0; i < bytes.size(); ++i)
        if (std::sscanf(out.c_str() + 2 * i, "%2hhx", &bytes[i]) != 1) return Result{};
    Result r;
    std::memcpy(&r, bytes.data(), sizeof r);
    return r;
}

// A row: this program's stress, or (other_variable given) that of the other
// build the variable names, skipped when it names none.
template <class Result>
void StressRow(benchmark::State& st, const char* other_variable, void (*report)(benchmark::State&, const Result&)) {
    std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
    if (other_variable) {
        const char* other = std::getenv(other_variable);
        if (!other) {
            st.SkipWithError((std::string(other_variable) + " names no program").c_str());
            for (auto _ : st) {
            }
            return;
        }
        program = other;
    }
    Result r{};
    for (auto _ : st) r = StressIn<Result>(program, st.range(0));
    report(st, r);
}

// main () of such a program: the stress play (arg) when asked for, else
// the benchmarks.
template <class Result>
int StressMain(int argc, char** argv, Result (*play)(int64_t)) {
    if (argc == 3 && std::strcmp(argv[1], "--stress") == 0) {
        const Result r = play(std::atoll(argv[2]));
        unsigned char bytes[sizeof r];
        std::memcpy(bytes, &r, sizeof r);
        for (unsigned char b : bytes) std::printf("%02x", b);
        std::printf("\n");
        std::fflush(stdout);
        std::_Exit(0);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
