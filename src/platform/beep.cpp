#include "platform/beep.h"

namespace platform {

bool PlayThemeSound(const char* event);

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

bool ThemeSoundBeep::PlaySound(const char* event) { return PlayThemeSound(event); }

}  // namespace platform
