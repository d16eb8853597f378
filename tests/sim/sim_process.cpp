#include "sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "support/recorders.h"

namespace simtest {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

pid_t Spawn(const std::vector<std::string>& argv, int outFd, bool errToo) {
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, 1);
        if (errToo) dup2(outFd, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// The exit code, -1 when the process did not end in time (it is then killed).
int WaitFor(pid_t pid, int limitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (MsLeft(deadline) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string SimPath() { return testsupport::ProgramDir() + "/velkor-sim"; }

SimProcess::SimProcess(const std::vector<std::string>& args) {
    int p[2];
    if (pipe(p) != 0) return;
    std::vector<std::string> argv{SimPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = Spawn(argv, p[1], false);
    close(p[1]);
    out_ = p[0];
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    char c = 0;
    pollfd pf{out_, POLLIN, 0};
    while (poll(&pf, 1, MsLeft(deadline)) > 0 && read(out_, &c, 1) == 1 && c != '\n') slave_ += c;
}

SimProcess::~SimProcess() {
    if (pid_ > 0) Stop(SIGKILL);
    if (out_ >= 0) close(out_);
}

int SimProcess::Stop(int signal) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    const int code = WaitFor(pid_, 10000);
    pid_ = -1;
    return code;
}

int OpenSlave(const std::string& path, speed_t speed) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return fd;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL | PARENB;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

Bytes Exchange(int fd, const Bytes& send, std::size_t want, int limitMs) {
    if (!send.empty() && write(fd, send.data(), send.size()) != static_cast<ssize_t>(send.size())) return {};
    Bytes got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    pollfd pf{fd, POLLIN, 0};
    while (got.size() < want && poll(&pf, 1, MsLeft(deadline)) > 0) {
        std::uint8_t buf[512];
        const ssize_t n = read(fd, buf, std::min(sizeof buf, want - got.size()));
        if (n <= 0) break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

int Run(const std::vector<std::string>& argv, std::string& output, int limitSec) {
    int p[2];
    if (pipe(p) != 0) return -1;
    const pid_t pid = Spawn(argv, p[1], true);
    close(p[1]);
    // Read while it runs, so a full pipe never blocks it.
    const auto deadline = Clock::now() + std::chrono::seconds(limitSec);
    pollfd pf{p[0], POLLIN, 0};
    char buf[4096];
    while (poll(&pf, 1, MsLeft(deadline)) > 0) {
        const ssize_t n = read(p[0], buf, sizeof buf);
        if (n <= 0) break;
        output.append(buf, static_cast<std::size_t>(n));
    }
    close(p[0]);
    return WaitFor(pid, MsLeft(deadline) + 1000);
}

}  // namespace simtest
