// Upper-case hexadecimal without prefix, as every message of the program shows it.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

inline std::string HexDigits(std::uint32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) s[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    return s;
}
inline std::string Hex2(std::uint8_t b) { return HexDigits(b, 2); }
inline std::string Hex4(std::uint16_t v) { return HexDigits(v, 4); }
inline std::string Hex8(std::uint32_t v) { return HexDigits(v, 8); }

}  // namespace platform
