// The save-stream primitives every stored object is written with:
// a string is a u32 length and its bytes, an integer 4 bytes little-endian,
// a byte (or boolean) one byte.
#pragma once
#include "platform/stream.h"

#include <cstdint>
#include <string>

void WriteStreamString(TStream& s, const std::string& v);
void WriteStreamInteger(TStream& s, int32_t v);
void WriteStreamByte(TStream& s, uint8_t v);

// At the end of the stream an integer or byte reads as 0. A string length
// of 0 or less gives ""; a length beyond the bytes left raises ECorruptData
// instead of allocating it.
std::string ReadStreamString(TStream& s);
int32_t ReadStreamInteger(TStream& s);
uint8_t ReadStreamByte(TStream& s);

// Copies count bytes from source's position into dest and returns count.
// count 0 means the whole source from its position 0. Stops early when the
// source runs dry rather than repeating a read that yields nothing.
int64_t CopyStream(TStream& dest, TStream& source, int64_t count);
