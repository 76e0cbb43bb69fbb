// Array functions on 100,000 elements (goal: each call under 50 ms):
// SortStr against a bare std::sort of the same texts with the same
// comparison, IndexOfStr against a bare loop of equal-text tests and, when
// partial, of byte searches.
#include "script/param.h"
#include "script/sys_funcs.h"
#include "shell/sys_func_families.h"
#include "script/param_collection.h"
#include "platform/text/codepage.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int32_t kElements = 100000;

std::vector<std::string> texts() {
    std::vector<std::string> v(kElements);
    uint32_t x = 2463534242u;
    for (auto& s : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s = "Item" + std::to_string(x % 1000003u) + (x & 1 ? "abc" : "XYZ");
    }
    return v;
}

// An array variable, reached through a reference as scripts reach it.
struct ArrayVar {
    TParamCollection table;
    TParamCollectionItem* item;
    TParamVar ref{"arr"};
    ArrayVar() {
        Params = &table;
        item = table.AddVariable(PT_STR);
        item->SetName("arr");
        const int32_t dims[] = {kElements};
        item->SetDims(dims);
        ref.Link(table);
        InstallSysFuncFamilies();
    }
    ~ArrayVar() { Params = nullptr; }
    void fill(const std::vector<std::string>& v) {
        for (int32_t i = 0; i < kElements; ++i) item->SetStrAt(i, v[static_cast<size_t>(i)]);
    }
    void call(const char* name, std::vector<TCustomParam*> args) {
        uint8_t index = 0;
        FindSysFuncIndex(name, index);
        TParamCollectionItem dest;
        dest.SetType(PT_INT);
        SysFuncMan().CallFunction(dest, index, args);
        benchmark::DoNotOptimize(dest.GetAsInt());
    }
};

void BM_SortStr(benchmark::State& state) {
    const auto v = texts();
    ArrayVar a;
    for (auto _ : state) {
        state.PauseTiming();
        a.fill(v);
        state.ResumeTiming();
        a.call("SortStr", {&a.ref});
    }
}
BENCHMARK(BM_SortStr)->Unit(benchmark::kMillisecond);

void BM_SortStr_Peer_StdSort(benchmark::State& state) {
    const auto v = texts();
    for (auto _ : state) {
        state.PauseTiming();
        auto w = v;
        state.ResumeTiming();
        std::sort(w.begin(), w.end(), [](const std::string& x, const std::string& y) { return AnsiCompareText(x, y) < 0; });
        benchmark::DoNotOptimize(w.data());
    }
}
BENCHMARK(BM_SortStr_Peer_StdSort)->Unit(benchmark::kMillisecond);

void BM_IndexOfStr(benchmark::State& state) {
    const auto v = texts();
    ArrayVar a;
    a.fill(v);
    TParamStr missing;
    missing.SetAsString("not there");
    TParamFlag flag, partial;
    flag.SetAsBool(state.range(0) != 0);
    partial.SetAsBool(state.range(1) != 0);
    for (auto _ : state) a.call("IndexOfStr", {&a.ref, &missing, &flag, &partial});
    state.SetLabel(std::string(state.range(0) ? "case-sensitive" : "ignoring case") + (state.range(1) ? ", partial" : ""));
}
BENCHMARK(BM_IndexOfStr)->Args({1, 0})->Args({0, 0})->Args({1, 1})->Args({0, 1})->Unit(benchmark::kMillisecond);

void BM_IndexOfStr_Peer_Loop(benchmark::State& state) {
    const auto v = texts();
    const std::string missing = "not there";
    for (auto _ : state) {
        int found = -1;
        for (size_t i = 0; i < v.size(); ++i)
            if (v[i] == missing) {
                found = static_cast<int>(i);
                break;
            }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_IndexOfStr_Peer_Loop)->Unit(benchmark::kMillisecond);

// The partial search's peer: a bare loop of byte searches.
void BM_IndexOfStr_Peer_FindLoop(benchmark::State& state) {
    const auto v = texts();
    const std::string missing = "not there";
    for (auto _ : state) {
        int found = -1;
        for (size_t i = 0; i < v.size(); ++i)
            if (v[i].find(missing) != std::string::npos) {
                found = static_cast<int>(i);
                break;
            }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_IndexOfStr_Peer_FindLoop)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
