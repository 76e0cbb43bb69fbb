// The record of a plain control (name, no children, every field at rest)
// as a save of the given version holds it, for tests of the version gates
// of the kinds' own fields that follow it.
#pragma once
#include "files/save_stream.h"
#include "platform/filesystem/stream.h"

#include <string>

inline void WriteOldControlRecord(TStream& s, int32_t version, const std::string& name) {
    WriteStreamString(s, name);
    WriteStreamInteger(s, 0);                     // priority
    if (version >= 104) WriteStreamInteger(s, 0);  // order
    if (version >= 120) WriteStreamString(s, "");  // tag
    for (int i = 0; i < 6; ++i) WriteStreamInteger(s, 0);  // left, top, width, height, offsets
    WriteStreamByte(s, 0);                                 // position zoomed
    if (version >= 130)
        for (int i = 0; i < 4; ++i) WriteStreamInteger(s, 0);  // motion and plus positions
    if (version >= 104) {
        for (int i = 0; i < 4; ++i) WriteStreamInteger(s, 0);  // clip
        WriteStreamByte(s, 0);                                 // animation paused
    }
    WriteStreamByte(s, 1);                                 // visible
    WriteStreamInteger(s, 0);                              // colour
    for (int i = 0; i < 4; ++i) WriteStreamInteger(s, 0);  // part rectangle
    WriteStreamByte(s, 0);                                 // ignore mouse
    WriteStreamString(s, "");                              // cursor
    WriteStreamString(s, "");                              // on mouse move
    if (version >= 102) WriteStreamString(s, "");          // on mouse in
    for (int i = 0; i < 7; ++i) WriteStreamString(s, "");  // mouse out .. wheel up
    if (version >= 118) {
        WriteStreamByte(s, 0);
        for (int i = 0; i < 5; ++i) WriteStreamString(s, "");
    }
    WriteStreamInteger(s, 0);  // children
}
