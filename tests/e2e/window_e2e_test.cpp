// The built window as its own process on an X server of its own (Xvfb),
// clicked through with xdotool at the controls' positions, against velkor-sim
// on a pseudo-terminal. Each step waits for what it leaves behind: the chip's
// log, its flash file, the read-out file, the save dialog's window; and
// before the next click, for the end of the busy cursor (a click during a job
// is dropped). The status bar is read off the screen: its pixels must become
// those of the bar alone showing the expected text, rendered by a program of
// its own on the same X server.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "settings/hexfile.h"
#include "settings/inifile.h"
#include "sim/sim_process.h"
#include "support/intel_hex.h"
#include "support/recorders.h"
#include "support/unprivileged.h"
#include "support/wait_for.h"
#include "support/x_session.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLimitMs = 60'000;  // for every step; a Connect alone takes 1.8 s
constexpr std::uint32_t kFlashSize = 0x20000;  // the F103 preset
constexpr int kPort = 7;

// A control's place in the window's client area, as the window lays it out.
struct Place {
    int x, y, w, h;
    int cx() const { return x + w / 2; }
    int cy() const { return y + h / 2; }
};
// Top level.
constexpr Place kChipSetupButton{392, 48, 121, 33};
constexpr Place kProgButton{392, 96, 121, 33};
// Inside ChipSetupPanel and MainPanel, both at 0, 0.
constexpr Place kTestChipButton{8, 64, 161, 25};
constexpr Place kLeertestButton{8, 104, 97, 25};
constexpr Place kAusleseButton{8, 136, 97, 25};
constexpr Place kEraseAllButton{8, 184, 97, 25};
constexpr Place kProgStartButton{8, 216, 97, 25};
constexpr Place kVerifyButton{8, 248, 97, 25};
// Nothing but the window's background.
constexpr Place kEmpty{392, 200, 121, 33};
constexpr Place kStaBar{0, 320, 520, 30};
constexpr int kShowLimitMs = 20'000;  // from a job's end; no job here takes long

using testsupport::Child;
using testsupport::ProgramDir;
using testsupport::ReadFile;
using testsupport::Which;
using testsupport::Xvfb;

bool WaitFor(const std::function<bool()>& condition, int limitMs = kLimitMs) {
    return testsupport::WaitFor(condition, limitMs, 50);  // a poll may start an xdotool
}

std::string Hex2(char byte) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned char>(byte));
    return text;
}

// The flash as a fresh chip holds it after programming image.
std::string Flashed(const std::string& image) {
    std::string flash(kFlashSize, '\xFF');
    flash.replace(0, image.size(), image);
    return flash;
}

