// velkor-cli through ser2net on 127.0.0.1: an RFC 2217 accepter in front of
// velkor-sim's pseudo-terminal, as a board in a rack is reached. Every TCP
// port here is a free one on the loopback address.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli_run.h"
#include "support/pty_pair.h"
#include "support/recorders.h"
#include "support/wait_for.h"

namespace {

using clitest::Background;
using clitest::CliPath;
using clitest::RunProgram;
using testsupport::ProgramDir;
using testsupport::ReadFile;
using testsupport::WaitFor;

constexpr int kStartLimitMs = 20000;

int Loopback(sockaddr_in& a, int port) {
    a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

// A port nobody listens on now; the kernel picks it.
int FreePort() {
    sockaddr_in a;
    const int s = Loopback(a, 0);
    socklen_t len = sizeof a;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("no free port");
    close(s);
    return ntohs(a.sin_port);
}

// From the kernel's table, without connecting: a connection would open the
// device behind ser2net.
bool Listening(int port) {
    std::ifstream tcp("/proc/net/tcp");
    char want[32];
    std::snprintf(want, sizeof want, "0100007F:%04X", port);
    for (std::string line; std::getline(tcp, line);) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == want && state == "0A") return true;
    }
    return false;
}

std::string Url(int port) { return "rfc2217://127.0.0.1:" + std::to_string(port); }

class Sim {
public:
    explicit Sim(std::vector<std::string> args = {}) : process_(ProgramDir() + "/velkor-sim", std::move(args)) {}
    const std::string& device() const { return process_.firstLine(); }

private:
    Background process_;
};

struct Ser2netOptions {
    std::string ssl;      // the options of a TLS layer under the telnet one; empty for none
    std::string authdir;  // where ser2net finds the client certificates it lets in
    std::string trace;    // a file for strace's record of ser2net's ioctls on the device
};

// ser2net with an RFC 2217 accepter on 127.0.0.1 for each device, in the
// foreground; stopped at destruction.
class Ser2net {
public:
    Ser2net(const testsupport::TempDir& tmp, const std::vector<std::string>& devices, const Ser2netOptions& o = {}) {
        std::string yaml;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            ports_.push_back(FreePort());
            // 9600 N: what the line has until the client sets its own.
            yaml += "connection: &board" + std::to_string(i) + "\n" +
                    "  accepter: telnet(rfc2217)," + (o.ssl.empty() ? "" : "ssl(" + o.ssl + "),") +
                    "tcp(nodelay),127.0.0.1," + std::to_string(ports_.back()) + "\n" +
                    "  connector: serialdev," + devices[i] + ",9600n81,local\n" +
                    "  options:\n    kickolduser: false\n    chardelay: false\n    mdns: false\n" +
                    (o.authdir.empty() ? "" : "    authdir: " + o.authdir + "\n");
        }
        const std::string name = "ser2net" + std::to_string(ports_.front());
        tmp.Write(name + ".yaml", yaml);
        pidFile_ = tmp.File(name + ".pid");
        std::string command = "exec ser2net -n -d -u -c \"$0\" -P \"$1\"";
        traced_ = !o.trace.empty();
        if (traced_)
            command = "exec strace -f --seccomp-bpf -v -e trace=openat,ioctl,writev -e signal=none -o \"$2\" " + command.substr(5);
        // The shell prints the line Background waits for, then becomes ser2net.
        process_ = std::make_unique<Background>(
            "/bin/sh", std::vector<std::string>{"-c", "echo started; " + command, tmp.File(name + ".yaml"), pidFile_,
                                                o.trace});
        EXPECT_TRUE(WaitFor([&] {
            for (int p : ports_)
                if (!Listening(p)) return false;
            return true;
        }, kStartLimitMs)) << "ser2net did not start listening";
    }
    ~Ser2net() {
        // Under strace the process we started is strace, which would leave
        // ser2net running when stopped itself.
        if (traced_)
            if (const std::string pid = ReadFile(pidFile_); !pid.empty()) kill(static_cast<pid_t>(std::stol(pid)), SIGTERM);
    }
    int port(std::size_t i = 0) const { return ports_.at(i); }
    // Gone at once, connections and all, as a machine that loses power.
    void Kill() {
        const pid_t pid = static_cast<pid_t>(std::stol(ReadFile(pidFile_)));
        ASSERT_GT(pid, 1);
        kill(pid, SIGKILL);
    }

