#include "settings/srecord.h"

#include "platform/hex_text.h"

namespace {

constexpr std::size_t kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

std::string Hex(std::uint32_t a) { return "0x" + platform::Hex8(a); }

// One record: 'S', its type, then pairs of hex digits: count, address,
// data, checksum. Blanks may follow.
struct Record {
    int type = 0;
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;
};

bool Parse(const std::string& line, Record& r, std::string& why) {
    if (line[0] != 'S' || line.size() < 2 || line[1] < '0' || line[1] > '9') {
        why = "not an S-record (they begin with S0 to S9)";
        return false;
    }
    r.type = line[1] - '0';
    if (r.type == 4) {
        why = "S4 is no record type";
        return false;
    }
    const std::size_t end = line.find_last_not_of(" \t") + 1;
    for (std::size_t i = 2; i < end; ++i) {
        if (platform::HexDigitValue(line[i]) < 0) {
            why = "'" + std::string(1, line[i]) + "' in column " + std::to_string(i + 1) + " is not a hex digit";
            return false;
        }
    }
    if (end % 2 != 0) {
        why = "an odd number of hex digits";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 2; i < end; i += 2)
        bytes.push_back(static_cast<std::uint8_t>(platform::HexDigitValue(line[i]) * 16 +
                                                  platform::HexDigitValue(line[i + 1])));
    if (bytes.empty()) {
        why = "no count";
        return false;
    }
    if (bytes[0] != bytes.size() - 1) {
        why = "the count says " + std::to_string(bytes[0]) + " bytes, the line holds " +
              std::to_string(bytes.size() - 1);
        return false;
    }
    const std::size_t addressBytes = kAddressBytes[r.type];
    if (bytes.size() < addressBytes + 2) {
        why = "too short for an S" + std::to_string(r.type) + " record";
        return false;
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
    const auto want = static_cast<std::uint8_t>(~sum);
    if (bytes.back() != want) {
        why = "checksum " + platform::Hex2(bytes.back()) + ", the record's bytes give " + platform::Hex2(want);
        return false;
    }
    for (std::size_t i = 0; i < addressBytes; ++i) r.address = r.address << 8 | bytes[1 + i];
    r.data.assign(bytes.begin() + 1 + static_cast<std::ptrdiff_t>(addressBytes), bytes.end() - 1);
    return true;
}

}  // namespace

bool ReadSRecords(const std::vector<std::string>& lines, TImageBuilder& image, std::string& message) {
    std::uint32_t dataRecords = 0;
    bool any = false;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        const std::string at = "line " + std::to_string(n + 1) + ": ";
        Record r;
        std::string why;
        if (!Parse(line, r, why)) {
            message = at + why;
            return false;
        }
        any = true;
        if (r.type >= 1 && r.type <= 3) {
            ++dataRecords;
            for (std::size_t i = 0; i < r.data.size(); ++i) {
                const std::uint64_t a = std::uint64_t{r.address} + i;
                if (a > 0xFFFFFFFFu || !image.Inside(static_cast<std::uint32_t>(a))) {
                    message = at + Hex(static_cast<std::uint32_t>(a)) + " is outside the flash image " +
                              ImageExtent(image.Base()) + " (S-records carry chip addresses)";
                    return false;
                }
                image.Put(static_cast<std::uint32_t>(a), r.data[i]);
            }
        } else if (r.type == 5 || r.type == 6) {
            if (r.address != dataRecords) {
                message = at + "the count record says " + std::to_string(r.address) + " data records, " +
                          std::to_string(dataRecords) + " came before it";
                return false;
            }
        } else if (r.type >= 7) {
            return true;  // the end; what follows is never read
        }
    }
    if (!any) {
        message = "no S-records in the file";
        return false;
    }
    return true;
}
