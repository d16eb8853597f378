#include "platform/ports.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "platform/net_serial.h"
#include "platform/open_failure.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <grp.h>
#include <sys/stat.h>
#if defined(__linux__)
#include <sys/sysmacros.h>
#endif
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#endif

namespace platform {

#if defined(_WIN32)
std::string SystemMessage(unsigned long code);  // textfile_win32.cpp
#endif

namespace {
namespace fs = std::filesystem;

std::string g_portsDir;
bool g_portsDirSet = false;
std::map<std::int32_t, std::string> g_bound;
std::string g_sysfsTtyDir = "/sys/class/tty";
std::map<std::string, OpenFailure> g_openFailures;
}  // namespace

std::string WindowsDeviceName(std::int32_t port) {
    std::string name = "COM" + std::to_string(port);
    if (port >= 10) name = "\\\\.\\" + name;
    return name;
}

void SetPortsDir(const std::string& dir) {
    g_portsDir = dir;
    g_portsDirSet = true;
}

const std::string& PortsDir() {
    if (!g_portsDirSet) {
        g_portsDir = ExecutableDir() + "ports";
        g_portsDirSet = true;
    }
    return g_portsDir;
}

void BindPort(std::int32_t port, const std::string& devicePath) {
    if (devicePath.empty())
        g_bound.erase(port);
    else
        g_bound[port] = devicePath;
}

std::string PosixDevicePath(std::int32_t port) {
    if (auto it = g_bound.find(port); it != g_bound.end()) return it->second;
    const std::filesystem::path link = std::filesystem::path(PortsDir()) / ("COM" + std::to_string(port));
    std::error_code ec;
    if (std::filesystem::is_symlink(link, ec)) {
        // A link's text may name a network port: ln -s rfc2217://rack1:4001 COM5
        const std::string target = std::filesystem::read_symlink(link, ec).string();
        return IsNetworkDevice(target) ? target : link.string();
    }
    if (std::filesystem::is_regular_file(link, ec)) {
        // Or a file's first line does: echo rfc2217://rack1:4001 > COM5
        std::ifstream in(link);
        std::string line;
        std::getline(in, line);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        return IsNetworkDevice(line) ? line : link.string();
    }
    if (std::filesystem::exists(link, ec)) return link.string();
    struct Range {
        std::int32_t first, last;
        const char* prefix;
    };
    static constexpr Range kTable[] = {
        {1, 32, "/dev/ttyS"}, {33, 64, "/dev/ttyUSB"}, {65, 96, "/dev/ttyACM"}, {97, 99, "/dev/ttyAMA"}};
    for (const auto& r : kTable)
        if (port >= r.first && port <= r.last) return r.prefix + std::to_string(port - r.first);
    return {};
}

std::string DeviceName(std::int32_t port) {
#if defined(_WIN32)
    if (auto it = g_bound.find(port); it != g_bound.end()) return it->second;
    return WindowsDeviceName(port);
#else
    return PosixDevicePath(port);
#endif
}

void NoteOpenFailure(const std::string& device, OpenFailure failure) { g_openFailures[device] = failure; }

void ForgetOpenFailure(const std::string& device) { g_openFailures.erase(device); }

std::optional<OpenFailure> LastOpenFailure(const std::string& device) {
    const auto it = g_openFailures.find(device);
    if (it == g_openFailures.end()) return std::nullopt;
    return it->second;
}

void SetSysfsTtyDir(const std::string& dir) { g_sysfsTtyDir = dir; }

#if defined(_WIN32)

// Only opening tells; the scan on Windows opens.
bool PortListable(std::int32_t) { return true; }

std::string OpenFailureReason(std::int32_t port) {
    if (IsNetworkDevice(DeviceName(port))) return NetOpenFailureReason(DeviceName(port));
    const auto failure = LastOpenFailure(DeviceName(port));
    return failure ? SystemMessage(static_cast<unsigned long>(failure->error)) : std::string();
}

#else

namespace {

constexpr unsigned kPtySlaveMajorFirst = 136;  // Unix98 pty slaves: majors 136 to 143
constexpr unsigned kPtySlaveMajorLast = 143;

bool IsPtySlave(const struct stat& st) {
    const unsigned m = major(st.st_rdev);
    return m >= kPtySlaveMajorFirst && m <= kPtySlaveMajorLast;
}

// A serial driver with hardware behind it. Legacy ttyS ports without a UART
// hang on the serial8250 platform device; a device that is no tty at all has
// no entry here.
bool SerialHardware(const std::string& name) {
    std::error_code ec;
    const fs::path device = fs::path(g_sysfsTtyDir) / name / "device";
    if (!fs::exists(device, ec)) return false;
    return fs::canonical(device, ec).filename() != "serial8250" && !ec;
}

std::string ProcText(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The first process that has the device open, as "minicom (PID 1234)";
// empty when /proc shows none the user may see.
std::string Holder(const std::string& device) {
    std::error_code ec;
    const fs::path target = fs::canonical(device, ec);
    if (ec) return {};
    // Processes come and go meanwhile: every step takes its error code.
    for (fs::directory_iterator proc("/proc", ec), end; !ec && proc != end; proc.increment(ec)) {
        const std::string pid = proc->path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code fdEc;
        for (fs::directory_iterator fd(proc->path() / "fd", fdEc); !fdEc && fd != end; fd.increment(fdEc)) {
            std::error_code linkEc;
            if (fs::read_symlink(fd->path(), linkEc) != target) continue;
            const std::string name = ProcText(proc->path() / "comm");
            return name.empty() ? "PID " + pid : name + " (PID " + pid + ")";
        }
    }
    return {};
}

// The group that owns the device, unless that is root: the one to join.
std::string OwningGroup(const std::string& device) {
    struct stat st {};
    if (stat(device.c_str(), &st) != 0 || st.st_gid == 0) return {};
    std::vector<char> buf(4096);
    group g{};
    group* found = nullptr;
    if (getgrgid_r(st.st_gid, &g, buf.data(), buf.size(), &found) != 0 || !found) return {};
    return found->gr_name;
}

}  // namespace

bool PortListable(std::int32_t port) {
    const std::string path = DeviceName(port);
    if (path.empty()) return false;
    // Listed as mapped; only opening would tell whether the server is there.
    if (IsNetworkDevice(path)) return true;
    // A link counts as what it points at: ports/COM5 -> /dev/ttyUSB0 is judged as ttyUSB0.
    std::error_code ec;
    const fs::path target = fs::canonical(path, ec);
    struct stat st {};
    if (ec || stat(target.c_str(), &st) != 0 || !S_ISCHR(st.st_mode) || access(target.c_str(), R_OK | W_OK) != 0)
        return false;
    // A pseudo-terminal has no sysfs device; only a link the user made (the
    // demo, the tests) leads to one.
    if (IsPtySlave(st)) return true;
    return SerialHardware(target.filename().string());
}

std::string OpenFailureReason(std::int32_t port) {
    const std::string device = DeviceName(port);
    if (IsNetworkDevice(device)) return NetOpenFailureReason(device);
    const auto failure = LastOpenFailure(device);
    if (!failure) return {};
    switch (failure->error) {
        case ENOENT:
        case ENODEV:
        case ENXIO: return "Gerät nicht vorhanden";
        case EACCES:
        case EPERM: {
            const std::string group = OwningGroup(device);
            if (group.empty()) return "keine Berechtigung";
            return "keine Berechtigung: Benutzer in die Gruppe " + group + " aufnehmen, dann neu anmelden";
        }
        case EBUSY:
        case EWOULDBLOCK: {
            const std::string holder = Holder(device);
            return holder.empty() ? "von einem anderen Programm belegt" : "belegt von " + holder;
        }
        case ENOTTY: return "kein serielles Gerät";
        default: return std::strerror(failure->error);
    }
}

#endif

std::string ExecutableDir() {
#if defined(_WIN32)
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    std::string path(buf, n);
    auto pos = path.find_last_of("\\/:");
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
#else
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "./";
    return exe.parent_path().string() + "/";
#endif
}

}  // namespace platform
