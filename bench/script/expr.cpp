// Evaluation of compiled expressions: an increment statement, an array
// element expression and a built-in function call, with 100 and 10,000
// variables in the table, against Lua 5.4 running the same statements as
// precompiled chunks with the same number of globals. Counters: heap
// allocations per evaluation (operator new here, the allocator for Lua).
#include "script/param_collection.h"
#include "script/parser.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#ifdef HAVE_LUA
extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}
#endif

namespace {
std::atomic<uint64_t> g_allocations{0};
}

// Counting replacement of the global allocator (malloc and free behind it).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

struct Case {
    const char* ours;
    const char* lua;
};
// The same work in both languages (Lua arrays start at 1).
const Case kCases[] = {
    {"i = i + 1", "i = i + 1"},
    {"a[i % 10, 1] * 2 + 1", "return a[i % 10 + 1][2] * 2 + 1"},
    {"Max(i, 3) + Abs(j)", "return math.max(i, 3) + math.abs(j)"},
};

void report_allocations(benchmark::State& state, uint64_t before) {
    state.counters["allocs/eval"] =
        static_cast<double>(g_allocations.load() - before) / static_cast<double>(state.iterations());
}

void BM_Evaluate(benchmark::State& state) {
    const Case& c = kCases[state.range(0)];
    const int vars = static_cast<int>(state.range(1));
    TParamCollection table;
    Params = &table;
    for (int k = 0; k < vars; ++k) table.AddVariable(PT_INT)->SetName("v" + std::to_string(k));
    table.AddVariable(PT_INT)->SetName("i");
    table.AddVariable(PT_INT)->SetName("j");
    auto* a = table.AddVariable(PT_INT);
    a->SetName("a");
    int32_t dims[] = {10, 2};
    a->SetDims(dims);
    for (int k = 0; k < 20; ++k) a->SetIntAt(k, k);

    TVorqParser p;
    CompileExpression(p, c.ours);
    p.Evaluate();  // steady state: temporaries and caches made once
    uint64_t before = g_allocations.load();
    for (auto _ : state) {
        p.Evaluate();
        benchmark::DoNotOptimize(p.Result());
    }
    report_allocations(state, before);
    state.SetLabel(c.ours);
    Params = nullptr;
}
BENCHMARK(BM_Evaluate)->ArgsProduct({{0, 1, 2}, {100, 10000}});

#ifdef HAVE_LUA
std::atomic<uint64_t> g_lua_allocations{0};

void* lua_alloc(void*, void* ptr, size_t, size_t nsize) {
    if (nsize == 0) {
        std::free(ptr);
        return nullptr;
    }
    g_lua_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::realloc(ptr, nsize);
}

void BM_Lua(benchmark::State& state) {
    const Case& c = kCases[state.range(0)];
    const int vars = static_cast<int>(state.range(1));
    lua_State* L = lua_newstate(lua_alloc, nullptr);
    luaL_openlibs(L);
    for (int k = 0; k < vars; ++k) {
        lua_pushinteger(L, 0);
        lua_setglobal(L, ("v" + std::to_string(k)).c_str());
    }
    luaL_dostring(L, "i = 0 j = 0 a = {} for r = 1, 10 do a[r] = {2 * r - 2, 2 * r - 1} end");
    if (luaL_loadstring(L, c.lua) != LUA_OK) state.SkipWithError("Lua chunk did not compile");
    int chunk = luaL_ref(L, LUA_REGISTRYINDEX);
    uint64_t before = g_lua_allocations.load();
    for (auto _ : state) {
        lua_rawgeti(L, LUA_REGISTRYINDEX, chunk);
        lua_call(L, 0, 1);
        benchmark::DoNotOptimize(lua_tointeger(L, -1));
        lua_pop(L, 1);
    }
    state.counters["allocs/eval"] =
        static_cast<double>(g_lua_allocations.load() - before) / static_cast<double>(state.iterations());
    state.SetLabel(c.lua);
    lua_close(L);
}
BENCHMARK(BM_Lua)->ArgsProduct({{0, 1, 2}, {100, 10000}});
#endif

}  // namespace

BENCHMARK_MAIN();
