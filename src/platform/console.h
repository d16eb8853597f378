// Whether a standard stream goes to a terminal (a live progress line) or to
// a file or pipe (one line per text).
#pragma once

#include <cstdio>

namespace platform {

bool IsTerminal(std::FILE* stream);

}  // namespace platform
