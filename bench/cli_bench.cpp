// velkor-cli against stm32flash on the same simulated line, in the same run:
// program with erase, then verify, a 64 KiB image at 115200 Bd on velkor-sim
// with wire time. Wall and CPU times of each run from wait4's rusage.
// Goals: with --boot-delay 100 at most stm32flash's wall time; with the
// default boot delay at most stm32flash's + 1.5 s.
//   build/bench/velkor_bench_cli [runs, default 3]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Times {
    double wall = 0, cpu = 0;
    int status = -1;
};

// Runs the program with its output in log; wall time, user + system time.
Times Timed(std::vector<std::string> args, const std::string& log) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    Times t;
    rusage use{};
    int status = 0;
    if (pid < 0 || wait4(pid, &status, 0, &use) != pid) return t;
    t.wall = std::chrono::duration<double>(Clock::now() - start).count();
    t.cpu = static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
            static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
    t.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return t;
}

// velkor-sim in the background; its pseudo-terminal from its first line.
struct Sim {
    pid_t pid = -1;
    std::string slave;
    explicit Sim(const std::string& exe) {
        int out[2];
        if (pipe(out) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            execl(exe.c_str(), exe.c_str(), "--wire-time", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        for (char c; read(out[0], &c, 1) == 1 && c != '\n';) slave += c;
        close(out[0]);
    }
    ~Sim() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string programs = VELKOR_PROGRAM_DIR;
    std::string tmpl = (fs::temp_directory_path() / "velkor-bench-cli-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return 1;
    const fs::path dir = tmpl;
    const std::string bin = (dir / "fw.bin").string(), hex = (dir / "fw.hex").string(), log = (dir / "log").string();

    std::vector<char> image(64 * 1024);
    std::mt19937 random(64);
    for (auto& c : image) c = static_cast<char>(random());
    std::ofstream(bin, std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
    // Chip addresses, as a compiler's objcopy writes them.
    if (Timed({"srec_cat", bin, "-binary", "-offset", "0x08000000", "-o", hex, "-intel"}, log).status != 0) {
        std::fprintf(stderr, "srec_cat failed or is missing (Debian package srecord, scripts/install-deps.sh)\n");
        return 1;
    }
    if (access("/usr/bin/stm32flash", X_OK) != 0) {
        std::fprintf(stderr, "stm32flash is missing (scripts/install-deps.sh installs it)\n");
        return 1;
    }
    Sim sim(programs + "/velkor-sim");
    if (sim.slave.empty()) return 1;

    const std::string cli = programs + "/velkor-cli";
    struct Contender {
        const char* name;
        std::vector<std::string> args;
        std::vector<double> wall, cpu;
    };
    Contender contenders[] = {
        {"velkor-cli --boot-delay 100",
         {cli, "--device", sim.slave, "--baud", "115200", "--boot-delay", "100", "program", "--erase", hex, "verify",
          hex}, {}, {}},
        {"velkor-cli (boot delay 1500)",
         {cli, "--device", sim.slave, "--baud", "115200", "program", "--erase", hex, "verify", hex}, {}, {}},
        {"stm32flash -w -v", {"stm32flash", "-b", "115200", "-m", "8n1", "-w", bin, "-v", sim.slave}, {}, {}},
    };
    std::printf("64 KiB at 115200 Bd on velkor-sim --wire-time, %d runs each, median\n", runs);
    for (int i = 0; i < runs; ++i) {
        for (auto& c : contenders) {
            const Times t = Timed(c.args, log);
            if (t.status != 0) {
                std::fprintf(stderr, "%s failed (exit %d), see %s\n", c.name, t.status, log.c_str());
                return 1;
            }
            c.wall.push_back(t.wall);
            c.cpu.push_back(t.cpu);
        }
    }
    for (const auto& c : contenders)
        std::printf("%-30s wall %6.2f s   cpu %6.2f s\n", c.name, Median(c.wall), Median(c.cpu));
    const double fast = Median(contenders[0].wall), slow = Median(contenders[1].wall), peer = Median(contenders[2].wall);
    std::printf("--boot-delay 100: %.2f x stm32flash's wall time (goal: at most 1.0) - %s\n", fast / peer,
                fast <= peer ? "met" : "NOT met");
    std::printf("default delay: stm32flash + %.2f s (goal: at most + 1.5 s) - %s\n", slow - peer,
                slow <= peer + 1.5 ? "met" : "NOT met");
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
