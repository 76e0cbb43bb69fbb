// The display-object, screen and system family of built-in functions:
// properties, checks and enabled states of named objects, coordinate
// conversion, object lists, the active layer, display modes, save-slot
// captions, variables by name, expressions given as text, file existence,
// screen shots written as layered images, and web addresses opened in the
// browser.
#pragma once
#include "script/sys_funcs.h"

#include <cstdint>

void CallSystemFunction(TSysFuncMan& self, TParamCollectionItem& dest, uint8_t index, TSysFuncArgs args);

// SaveScreen refuses a picture wider or taller than this: a screen shot
// never needs more, and a script's typo must not allocate gigabytes.
constexpr int32_t kMaxScreenShotSide = 4096;
