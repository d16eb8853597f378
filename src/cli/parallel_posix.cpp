#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json.h"
#include "cli/parallel.h"
#include "platform/console.h"
#include "platform/stop.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPollMs = 50;
constexpr int kExitNotStarted = 127;

struct Stream {
    int fd = -1;
    std::FILE* to = nullptr;
    bool isStdout = false;
    bool json = false;  // JSON lines name their port themselves
    std::string partial;
};

struct Child {
    PortChoice port;
    pid_t pid = -1;
    Stream out;
    Stream err;
    bool running = false;
    int waitStatus = 0;
    std::string lastText;  // the last line on its standard output: its last closing text
    Clock::time_point start;
    Clock::time_point end;
};

void Emit(Child& c, const Stream& s, std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (s.isStdout && !line.empty()) c.lastText = line;
    if (s.json)
        std::fprintf(s.to, "%s\n", line.c_str());
    else
        std::fprintf(s.to, "%s: %s\n", c.port.Label().c_str(), line.c_str());
    std::fflush(s.to);
}

// Reads what is there; false once the child has closed its end.
bool Drain(Child& c, Stream& s) {
    char buf[4096];
    const ssize_t n = read(s.fd, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (n <= 0) {
        if (!s.partial.empty()) Emit(c, s, s.partial);
        s.partial.clear();
        close(s.fd);
        s.fd = -1;
        return false;
    }
    s.partial.append(buf, static_cast<std::size_t>(n));
    for (std::size_t pos; (pos = s.partial.find('\n')) != std::string::npos;) {
        Emit(c, s, s.partial.substr(0, pos));
        s.partial.erase(0, pos + 1);
    }
    return true;
}

bool Spawn(Child& c, const std::vector<std::string>& args) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return false;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return false;
    }
    std::vector<std::string> argvText{"velkor-cli"};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::fflush(stdout);
    std::fflush(stderr);
    c.start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        execv("/proc/self/exe", argv.data());
        const std::string why = std::string("velkor-cli: cannot start: ") + std::strerror(errno) + "\n";
        [[maybe_unused]] ssize_t n = write(STDERR_FILENO, why.data(), why.size());
        _exit(kExitNotStarted);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return false;
    }
    c.pid = pid;
    c.running = true;
    c.out.fd = outPipe[0];
    c.err.fd = errPipe[0];
    return true;
}

std::string Result(const Child& c) {
    if (c.pid < 0) return "not started";
    if (WIFSIGNALED(c.waitStatus)) return "killed by signal " + std::to_string(WTERMSIG(c.waitStatus));
    switch (WEXITSTATUS(c.waitStatus)) {
        case kExitOk: return "ok";
        case kExitFailed: return "failed";
        case kExitUsage: return "usage error";
        case kExitNotStarted: return "not started";
        default: return "exit " + std::to_string(WEXITSTATUS(c.waitStatus));
    }
}

bool Succeeded(const Child& c) {
    return c.pid >= 0 && WIFEXITED(c.waitStatus) && WEXITSTATUS(c.waitStatus) == kExitOk;
}

std::int64_t Ms(const Child& c) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(c.end - c.start).count();
}

void PrintJsonSummary(const std::vector<Child>& children, std::int64_t ms) {
    std::string boards = "[";
    bool ok = true;
    for (const auto& c : children) {
        ok = ok && Succeeded(c);
        JsonObject b;
        b.Add("port", c.port.Label()).Add("result", Result(c)).Add("ms", Ms(c));
        boards += (boards.size() > 1 ? "," : "") + b.Text();
    }
    JsonObject j;
    j.Add("type", "summary").Add("ok", ok).Add("exit", std::int64_t{ok ? kExitOk : kExitFailed}).Add("ms", ms);
    j.AddRaw("boards", boards + "]");
    std::printf("%s\n", j.Text().c_str());
    std::fflush(stdout);
}

void PrintSummary(const std::vector<Child>& children) {
    struct Row {
        std::string port, result, time, text;
    };
    std::vector<Row> rows{{"port", "result", "time", "closing text"}};
    for (const auto& c : children) {
        char time[32];
        std::snprintf(time, sizeof time, "%.1f s", static_cast<double>(Ms(c)) / 1000.0);
        rows.push_back({c.port.Label(), Result(c), time, c.lastText});
    }
    std::size_t w0 = 0, w1 = 0, w2 = 0;
    for (const auto& r : rows) {
        w0 = std::max(w0, r.port.size());
        w1 = std::max(w1, r.result.size());
        w2 = std::max(w2, r.time.size());
    }
    for (const auto& r : rows)
        std::printf("%-*s  %-*s  %*s  %s\n", static_cast<int>(w0), r.port.c_str(), static_cast<int>(w1),
                    r.result.c_str(), static_cast<int>(w2), r.time.c_str(), r.text.c_str());
    std::fflush(stdout);
}

}  // namespace

int RunParallel(const Request& request) {
    const auto start = Clock::now();
    const ChildMode mode = platform::IsTerminal(stderr) ? ChildMode::Lines : ChildMode::Log;
    std::vector<Child> children(request.ports.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        Child& c = children[i];
        c.port = request.ports[i];
        c.out.to = stdout;
        c.out.isStdout = true;
        c.out.json = request.json;
        c.err.to = stderr;
        if (!Spawn(c, ChildArguments(request, c.port, mode))) {
            c.end = Clock::now();
            std::fprintf(stderr, "%s: cannot start a process: %s\n", c.port.Label().c_str(), std::strerror(errno));
        }
    }

    bool forwarded = false;
    for (;;) {
        // A stop for the whole run: each board releases its chip and port itself.
        if (const int stop = platform::StopSignal(); stop != 0 && !forwarded) {
            forwarded = true;
            for (auto& c : children)
                if (c.running) kill(c.pid, stop);
        }
        std::vector<pollfd> fds;
        std::vector<std::pair<Child*, Stream*>> owners;
        bool running = false;
        for (auto& c : children) {
            for (Stream* s : {&c.out, &c.err}) {
                if (s->fd < 0) continue;
                fds.push_back({s->fd, POLLIN, 0});
                owners.emplace_back(&c, s);
            }
            running = running || c.running;
        }
        if (fds.empty() && !running) break;
        const int ready = poll(fds.data(), fds.size(), kPollMs);
        if (ready > 0) {
            for (std::size_t i = 0; i < fds.size(); ++i)
                if (fds[i].revents != 0) Drain(*owners[i].first, *owners[i].second);
        }
        for (auto& c : children) {
            if (!c.running) continue;
            int status = 0;
            const pid_t done = waitpid(c.pid, &status, WNOHANG);
            if (done == c.pid || (done < 0 && errno != EINTR)) {
                c.end = Clock::now();
                c.running = false;
                c.waitStatus = done == c.pid ? status : (kExitNotStarted << 8);
            }
        }
    }

    if (request.json)
        PrintJsonSummary(children, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    else
        PrintSummary(children);
    if (const int stop = platform::StopSignal()) return platform::StopExitCode(stop);
    for (const auto& c : children)
        if (!Succeeded(c)) return kExitFailed;
    return kExitOk;
}

}  // namespace cli
