#include "cli_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <stdexcept>

#include "support/recorders.h"

namespace clitest {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> Argv(std::vector<std::string>& text) {
    std::vector<char*> argv;
    for (auto& a : text) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

int RemainingMs(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

std::string CliPath() { return testsupport::ProgramDir() + "/velkor-cli"; }

Result RunProgram(const std::string& exe, const std::vector<std::string>& args, const std::string& cwd, int stderrFd,
           int limitMs) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> text{exe};
    text.insert(text.end(), args.begin(), args.end());
    auto argv = Argv(text);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, STDIN_FILENO);
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(stderrFd >= 0 ? stderrFd : errPipe[1], STDERR_FILENO);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    Result r;
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open = 2;
    while (open > 0 && RemainingMs(end) > 0) {
        if (poll(fds, 2, RemainingMs(end)) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) close(f.fd);
    int status = 0;
    if (open > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return r;
    }
    waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

Background::Background(const std::string& exe, const std::vector<std::string>& args) {
    int outPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> text{exe};
    text.insert(text.end(), args.begin(), args.end());
    auto argv = Argv(text);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    out_ = outPipe[0];
    const auto end = Clock::now() + std::chrono::seconds(30);
    std::string got;
    while (got.find('\n') == std::string::npos && RemainingMs(end) > 0) {
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, RemainingMs(end)) <= 0) continue;
        char c;
        if (read(out_, &c, 1) != 1) break;
        got += c;
    }
    if (const auto nl = got.find('\n'); nl != std::string::npos) firstLine_ = got.substr(0, nl);
    drain_ = std::thread([fd = out_] {
        char buf[4096];
        while (read(fd, buf, sizeof buf) > 0) {
        }
    });
}

Background::~Background() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (drain_.joinable()) drain_.join();
    if (out_ >= 0) close(out_);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace clitest
