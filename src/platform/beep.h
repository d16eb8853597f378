// System message beep: type 0 (default), 48 (exclamation), 64 (asterisk).
#pragma once

namespace platform {

class BeepSink {
public:
    virtual ~BeepSink() = default;
    virtual void Beep(unsigned type) = 0;
};

void MessageBeep(unsigned type);
// The window installs one that rings through the toolkit; tests record.
// nullptr puts the OS beep back.
void SetBeepSink(BeepSink* sink);

}  // namespace platform
