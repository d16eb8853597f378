// The network port's reading of what a server sends: telnet and RFC 2217
// through the library, the buffering, purge and waits around it. Input: what
// the server sends once it has accepted the connection; then it closes its
// side. A server on 127.0.0.1 in a thread of this process plays it back.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "fuzz_input.h"
#include "platform/net_serial.h"

namespace {

int g_listener = -1;
std::string g_url;

void Listen() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    g_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    socklen_t len = sizeof a;
    if (g_listener < 0 || bind(g_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(g_listener, 4) != 0 || getsockname(g_listener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        std::perror("listen");
        std::abort();
    }
    g_url = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
}

// Sends the input, closes its sending side, and reads until the client has
// gone, so that the client sees every byte before the end.
void Serve(const std::uint8_t* data, std::size_t size) {
    const int c = accept4(g_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) return;
    const timeval limit{5, 0};
    setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(c, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    for (std::size_t sent = 0; sent < size;) {
        const ssize_t n = send(c, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    shutdown(c, SHUT_WR);
    char sink[4096];
    while (recv(c, sink, sizeof sink, 0) > 0) {
    }
    close(c);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Listen();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using platform::kClosedHandle;
    platform::SerialDeviceService& net = *platform::NetSerialDevices();
    std::thread server(Serve, data, size);
    const auto start = std::chrono::steady_clock::now();

    const platform::DeviceHandle h = net.Open(g_url);
    std::size_t got = 0;
    if (h == kClosedHandle) {
        FUZZ_CHECK(platform::NetOpenFailureReason(g_url).rfind("keine Verbindung zu 127.0.0.1:", 0) == 0);
    } else {
        platform::LineSettings line;
        line.baud = 115200;
        line.dataBits = 8;
        line.parity = 2;
        line.stopBits = 1;
        net.SetLineSettings(h, line);
        net.SetDtr(h, true);
        net.SetRts(h, false);
        std::uint8_t buf[512];
        for (int i = 0; i < 256; ++i) {
            const std::int32_t n = net.Read(h, buf, sizeof buf);
            FUZZ_CHECK(n >= 0 && n <= static_cast<std::int32_t>(sizeof buf));
            if (n > 0) {
                got += static_cast<std::size_t>(n);
                continue;
            }
            if (!net.WaitForInput(h, 5)) break;
        }
        net.Purge(h);
        net.Close(h);
    }
    server.join();
    // Telnet only ever takes bytes away (IAC IAC is one data byte).
    FUZZ_CHECK(got <= size);
    // The server's close ends every wait: none runs to its full limit.
    FUZZ_CHECK(std::chrono::steady_clock::now() - start < std::chrono::seconds(4));
    return 0;
}