private:
    std::vector<int> ports_;
    std::string pidFile_;
    bool traced_ = false;
    std::unique_ptr<Background> process_;
};

std::string Pattern(std::size_t n) {
    std::string data(n, '\0');
    for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<char>(i * 7 + i / 256 + 3);
    return data;
}

std::size_t LineCount(const std::string& file) {
    std::ifstream in(file);
    std::size_t n = 0;
    for (std::string line; std::getline(in, line);) ++n;
    return n;
}

// The RFC 2217 requests (IAC SB 44 ...) in a raw trace of what went to the
// server, each as "command:value bytes"; "data:7F" for the sync byte.
std::vector<std::string> ComPortRequests(const std::string& trace) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i + 3 < trace.size(); ++i) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(trace[k]); };
        if (b(i) == 0x7F) {
            out.push_back("data:7F");
            break;
        }
        if (b(i) != 0xFF || b(i + 1) != 0xFA || b(i + 2) != 44) continue;
        std::string text = std::to_string(b(i + 3)) + ":";
        std::size_t k = i + 4;
        for (; k + 1 < trace.size() && !(b(k) == 0xFF && b(k + 1) == 0xF0); ++k) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", b(k));
            text += hex;
        }
        out.push_back(text);
        i = k;
    }
    return out;
}

// What ser2net did to the device, from strace's record, up to the first
// sync byte it wrote: "115200 8E1" for a line setting, "flush", "modem" for
// a modem-line call (which fails on a pseudo-terminal), "sync".
std::vector<std::string> DeviceSteps(const std::string& trace, const std::string& device) {
    std::vector<std::string> steps;
    std::string fd;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        if (fd.empty()) {
            const auto open = line.find("openat(AT_FDCWD, \"" + device + "\"");
            const auto result = line.rfind(" = ");
            if (open != std::string::npos && result != std::string::npos && line[result + 3] != '-')
                fd = line.substr(result + 3);
            continue;
        }
        const auto has = [&](const std::string& text) { return line.find(text) != std::string::npos; };
        if (has("writev(" + fd + ", [{iov_base=\"\\177\"")) {
            steps.push_back("sync");
            break;
        }
        if (!has("ioctl(" + fd + ", ")) continue;
        if (has("TCFLSH")) {
            steps.push_back("flush");
        } else if (has("TIOCM")) {
            steps.push_back("modem");
        } else if (has("TCSETS")) {
            const auto speed = line.find("c_ospeed=");
            const std::string parity = !has("PARENB") ? "N" : has("PARODD") ? "O" : "E";
            steps.push_back((speed == std::string::npos ? std::string("?")
                                                        : line.substr(speed + 9, line.find_first_of(",}", speed) - speed - 9)) +
                            " " + (has("CS8") ? "8" : "?") + parity + (has("CSTOPB") ? "2" : "1"));
        }
    }
    return steps;
}

