// Small helpers for tests that compare stored bytes.
#pragma once
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"

#include <fstream>
#include <sstream>
#include <string>

// The whole content of a file given by the system's own path ("" when
// missing).
inline std::string ReadNativeFileBytes(const std::string& native_path) {
    std::ifstream f(native_path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// The whole content of a file given by game path ("" when missing).
inline std::string ReadFileBytes(const std::string& path) { return ReadNativeFileBytes(NativePath(path)); }

// The whole content of a stream, read from position 0.
inline std::string StreamBytes(TStream& s) {
    std::string r(static_cast<size_t>(s.GetSize()), '\0');
    s.SetPosition(0);
    s.ReadBuffer(r.data(), static_cast<int64_t>(r.size()));
    return r;
}
