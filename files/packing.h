// The zlib packing of archive entries and layered-image blocks: a memory
// stream's whole content is replaced by its deflated (level 1, zlib header
// and checksum) or inflated form.
#pragma once
#include "platform/stream.h"

void CompressStream(TMemoryStream& s);
// Raises ECorruptData on corrupt or truncated data; the stream is then left
// as it was. Bytes after the end of the zlib stream are ignored.
void DecompressStream(TMemoryStream& s);