TEST(NetPorts, WholeJobThroughSer2netWithItsRequestsInOrder) {
    testsupport::TempDir tmp;
    const std::string fw = Pattern(0x10000);
    tmp.Write("fw.bin", fw);
    Sim sim;
    ASSERT_FALSE(sim.device().empty());
    Ser2netOptions traced;
    traced.trace = tmp.File("ser2net.strace");
    Ser2net server(tmp, {sim.device()}, traced);
    // A gensio connection string with a trace of what goes out.
    const std::string device = "telnet(rfc2217),trace(dir=write,raw,file=" + tmp.File("wire.bin") +
                               "),tcp(nodelay),127.0.0.1," + std::to_string(server.port());
    const auto r = RunProgram(CliPath(),
                              {"--device", device, "--json", "--baud", "115200", "--boot-delay", "100",
                               "--flash-len", "0x10000", "--net-margin", "80", "info", "program", "--erase",
                               "fw.bin", "verify", "fw.bin", "read", "back.bin"},
                              tmp.path());
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    // info made the chip found current, with its 128 KiB: the image is the first 64.
    EXPECT_TRUE(tmp.Read("back.bin").substr(0, fw.size()) == fw) << "read-back differs";
    EXPECT_NE(r.out.find("\"type\":\"run\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"net_margin_ms\":80"), std::string::npos) << r.out;
    // A pseudo-terminal has no modem lines: ser2net never confirms them.
    EXPECT_NE(r.err.find("127.0.0.1:" + std::to_string(server.port()) + ": der Server bestätigt DTR/RTS nicht"),
              std::string::npos)
        << r.err;

    // Open's query, 115200 8E1, the purge with its query, then Connect's lines
    // with the start values (reset DTR hi, boot RTS lo): DTR on, RTS off, DTR
    // off, and only then the sync byte.
    const std::vector<std::string> expected = {"1:00000000", "1:0001C200", "2:08",     "3:03",    "4:01",
                                               "12:03",      "1:00000000", "5:08",     "5:0C",    "5:09",
                                               "data:7F"};
    EXPECT_EQ(ComPortRequests(tmp.Read("wire.bin")), expected);

    // On ser2net's side: 115200 8E1 on the device, its queues flushed, then
    // the three line changes (refused by the pseudo-terminal), then the sync.
    std::vector<std::string> steps = DeviceSteps(tmp.Read("ser2net.strace"), sim.device());
    ASSERT_FALSE(steps.empty()) << "no record of the device in ser2net's trace";
    EXPECT_EQ(steps.back(), "sync") << ::testing::PrintToString(steps);
    const auto flush = std::find(steps.rbegin(), steps.rend(), "flush");
    ASSERT_NE(flush, steps.rend()) << ::testing::PrintToString(steps);
    EXPECT_GE(std::count(steps.rbegin(), flush, "modem"), 3) << ::testing::PrintToString(steps);
    const auto setting = std::find_if(flush, steps.rend(), [](const std::string& s) { return s != "flush" && s != "modem"; });
    ASSERT_NE(setting, steps.rend()) << ::testing::PrintToString(steps);
    EXPECT_EQ(*setting, "115200 8E1") << ::testing::PrintToString(steps);
}

TEST(NetPorts, TwoBoardsBehindOneSer2netAndALocalOneAtOnce) {
    testsupport::TempDir tmp;
    tmp.Write("fw.bin", Pattern(0x2000));
    Sim a, b, local;
    Ser2net server(tmp, {a.device(), b.device()});
    const auto r = RunProgram(CliPath(),
                              {"--device", Url(server.port(0)), "--device", Url(server.port(1)), "--device",
                               local.device(), "--baud", "115200", "--boot-delay", "100", "--flash-len", "0x2000",
                               "program", "--erase", "fw.bin", "verify", "fw.bin", "read", "back-{port}.bin"},
                              tmp.path());
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(tmp.Read("back-127.0.0.1-" + std::to_string(server.port(i)) + ".bin") == Pattern(0x2000))
            << "read-back of board " << i << " differs";
    EXPECT_NE(r.out.find(Url(server.port(1))), std::string::npos) << r.out;
}

// A CA and a certificate it signed for 127.0.0.1, as a rack would have.
bool MakeCertificates(const testsupport::TempDir& tmp, const std::string& ca, const std::string& server) {
    const std::string d = tmp.path() + "/";
    const std::string quiet = " >/dev/null 2>&1";
    const std::string steps[] = {
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + ca + " -keyout " + d + ca + ".key -out " +
            d + ca + ".crt",
        "openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout " + d + server + ".key -out " + d + server +
            ".csr",
        "printf 'subjectAltName=IP:127.0.0.1\\n' > " + d + "ext",
        "openssl x509 -req -days 2 -in " + d + server + ".csr -CA " + d + ca + ".crt -CAkey " + d + ca +
            ".key -CAcreateserial -extfile " + d + "ext -out " + d + server + ".crt",
    };
    for (const auto& step : steps)
        if (std::system((step + quiet).c_str()) != 0) return false;
    return true;
}

