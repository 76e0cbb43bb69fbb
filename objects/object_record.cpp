#include "objects/object_record.h"

#include "platform/text/codepage.h"

std::string ObjectRecordMessage() { return Sjis("セーブデータが壊れています"); }

