#include "platform/system/trace.h"
#include "platform/filesystem/filesys.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

void (*VorqLogWrite)(const char* line) = nullptr;

namespace {
std::mutex trace_mutex;
std::FILE* trace_file = nullptr;

void write_hook(const char* line) { TraceWrite(line ? line : ""); }
}  // namespace

bool TraceStartFromEnvironment() {
    const char* v = std::getenv("VORQ_TRACE");
    if (!v) return false;
    std::string value = v;
    if (value.empty() || value == "1") return TraceInit(NativePath(ExeFolder() + "dbglog.txt"));
    return TraceInit(value);
}

bool TraceInit(const std::string& path) {
    TraceFinal();
    std::lock_guard lock(trace_mutex);
    trace_file = std::fopen(path.c_str(), "wb");
    if (!trace_file) return false;
    VorqLogWrite = &write_hook;
    return true;
}

void TraceWrite(const std::string& line) {
    std::lock_guard lock(trace_mutex);
    if (!trace_file) return;
    std::fwrite(line.data(), 1, line.size(), trace_file);
    std::fputs("\r\n", trace_file);
    std::fflush(trace_file);
}

void TraceFinal() {
    std::lock_guard lock(trace_mutex);
    VorqLogWrite = nullptr;
    if (trace_file) std::fclose(trace_file);
    trace_file = nullptr;
}
