// The typed-table family of built-in functions (the names beginning with
// "DB"): tables, columns, rows and cells of the one table manager, searched
// by key arrays, sorted and filled from tab-separated text.
#pragma once
#include "script/sys_funcs.h"

void CallTableFunction(TSysFuncMan& self, TParamCollectionItem& dest, uint8_t index, TSysFuncArgs args);
