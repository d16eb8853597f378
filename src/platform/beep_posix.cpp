#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/beep.h"
#include "platform/console.h"

#if defined(VELKOR_HAVE_CANBERRA)
#include <canberra.h>
#endif

namespace platform {

namespace {

#if defined(VELKOR_HAVE_CANBERRA)
// A sound server or an ALSA playback device. Without either, libcanberra
// still takes the sound, fails in its own thread and prints ALSA's complaints.
bool SoundOutputExists() {
    if (std::getenv("PULSE_SERVER")) return true;
    std::error_code ec;
    if (const char* run = std::getenv("XDG_RUNTIME_DIR");
        run && std::filesystem::exists(std::filesystem::path(run) / "pulse" / "native", ec))
        return true;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/snd", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("pcmC", 0) == 0 && name.back() == 'p') return true;
    }
    return false;
}

// One connection to the sound service for the process, made at the first sound.
class Sounds {
public:
    ~Sounds() {
        if (!context_) return;
        // A program that ends right after its last beep (the command line
        // does) would cut it off: let it finish, within reason.
        for (int i = 0; i < 100; ++i) {
            int playing = 0;
            if (ca_context_playing(context_, last_, &playing) != CA_SUCCESS || !playing) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ca_context_destroy(context_);
    }
    bool Play(const char* event) {
        if (!tried_) {
            tried_ = true;
            if (!SoundOutputExists() || ca_context_create(&context_) != CA_SUCCESS) context_ = nullptr;
            if (context_)
                ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Velkor Programmer",
                                        CA_PROP_APPLICATION_ID, "velkor", nullptr);
        }
        if (!context_) return false;
        return ca_context_play(context_, ++last_, CA_PROP_EVENT_ID, event, nullptr) == CA_SUCCESS;
    }

private:
    ca_context* context_ = nullptr;
    bool tried_ = false;
    std::uint32_t last_ = 0;
};
#endif

// The command line's beep: the terminal's bell where no sound plays.
class TerminalBeep : public ThemeSoundBeep {
    void Bell() override {
        const char bel = '\a';
        [[maybe_unused]] ssize_t n = write(STDERR_FILENO, &bel, 1);
    }
};

}  // namespace

bool ThemeSoundBeep::PlaySound(const char* event) {
#if defined(VELKOR_HAVE_CANBERRA)
    static Sounds sounds;
    return sounds.Play(event);
#else
    (void)event;
    return false;
#endif
}

// Only for someone at the terminal: scripts, logs and test runs stay quiet.
// The window installs a beep of its own.
void OsMessageBeep(unsigned type) {
    static TerminalBeep beep;
    if (IsTerminal(stderr)) beep.Beep(type);
}

void UseWindowBeep(void (*bell)()) {
    class WindowBeep : public ThemeSoundBeep {
    public:
        void (*ring)() = nullptr;

    private:
        void Bell() override { ring(); }
    };
    static WindowBeep beep;
    beep.ring = bell;
    SetBeepSink(&beep);
}

}  // namespace platform
