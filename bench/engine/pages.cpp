// The page runner against Lua 5.4 on the same loop, and page loading
// against merely copying the page's bytes.
//
// Loop: i = 0; while i < 1000000: i = i + 1, every command with its continue
// flag set, so the whole loop runs inside one frame of the headless runner.
// Each iteration runs three commands (While, Calc, WhileLoop); the counter
// reports ns per command.
#include "engine/call_man.h"
#include "shell/headless_runner.h"
#include "engine/page.h"
#include "script/param_collection.h"
#include "engine/project.h"
#include "engine/scenario_writer.h"
#include "platform/filesystem/filesys.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <vector>

#ifdef HAVE_LUA
extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}
#endif

namespace {

constexpr int kLoopCount = 1000000;

void write_file(const std::string& path, const std::string& bytes) {
    TMemoryStream m;
    m.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    m.SaveToFile(path);
}

std::string loop_game() {
    const std::string folder = PrivateTempFolder() + "bench_pages/";
    ForceDirectories(folder);
    TProjectFileData d;
    d.Title = "bench";
    d.StartPage = "main.vsb";
    TMemoryStream m;
    WriteProjectFile(m, d);
    write_file(folder + "vorq.vpb", std::string(reinterpret_cast<const char*>(m.Memory()), m.GetSize()));
    TPageWriter w;
    w.VarNew("i", PT_INT, "0");
    w.Calc("i = 0");
    w.While("i < " + std::to_string(kLoopCount));
    w.Indent = 1;
    w.Calc("i = i + 1");
    w.EndWhile();
    write_file(folder + "main.vsb", w.Bytes());
    return folder;
}

void BM_PageRunnerWhileCalc(benchmark::State& st) {
    THeadlessRunner runner(loop_game());
    TCallMan& cm = *runner.Project().CallMan;
    for (auto _ : st) {
        cm.Start("main.vsb");
        runner.Frame();
    }
    if (Params->Find("i")->GetAsInt() != kLoopCount) st.SkipWithError("loop did not finish in one frame");
    const double commands = 3.0 * kLoopCount + 3;
    st.counters["ns_per_command"] =
        benchmark::Counter(commands * static_cast<double>(st.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PageRunnerWhileCalc)->Unit(benchmark::kMillisecond)->Iterations(5);

#ifdef HAVE_LUA
void BM_LuaWhileLoop(benchmark::State& st) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    // Globals, as the page's variables are table entries looked up by name.
    const std::string code = "i = 0 while i < " + std::to_string(kLoopCount) + " do i = i + 1 end";
    if (luaL_loadstring(L, code.c_str()) != LUA_OK) st.SkipWithError("lua compile");
    lua_setglobal(L, "loop");
    for (auto _ : st) {
        lua_getglobal(L, "loop");
        lua_call(L, 0, 0);
    }
    lua_close(L);
    const double commands = 3.0 * kLoopCount + 3;
    st.counters["ns_per_command"] =
        benchmark::Counter(commands * static_cast<double>(st.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LuaWhileLoop)->Unit(benchmark::kMillisecond);
#endif

// 10,000 commands of the common kinds: statements, branches, labels, waits.
std::string big_page() {
    TPageWriter w;
    for (int i = 0; i < 10000; ++i) {
        w.Indent = static_cast<uint32_t>(i % 3);
        switch (i % 5) {
        case 0: w.Calc("a = b + " + std::to_string(i)); break;
        case 1: w.If("a > b * 2"); break;
        case 2: w.Label("label" + std::to_string(i)); break;
        case 3: w.Wait("100", "a == 1"); break;
        default: w.Calc("s = \"text\" ++ a"); break;
        }
    }
    return w.Bytes();
}

void BM_LoadPage10000(benchmark::State& st) {
    const std::string bytes = big_page();
    TMemoryStream m;
    m.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    for (auto _ : st) {
        m.SetPosition(0);
        auto page = std::make_unique<TPage>();
        page->LoadFromStream(m, "big.vsb");
        benchmark::DoNotOptimize(page->Count());
        // Freeing the page is not part of loading it.
        st.PauseTiming();
        page.reset();
        st.ResumeTiming();
    }
    st.SetBytesProcessed(st.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_LoadPage10000)->Unit(benchmark::kMicrosecond);

void BM_ReadPageBytes10000(benchmark::State& st) {
    const std::string bytes = big_page();
    TMemoryStream m;
    m.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    for (auto _ : st) {
        m.SetPosition(0);
        std::vector<uint8_t> copy(bytes.size());
        m.ReadBuffer(copy.data(), static_cast<int64_t>(copy.size()));
        benchmark::DoNotOptimize(copy.data());
    }
    st.SetBytesProcessed(st.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ReadPageBytes10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
