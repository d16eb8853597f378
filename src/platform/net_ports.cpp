#include "platform/net_serial.h"

namespace platform {

namespace {

constexpr std::string_view kUrlPrefix = "rfc2217://";
std::uint32_t g_margin = kDefaultNetMarginMs;

// Handles of the network service start here, far above any descriptor.
constexpr DeviceHandle kNetBase = DeviceHandle{1} << 30;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

class Router : public SerialDeviceService {
public:
    DeviceHandle Open(const std::string& name) override {
        if (!IsNetworkDevice(name)) return OsSerialDevices().Open(name);
        SerialDeviceService* net = NetSerialDevices();
        if (!net) return kClosedHandle;
        const DeviceHandle h = net->Open(name);
        return h == kClosedHandle ? h : h + kNetBase;
    }
    bool GetLineSettings(DeviceHandle h, LineSettings& out) override { return S(h).GetLineSettings(H(h), out); }
    bool SetLineSettings(DeviceHandle h, const LineSettings& s) override { return S(h).SetLineSettings(H(h), s); }
    bool SetDtr(DeviceHandle h, bool on) override { return S(h).SetDtr(H(h), on); }
    bool SetRts(DeviceHandle h, bool on) override { return S(h).SetRts(H(h), on); }
    std::int32_t BytesWaiting(DeviceHandle h) override { return S(h).BytesWaiting(H(h)); }
    bool WaitForInput(DeviceHandle h, std::uint32_t ms) override { return S(h).WaitForInput(H(h), ms); }
    std::int32_t Read(DeviceHandle h, std::uint8_t* buf, std::int32_t max) override {
        return S(h).Read(H(h), buf, max);
    }
    std::int32_t Write(DeviceHandle h, const std::uint8_t* data, std::int32_t n) override {
        return S(h).Write(H(h), data, n);
    }
    bool Purge(DeviceHandle h) override { return S(h).Purge(H(h)); }
    void Close(DeviceHandle h) override { S(h).Close(H(h)); }

private:
    static bool Net(DeviceHandle h) { return h >= kNetBase && NetSerialDevices(); }
    static SerialDeviceService& S(DeviceHandle h) { return Net(h) ? *NetSerialDevices() : OsSerialDevices(); }
    static DeviceHandle H(DeviceHandle h) { return Net(h) ? h - kNetBase : h; }
};

}  // namespace

bool IsNetworkDevice(std::string_view name) { return StartsWith(name, kUrlPrefix) || StartsWith(name, "telnet("); }

std::string GensioString(std::string_view name) {
    if (!StartsWith(name, kUrlPrefix)) return std::string(name);
    std::string_view rest = name.substr(kUrlPrefix.size());
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) return {};
    std::string_view host = rest.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    const std::string_view port = rest.substr(colon + 1);
    if (host.empty() || port.empty() || port.find_first_not_of("0123456789") != std::string_view::npos) return {};
    return "telnet(rfc2217),tcp(nodelay)," + std::string(host) + "," + std::string(port);
}

std::string NetworkLabel(std::string_view name) {
    if (StartsWith(name, kUrlPrefix)) return std::string(name.substr(kUrlPrefix.size()));
    // A connection string ends in "...,HOST,PORT".
    const std::size_t last = name.rfind(',');
    if (last == std::string_view::npos || last == 0) return std::string(name);
    const std::size_t before = name.rfind(',', last - 1);
    if (before == std::string_view::npos) return std::string(name);
    return std::string(name.substr(before + 1, last - before - 1)) + ":" + std::string(name.substr(last + 1));
}

void SetNetWaitMargin(std::uint32_t ms) { g_margin = ms; }
std::uint32_t NetWaitMargin() { return g_margin; }

SerialDeviceService& RoutedSerialDevices() {
    static Router r;
    return r;
}

}  // namespace platform
