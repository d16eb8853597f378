// The ports command: which port numbers have a device, found as the window's
// scan finds them, without opening any device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

struct ListedPort {
    std::int32_t number = 0;
    std::string path;  // the device, links followed
    std::string byId;  // its name in the by-id folder; empty if none
};

inline constexpr const char* kSerialByIdDir = "/dev/serial/by-id";

// Port numbers 1 to 255 in order.
std::vector<ListedPort> ListPorts(const std::string& byIdDir = kSerialByIdDir);
// The link in byIdDir that leads to the same device as path; empty if none.
std::string ByIdName(const std::string& path, const std::string& byIdDir);

}  // namespace cli