class WindowE2eTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        xdotool_ = Which("xdotool");
        if (Which("Xvfb").empty() || xdotool_.empty()) return;
        xvfb_ = new Xvfb(XvfbLog());
        if (!xvfb_->display().empty()) ::setenv("DISPLAY", xvfb_->display().c_str(), 1);
    }
    static std::string XvfbLog() {
        return (fs::temp_directory_path() / ("velkor-xvfb-" + std::to_string(::getpid()) + ".log")).string();
    }
    static void TearDownTestSuite() {
        delete xvfb_;
        xvfb_ = nullptr;
        fs::remove(XvfbLog());
    }

    void SetUp() override {
        if (!xvfb_)
            GTEST_SKIP() << "needs Xvfb and xdotool (scripts/install-deps.sh installs them)";
        ASSERT_FALSE(xvfb_->display().empty()) << "Xvfb did not start: " << ReadFile(XvfbLog());
        // A program folder of its own: its default.cfp and ports/ stay here.
        for (const char* name : {"velkor", "targets.cfi"})
            fs::copy_file(ProgramDir() + "/" + name, dir.File(name));
    }

    std::string Path(const std::string& name) const { return dir.File(name); }

    // A rectangle of a window as the screen holds it, one 32-bit pixel after
    // the other; empty when it can't be read.
    static std::vector<unsigned long> Pixels(const std::string& window, const Place& p) {
        Display* d = ::XOpenDisplay(nullptr);
        if (!d) return {};
        std::vector<unsigned long> pixels;
        ::XSync(d, False);
        if (XImage* image = ::XGetImage(d, std::stoul(window), p.x, p.y, static_cast<unsigned>(p.w),
                                        static_cast<unsigned>(p.h), AllPlanes, ZPixmap)) {
            for (int y = 0; y < p.h; ++y)
                for (int x = 0; x < p.w; ++x) pixels.push_back(XGetPixel(image, x, y));
            XDestroyImage(image);
        }
        ::XCloseDisplay(d);
        return pixels;
    }

    // Whether the window's status bar shows text on the screen by now. Nothing
    // the test does meanwhile makes the window paint: no pointer over the bar,
    // no other window over it.
    ::testing::AssertionResult Shows(const std::string& text) {
        const Place whole{0, 0, kStaBar.w, kStaBar.h};
        std::vector<unsigned long> want, got;
        {
            Child reference({VELKOR_BAR_REFERENCE, text}, Path("reference.out"), Path("lsan.supp"));
            const std::string rid = Find("^velkor-bar-reference$");
            if (rid.empty()) return ::testing::AssertionFailure() << "no reference bar: " << ReadFile(Path("reference.out"));
            WaitFor([&] {
                want = Pixels(rid, whole);
                got = Pixels(wid, kStaBar);
                return !want.empty() && want == got;
            }, kShowLimitMs);
        }
        // The reference window must be gone before the next one is looked for.
        WaitFor([&] {
            int rc = 0;
            Xdo({"search", "--onlyvisible", "--name", "^velkor-bar-reference$"}, &rc);
            return rc != 0;
        });
        if (!want.empty() && want == got) return ::testing::AssertionSuccess();
        std::size_t differ = 0;
        for (std::size_t i = 0; i < std::min(want.size(), got.size()); ++i) differ += want[i] != got[i];
        return ::testing::AssertionFailure() << "the status bar on the screen doesn't show \"" << text << "\" ("
                                             << differ << " of " << want.size() << " pixels differ)";
    }
    std::string Log() const { return ReadFile(Path("sim.log")); }

    void StartChip(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--link", std::to_string(kPort), "--ports-dir", Path("ports"),
                                      "--flash", Path("chip.bin"), "--log", Path("sim.log")};
        args.insert(args.end(), extra.begin(), extra.end());
        chip = std::make_unique<simtest::SimProcess>(args);
        ASSERT_FALSE(chip->slave().empty()) << "velkor-sim did not start";
    }

    // The window on a configuration that selects the chip's port, with argument.
    void StartWindow(const std::string& argument) {
        dir.Write("default.cfp", "BAUD    115200\r\nCOM     " + std::to_string(kPort) + "\r\nRESET   1\r\nBOOT    4\r\n");
        // What Qt's X11 plugin keeps to the end of a sanitized run: D-Bus and fontconfig.
        dir.Write("lsan.supp", "leak:libdbus-1.so\nleak:libfontconfig.so\n");
        window = std::make_unique<Child>(std::vector<std::string>{Path("velkor"), argument}, Path("velkor.out"),
                                         Path("lsan.supp"));
        wid = Find("^Velkor Programmer$");
        ASSERT_FALSE(wid.empty()) << ReadFile(Path("velkor.out")) << "Xvfb: " << ReadFile(XvfbLog());
        // No window manager: focusing it by hand activates it, and it scans the ports.
        Xdo({"windowfocus", "--sync", wid});
        Xdo({"mousemove", "--window", wid, std::to_string(kEmpty.cx()), std::to_string(kEmpty.cy())});
        ASSERT_TRUE(WaitFor([&] {
            idleCursor = Cursor();
            return !idleCursor.empty();
        }));
    }

    // The pixels of the cursor shown, with its size in front.
    static std::vector<unsigned long> Cursor() {
        Display* d = ::XOpenDisplay(nullptr);
        if (!d) return {};
        std::vector<unsigned long> image;
        if (XFixesCursorImage* c = ::XFixesGetCursorImage(d)) {
            image = {c->width, c->height};
            image.insert(image.end(), c->pixels, c->pixels + c->width * c->height);
            ::XFree(c);
        }
        ::XCloseDisplay(d);
        return image;
    }
    // A job shows the busy cursor from its first wait on; its end puts the
    // window's own back. Only then does the window take clicks again.
    bool Idle() { return WaitFor([&] { return Cursor() == idleCursor; }); }

    std::string Xdo(const std::vector<std::string>& args, int* code = nullptr) {
        std::vector<std::string> argv{xdotool_};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string out;
        const int rc = simtest::Run(argv, out, 30);
        if (code) *code = rc;
        return out;
    }
    // The first visible window with that name, empty if none comes.
    std::string Find(const std::string& name) {
        std::string id;
        WaitFor([&] {
            int rc = 0;
            std::istringstream(Xdo({"search", "--onlyvisible", "--name", name}, &rc)) >> id;
            return rc == 0 && !id.empty();
        });
        return id;
    }
    void Click(const Place& p) {
        Xdo({"mousemove", "--window", wid, std::to_string(p.cx()), std::to_string(p.cy()), "click", "1"});
    }

    // Types the name into the save dialog and presses Enter until it is gone
    // (the first Enter may only close the name completer's list).
    void AnswerSaveDialog(const std::string& name) {
        const std::string dialog = Find("^Speichern unter$");
        ASSERT_FALSE(dialog.empty()) << "no save dialog";
        Xdo({"windowfocus", "--sync", dialog});
        Xdo({"type", "--delay", "20", name});
        bool gone = false;
        for (int i = 0; i < 3 && !gone; ++i) {
            Xdo({"key", "Return"});
            gone = WaitFor([&] {
                int rc = 0;
                Xdo({"search", "--onlyvisible", "--name", "^Speichern unter$"}, &rc);
                return rc != 0;
            }, 3000);
        }
        ASSERT_TRUE(gone) << "the save dialog stayed open";
    }

    // What a window manager sends when the user closes the window.
    void CloseWindow() {
        ASSERT_TRUE(testsupport::SendClose(wid));
        EXPECT_EQ(window->Wait(kLimitMs), 0) << ReadFile(Path("velkor.out"));
    }

    bool FlashHolds(const std::string& expected) const { return ReadFile(Path("chip.bin")) == expected; }
    bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }

    // The value a saved configuration holds for a key.
    std::string Saved(const std::string& key) const {
        std::istringstream in(ReadFile(Path("default.cfp")));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() >= 8 && line.compare(0, key.size(), key) == 0 && line.find_first_not_of(' ', key.size()) == 8)
                return line.substr(8);
        }
        return "<none>";
    }

    static inline Xvfb* xvfb_ = nullptr;
    static inline std::string xdotool_;
    testsupport::TempDir dir;
    std::unique_ptr<simtest::SimProcess> chip;
    std::unique_ptr<Child> window;
    std::string wid;
    std::vector<unsigned long> idleCursor;
};

