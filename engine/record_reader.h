// Strict readers of page records and saved object records: every field
// beyond the bytes left raises ECorruptData, so a truncated record never
// reads as zeros. Pages, scene records and the event queue share them.
#pragma once
#include "platform/stream.h"

#include <cstdint>
#include <memory>
#include <string>

class TVorqParser;

uint32_t ReadRecordU32(TStream& s);
int32_t ReadRecordI32(TStream& s);
uint8_t ReadRecordU8(TStream& s);
std::string ReadRecordString(TStream& s);
std::unique_ptr<TVorqParser> ReadRecordExpr(TStream& s);
[[noreturn]] void RaiseTruncatedRecord();
