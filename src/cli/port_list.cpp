#include "cli/port_list.h"

#include <filesystem>

#include "cli/options.h"
#include "platform/ports.h"

namespace cli {

namespace fs = std::filesystem;

std::string ByIdName(const std::string& path, const std::string& byIdDir) {
    std::error_code ec;
    const fs::path device = fs::canonical(path, ec);
    if (ec) return {};
    for (fs::directory_iterator it(byIdDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkEc;
        if (fs::canonical(it->path(), linkEc) == device && !linkEc) return it->path().string();
    }
    return {};
}

std::vector<ListedPort> ListPorts(const std::string& byIdDir) {
    std::vector<ListedPort> ports;
    for (std::int32_t n = 1; n <= kMaxPortNumber; ++n) {
        if (!platform::PortListable(n)) continue;
        ListedPort p;
        p.number = n;
        p.path = platform::DeviceName(n);
        std::error_code ec;
        if (const fs::path resolved = fs::canonical(p.path, ec); !ec) p.path = resolved.string();
        p.byId = ByIdName(p.path, byIdDir);
        ports.push_back(std::move(p));
    }
    return ports;
}

}  // namespace cli