TEST_F(WindowE2eTest, IdentifiesProgramsVerifiesAndReadsOutThroughTheWindow) {
    // Two used stretches with blank blocks between them: 17 blocks to write.
    std::string image(0x1040, '\xFF');
    for (std::size_t i = 0; i < 0x300; ++i) image[i] = static_cast<char>(i * 7 + 3);
    for (std::size_t i = 0x1000; i < 0x1040; ++i) image[i] = static_cast<char>(0xFF - i);
    dir.Write("fw.hex", testsupport::IntelHex({image.begin(), image.end()}));
    // Beyond the image: only the last step writes there.
    ASSERT_NO_FATAL_FAILURE(StartChip({"--nack-write", "0x08010000"}));
    ASSERT_NO_FATAL_FAILURE(StartWindow(Path("fw.hex")));

    Click(kChipSetupButton);
    Click(kTestChipButton);
    ASSERT_TRUE(WaitFor([&] { return Logged("02 Get ID: ACK"); })) << Log();
    ASSERT_TRUE(Idle());

    Click(kProgButton);
    Click(kLeertestButton);
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shows("Chip ist leer bis $00020000"));

    Click(kProgStartButton);
    ASSERT_TRUE(WaitFor([&] { return FlashHolds(Flashed(image)); })) << Log();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shows("..ende, programmiert bis 00001100"));

    Click(kVerifyButton);
    ASSERT_TRUE(WaitFor([&] { return Logged("11 Read Memory 08001000 256: ACK"); })) << Log();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shows("..ende, verifiziert bis 00001100"));

    Click(kLeertestButton);
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shows("Chip nicht leer bei $00000000"));

    // The name without its extension: the dialog adds "bin".
    Click(kAusleseButton);
    AnswerSaveDialog(Path("auslese"));
    ASSERT_TRUE(WaitFor([&] { return ReadFile(Path("auslese.bin")).size() == kFlashSize; })) << Log();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shows("gelesen bis $00020000 fertig."));
    EXPECT_EQ(ReadFile(Path("auslese.bin")), ReadFile(Path("chip.bin")));

    // The file is read again on every click.
    std::string changed = image;
    changed[0x123] = '\x5A';
    dir.Write("fw.hex", testsupport::IntelHex({changed.begin(), changed.end()}));
    Click(kVerifyButton);
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shows("Fehler bei 00000123 ist: " + Hex2(image[0x123]) + " soll: 5A"));

    // What a compiler's objcopy writes: absolute addresses.
    dir.Write("fw.hex", ":020000040800F2\r\n:0100000000FF\r\n:00000001FF\r\n");
    Click(kProgStartButton);
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shows("ausserhalb: 08000000"));

    Click(kEraseAllButton);
    ASSERT_TRUE(WaitFor([&] { return FlashHolds(std::string(kFlashSize, '\xFF')); })) << Log();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shows("Chip ist gel\xC3\xB6scht"));

    std::string far(0x10010, '\xFF');
    far[0x10000] = '\x01';
    dir.Write("fw.hex", testsupport::IntelHex({far.begin(), far.end()}));
    Click(kProgStartButton);
    ASSERT_TRUE(WaitFor([&] { return Logged("31 Write Memory 08010000"); })) << Log();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shows("Fehler: 1F NAK bei $00010100"));

    dir.Write("fw.hex", testsupport::IntelHex({image.begin(), image.end()}));
    CloseWindow();
    // The chip found became the current chip, and the settings went back into default.cfp.
    EXPECT_EQ(Saved("COM"), std::to_string(kPort));
    EXPECT_EQ(Saved("BAUD"), "115200");
    EXPECT_EQ(Saved("RESET"), "1");
    EXPECT_EQ(Saved("BOOT"), "4");
    EXPECT_EQ(Saved("CHIPNAM"), "STM32F10x medium density");
    EXPECT_EQ(Saved("FLASH"), "134217728");
    EXPECT_EQ(Saved("FLENG"), "131072");
    EXPECT_EQ(Saved("INI"), Path("default.cfp"));
    EXPECT_EQ(Saved("HEX"), Path("fw.hex"));
}

