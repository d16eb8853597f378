// The network serial service: an RFC 2217 client through libgensio.
// Everything runs on the caller's thread: the library's events are handled
// while a call of this service waits, and only then.
#include <gensio/gensio.h>
#include <gensio/gensio_err.h>
#include <gensio/sergensio.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/net_serial.h"
#include "platform/wait_hook.h"

namespace platform {

namespace {

constexpr std::uint32_t kConnectMs = 5000;   // TCP, TLS and the telnet start
constexpr std::uint32_t kAnswerMs = 1000;    // a line setting or a query, beyond the margin
constexpr std::uint32_t kConfirmMs = 250;    // a DTR or RTS change
constexpr std::uint32_t kWriteStallMs = 2000;
constexpr std::uint32_t kCloseMs = 1000;
// Received bytes held at most; beyond it the server waits (TCP's window),
// so a flood can't grow the buffer.
constexpr std::size_t kMaxBuffered = 64 * 1024;
// Text a server sends before it drops us ("Port already in use") is kept
// for the message, up to this much.
constexpr std::size_t kMaxGreeting = 80;

gensio_os_funcs* Os() {
    static gensio_os_funcs* o = [] {
        // A server that cuts the connection makes the library's next write
        // raise SIGPIPE, which would end the program without a word; the
        // write's error says it. A handler someone installed stays.
        struct sigaction old {};
        if (sigaction(SIGPIPE, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) signal(SIGPIPE, SIG_IGN);
        gensio_os_funcs* f = nullptr;
        // No wake signal: only this thread ever waits.
        return gensio_default_os_hnd(0, &f) == 0 ? f : nullptr;
    }();
    return o;
}

gensio_time Ms(std::uint32_t ms) {
    return gensio_time{static_cast<std::int64_t>(ms / 1000), static_cast<std::int32_t>((ms % 1000) * 1000000)};
}

std::string ErrorText(int err) {
    switch (err) {
        case GE_CONNREFUSE: return "Verbindung abgelehnt";
        case GE_TIMEDOUT: return "keine Antwort";
        case GE_HOSTDOWN: return "Rechner nicht erreichbar";
        case GE_REMCLOSE: return "vom Server getrennt";
        case GE_NOTSUP: return "der Server spricht kein RFC 2217";
        case GE_UNKNOWN_NAME_ERROR:
        case GE_NAME_ERROR:
        case GE_NAME_SERVER_FAILURE:
        case GE_NAME_INVALID: return "Rechnername unbekannt";
        case GE_CERTREVOKED:
        case GE_CERTEXPIRED:
        case GE_CERTINVALID:
        case GE_CERTNOTFOUND:
        case GE_NOCERT:
        case GE_KEYINVALID:
        case GE_AUTHREJECT: return std::string("Zertifikat abgelehnt (") + gensio_err_to_str(err) + ")";
        default: return gensio_err_to_str(err);
    }
}

unsigned ToSerParity(int parity) {
    static constexpr unsigned kCodes[] = {SERGENSIO_PARITY_NONE, SERGENSIO_PARITY_ODD, SERGENSIO_PARITY_EVEN,
                                          SERGENSIO_PARITY_MARK, SERGENSIO_PARITY_SPACE};
    return parity >= 0 && parity <= 4 ? kCodes[parity] : 0;
}

int FromSerParity(unsigned code) { return code >= 1 && code <= 5 ? static_cast<int>(code) - 1 : -1; }

std::string Framing(const LineSettings& s) {
    static constexpr char kParity[] = "NOEMS";
    const char p = s.parity >= 0 && s.parity <= 4 ? kParity[s.parity] : '?';
    return std::to_string(s.baud) + " Bd " + std::to_string(s.dataBits) + p + std::to_string(s.stopBits);
}

// One request to the server; the library calls back when it is answered.
struct Request {
    class Conn* conn = nullptr;
    bool done = false;
    int err = 0;
    unsigned value = 0;
};

class Conn {
public:
    explicit Conn(std::string label) : label_(std::move(label)) {
        waiter_ = gensio_os_funcs_alloc_waiter(Os());
    }
    ~Conn() {
        if (io_) gensio_free(io_);
        if (waiter_) gensio_os_funcs_free_waiter(Os(), waiter_);
    }
    Conn(const Conn&) = delete;
    Conn& operator=(const Conn&) = delete;

    const std::string& Label() const { return label_; }

    // 0, or the library's error for the message.
    int Connect(const std::string& gensioString) {
        if (!waiter_) return GE_NOMEM;
        int err = str_to_gensio(gensioString.c_str(), Os(), &Conn::Event, this, &io_);
        if (err) return err;
        err = gensio_open(
            io_,
            [](gensio*, int e, void* data) {
                auto* c = static_cast<Conn*>(data);
                c->openDone_ = true;
                c->openErr_ = e;
                c->Wake();
            },
            this);
        if (err) return err;
        // A host that doesn't answer takes seconds: the window lives meanwhile.
        if (!WaitUntil([&] { return openDone_; }, kConnectMs, true)) return GE_TIMEDOUT;
        if (openErr_) return openErr_;
        sio_ = gensio_to_sergensio(io_);
        if (!sio_) return GE_NOTSUP;
        gensio_set_read_callback_enable(io_, true);
        // One query proves the server serves RFC 2217 and this port is ours: a
        // port in use is answered with a line of text and the connection cut.
        Request& q = NewRequest();
        if (sergensio_baud(sio_, 0, &Conn::Done, &q) != 0) return GE_NOTSUP;
        if (!WaitFor({&q}, kAnswerMs + NetWaitMargin())) return dropErr_ ? dropErr_ : GE_TIMEDOUT;
        if (q.err) return q.err;
        settings_.baud = static_cast<std::int32_t>(q.value);
        // What came with the answer is no chip's: there is none on the line yet.
        in_.clear();
        return 0;
    }

    // The server's text before it dropped the connection, for the message.
    std::string Greeting() const {
        std::string text;
        for (std::uint8_t b : greeting_)
            if (b >= 0x20 && b < 0x7F) text += static_cast<char>(b);
        return text;
    }

    bool SetLineSettings(const LineSettings& s) {
        if (Dropped() || s.baud <= 0 || ToSerParity(s.parity) == 0) return false;
        Request& baud = NewRequest();
        Request& size = NewRequest();
        Request& parity = NewRequest();
        Request& stop = NewRequest();
        // All four at once: one round trip, not four.
        if (sergensio_baud(sio_, static_cast<unsigned>(s.baud), &Conn::Done, &baud) != 0 ||
            sergensio_datasize(sio_, static_cast<unsigned>(s.dataBits), &Conn::Done, &size) != 0 ||
            sergensio_parity(sio_, ToSerParity(s.parity), &Conn::Done, &parity) != 0 ||
            sergensio_stopbits(sio_, static_cast<unsigned>(s.stopBits), &Conn::Done, &stop) != 0)
            return false;
        if (!WaitFor({&baud, &size, &parity, &stop}, kAnswerMs + NetWaitMargin())) {
            Note("keine Antwort auf die Leitungseinstellung " + Framing(s));
            return false;
        }
        LineSettings got;
        got.baud = static_cast<std::int32_t>(baud.value);
        got.dataBits = static_cast<int>(size.value);
        got.parity = FromSerParity(parity.value);
        got.stopBits = static_cast<int>(stop.value);
        const bool failed = baud.err || size.err || parity.err || stop.err;
        if (!failed) settings_ = got;
        if (failed || got.baud != s.baud || got.dataBits != s.dataBits || got.parity != s.parity ||
            got.stopBits != s.stopBits) {
            Note("der Server stellt " + (failed ? std::string("nichts") : Framing(got)) + " ein statt " +
                 Framing(s));
            return false;
        }
        return true;
    }

    LineSettings Settings() const { return settings_; }

    // A server in front of a device without modem lines (a pseudo-terminal)
    // never confirms: after the first such silence the changes go out
    // unconfirmed, still in their order on the stream.
    bool SetModemLine(bool dtr, bool on) {
        if (Dropped()) return false;
        Request* r = confirms_ ? &NewRequest() : nullptr;
        const sergensio_done done = r ? &Conn::Done : nullptr;
        const int err = dtr ? sergensio_dtr(sio_, on ? SERGENSIO_DTR_ON : SERGENSIO_DTR_OFF, done, r)
                            : sergensio_rts(sio_, on ? SERGENSIO_RTS_ON : SERGENSIO_RTS_OFF, done, r);
        if (err) return false;
        if (!r) {
            Service();  // out on the wire now, not at the next wait
            return true;
        }
        if (WaitFor({r}, kConfirmMs + NetWaitMargin())) return r->err == 0;
        if (Dropped()) return false;
        confirms_ = false;
        Note("der Server bestätigt DTR/RTS nicht (ein Pseudo-Terminal hat keine Steuerleitungen); "
             "es geht ohne Bestätigung weiter");
        return true;
    }

    std::int32_t BytesWaiting() {
        Service();
        return static_cast<std::int32_t>(in_.size());
    }

    bool WaitForInput(std::uint32_t ms) {
        const std::uint32_t start = OsTickCount();
        if (WaitUntil([&] { return !in_.empty() || Dropped(); }, ms) && !in_.empty()) return true;
        // Gone: the caller's deadline holds all the same.
        const auto spent = static_cast<std::uint32_t>(OsTickCount() - start);
        if (spent < ms) OsSleepMs(ms - spent);
        return false;
    }

    std::int32_t Read(std::uint8_t* buf, std::int32_t max) {
        if (max <= 0) return 0;
        if (in_.empty()) Service();
        const std::size_t n = std::min(in_.size(), static_cast<std::size_t>(max));
        std::copy_n(in_.begin(), n, buf);
        in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(n));
        if (readPaused_ && !Dropped()) {
            readPaused_ = false;
            gensio_set_read_callback_enable(io_, true);
        }
        return static_cast<std::int32_t>(n);
    }

    std::int32_t Write(const std::uint8_t* data, std::int32_t n) {
        std::int32_t done = 0;
        std::uint32_t lastProgress = OsTickCount();
        while (done < n && !Dropped()) {
            gensiods count = 0;
            if (gensio_write(io_, &count, data + done, static_cast<gensiods>(n - done), nullptr) != 0) {
                Drop(GE_REMCLOSE);
                break;
            }
            if (count > 0) {
                done += static_cast<std::int32_t>(count);
                lastProgress = OsTickCount();
                continue;
            }
            const auto stalled = static_cast<std::uint32_t>(OsTickCount() - lastProgress);
            if (stalled >= kWriteStallMs) break;
            writeReady_ = false;
            gensio_set_write_callback_enable(io_, true);
            WaitUntil([&] { return writeReady_ || Dropped(); }, kWriteStallMs - stalled);
        }
        // The library sends from its own buffer when the socket takes it.
        Service();
        return done;
    }

    // The server purges its queues; what it sent before is still on its way.
    // A query after the purge is answered after those bytes, so once its
    // answer is here they are too, and are dropped with the rest.
    bool Purge() {
        in_.clear();
        if (Dropped()) return false;
        if (sergensio_flush(sio_, SERGENSIO_FLUSH_RCV_XMIT_BUFFERS) != 0) return false;
        Request& q = NewRequest();
        if (sergensio_baud(sio_, 0, &Conn::Done, &q) != 0) return false;
        const bool answered = WaitFor({&q}, kAnswerMs + NetWaitMargin());
        Service();  // data parsed along with the answer
        in_.clear();
        return answered;
    }

    bool Close() {
        // What was written goes out first, as a local port drains.
        if (!Dropped()) Service();
        return CloseIo();
    }

private:
    static int Event(gensio*, void* user, int event, int err, unsigned char* buf, gensiods* buflen,
                     const char* const*) {
        auto* c = static_cast<Conn*>(user);
        switch (event) {
            case GENSIO_EVENT_READ: c->Received(err, buf, buflen); return 0;
            case GENSIO_EVENT_WRITE_READY:
                gensio_set_write_callback_enable(c->io_, false);
                c->writeReady_ = true;
                c->Wake();
                return 0;
            default: return GE_NOTSUP;  // modem and line state reports: not asked for
        }
    }

    static void Done(sergensio*, int err, unsigned value, void* data) {
        auto* r = static_cast<Request*>(data);
        r->done = true;
        r->err = err;
        r->value = value;
        r->conn->Wake();
    }

    void Received(int err, const unsigned char* buf, gensiods* buflen) {
        if (err) {
            Drop(err);
            return;
        }
        const std::size_t room = kMaxBuffered - std::min(kMaxBuffered, in_.size());
        const std::size_t take = std::min(static_cast<std::size_t>(*buflen), room);
        in_.insert(in_.end(), buf, buf + take);
        if (greeting_.size() < kMaxGreeting)
            greeting_.insert(greeting_.end(), buf, buf + std::min(take, kMaxGreeting - greeting_.size()));
        *buflen = static_cast<gensiods>(take);
        // Full: the rest stays with the library, and TCP holds the server back.
        if (in_.size() >= kMaxBuffered) {
            readPaused_ = true;
            gensio_set_read_callback_enable(io_, false);
        }
        Wake();
    }

    void Drop(int err) {
        if (dropErr_) return;
        dropErr_ = err ? err : GE_REMCLOSE;
        gensio_set_read_callback_enable(io_, false);
        gensio_set_write_callback_enable(io_, false);
        if (opened_) Note(dropErr_ == GE_REMCLOSE ? "Verbindung vom Server getrennt" : "Verbindung getrennt: " + ErrorText(dropErr_));
        Wake();
    }

    bool Dropped() const { return dropErr_ != 0 || !io_; }

    void Note(const std::string& text) { std::fprintf(stderr, "%s: %s\n", label_.c_str(), text.c_str()); }

    Request& NewRequest() {
        requests_.push_back(Request{this});
        return requests_.back();
    }

    bool WaitFor(std::initializer_list<Request*> rs, std::uint32_t ms) {
        const bool ok = WaitUntil(
            [&] { return Dropped() || std::all_of(rs.begin(), rs.end(), [](Request* r) { return r->done; }); }, ms);
        return ok && std::all_of(rs.begin(), rs.end(), [](Request* r) { return r->done; });
    }

    // Blocks in the library's poll until the condition holds or ms have
    // passed; with keepAlive the wait hook runs every slice.
    bool WaitUntil(const std::function<bool()>& ready, std::uint32_t ms, bool keepAlive = false) {
        const std::uint32_t start = OsTickCount();
        for (;;) {
            if (ready()) return true;
            const auto elapsed = static_cast<std::uint32_t>(OsTickCount() - start);
            if (elapsed >= ms) return false;
            std::uint32_t block = ms - elapsed;
            if (keepAlive) {
                WhileWaiting();
                block = std::min(block, kWaitSliceMs);
            }
            gensio_time t = Ms(block);
            gensio_os_funcs_wait(Os(), waiter_, 1, &t);
        }
    }

    // Handles what is ready, blocking for nothing.
    void Service() {
        gensio_time t = Ms(0);
        gensio_os_funcs_service(Os(), &t);
    }

    void Wake() { gensio_os_funcs_wake(Os(), waiter_); }

    // False when the library didn't finish in time: it still holds this
    // connection, which must then outlive it.
    bool CloseIo() {
        if (!io_) return true;
        const int err = gensio_close(
            io_,
            [](gensio*, void* data) {
                auto* c = static_cast<Conn*>(data);
                c->closeDone_ = true;
                c->Wake();
            },
            this);
        if (err == 0 && !WaitUntil([&] { return closeDone_; }, kCloseMs)) return false;
        gensio_free(io_);
        io_ = nullptr;
        return true;
    }

public:
    bool opened_ = false;

private:
    std::string label_;
    gensio_waiter* waiter_ = nullptr;
    gensio* io_ = nullptr;
    sergensio* sio_ = nullptr;
    std::deque<std::uint8_t> in_;
    std::vector<std::uint8_t> greeting_;
    std::deque<Request> requests_;  // stable addresses for the callbacks
    LineSettings settings_;
    bool confirms_ = true;
    bool readPaused_ = false;
    bool writeReady_ = false;
    bool openDone_ = false;
    int openErr_ = 0;
    bool closeDone_ = false;
    int dropErr_ = 0;
};

bool UsesTls(const std::string& gensioString) {
    return gensioString.find("ssl(") != std::string::npos || gensioString.find(",ssl,") != std::string::npos;
}

std::map<std::string, std::string> g_failures;

class NetSerial : public SerialDeviceService {
public:
    DeviceHandle Open(const std::string& name) override {
        g_failures.erase(name);
        const std::string label = NetworkLabel(name);
        const std::string gensioString = GensioString(name);
        if (gensioString.empty()) return Fail(name, label, "keine Adresse der Form rfc2217://HOST:PORT");
        if (!Os()) return Fail(name, label, "die Netzwerk-Bibliothek startet nicht");
        auto conn = std::make_unique<Conn>(label);
        if (const int err = conn->Connect(gensioString)) {
            std::string why = ErrorText(err);
            // ser2net cuts a second user off, with or without a word.
            if (const std::string text = conn->Greeting(); !text.empty())
                why += " (\"" + text + "\")";
            else if (err == GE_REMCLOSE)
                // Under TLS 1.3 a server checks the client's certificate
                // after the handshake, and a refusal looks like this too.
                why += UsesTls(gensioString) ? " (Zertifikat nicht angenommen oder Port belegt?)"
                                             : " (ist der Port belegt?)";
            if (!conn->Close()) conn.release();  // the library still calls back into it
            return Fail(name, label, why);
        }
        conn->opened_ = true;
        const DeviceHandle h = next_++;
        conns_[h] = std::move(conn);
        return h;
    }

