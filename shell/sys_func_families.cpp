#include "shell/sys_func_families.h"

#include "engine/project.h"
#include "script/sys_funcs_array.h"
#include "script/sys_funcs_table.h"
#include "script/sys_funcs_text.h"
#include "shell/system_funcs.h"

TSysFuncHandler SysFuncFamilyHandler(TSysFuncFamily family) {
    switch (family) {
    case TSysFuncFamily::Core: return nullptr;  // TSysFuncMan runs these itself
    // Each family returns its dispatcher here as it is built.
    case TSysFuncFamily::Text: return CallTextFunction;
    case TSysFuncFamily::Array: return CallArrayFunction;
    case TSysFuncFamily::Table: return CallTableFunction;
    case TSysFuncFamily::System: return CallSystemFunction;
    }
    return nullptr;
}

void InstallSysFuncFamilies() {
    TSysFuncMan::SetFamilyTable(SysFuncFamilyHandler);
    SetScriptFileExists(ProjectFileExists);
}
