#pragma once

#include <string>

class CTextString;

// The running program's file version as "a.b.c.d", read from the version record in its own
// program file. Returns false, leaving out as it was, when the file has no such record.
bool GetModuleVersionString(CTextString& out);

// The same for any program file; the routine above asks it about /proc/self/exe.
bool GetFileVersionString(const std::string& programPath, CTextString& out);
