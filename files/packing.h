// The zlib packing of archive entries and layered-image blocks: a memory
// stream's whole content is replaced by its deflated (level 1, zlib header
// and checksum) or inflated form.
#pragma once
#include "platform/filesystem/stream.h"

#include <cstddef>
#include <cstdint>

// The most an archive entry or packed block may unpack to. The archive
// writer packs only entries below 5 MiB (larger ones are stored raw) and
// layered images whose pixels are stored uncompressed; more than this is
// damage, not content to allocate.
inline constexpr int64_t kMaxUnpackedSize = int64_t{256} << 20;

void CompressStream(TMemoryStream& s);
// Inflates the zlib stream in[0, n) straight into out, whose content it
// replaces (position 0). Content beyond limit bytes, or beyond what n
// packed bytes can hold, and corrupt or truncated data raise ECorruptData
// and leave out empty. Bytes after the end of the zlib stream are ignored,
// unless to_the_end asks that the stream end at in[n - 1].
void InflateTo(const uint8_t* in, size_t n, TMemoryStream& out, int64_t limit = kMaxUnpackedSize,
               bool to_the_end = false);
// Inflates a zlib stream whose content size is known into out[0, size):
// false unless it is intact and unpacks to exactly size bytes.
bool InflateExactly(const uint8_t* in, size_t n, uint8_t* out, size_t size);
// The same in place; on failure the stream is left as it was.
void DecompressStream(TMemoryStream& s);
