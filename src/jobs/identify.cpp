#include "jobs/identify.h"

#include "bootloader/lolevel.h"
#include "bootloader/protocol.h"
#include "jobs/session.h"
#include "platform/hex_text.h"
#include "settings/targets.h"

using platform::Hex2;
using platform::Hex4;

namespace {

std::uint8_t At(const std::string& reply, std::size_t k) {  // 1-based, as the replies are counted
    return static_cast<std::uint8_t>(reply[k - 1]);
}

// The list line for a command code, "A1 etc" for codes we don't know.
std::string CommandName(std::uint8_t code) {
    switch (code) {
        case 0x00: return "00 Get Commands";
        case 0x01: return "01 Get Laderversion";
        case 0x02: return "02 Get Chip ID";
        case 0x11: return "11 Read Memory";
        case 0x21: return "21 Go Command";
        case 0x31: return "31 Write Memory";
        case 0x43: return "43 Simple Erase Memory";
        case 0x44: return "44 Extended Erase Memory";
        case 0x63: return "63 Write Protect";
        case 0x73: return "73 Disable Write Protect";
        case 0x82: return "82 Enable Read Protect";
        case 0x92: return "92 Disable Read Protect";
        default: return Hex2(code) + " etc";
    }
}

// Bytes 3 and 4 of the Get ID reply, high byte first; false when it is shorter.
bool IdOf(const std::string& reply, std::uint16_t& productId) {
    if (reply.size() < 4) return false;
    productId = static_cast<std::uint16_t>(At(reply, 3) << 8 | At(reply, 4));
    return true;
}

}  // namespace

TIdentification DecodeReplies(const std::string& r, const std::string& v, const std::string& id) {
    TIdentification out;
    if (r.empty()) {
        out.result = TIdentification::NoReply;
        out.statusText = "keine gültige Antwort vom Bootlader";
        return out;
    }
    if (At(r, 1) != proto::kAck) {
        out.result = TIdentification::NoAck;
        out.statusText = "kein Ack vom Bootlader";
        return out;
    }
    out.result = TIdentification::Done;
    std::string t = "Len " + std::to_string(r.size() >= 2 ? At(r, 2) : 0) + ": ";
    // Bytes 3 to len - 1: the version, then the command codes; the last byte is judged below.
    for (std::size_t k = 3; k < r.size(); ++k) {
        const std::uint8_t b = At(r, k);
        t += Hex2(b) + " ";
        if (k == 3)
            out.lines.push_back("Bootlader Version " + std::to_string(b >> 4) + "." + std::to_string(b & 0x0F));
        else
            out.lines.push_back(CommandName(b));
    }
    const std::uint8_t last = At(r, r.size());
    t += last == proto::kAck ? std::string(" ack ") : "?" + Hex2(last);

    std::string o;
    for (std::size_t k = 2; k < v.size(); ++k) o += Hex2(At(v, k)) + " ";
    t += o;
    out.lines.push_back("Opts:" + o);

    // A cut-off ID reply has no ID to read: list what came and match nothing.
    if (IdOf(id, out.productId)) {
        out.idValid = true;
        out.lines.push_back("Chip ID: " + Hex4(out.productId));
    } else {
        std::string sent;
        for (char c : id) sent += " " + Hex2(static_cast<std::uint8_t>(c));
        out.lines.push_back("Chip ID: ?" + sent);
    }
    out.statusText = t;
    if (out.idValid) out.targetIndex = FindTargetById(out.productId);
    return out;
}

TIdentification IdentifyChip(TComPort& port) {
    TBootSession session(port);
    return IdentifyChip(session);
}

TIdentification IdentifyChip(TBootSession& session) {
    if (!session.Ensure()) {
        TIdentification out;
        out.statusText = "Bootlader reagiert nicht";
        return out;
    }
    TComPort& port = session.Port();
    const std::string r = GetCommands(port);
    if (r.empty() || At(r, 1) != proto::kAck) return DecodeReplies(r, {}, {});
    const std::string v = GetVersion(port);
    const std::string id = GetChipId(port);
    return DecodeReplies(r, v, id);
}

bool ReadProductId(TComPort& port, std::uint16_t& productId) {
    const std::string id = GetChipId(port);
    return !id.empty() && At(id, 1) == proto::kAck && IdOf(id, productId);
}
