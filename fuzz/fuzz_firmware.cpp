// The command line's firmware readers, the form found by content: any input
// is taken or refused with a message; what is taken lies inside the image,
// in ascending spans, and goes into FlashImage as it came.
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "settings/firmware.h"
#include "settings/inifile.h"

namespace {

// The first byte picks the name (its extension hints at the form) and where a binary goes.
constexpr const char* kNames[] = {"fw.hex", "fw.s19", "fw.bin", "/dev/fd/63"};

void ReadOnce(std::string_view content, const char* name, TFirmwareOptions options) {
    TFirmware f;
    std::string message;
    if (!ReadFirmware(content, name, options, f, message)) {
        FUZZ_CHECK(!message.empty());
        return;
    }
    std::uint64_t end = 0;
    for (const TSpan& s : f.spans) {
        FUZZ_CHECK(!s.bytes.empty());
        FUZZ_CHECK(s.offset > end || (end == 0 && s.offset == 0));
        end = std::uint64_t{s.offset} + s.bytes.size();
        FUZZ_CHECK(end <= kImageSize);
    }
    FUZZ_CHECK(!Describe(f).empty());
    Ini.FlashStart = options.flashStart;
    std::vector<TImageRange> ranges;
    FUZZ_CHECK(PlaceFirmware(f, ranges, message));
    FUZZ_CHECK(ranges.size() == f.spans.size());
    for (std::size_t i = 0; i < ranges.size(); ++i)
        for (std::size_t k = 0; k < f.spans[i].bytes.size(); ++k)
            FUZZ_CHECK(FlashImage[ranges[i].begin + k] == f.spans[i].bytes[k]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view content(reinterpret_cast<const char*>(data) + 1, size - 1);
    const char* name = kNames[data[0] & 3];
    std::optional<std::uint32_t> at;
    if (data[0] & 4) at = 0x08000000u + (std::uint32_t{data[0]} << 13);
    ReadOnce(content, name, {0x08000000, at});
    // A flash start below 2 MiB: the offsets and the chip addresses overlap.
    ReadOnce(content, name, {0x00100000, {}});
    return 0;
}
