// Intel HEX loader: any file gives a result and a message that agree, and
// the image is never written outside its 2 MiB.
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "platform/status_bar.h"
#include "settings/hexfile.h"
#include "settings/inifile.h"

namespace {

void LoadOnce(const std::string& path, std::uint32_t flashStart) {
    Ini.FlashStart = flashStart;
    platform::NullStatusBar bar;
    std::string message;
    const bool ok = LoadHexFile(bar, path, message);
    FUZZ_CHECK(ok == message.starts_with("..erledigt, nach "));
    FUZZ_CHECK(!message.empty());
    if (ok) {
        FUZZ_CHECK(message.size() > 23 && message.ends_with(" Zeilen"));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::InputFile input;
    const std::string& path = input.Set(data, size);
    // The usual flash start, and the highest one, which lets every 32-bit
    // address in, the 64 KiB wrap of a record included.
    LoadOnce(path, 0x08000000);
    LoadOnce(path, 0xFFFFFFFF);
    return 0;
}
