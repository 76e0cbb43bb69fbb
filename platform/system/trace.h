// The command trace: one text line per call into a file, when tracing is
// on. The engine writes through the hook, which is null while tracing is
// off:  if (VorqLogWrite) VorqLogWrite(line);
#pragma once
#include <string>

extern void (*VorqLogWrite)(const char* line);

// Starts tracing when the environment variable VORQ_TRACE is set: its value
// names the file unless it is empty or "1", which mean "dbglog.txt" beside
// the executable. Returns whether tracing is on.
bool TraceStartFromEnvironment();
// Opens (truncates) the trace file and sets the hook; returns false and
// leaves tracing off when the file cannot be made. The path is native.
bool TraceInit(const std::string& path);
// Appends one line (Shift-JIS bytes as given) and a line break, flushed at
// once so that the trace survives a crash. Nothing when tracing is off.
void TraceWrite(const std::string& line);
// Closes the file and clears the hook.
void TraceFinal();
