// Runs velkor-cli (or velkor-sim) as a process of its own and collects what
// it writes. POSIX only.
#pragma once

#include <sys/types.h>

#include <string>
#include <thread>
#include <vector>

namespace clitest {

// velkor-cli in the program folder of the build.
std::string CliPath();

struct Result {
    int exitCode = -1;  // -1: killed after the time limit
    std::string out;
    std::string err;
};

// Waits for the end with a generous limit. stderrFd >= 0 gives the child
// that descriptor (a terminal) as its standard error instead of a pipe;
// err is then empty.
Result RunProgram(const std::string& exe, const std::vector<std::string>& args, const std::string& cwd = {},
           int stderrFd = -1, int limitMs = 180000);

// A background process whose first line of standard output is read at
// start (velkor-sim prints its pseudo-terminal there). Ended at destruction.
class Background {
public:
    Background(const std::string& exe, const std::vector<std::string>& args);
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    const std::string& firstLine() const { return firstLine_; }
    bool running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string firstLine_;
    std::thread drain_;  // what it writes after the first line, so it never blocks on a full pipe
};

std::vector<std::string> Lines(const std::string& text);

}  // namespace clitest
