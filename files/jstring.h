// Shift-JIS string routines: counting, cutting, searching and trimming by
// characters rather than bytes, half-width/full-width conversion, and
// EUC-JP to Shift-JIS. Character and byte indexes are 1-based, as scripts
// see them. A lone lead byte at the end of a text counts as one character.
#pragma once
#include <string>
#include <string_view>

// Byte index (1-based) where character CharIndex starts; past the end gives
// the index just after the last byte.
int JCharToByteIndex(std::string_view S, int CharIndex);

// True when the byte at Index (1-based) is the trail byte of a two-byte
// character. Raises Exception "Illegal Index" outside 1..length.
bool JIsTrailByte(std::string_view S, int Index);

int JLength(std::string_view S);

// Character position of the first occurrence of Substr starting at a
// character start of S; 0 when absent or when Substr is empty.
int JPos(std::string_view Substr, std::string_view S);

// Characters Index .. Index+Count-1 of S.
std::string JCopy(std::string_view S, int Index, int Count);

// Inserts Source before character Index (below 1 counts as 1; past the end
// appends).
void JInsert(std::string_view Source, std::string& S, int Index);

// Deletes Count characters from character Index (below 1 counts as 1; past
// the end leaves S alone).
void JDelete(std::string& S, int Index, int Count);

// Token := S up to the first byte (not a trail byte) found in Delimiters;
// Token and that delimiter leave S. Without a delimiter all of S is taken.
void JFetchToken(std::string& S, std::string_view Delimiters, std::string& Token);

// Half-width spaces and full-width spaces (0x81 0x40).
void JTrimLeft(std::string& S);
void JTrimRight(std::string& S);
std::string JTrim(std::string_view S);

// The byte at the character's start, or lead*256 + trail; 0 outside the text.
int JCharCodeAt(std::string_view S, int CharIndex);

std::string HanToZen(std::string_view S);
std::string ZenToHan(std::string_view S);

// Shift-JIS bytes of the JIS X 0208 code Row/Cell (both 0x21..0x7E).
std::string JisToShiftJis(int Row, int Cell);
std::string EucJpToShiftJis(std::string_view S);
