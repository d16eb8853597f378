#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include "platform/ports.h"
#include "platform/serial_speed_linux.h"

namespace sim {

namespace {

namespace fs = std::filesystem;

std::uint64_t NowUs(std::chrono::steady_clock::time_point start) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
}

// What the client set on the slave side: the speed its bytes arrive at. A
// Linux pty forces CS8 and clears PARENB whatever the client asks, so data
// bits and parity can't be seen here and count as the chip's 8E1.
platform::LineSettings Framing(int slave) {
    platform::LineSettings s;
    s.dataBits = 8;
    s.parity = 2;
    termios t{};
    if (tcgetattr(slave, &t) != 0) return s;
    std::uint32_t baud = 0;
    if (platform::kernel_speed::Get(slave, baud)) s.baud = static_cast<std::int32_t>(baud);
    s.stopBits = t.c_cflag & CSTOPB ? 2 : 1;
    return s;
}

void MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL;
    tcsetattr(fd, TCSANOW, &t);
}

// The flash file: read at start, then every change is written through at
// its offset so a reader sees it while the chip runs.
class FlashFile {
public:
    bool Open(const std::string& path, std::vector<std::uint8_t>& flash, std::ostream& err) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
        if (fd_ < 0) {
            err << "velkor-sim: can't open " << path << ": " << std::strerror(errno) << "\n";
            return false;
        }
        std::size_t got = 0;
        while (got < flash.size()) {
            const ssize_t n = ::pread(fd_, flash.data() + got, flash.size() - got, static_cast<off_t>(got));
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        return true;
    }
    void Save(const std::vector<std::uint8_t>& flash, std::uint32_t offset, std::uint32_t length) {
        if (fd_ < 0) return;
        if (!sized_) {
            // The first save writes the whole image, so the file is exactly the flash.
            sized_ = ::ftruncate(fd_, static_cast<off_t>(flash.size())) == 0;
            offset = 0;
            length = static_cast<std::uint32_t>(flash.size());
        }
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pwrite(fd_, flash.data() + offset + done, length - done, static_cast<off_t>(offset + done));
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
    }
    ~FlashFile() {
        if (fd_ >= 0) ::close(fd_);
    }

private:
    int fd_ = -1;
    bool sized_ = false;
};

}  // namespace

