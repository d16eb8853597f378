#include "settings/id_table.h"

#include "platform/textfile.h"

namespace idtable {

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool HexNumber(const std::string& text, std::size_t digits, std::uint32_t& value) {
    if (text.empty() || text.size() > digits) return false;
    value = 0;
    for (char c : text) {
        const int d = platform::HexDigitValue(c);
        if (d < 0) return false;
        value = value << 4 | static_cast<std::uint32_t>(d);
    }
    return true;
}

std::vector<std::string> ReadLines(const std::string& fileName) {
    std::vector<std::string> lines;
    platform::TextReader in(fileName);
    while (!in.Eof()) lines.push_back(in.ReadLine());
    in.Close();
    return lines;
}

}  // namespace idtable
