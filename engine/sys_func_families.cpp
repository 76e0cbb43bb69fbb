#include "engine/sys_func_families.h"

TSysFuncHandler SysFuncFamilyHandler(TSysFuncFamily family) {
    switch (family) {
    case TSysFuncFamily::Core: return nullptr;  // TSysFuncMan runs these itself
    // Each family returns its dispatcher here as it is built.
    case TSysFuncFamily::Text:
    case TSysFuncFamily::Array:
    case TSysFuncFamily::Table:
    case TSysFuncFamily::System: return nullptr;  // not built yet
    }
    return nullptr;
}

void InstallSysFuncFamilies() { TSysFuncMan::SetFamilyTable(SysFuncFamilyHandler); }