TEST_F(WindowE2eTest, EraseUnprotectsAReadProtectedChipSoThatProgrammingSucceeds) {
    const std::string example = VELKOR_SOURCE_DIR "/data/example.hex";
    ASSERT_NO_FATAL_FAILURE(StartChip({"--protected"}));
    ASSERT_NO_FATAL_FAILURE(StartWindow(example));

    Click(kVerifyButton);
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shows("Fehler bei $00000000"));
    Click(kAusleseButton);
    AnswerSaveDialog(Path("auslese"));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shows("00000000 NAK on Cmd"));

    Click(kEraseAllButton);
    ASSERT_TRUE(WaitFor([&] { return Logged("92 Readout Unprotect: ACK") && Logged("43 Erase"); })) << Log();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shows("Chip ist gel\xC3\xB6scht"));
    Click(kProgStartButton);
    ASSERT_TRUE(WaitFor([&] { return Logged("31 Write Memory 08000000 256: ACK"); })) << Log();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shows("..ende, programmiert bis 00000100"));
    CloseWindow();

    // The bundled example fits in one block.
    Ini.FlashStart = 0x08000000;
    testsupport::RecordingStatusBar bar;
    std::string message;
    ASSERT_TRUE(LoadHexFile(bar, example, message)) << message;
    EXPECT_TRUE(FlashHolds(Flashed(std::string(reinterpret_cast<const char*>(FlashImage), 0x100))));
    EXPECT_EQ(Saved("HEX"), example);
}

TEST_F(WindowE2eTest, WithoutAChipEachJobSaysSo) {
    ASSERT_NO_FATAL_FAILURE(StartChip({"--silent-after", "0"}));
    ASSERT_NO_FATAL_FAILURE(StartWindow(VELKOR_SOURCE_DIR "/data/example.hex"));
    const std::vector<std::pair<Place, std::string>> steps = {
        {kProgStartButton, "keine Verbindung."},
        {kLeertestButton, "Bootlader reagiert nicht"},
        {kEraseAllButton, "keine Verbindung zum Chip"},
    };
    for (const auto& [button, text] : steps) {
        Click(button);
        ASSERT_TRUE(Idle());
        EXPECT_TRUE(Shows(text));
    }
    CloseWindow();
}

