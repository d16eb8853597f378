// The answers of the command line's checks: a message for the user.
#pragma once

#include <string>
#include <string_view>

namespace cli {

// For "return Fail(error, ...)": the message, and false.
inline bool Fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

// A name or value as the user gave it.
inline std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

}  // namespace cli
