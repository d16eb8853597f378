// JSON lines for production databases: one object per command and one for
// the run, each on a line of its own. Field names are documented in the README.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// A string literal: quotes, backslashes and control characters escaped;
// bytes that aren't UTF-8 become U+FFFD, so the line stays valid JSON.
std::string JsonString(std::string_view text);

// Fields in the order added.
class JsonObject {
public:
    JsonObject& Add(std::string_view key, std::string_view value);
    JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
    JsonObject& Add(std::string_view key, bool value);
    JsonObject& Add(std::string_view key, std::int64_t value);
    JsonObject& Add(std::string_view key, const std::vector<std::string>& values);
    JsonObject& AddNull(std::string_view key);
    // value is JSON already: an object or an array.
    JsonObject& AddRaw(std::string_view key, const std::string& value);
    // The other's fields after these.
    JsonObject& Merge(const JsonObject& other);
    std::string Text() const { return "{" + fields_ + "}"; }

private:
    void Key(std::string_view key);
    std::string fields_;
};

// "2026-12-08T12:54:06.123Z": now, in UTC.
std::string UtcNow();

}  // namespace cli