// Stopped from outside in the middle of a job, the window ends the job, closes
// as the user would, and leaves the port to a user without privileges, whom a
// leftover exclusive mode would keep out.
TEST_F(WindowE2eTest, EachStopSignalEndsTheJobAndLeavesThePortUsable) {
    std::string image(0x10000, '\x5A');
    dir.Write("fw.hex", testsupport::IntelHex({image.begin(), image.end()}));
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        window.reset();
        chip.reset();
        fs::remove(Path("chip.bin"));
        fs::remove(Path("default.cfp"));
        dir.Write("sim.log", "");
        ASSERT_NO_FATAL_FAILURE(StartChip({"--wire-time"}));
        ASSERT_NO_FATAL_FAILURE(StartWindow(Path("fw.hex")));
        Click(kProgStartButton);
        ASSERT_TRUE(WaitFor([&] { return Logged("31 Write Memory 08000400"); })) << Log();
        window->Signal(signal);
        EXPECT_EQ(window->Wait(kLimitMs), 128 + signal) << ReadFile(Path("velkor.out"));
        EXPECT_FALSE(Logged("31 Write Memory 0800FF00"));
        EXPECT_EQ(Saved("HEX"), Path("fw.hex"));

        testsupport::Unprivileged user;
        ASSERT_TRUE(user.Own(chip->slave()));
        const std::string opened = user.Run([&] {
            const int fd = ::open(chip->slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (fd < 0) return std::string(std::strerror(errno));
            ::close(fd);
            return std::string("opened");
        });
        if (user.skipped()) GTEST_SKIP() << user.why();
        EXPECT_EQ(opened, "opened");
    }
}

// A window manager's view of a job: the window answers its pings, shows the
// busy cursor, drops a click on another job's button, and closes only when
// the job has ended.
TEST_F(WindowE2eTest, DuringAJobTheWindowAnswersDropsClicksAndClosesAtTheEnd) {
    constexpr std::size_t kSize = 0x8000;  // about 5 s of writing at 115200 Bd with wire time
    std::string image(kSize, '\0');
    for (std::size_t i = 0; i < kSize; ++i) image[i] = static_cast<char>(i * 13 + 7);
    dir.Write("fw.hex", testsupport::IntelHex({image.begin(), image.end()}));
    ASSERT_NO_FATAL_FAILURE(StartChip({"--wire-time"}));
    ASSERT_NO_FATAL_FAILURE(StartWindow(Path("fw.hex")));
    const std::string lastBlock = "31 Write Memory 08007F00";

    Display* d = ::XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    ::XSelectInput(d, DefaultRootWindow(d), StructureNotifyMask | SubstructureNotifyMask);
    ::XSync(d, False);  // selected before the ping goes out
    const Atom ping = ::XInternAtom(d, "_NET_WM_PING", False);

    Click(kProgStartButton);
    ASSERT_TRUE(WaitFor([&] { return Logged("31 Write Memory 08000000"); })) << Log();
    EXPECT_NE(Cursor(), idleCursor);
    ASSERT_TRUE(testsupport::SendPing(wid, 4711));
    bool answered = false, answeredDuringTheJob = false;
    EXPECT_TRUE(WaitFor([&] {
        while (!answered && ::XPending(d)) {
            XEvent e;
            ::XNextEvent(d, &e);
            answered = e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == ping &&
                       e.xclient.data.l[1] == 4711;
        }
        if (answered) answeredDuringTheJob = !Logged(lastBlock);
        return answered;
    }));
    EXPECT_TRUE(answeredDuringTheJob);
    ::XCloseDisplay(d);

    Click(kVerifyButton);
    ASSERT_TRUE(testsupport::SendClose(wid));
    EXPECT_EQ(window->Wait(kLimitMs), 0) << ReadFile(Path("velkor.out"));
    EXPECT_TRUE(Logged(lastBlock));
    EXPECT_TRUE(FlashHolds(Flashed(image)));
    EXPECT_FALSE(Logged("11 Read Memory")) << Log();
    EXPECT_EQ(Saved("HEX"), Path("fw.hex"));
}

// Started where no display can be reached, the window says so and fails
// plainly instead of aborting with the toolkit's advice to reinstall it.
TEST(WindowStart, WithoutADisplaySaysSoAndExitsWithOne) {
    std::string output;
    const int rc = simtest::Run({"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=xcb",
                                 ProgramDir() + "/velkor"},
                                output, 60);
    EXPECT_EQ(rc, 1) << output;
    EXPECT_NE(output.find("velkor: no display found"), std::string::npos) << output;
}

}  // namespace