    bool GetLineSettings(DeviceHandle h, LineSettings& out) override {
        Conn* c = Find(h);
        if (!c) return false;
        out = c->Settings();
        return true;
    }
    bool SetLineSettings(DeviceHandle h, const LineSettings& s) override {
        Conn* c = Find(h);
        return c && c->SetLineSettings(s);
    }
    bool SetDtr(DeviceHandle h, bool on) override {
        Conn* c = Find(h);
        return c && c->SetModemLine(true, on);
    }
    bool SetRts(DeviceHandle h, bool on) override {
        Conn* c = Find(h);
        return c && c->SetModemLine(false, on);
    }
    std::int32_t BytesWaiting(DeviceHandle h) override {
        Conn* c = Find(h);
        return c ? c->BytesWaiting() : 0;
    }
    bool WaitForInput(DeviceHandle h, std::uint32_t ms) override {
        Conn* c = Find(h);
        if (c) return c->WaitForInput(ms);
        OsSleepMs(ms);
        return false;
    }
    std::int32_t Read(DeviceHandle h, std::uint8_t* buf, std::int32_t max) override {
        Conn* c = Find(h);
        return c ? c->Read(buf, max) : 0;
    }
    std::int32_t Write(DeviceHandle h, const std::uint8_t* data, std::int32_t n) override {
        Conn* c = Find(h);
        return c ? c->Write(data, n) : 0;
    }
    bool Purge(DeviceHandle h) override {
        Conn* c = Find(h);
        return c && c->Purge();
    }
    void Close(DeviceHandle h) override {
        const auto it = conns_.find(h);
        if (it == conns_.end()) return;
        if (!it->second->Close()) it->second.release();
        conns_.erase(it);
    }

private:
    Conn* Find(DeviceHandle h) {
        const auto it = conns_.find(h);
        return it == conns_.end() ? nullptr : it->second.get();
    }

    static DeviceHandle Fail(const std::string& name, const std::string& label, const std::string& why) {
        g_failures[name] = "keine Verbindung zu " + label + ": " + why;
        return kClosedHandle;
    }

    std::map<DeviceHandle, std::unique_ptr<Conn>> conns_;
    DeviceHandle next_ = 0;
};

}  // namespace

SerialDeviceService* NetSerialDevices() {
    static NetSerial s;
    return &s;
}

std::string NetOpenFailureReason(const std::string& name) {
    const auto it = g_failures.find(name);
    return it == g_failures.end() ? std::string() : it->second;
}

}  // namespace platform
