// Which sound each beep type plays, and the bell where none can be played.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/beep.h"

namespace {

class RecordingSounds : public platform::ThemeSoundBeep {
public:
    bool playable = true;
    std::vector<std::string> played;
    int bells = 0;

protected:
    bool PlaySound(const char* event) override {
        played.emplace_back(event);
        return playable;
    }
    void Bell() override { ++bells; }
};

TEST(BeepTest, EachTypePlaysItsThemeEventAndTheBellRingsWhereNoneCanPlay) {
    RecordingSounds sounds;
    platform::SetBeepSink(&sounds);
    for (unsigned type : {0u, 48u, 64u}) platform::MessageBeep(type);
    EXPECT_EQ(sounds.played, (std::vector<std::string>{"complete", "dialog-warning", "dialog-error"}));
    EXPECT_EQ(sounds.bells, 0);
    sounds.playable = false;
    platform::MessageBeep(48);
    platform::MessageBeep(16);  // not one of the three: no event at all
    EXPECT_EQ(sounds.played.size(), 4u);
    EXPECT_EQ(sounds.bells, 2);
    platform::SetBeepSink(nullptr);

    // The names are the freedesktop theme's own.
    const std::filesystem::path theme = "/usr/share/sounds/freedesktop/stereo";
    if (!std::filesystem::is_directory(theme)) GTEST_SKIP() << "no sound theme (Debian: sound-theme-freedesktop)";
    for (const std::string& event : std::vector<std::string>(sounds.played.begin(), sounds.played.begin() + 3))
        EXPECT_TRUE(std::filesystem::exists(theme / (event + ".oga"))) << event;
}

}  // namespace
