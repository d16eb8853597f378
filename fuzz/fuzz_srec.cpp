// S-record reader: any text is taken or refused with its line; what is taken
// lies inside the 2 MiB image from the flash start.
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "settings/inifile.h"
#include "settings/srecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = TextLines(content);
    TImageBuilder image(0x08000000);
    std::string message;
    if (!ReadSRecords(lines, image, message)) {
        const bool lineFault = message.rfind("line ", 0) == 0 && std::stoul(message.substr(5)) <= lines.size();
        FUZZ_CHECK(lineFault || message == "no S-records in the file");
        return 0;
    }
    for (const TSpan& s : image.Spans()) FUZZ_CHECK(std::uint64_t{s.offset} + s.bytes.size() <= kImageSize);
    return 0;
}
