// Which sound each beep type plays, and the bell where none can be played.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/beep.h"

namespace {

class RecordingSounds : public platform::ThemeSoundBeep {
public:
    RecordingSounds() { platform::SetBeepSink(this); }
    ~RecordingSounds() override { platform::SetBeepSink(nullptr); }
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

struct Case {
    unsigned type;
    const char* event;
};
constexpr Case kCases[] = {{0, "complete"}, {48, "dialog-warning"}, {64, "dialog-error"}};

TEST(BeepTest, EachTypePlaysItsEventAndTheBellRingsWhereNoneCanPlay) {
    RecordingSounds sounds;
    for (const Case& c : kCases) {
        platform::MessageBeep(c.type);
        ASSERT_FALSE(sounds.played.empty());
        EXPECT_EQ(sounds.played.back(), c.event) << c.type;
    }
    EXPECT_EQ(sounds.bells, 0);

    sounds.playable = false;
    platform::MessageBeep(48);
    EXPECT_EQ(sounds.bells, 1);
    sounds.played.clear();
    platform::MessageBeep(16);  // not one of the three: no event to play
    EXPECT_TRUE(sounds.played.empty());
    EXPECT_EQ(sounds.bells, 2);
}

TEST(BeepTest, TheEventsAreTheFreedesktopThemes) {
    const std::filesystem::path theme = "/usr/share/sounds/freedesktop/stereo";
    if (!std::filesystem::is_directory(theme)) GTEST_SKIP() << "no sound theme (Debian: sound-theme-freedesktop)";
    for (const Case& c : kCases)
        EXPECT_TRUE(std::filesystem::exists(theme / (std::string(c.event) + ".oga"))) << c.event;
}

}  // namespace
