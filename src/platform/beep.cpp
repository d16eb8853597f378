#include "platform/beep.h"

namespace platform {

const char* SoundEvent(unsigned type) {
    switch (type) {
        case 0: return "complete";
        case 48: return "dialog-warning";
        case 64: return "dialog-error";
        default: return nullptr;
    }
}

void ThemeSoundBeep::Beep(unsigned type) {
    const char* event = SoundEvent(type);
    if (!event || !PlaySound(event)) Bell();
}

#if defined(_WIN32)
// MessageBeep plays a sound of its own for each type; no theme to play.
bool ThemeSoundBeep::PlaySound(const char*) { return false; }
#endif

}  // namespace platform
