// Whole programs on an X server of their own, for the tests that start the
// window as its own process: the server, the child process, and the close
// that a window manager would send.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

// The program's path on PATH, empty if it isn't there.
std::string Which(const std::string& name);

// Xvfb on a display number it picks itself. Without -noreset it resets
// whenever its last client leaves, and a client connecting meanwhile (the
// window after an xdotool search) is refused.
class Xvfb {
public:
    explicit Xvfb(const std::string& log);
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    // ":N", empty when the server did not start.
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// A program run in the background, its output into a file; killed at the
// end unless it ended.
class Child {
public:
    // suppressions: a leak checker's list for the libraries' own leaks.
    Child(const std::vector<std::string>& argv, const std::string& output, const std::string& suppressions);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The exit code, -1 when it did not end in time or ended by a signal.
    int Wait(int limitMs);
    void Signal(int signal);

private:
    pid_t pid_ = -1;
};

// What a window manager sends when the user closes the window (an X window
// id in decimal) on $DISPLAY. False when the display can't be opened.
bool SendClose(const std::string& windowId);
// A window manager's ping. The window sends it back to the root window, with
// serial in the timestamp field; a client that selected StructureNotify and
// SubstructureNotify on the root sees the answer.
bool SendPing(const std::string& windowId, long serial);

}  // namespace testsupport
