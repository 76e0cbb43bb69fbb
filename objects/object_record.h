// What the object kinds share for their saved records: the message a
// damaged record raises. (Extended reals are written with
// WriteStreamExtended of files/number_text.h.)
#pragma once
#include "files/field_reader.h"
#include "platform/filesystem/stream.h"

#include <string>

// "セーブデータが壊れています" in Shift-JIS.
std::string ObjectRecordMessage();
// A reader of one kind's fields, raising ObjectRecordMessage.
inline FieldReader ObjectRecordReader(TStream& s) { return FieldReader(s, ObjectRecordMessage()); }
