// Shared by the fuzz targets: each target feeds the fuzzer's bytes to one
// reader of stored data as a stream at position 0. A reader may refuse the
// bytes with one of our exceptions; anything else (a crash, a standard
// exception, a sanitizer report, a hang or a huge allocation) is a fault.
#pragma once
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <cstddef>
#include <cstdint>

inline TMemoryStream InputStream(const uint8_t* data, size_t size) {
    TMemoryStream s;
    if (size) s.WriteBuffer(data, static_cast<int64_t>(size));
    s.SetPosition(0);
    return s;
}

template <class Read>
void Refusable(Read&& read) {
    try {
        read();
    } catch (const Exception&) {
    }
}
