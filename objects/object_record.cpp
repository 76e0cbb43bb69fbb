#include "objects/object_record.h"

#include "platform/codepage.h"

std::string ObjectRecordMessage() { return Sjis("セーブデータが壊れています"); }

