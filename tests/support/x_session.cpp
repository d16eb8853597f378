#include "support/x_session.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "support/wait_for.h"

namespace testsupport {

std::string Which(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::filesystem::path p = std::filesystem::path(dir) / name;
        if (::access(p.c_str(), X_OK) == 0) return p.string();
    }
    return {};
}

Xvfb::Xvfb(const std::string& log) {
    const std::string exe = Which("Xvfb");
    int p[2];
    if (exe.empty() || ::pipe(p) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(p[0]);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 2);
        const std::string fd = std::to_string(p[1]);
        ::execl(exe.c_str(), exe.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(p[1]);
    std::string number;
    pollfd pf{p[0], POLLIN, 0};
    char c = 0;
    while (::poll(&pf, 1, 20'000) > 0 && ::read(p[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(p[0]);
    if (!number.empty()) display_ = ":" + number;
}

Xvfb::~Xvfb() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

Child::Child(const std::vector<std::string>& argv, const std::string& output, const std::string& suppressions) {
    pid_ = ::fork();
    if (pid_ == 0) {
        const char* lsan = std::getenv("LSAN_OPTIONS");
        const std::string options = (lsan && *lsan ? std::string(lsan) + ":" : "") + "suppressions=" + suppressions;
        ::setenv("LSAN_OPTIONS", options.c_str(), 1);
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        // The toolkit's own widget dialogs: no desktop's platform theme.
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::unsetenv("QT_QPA_PLATFORMTHEME");
        ::unsetenv("XDG_CURRENT_DESKTOP");
        ::unsetenv("DESKTOP_SESSION");
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
}

Child::~Child() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

void Child::Signal(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
}

int Child::Wait(int limitMs) {
    int status = 0;
    const bool ended = WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, limitMs, 50);
    if (!ended) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

bool SendProtocol(const std::string& windowId, const char* protocol, long timestamp) {
    Display* d = ::XOpenDisplay(nullptr);
    if (!d) return false;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = std::stoul(windowId);
    e.xclient.message_type = ::XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(::XInternAtom(d, protocol, False));
    e.xclient.data.l[1] = timestamp;
    e.xclient.data.l[2] = static_cast<long>(e.xclient.window);
    ::XSendEvent(d, e.xclient.window, False, NoEventMask, &e);
    ::XCloseDisplay(d);
    return true;
}

}  // namespace

bool SendClose(const std::string& windowId) { return SendProtocol(windowId, "WM_DELETE_WINDOW", CurrentTime); }

bool SendPing(const std::string& windowId, long serial) { return SendProtocol(windowId, "_NET_WM_PING", serial); }

}  // namespace testsupport
