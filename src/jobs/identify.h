// Chip identification: what the bootloader says about itself, decoded into
// the summary line, the list lines, and the product ID with its target.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TComPort;
class TBootSession;

struct TIdentification {
    enum Result { NoSync, NoReply, NoAck, Done };
    Result result = NoSync;
    std::string statusText;          // the summary, or the failure text
    std::vector<std::string> lines;  // version, commands, options, chip ID
    bool idValid = false;            // false when the ID reply was too short
    std::uint16_t productId = 0;
    int targetIndex = -1;            // first entry of Targets with this ID
};

// Decodes the three Get replies as received, acknowledges included.
TIdentification DecodeReplies(const std::string& commands, const std::string& version, const std::string& chipId);
// Connect, the three Get commands, decoding and the target search.
TIdentification IdentifyChip(TComPort& port);
// The same on a session: connects only when it isn't.
TIdentification IdentifyChip(TBootSession& session);
// The product ID from Get ID on a connected chip; false when the reply is
// short or refused.
bool ReadProductId(TComPort& port, std::uint16_t& productId);
