// Checked reads of the saved object records. These records carry no
// lengths of their own, so every field is checked against the bytes left:
// a truncated record raises ECorruptData instead of reading zeros.
#pragma once
#include <cstdint>
#include <string>

class TStream;

int32_t ReadStoredInt(TStream& s);
uint32_t ReadStoredU32(TStream& s);
uint8_t ReadStoredByte(TStream& s);
std::string ReadStoredString(TStream& s);
void ReadStoredBytes(TStream& s, void* buffer, int32_t count);
