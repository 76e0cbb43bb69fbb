// The save-stream primitives every stored object is written with:
// a string is a u32 length and its bytes, an integer 4 bytes little-endian,
// a byte (or boolean) one byte.
#pragma once
#include "platform/filesystem/stream.h"

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

// The same four under the names some units use.
inline void WriteStringToStream(TStream& s, const std::string& v) { WriteStreamString(s, v); }
inline std::string ReadStringFromStream(TStream& s) { return ReadStreamString(s); }
inline void WriteIntegerToStream(TStream& s, int32_t v) { WriteStreamInteger(s, v); }
inline int32_t ReadIntegerFromStream(TStream& s) { return ReadStreamInteger(s); }

// Copies count bytes from source's position into dest and returns the bytes
// copied, fewer when the source runs dry (a read that yields nothing ends
// the copy). CAUTION: count 0 means the whole source from its position 0,
// as the stored callers expect. A count that was computed (a size, a
// remainder) must go through CopyStreamBytes, where 0 copies nothing.
int64_t CopyStream(TStream& dest, TStream& source, int64_t count);
// The whole source from its position 0.
int64_t CopyStreamAll(TStream& dest, TStream& source);
// Exactly up to count bytes from source's position; count <= 0 copies nothing.
int64_t CopyStreamBytes(TStream& dest, TStream& source, int64_t count);
