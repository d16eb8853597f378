#include "platform/ports.h"

#include <filesystem>
#include <map>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace platform {

namespace {
std::string g_portsDir;
bool g_portsDirSet = false;
std::map<std::int32_t, std::string> g_bound;
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
    if (std::filesystem::is_symlink(link, ec) || std::filesystem::exists(link, ec)) return link.string();
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

bool PortListable(std::int32_t port) {
    const std::string path = DeviceName(port);
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

void SetSysfsTtyDir(const std::string&) {}

std::string OpenFailureReason(std::int32_t) { return {}; }

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
