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
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
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

namespace {

// "COM7" -> 7; 0 for any other name.
std::int32_t ComNumber(const wchar_t* name) {
    if (_wcsnicmp(name, L"COM", 3) != 0 || name[3] == L'\0') return 0;
    std::int32_t n = 0;
    for (const wchar_t* c = name + 3; *c; ++c) {
        if (*c < L'0' || *c > L'9' || n > 10000) return 0;
        n = n * 10 + (*c - L'0');
    }
    return n;
}

// The serial drivers enter each port they serve here, USB adapters included.
bool InSerialComm(std::int32_t port) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    bool found = false;
    for (DWORD i = 0; !found; ++i) {
        wchar_t name[256];
        wchar_t data[64];
        DWORD nameLen = 256, dataSize = sizeof data - sizeof(wchar_t), type = 0;
        const LONG r = RegEnumValueW(key, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataSize / sizeof(wchar_t)] = L'\0';
        found = ComNumber(data) == port;
    }
    RegCloseKey(key);
    return found;
}

}  // namespace

// Opening raises DTR and RTS, which resets whatever hangs on the port: the
// system's lists of serial devices tell which ports exist. The device
// namespace also holds ports no driver entered in the registry (virtual
// ones, Wine's).
bool PortListable(std::int32_t port) {
    if (port <= 0) return false;
    if (InSerialComm(port)) return true;
    const std::wstring name = L"COM" + std::to_wstring(port);
    wchar_t target[1024];
    return QueryDosDeviceW(name.c_str(), target, 1024) != 0;
}
bool ListPortsByOpening() { return false; }

std::string OpenFailureReason(std::int32_t port) {
    const std::string device = DeviceName(port);
    if (IsNetworkDevice(device)) return NetOpenFailureReason(device);
    const auto failure = LastOpenFailure(device);
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

// Whether the process holds the master side of pseudo-terminal slave number
// index: then it is the other end of the line (a simulated chip), not a user
// of the port.
bool HoldsMasterOf(const fs::path& procDir, unsigned index) {
    std::error_code ec;
    const std::string wanted = "tty-index:\t" + std::to_string(index);
    for (fs::directory_iterator fd(procDir / "fdinfo", ec), end; !ec && fd != end; fd.increment(ec)) {
        std::ifstream in(fd->path());
        for (std::string line; std::getline(in, line);)
            if (line == wanted) return true;
    }
    return false;
}

std::string ProcessName(const std::string& pid) {
    const std::string name = ProcText(fs::path("/proc") / pid / "comm");
    return name.empty() ? "PID " + pid : name + " (PID " + pid + ")";
}

// The process whose lock on the file keeps this program out, as this
// program and others lock a port they open.
std::string LockHolder(const struct stat& st) {
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, where;
        if (fields >> number >> kind >> mode >> access >> pid >> where && kind == "FLOCK" && where == file &&
            pid.find_first_not_of("0123456789") == std::string::npos)
            return ProcessName(pid);
    }
    return {};
}

// The first process that has the device open for itself, as "minicom (PID
// 1234)": the one that locked it, else one that has it open and isn't the
// other side of a pseudo-terminal. Empty when /proc shows none the user may see.
std::string Holder(const std::string& device) {
    std::error_code ec;
    const fs::path target = fs::canonical(device, ec);
    struct stat st {};
    if (ec || stat(target.c_str(), &st) != 0) return {};
    if (std::string locker = LockHolder(st); !locker.empty()) return locker;
    const bool pty = IsPtySlave(st);
    const unsigned index = (major(st.st_rdev) - kPtySlaveMajorFirst) * 256 + minor(st.st_rdev);
    // Processes come and go meanwhile: every step takes its error code.
    for (fs::directory_iterator proc("/proc", ec), end; !ec && proc != end; proc.increment(ec)) {
        const std::string pid = proc->path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code fdEc;
        bool holds = false;
        for (fs::directory_iterator fd(proc->path() / "fd", fdEc); !fdEc && fd != end && !holds; fd.increment(fdEc)) {
            std::error_code linkEc;
            holds = fs::read_symlink(fd->path(), linkEc) == target;
        }
        if (!holds || (pty && HoldsMasterOf(proc->path(), index))) continue;
        return ProcessName(pid);
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

// Opening raises DTR and RTS, which resets whatever board or printer hangs
// on the port: the device nodes tell which ports can be opened.
bool ListPortsByOpening() { return false; }

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
            if (!holder.empty()) return "belegt von " + holder;
            // The exclusive mode outlives a program killed outright while the
            // terminal's other side stays open; a lock needs an open file.
            return failure->error == EBUSY ? "noch exklusiv markiert von einem Programm, das beendet ist"
                                           : "von einem anderen Programm belegt";
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
