// ELF reader: any bytes are taken or refused with a reason; what is taken
// lies inside the 2 MiB image from the flash start.
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "settings/elf.h"
#include "settings/inifile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    TImageBuilder image(0x08000000);
    std::string message;
    if (!ReadElf(content, image, message)) {
        FUZZ_CHECK(!message.empty());
        return 0;
    }
    for (const TSpan& s : image.Spans()) FUZZ_CHECK(std::uint64_t{s.offset} + s.bytes.size() <= kImageSize);
    return 0;
}
