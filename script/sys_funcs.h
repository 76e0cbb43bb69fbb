// The built-in functions that expressions call by name: the 140-row table
// the compiler checks names and argument counts against, and the
// dispatcher that the evaluator hands an ocFunc operation to. Logic, number,
// random and date functions are done here; the other families (text,
// arrays, typed tables, display objects and system) live in their own
// modules, and the player's table of them (shell/sys_func_families.h) is
// installed through TSysFuncMan::SetFamilyTable at start-up.
#pragma once
#include "script/param.h"

#include <cstdint>
#include <span>
#include <string_view>

class TParamCollectionItem;

enum class TSysFuncFamily : uint8_t { Core, Text, Array, Table, System };

struct TSysFuncInfo {
    const char* name;
    int32_t min_args;
    int32_t max_args;  // -1: no maximum
    uint8_t result;    // PT_ code of the result
    TSysFuncFamily family;
};

constexpr int kSysFuncCount = 140;
extern const TSysFuncInfo SysFuncTable[kSysFuncCount];

// Exact, case-sensitive look-up among the 140 names.
bool FindSysFuncIndex(std::string_view name, uint8_t& index);

using TSysFuncArgs = std::span<TCustomParam* const>;

class TSysFuncMan;
// A family's dispatcher: runs function `index` (one of its own rows) with
// the arguments, writing its result into dest with dest's typed setters.
using TSysFuncHandler = void (*)(TSysFuncMan& self, TParamCollectionItem& dest, uint8_t index, TSysFuncArgs args);

class TSysFuncMan {
public:
    // Runs function `index` (above 139: nothing). A function of a family
    // with no handler raises "<name>:この関数は使用できません".
    void CallFunction(TParamCollectionItem& dest, uint8_t index, TSysFuncArgs args);
    // The dispatchers of the families other than Core: family → handler,
    // null for a family this player does not have.
    using TFamilyTable = TSysFuncHandler (*)(TSysFuncFamily family);
    static void SetFamilyTable(TFamilyTable table);
    // Test seam: a dispatcher for one family that takes precedence over the
    // installed table; nullptr removes it again.
    static void SetFamilyHandler(TSysFuncFamily family, TSysFuncHandler handler);
};

// The function holder made at start-up; SysFuncMan() falls back to a
// built-in instance while there is none.
extern TSysFuncMan* SysFuncs;
TSysFuncMan& SysFuncMan();
