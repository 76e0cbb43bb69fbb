// The array family of built-in functions: shape, fill, copy, join and
// split, search and sort of array variables, and text files read into them.
#pragma once
#include "script/sys_funcs.h"

#include <string>
#include <vector>

void CallArrayFunction(TSysFuncMan& self, TParamCollectionItem& dest, uint8_t index, TSysFuncArgs args);

// Pieces of a text: with the CR LF delimiter by lines (CR, LF or CR LF; a
// final break adds no empty line), else by single-byte delimiter characters
// that never match a trail byte.
// How LoadTextFile and DBLoadTsvFile ask whether a game file exists: the
// player installs the project's test (which may ask for another disc);
// without one, the file manager is asked.
using TScriptFileExists = bool (*)(const std::string& name);
void SetScriptFileExists(TScriptFileExists fn);
bool ScriptFileExists(const std::string& name);

std::vector<std::string> SplitScriptText(const std::string& s, const std::string& delim);
