// Intel HEX text for the tests: single records, and whole images.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/hex_text.h"

namespace testsupport {

// One record with the right checksum.
inline std::string HexRecord(std::uint16_t address, std::uint8_t type, const std::vector<std::uint8_t>& data,
                             const std::string& lineEnd = "\r\n") {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    std::uint8_t sum = 0;
    for (auto b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    bytes.push_back(static_cast<std::uint8_t>(-sum));
    std::string line = ":";
    for (auto b : bytes) line += platform::Hex2(b);
    return line + lineEnd;
}

// data at offsets from 0, 16 bytes to a record, a type-04 record at every
// 64 KiB boundary, then the end record.
inline std::string IntelHex(const std::vector<std::uint8_t>& data) {
    std::string out;
    for (std::size_t at = 0; at < data.size(); at += 16) {
        if (at % 0x10000 == 0 && at > 0)
            out += HexRecord(0, 4, {static_cast<std::uint8_t>(at >> 24), static_cast<std::uint8_t>(at >> 16)});
        const auto from = data.begin() + static_cast<std::ptrdiff_t>(at);
        out += HexRecord(static_cast<std::uint16_t>(at), 0, {from, from + std::min<std::ptrdiff_t>(16, data.end() - from)});
    }
    return out + HexRecord(0, 1, {});
}

}  // namespace testsupport
