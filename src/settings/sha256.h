// SHA-256 of a byte string, for the run log: which firmware a board got.
#pragma once

#include <string>
#include <string_view>

// 64 lower-case hex digits.
std::string Sha256Hex(std::string_view bytes);
