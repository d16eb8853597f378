// velkor-sim as a child process, and a client on its pseudo-terminal.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

// The velkor-sim beside the other programs of this build.
std::string SimPath();

class SimProcess {
public:
    // Starts velkor-sim and waits (up to 10 s) for the slave's path.
    explicit SimProcess(const std::vector<std::string>& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& slave() const { return slave_; }
    // Sends the signal and waits for the end: the exit code, -1 if it had to be killed.
    int Stop(int signal = SIGTERM);

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string slave_;
};

// The slave in raw mode at the given speed, 8 data bits, even parity.
int OpenSlave(const std::string& path, speed_t speed = B115200);
// Writes send, then reads until want bytes came or limitMs passed.
Bytes Exchange(int fd, const Bytes& send, std::size_t want, int limitMs = 5000);
// Runs a program to its end; standard output and error into output. The
// exit code, -1 when it did not end within limitSec.
int Run(const std::vector<std::string>& argv, std::string& output, int limitSec = 120);

}  // namespace simtest
