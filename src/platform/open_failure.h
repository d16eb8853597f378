// What the last failed open of a device saw. The OS serial service notes it;
// OpenFailureReason (ports.h) puts it into words for the user.
#pragma once

#include <optional>
#include <string>

namespace platform {

enum class OpenStep {
    Open,       // the open call itself
    Exclusive,  // TIOCEXCL
    Lock,       // flock
    Setup,      // not a terminal, or its line settings can't be read or set
};

struct OpenFailure {
    OpenStep step = OpenStep::Open;
    int error = 0;  // errno; on Windows the GetLastError() of CreateFile
};

void NoteOpenFailure(const std::string& device, OpenFailure failure);
// A device that opened has no failure to tell of any more.
void ForgetOpenFailure(const std::string& device);
std::optional<OpenFailure> LastOpenFailure(const std::string& device);

}  // namespace platform
