#include "settings/hex_records.h"

#include "platform/hex_text.h"

namespace {

constexpr std::size_t kShortestRecord = 11;  // ":00000001FF"
constexpr std::uint8_t kData = 0x00;
constexpr std::uint8_t kEndOfFile = 0x01;
constexpr std::uint8_t kSegment = 0x02;
constexpr std::uint8_t kStartSegment = 0x03;
constexpr std::uint8_t kLinearAddress = 0x04;

// Reads one record line. A bad character sets the error and stays where it
// is, so every later read of the line meets it again.
class RecordReader {
public:
    RecordReader(const std::string& line, std::string& error, THexStop& stop)
        : line_(line), error_(error), stop_(stop) {}

    std::uint8_t Byte() {
        const int high = Digit();
        const int low = Digit();
        const auto b = static_cast<std::uint8_t>(high * 16 + low);
        sum_ = static_cast<std::uint8_t>(sum_ + b);
        return b;
    }
    std::uint8_t Sum() const { return sum_; }

private:
    int Digit() {
        if (pos_ >= line_.size()) {
            error_ = "es fehlen Zeichen auf Zeile";
            stop_ = THexStop::MissingDigits;
            return 0;
        }
        const int d = platform::HexDigitValue(line_[pos_]);
        if (d < 0) {
            error_ = "non Hex Zeichen";
            stop_ = THexStop::Digit;
            return 0;
        }
        ++pos_;
        return d;
    }

    const std::string& line_;
    std::string& error_;
    THexStop& stop_;
    std::size_t pos_ = 1;  // past the ':'
    std::uint8_t sum_ = 0;
};

}  // namespace

THexStop ReadHexRecords(THexLines& lines, THexTarget& target, std::string& message, int& lineNo) {
    lineNo = 0;
    std::uint32_t base = 0;
    std::string error;
    THexStop stop = THexStop::NoEndRecord;
    std::string line;

    for (;;) {
        if (!lines.Next(line)) {
            error = "Dateeiende ohne Ende-Record";
            stop = THexStop::NoEndRecord;
            break;
        }
        ++lineNo;
        if (line.size() < kShortestRecord || line[0] != ':') {
            message = "Hexfile: Formatfehler auf Zeile " + std::to_string(lineNo);
            return THexStop::Format;
        }
        RecordReader rec(line, error, stop);
        const std::uint8_t count = rec.Byte();
        const std::uint8_t addrHigh = rec.Byte();
        const std::uint8_t addrLow = rec.Byte();
        const std::uint8_t type = rec.Byte();
        base = (base & 0xFFFF0000u) | (std::uint32_t{addrHigh} << 8) | addrLow;
        if (!error.empty()) break;
        if (type > kLinearAddress) continue;

        if (type == kData) {
            bool refused = false;
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint32_t a = base + i;
                // Replaces a digit error met earlier in the same record.
                if (std::string why = target.Refuse(a); !why.empty()) {
                    error = std::move(why);
                    stop = THexStop::Refused;
                    refused = true;
                    break;
                }
                target.Store(a, rec.Byte());
            }
            if (refused) break;
            rec.Byte();  // checksum
            if (!error.empty()) break;
            if (rec.Sum() != 0) {
                error = "Prüfsummenfehler auf Zeile " + std::to_string(lineNo) + " psum=" + platform::Hex2(rec.Sum());
                stop = THexStop::Checksum;
                break;
            }
            continue;
        }
        if (type == kEndOfFile) {
            message = "..erledigt, nach " + std::to_string(lineNo) + " Zeilen";
            return THexStop::End;
        }
        if (type == kSegment || type == kStartSegment) {
            message = "unerwarteter Record " + std::to_string(type) + " auf Zeile " + std::to_string(lineNo);
            return THexStop::Record;
        }
        // Extended linear address: the upper half of every following address.
        if (count != 2) {
            message = "Format Record 4 falsch auf Zeile " + std::to_string(lineNo);
            return THexStop::Format;
        }
        const std::uint8_t hi = rec.Byte();
        const std::uint8_t lo = rec.Byte();
        base = (std::uint32_t{hi} << 24) | (std::uint32_t{lo} << 16) | (base & 0xFFFFu);
        rec.Byte();  // checksum
        if (!error.empty()) break;
        if (rec.Sum() != 0) {
            error = "Prüfsummenfehler auf Zeile " + std::to_string(lineNo);
            stop = THexStop::Checksum;
            break;
        }
    }
    message = error;
    return stop;
}