int ServePty(const SimOptions& o, volatile std::sig_atomic_t& stop, std::ostream& out, std::ostream& err) {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        err << "velkor-sim: no pseudo-terminal: " << std::strerror(errno) << "\n";
        return 1;
    }
    const char* name = ::ptsname(master);
    const std::string slavePath = name ? name : "";
    // Holding the slave open keeps the master readable between clients and
    // lets the loop read the framing the client set.
    int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) {
        err << "velkor-sim: can't open " << slavePath << ": " << std::strerror(errno) << "\n";
        ::close(master);
        return 1;
    }
    MakeRaw(master);
    MakeRaw(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    Chip chip(o.preset);
    chip.SetImplicitReset(true);
    chip.SetWireTime(o.wireTime);
    chip.SetFlashTime(o.flashTime);
    chip.faults() = o.faults;
    if (o.readoutProtected) chip.SetReadoutProtected(true);

    // Started again with both files, the chip has been powered off and on.
    FlashFile optionsFile;
    if (!o.optionsFile.empty()) {
        if (!optionsFile.Open(o.optionsFile, chip.OptionBytes(), err)) return 1;
        chip.PowerOn(false, true, 0);
        chip.SetOptionsChanged([&] {
            optionsFile.Save(chip.OptionBytes(), 0, static_cast<std::uint32_t>(chip.OptionBytes().size()));
        });
    }
    FlashFile flashFile;
    if (!o.flashFile.empty()) {
        if (!flashFile.Open(o.flashFile, chip.Flash(), err)) return 1;
        chip.PowerOn(false, true, 0);  // its empty check sees the file's flash
        chip.SetFlashChanged([&](std::uint32_t off, std::uint32_t len) { flashFile.Save(chip.Flash(), off, len); });
    }

    std::ofstream logFile;
    std::ostream* log = nullptr;
    if (o.logFile == "-") {
        log = &err;
    } else if (!o.logFile.empty()) {
        logFile.open(o.logFile, std::ios::app);
        if (!logFile) {
            err << "velkor-sim: can't write " << o.logFile << "\n";
            return 1;
        }
        log = &logFile;
    }
    // Powered on long ago: the bootloader already waits for 0x7F when the path is printed.
    const auto start = std::chrono::steady_clock::now() - std::chrono::microseconds(o.preset.timing.bootStartUs + 1000);
    if (log) {
        chip.SetLogSink([&](const std::string& line) {
            char stamp[32];
            std::snprintf(stamp, sizeof stamp, "%10.6f ", static_cast<double>(NowUs(start)) / 1e6);
            *log << stamp << line << std::endl;
        });
    }

    fs::path link;
    if (o.link > 0) {
        const fs::path dir = o.portsDir.empty() ? fs::path(platform::PortsDir()) : fs::path(o.portsDir);
        link = dir / ("COM" + std::to_string(o.link));
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (fs::is_symlink(fs::symlink_status(link, ec))) fs::remove(link, ec);
        fs::create_symlink(slavePath, link, ec);
        if (ec) {
            err << "velkor-sim: can't link " << link.string() << ": " << ec.message() << "\n";
            return 1;
        }
    }

    out << slavePath << std::endl;

    std::string pending;           // sent by the chip, not yet taken by the pty
    std::uint64_t received = 0;
    std::uint64_t lastArrival = 0;
    // An adapter's latency timer: bytes wait until it runs out or a USB
    // packet is full (62 bytes and 2 of status).
    constexpr std::size_t kUsbPacketData = 62;
    std::uint64_t heldSince = 0;
    // How many of the pending bytes the adapter passes on now: all once the
    // timer has run out, else only its full packets.
    const auto sendable = [&](std::uint64_t t) -> std::size_t {
        if (o.latencyMs == 0 || t >= heldSince + o.latencyMs * 1000ull) return pending.size();
        return pending.size() / kUsbPacketData * kUsbPacketData;
    };
    bool hungUp = false;
    while (!stop && !hungUp) {
        std::uint64_t now = NowUs(start);
        int timeoutMs = 100;
        for (auto next : {chip.NextSentUs(), chip.NextInputUs()})
            if (next) timeoutMs = std::min<int>(timeoutMs, static_cast<int>(*next > now ? (*next - now + 999) / 1000 : 0));
        const bool canSend = sendable(now) > 0;
        if (!pending.empty() && !canSend)
            timeoutMs = std::min<int>(timeoutMs, static_cast<int>((heldSince + o.latencyMs * 1000ull - now + 999) / 1000));
        pollfd p{master, static_cast<short>(POLLIN | (canSend ? POLLOUT : 0)), 0};
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready < 0 && errno != EINTR) break;
        now = NowUs(start);
        if (p.revents & POLLIN) {
            std::uint8_t buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                const platform::LineSettings f = Framing(slave);
                const std::uint64_t byteUs = o.wireTime ? ByteNs(f) / 1000 : 0;
                for (ssize_t i = 0; i < n && !hungUp; ++i) {
                    lastArrival = std::max(now, lastArrival + byteUs);
                    chip.Receive(buf[i], lastArrival, f);
                    if (o.hangUpAfter && ++received >= *o.hangUpAfter) hungUp = true;
                }
            }
        }
        chip.AdvanceTo(now);
        std::uint8_t b = 0;
        const bool wasEmpty = pending.empty();
        while (chip.TakeSent(now, b)) pending.push_back(static_cast<char>(b));
        if (wasEmpty && !pending.empty()) heldSince = now;
        if (const std::size_t n = sendable(now); n > 0) {
            const ssize_t done = ::write(master, pending.data(), n);
            if (done > 0) {
                pending.erase(0, static_cast<std::size_t>(done));
                heldSince = now;  // each transfer starts the timer again
            }
        }
    }
    if (hungUp) {
        if (log) *log << "hang up" << std::endl;
        ::close(slave);
        ::close(master);
        slave = master = -1;
        // The chip's times stay in the past now: polling on them would spin.
        while (!stop) ::poll(nullptr, 0, 100);
    }

    if (!link.empty()) {
        std::error_code ec;
        if (fs::read_symlink(link, ec) == fs::path(slavePath)) fs::remove(link, ec);
    }
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
    return 0;
}

}  // namespace sim