// A key and a self-signed certificate for a programming PC, let in by the
// rack when it is in its name's folder under authdir.
bool MakeClient(const testsupport::TempDir& tmp, const std::string& name, bool allowed) {
    const std::string d = tmp.path() + "/";
    const std::string allowedDir = d + "auth/" + name + "/allowed_certs";
    std::string steps = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + name + " -keyout " + d +
                        name + ".key -out " + d + name + ".crt";
    if (allowed)
        steps += " && mkdir -p " + allowedDir + " && cp " + d + name + ".crt " + allowedDir + " && openssl rehash " +
                 allowedDir;
    return std::system(("(" + steps + ") >/dev/null 2>&1").c_str()) == 0;
}

TEST(NetPorts, ThroughTlsEachEndChecksTheOthersCertificate) {
    testsupport::TempDir tmp;
    ASSERT_TRUE(MakeCertificates(tmp, "rack-ca", "rack1"));
    ASSERT_TRUE(MakeCertificates(tmp, "other-ca", "other"));
    ASSERT_TRUE(MakeClient(tmp, "line1", true));
    ASSERT_TRUE(MakeClient(tmp, "line2", false));
    Sim sim;
    Ser2netOptions tls;
    tls.ssl = "key=" + tmp.File("rack1.key") + ",cert=" + tmp.File("rack1.crt") + ",clientauth";
    tls.authdir = tmp.File("auth");
    Ser2net server(tmp, {sim.device()}, tls);
    const std::string refused = "keine Verbindung zu 127.0.0.1:" + std::to_string(server.port()) + ": ";
    struct Case {
        std::string ca, client;
        std::string out;  // on standard output when let in, else on standard error
    };
    const std::vector<Case> cases = {
        {"rack-ca", "line1", "STM32F10x medium density"},
        {"other-ca", "line1", refused + "Zertifikat abgelehnt"},
        {"rack-ca", "line2", refused + "vom Server getrennt (Zertifikat nicht angenommen"},
        {"rack-ca", "", refused + "vom Server getrennt (Zertifikat nicht angenommen"},
    };
    for (const auto& c : cases) {
        const std::string client =
            c.client.empty() ? "" : ",cert=" + tmp.File(c.client + ".crt") + ",key=" + tmp.File(c.client + ".key");
        const auto r = RunProgram(CliPath(),
                                  {"--device",
                                   "telnet(rfc2217),ssl(CA=" + tmp.File(c.ca + ".crt") + client + "),tcp(nodelay),127.0.0.1," +
                                       std::to_string(server.port()),
                                   "--boot-delay", "100", "info"},
                                  tmp.path());
        const bool in = c.out.rfind(refused, 0) != 0;
        EXPECT_EQ(r.exitCode, in ? 0 : 1) << c.ca << " " << c.client << "\n" << r.err;
        EXPECT_NE((in ? r.out : r.err).find(c.out), std::string::npos) << c.ca << " " << c.client << "\n" << r.out << r.err;
    }
}

// A server that answers the connection with what no RFC 2217 server sends:
// broken telnet options, then bytes and more bytes.
class BabblingServer {
public:
    BabblingServer() {
        sockaddr_in a;
        listener_ = Loopback(a, 0);
        socklen_t len = sizeof a;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 1) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            throw std::runtime_error("no listener");
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            const int c = accept(listener_, nullptr, nullptr);
            if (c < 0) return;
            const std::string junk("\xFF\xFA\x2C\x65\x00\x01\xFF\xFF\xFF\xFB\xFF\xFA\x2C\x01\xFF\xF0garbage", 22);
            send(c, junk.data(), junk.size(), MSG_NOSIGNAL);
            const std::string flood(4096, '\x55');
            for (int i = 0; i < 2000 && !stop_; ++i)
                if (send(c, flood.data(), flood.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            close(c);
        });
    }
    ~BabblingServer() {
        stop_ = true;
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
    }
    int port() const { return port_; }

