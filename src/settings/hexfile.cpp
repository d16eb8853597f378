#include "settings/hexfile.h"

#include <cstdint>
#include <cstring>

#include "platform/hex_text.h"
#include "platform/textfile.h"
#include "settings/hex_records.h"
#include "settings/inifile.h"

namespace {

class FileLines : public THexLines {
public:
    explicit FileLines(platform::TextReader& in) : in_(in) {}
    bool Next(std::string& line) override {
        if (in_.Eof()) return false;
        line = in_.ReadLine();
        return true;
    }

private:
    platform::TextReader& in_;
};

// File addresses are offsets from the flash start: one at or above it is
// refused; beyond the image, below the flash start, a byte is dropped.
class OffsetImage : public THexTarget {
public:
    explicit OffsetImage(std::uint32_t flashStart) : flashStart_(flashStart) {}
    std::string Refuse(std::uint32_t a) override {
        return a >= flashStart_ ? "ausserhalb: " + platform::Hex8(a) : std::string();
    }
    void Store(std::uint32_t a, std::uint8_t b) override {
        if (a < kImageSize) FlashImage[a] = b;
    }

private:
    std::uint32_t flashStart_;
};

}  // namespace

bool LoadHexFile(platform::StatusBar& /*statusBar*/, const std::string& fileName, std::string& message) {
    message = "keine Datei";
    if (!platform::FileExists(fileName)) return false;

    OffsetImage image(Ini.FlashStart);
    platform::TextReader in(fileName);
    std::memset(FlashImage, 0xFF, sizeof FlashImage);
    FileLines lines(in);
    int lineNo = 0;
    const bool result = ReadHexRecords(lines, image, message, lineNo) == THexStop::End;
    in.Close();
    return result;
}
