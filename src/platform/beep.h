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

// The freedesktop sound theme's event for a beep type, so that a good board
// and a bad one sound apart: "complete" for 0 (a job ended well, a chip was
// recognised), "dialog-warning" for 48 (programming failed, verify found a
// difference), "dialog-error" for 64 (the blank check failed). nullptr for
// any other type.
const char* SoundEvent(unsigned type);

// Plays the sound theme's event of each beep type, and rings the bell where
// no sound can be played (no sound service, no theme, no sound card).
// The window's beeps: the sound theme's events, and bell where none can be
// played. Windows plays a sound of its own for each type: there its beeps
// stay as they are.
void UseWindowBeep(void (*bell)());

class ThemeSoundBeep : public BeepSink {
public:
    void Beep(unsigned type) override;

protected:
    // Starts the event's sound; false when it can't be played. Through
    // libcanberra on Linux; nowhere else.
    virtual bool PlaySound(const char* event);
    virtual void Bell() = 0;
};

}  // namespace platform