private:
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(NetPorts, AServerThatIsNotThereRefusesOrBabblesGivesAClearError) {
    testsupport::TempDir tmp;
    Sim sim;
    Ser2net server(tmp, {sim.device()});
    // ser2net hands a port to one user: this connection holds it.
    sockaddr_in a;
    const int holder = Loopback(a, server.port());
    ASSERT_EQ(connect(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    BabblingServer babbler;

    struct Case {
        std::string device;
        std::string message;
    };
    const int nobody = FreePort();
    const std::vector<Case> cases = {
        {Url(nobody), "keine Verbindung zu 127.0.0.1:" + std::to_string(nobody) + ": Verbindung abgelehnt"},
        {Url(server.port()), "keine Verbindung zu 127.0.0.1:" + std::to_string(server.port()) +
                                 ": vom Server getrennt"},
        {Url(babbler.port()), "keine Verbindung zu 127.0.0.1:" + std::to_string(babbler.port()) + ": "},
        {"rfc2217://127.0.0.1", "keine Verbindung zu 127.0.0.1: keine Adresse der Form rfc2217://HOST:PORT"},
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const auto r = RunProgram(CliPath(), {"--device", c.device, "info"}, tmp.path());
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.exitCode, 1) << c.device << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.device << "\n" << r.err;
        // The connect's and the first answer's limits, not the kernel's minutes.
        EXPECT_LT(ms, 15000) << c.device;
    }
    close(holder);
}

TEST(NetPorts, Ser2netKilledInTheMiddleOfAWriteEndsTheJob) {
    testsupport::TempDir tmp;
    tmp.Write("fw.bin", Pattern(0x10000));
    Sim sim({"--wire-time", "--log", tmp.File("sim.log")});
    Ser2net server(tmp, {sim.device()});
    std::atomic<bool> killed{false};
    std::chrono::steady_clock::time_point killedAt;
    std::thread killer([&] {
        // Some blocks written, most still to come.
        if (WaitFor([&] { return LineCount(tmp.File("sim.log")) > 40; }, 120000)) {
            killedAt = std::chrono::steady_clock::now();
            server.Kill();
            killed = true;
        }
    });
    const auto r = RunProgram(CliPath(),
                              {"--device", Url(server.port()), "--baud", "115200", "--boot-delay", "100",
                               "--flash-len", "0x10000", "program", "--erase", "fw.bin", "verify", "fw.bin"},
                              tmp.path());
    const auto end = std::chrono::steady_clock::now();
    killer.join();
    ASSERT_TRUE(killed);
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("127.0.0.1:" + std::to_string(server.port()) + ": Verbindung vom Server getrennt"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("programmiert bis 00010000"), std::string::npos) << r.out;
    // Within the job's own waits (a block's answer: 2 s and the margin).
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(end - killedAt).count(), 8000);
}

TEST(NetPorts, GarbageOnTheRemoteLineIsLeftToTheJobsChecks) {
    testsupport::TempDir tmp;
    testsupport::PtyPair line;
    Ser2net server(tmp, {line.slave()});
    std::atomic<bool> done{false};
    // What a line with a babbling device gives: bytes at line rate, no 0x79.
    std::thread babble([&] {
        const std::string chunk(100, '\x1F');
        while (!done) {
            if (write(line.master(), chunk.data(), chunk.size()) < 0) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const auto r = RunProgram(CliPath(), {"--device", Url(server.port()), "--boot-delay", "100", "info"}, tmp.path(),
                              -1, 30000);
    done = true;
    babble.join();
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_EQ(r.out, "Bootlader reagiert nicht\n") << r.err;
}

}  // namespace
