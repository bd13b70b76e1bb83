#pragma once

#include <functional>
#include <string>

using TraceSink = std::function<void(const std::string& line)>;

// Formats one diagnostic line (printf conventions) and appends "\r\n". Lines are dropped unless a
// sink is installed or PELMORA_TRACE=1 is set, which sends them to standard error.
void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Whether DebugTrace lines go anywhere, for callers whose arguments cost something to gather.
bool DebugTraceEnabled();

// Installs a sink and returns the previous one; an empty sink restores the default.
TraceSink SetTraceSink(TraceSink sink);
