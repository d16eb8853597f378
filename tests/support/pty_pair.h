// A pseudo-terminal pair for tests of the real serial service: the test
// holds the master, the code under test opens the slave like a serial port.
// POSIX only; header-only so that the support library stays portable.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/wait_for.h"

namespace testsupport {

class PtyPair {
public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        char name[128];
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slave_ = name;
    }
    ~PtyPair() {
        if (master_ >= 0) close(master_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    // The far end gone: the slave side sees a hang-up.
    void CloseMaster() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }
    const std::string& slave() const { return slave_; }

    // Everything, into the slave's input queue.
    bool Send(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        return WaitFor([&] {
            const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<std::size_t>(n);
            return done == bytes.size();
        });
    }

    // What the slave side wrote, until n bytes have come or the limit.
    std::vector<std::uint8_t> Receive(std::size_t n, int limitMs = kRealTimeLimitMs) {
        std::vector<std::uint8_t> got;
        std::uint8_t buf[4096];
        WaitFor(
            [&] {
                const ssize_t r = read(master_, buf, sizeof buf);
                if (r > 0) got.insert(got.end(), buf, buf + r);
                return got.size() >= n;
            },
            limitMs);
        return got;
    }

    int Waiting() const {
        int n = 0;
        return ioctl(master_, FIONREAD, &n) == 0 ? n : -1;
    }

private:
    int master_ = -1;
    std::string slave_;
};

}  // namespace testsupport
