#include "cli/json.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/console.h"

namespace cli {

namespace {

// Length of the UTF-8 sequence at text[i], 0 if none starts there.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    // Overlong forms and surrogates aren't UTF-8 either.
    const auto b1 = static_cast<unsigned char>(n > 1 ? text[i + 1] : 0);
    if ((n == 2 && b < 0xC2) || (n == 3 && b == 0xE0 && b1 < 0xA0) || (n == 3 && b == 0xED && b1 >= 0xA0) ||
        (n == 4 && b == 0xF0 && b1 < 0x90) || (n == 4 && (b > 0xF4 || (b == 0xF4 && b1 >= 0x90))))
        return 0;
    return n;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const std::size_t n = Utf8Length(text, i);
        if (n == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
            out += buf;
        } else {
            out.append(text.substr(i, n));
        }
        i += n;
    }
    return out + "\"";
}

void JsonObject::Key(std::string_view key) {
    if (!fields_.empty()) fields_ += ",";
    fields_ += JsonString(key) + ":";
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value) {
    Key(key);
    fields_ += JsonString(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
    Key(key);
    fields_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::int64_t value) {
    Key(key);
    fields_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const std::vector<std::string>& values) {
    std::string array = "[";
    for (const auto& v : values) array += (array.size() > 1 ? "," : "") + JsonString(v);
    return AddRaw(key, array + "]");
}

JsonObject& JsonObject::AddNull(std::string_view key) { return AddRaw(key, "null"); }

JsonObject& JsonObject::AddRaw(std::string_view key, const std::string& value) {
    Key(key);
    fields_ += value;
    return *this;
}

JsonObject& JsonObject::Merge(const JsonObject& other) {
    if (!fields_.empty() && !other.fields_.empty()) fields_ += ",";
    fields_ += other.fields_;
    return *this;
}

std::string UtcNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::tm tm = platform::UtcCalendar(t);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
    return buf;
}

}  // namespace cli
