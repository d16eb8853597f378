#include "settings/targets.h"

#include <cctype>

#include "settings/inifile.h"

#include "platform/hex_text.h"
#include "platform/textfile.h"

TTargetRec Targets[kTargetCount];
std::int32_t TargetLast = 0;

namespace {

// One hexadecimal number from pos on. A blank or a ';' after the digits
// separates; any other character stops the reader where it stands, so this
// and every later number of the line read 0.
std::uint32_t ReadNumber(const std::string& line, std::size_t& pos) {
    while (pos + 1 < line.size() && line[pos] == ' ') ++pos;
    constexpr std::uint64_t kLastSafe = 0x07FFFFFFFFFFFFFFu;  // one more digit still fits in int64
    std::uint64_t value = 0;
    bool overflow = false;
    for (int digit; pos < line.size() && (digit = platform::HexDigitValue(line[pos])) >= 0; ++pos) {
        if (value > kLastSafe) overflow = true;
        value = (value << 4) | static_cast<std::uint64_t>(digit);
    }
    if (pos < line.size() && line[pos] == ';') ++pos;
    return overflow ? 0 : static_cast<std::uint32_t>(value);
}

std::string ItemText(const TTargetRec& t) {
    const std::uint32_t kib = (t.FlashEnd - t.FlashStart + 1u) >> 10;
    return t.Name + " (" + std::to_string(kib) + " K Flash ab $" + platform::Hex8(t.FlashStart) + ")";
}

}  // namespace

void LoadTargets(const std::string& fileName, TChipList& chipList) {
    for (auto& t : Targets) t = TTargetRec{};
    platform::TextReader in(fileName);
    int k = 0;
    while (!in.Eof()) {
        const std::string line = in.ReadLine();
        if (line.empty() || line[0] == ';') continue;
        // The name's ';' must not be the line's last character.
        std::size_t pos = 0;
        while (pos + 1 < line.size() && line[pos] != ';') ++pos;
        if (pos + 1 >= line.size()) continue;
        // The table is full; item i must keep showing entry i, so the rest is dropped.
        if (k == kTargetCount) break;
        TTargetRec& t = Targets[k];
        t.Name = line.substr(0, pos);
        ++pos;
        t.ChipId = ReadNumber(line, pos);
        t.FlashStart = ReadNumber(line, pos);
        t.Aux1 = ReadNumber(line, pos);
        t.FlashEnd = ReadNumber(line, pos);
        t.Aux2 = ReadNumber(line, pos);
        chipList.AddItem(ItemText(t));
        TargetLast = k;
        ++k;
    }
    in.Close();
}

void TakeTarget(const TTargetRec& target, const std::string& chipName) {
    Ini.ChipName = chipName;
    Ini.FlashStart = target.FlashStart;
    Ini.FlashLen = target.FlashEnd - target.FlashStart + 1;
}

namespace {

// The first named entry 0..TargetLast that matches, -1 if none.
template <class Match>
int FirstTarget(Match match) {
    for (int i = 0; i <= TargetLast && i < kTargetCount; ++i)
        if (!Targets[i].Name.empty() && match(Targets[i])) return i;
    return -1;
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool SameFolded(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

int FindTargetById(std::uint16_t productId) {
    return FirstTarget([&](const TTargetRec& t) { return t.ChipId == productId; });
}

int FindTargetByName(const std::string& name) {
    const int exact = FirstTarget([&](const TTargetRec& t) { return t.Name == name; });
    if (exact >= 0) return exact;
    const std::string wanted = Trimmed(name);
    return FirstTarget([&](const TTargetRec& t) { return SameFolded(Trimmed(t.Name), wanted); });
}
