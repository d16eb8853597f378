// Whether a standard stream goes to a terminal (a live progress line) or to
// a file or pipe (one line per text).
#pragma once

#include <cstdio>
#include <ctime>

namespace platform {

bool IsTerminal(std::FILE* stream);
// The console shows what the program writes as UTF-8 (Windows' console
// doesn't by itself; elsewhere there is nothing to do).
void UseUtf8Console();
// The bytes go out as written: no CR put before a LF.
void BinaryOutput(std::FILE* stream);
// The calendar time in UTC.
std::tm UtcCalendar(std::time_t t);

}  // namespace platform
