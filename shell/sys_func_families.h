// The built-in function families this player is built with. Core (logic,
// numbers, random, dates) is part of TSysFuncMan itself; the dispatchers of
// the other families come from this table, which InstallSysFuncFamilies
// hands to TSysFuncMan (the player's start-up calls it through
// InstallPlayerModules).
#pragma once
#include "script/sys_funcs.h"

// A family's dispatcher, or null for a family this player does not have
// (its functions then raise "<name>:この関数は使用できません").
TSysFuncHandler SysFuncFamilyHandler(TSysFuncFamily family);
void InstallSysFuncFamilies();
