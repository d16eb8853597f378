// Upper-case hexadecimal without prefix, as every message of the program
// shows it, and the value of a digit as the readers of HEX and table files take it.
#pragma once

#include <array>
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

// 0..15 for a digit of either case, -1 for any other character. A table: a
// HEX file of a full image asks this some ten million times.
inline int HexDigitValue(char c) {
    static constexpr auto kValue = [] {
        std::array<std::int8_t, 256> t{};
        for (auto& v : t) v = -1;
        for (int i = 0; i < 10; ++i) t[static_cast<std::size_t>('0' + i)] = static_cast<std::int8_t>(i);
        for (int i = 0; i < 6; ++i) {
            t[static_cast<std::size_t>('A' + i)] = static_cast<std::int8_t>(10 + i);
            t[static_cast<std::size_t>('a' + i)] = static_cast<std::int8_t>(10 + i);
        }
        return t;
    }();
    return kValue[static_cast<unsigned char>(c)];
}

}  // namespace platform
