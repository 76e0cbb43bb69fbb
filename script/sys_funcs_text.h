// The text family of built-in functions: lengths, substrings and in-place
// edits by byte and by Shift-JIS character, comparisons, case and width
// conversion, number text and file-name pieces.
#pragma once
#include "script/sys_funcs.h"

void CallTextFunction(TSysFuncMan& self, TParamCollectionItem& dest, uint8_t index, TSysFuncArgs args);

// Longest text StringOfChar builds; a script asking for more gets an error
// instead of exhausting memory.
constexpr size_t kMaxBuiltText = 16u << 20;
// IntToStr and IntToHex pad to at most this many digits.
constexpr int kMaxPadDigits = 32;
