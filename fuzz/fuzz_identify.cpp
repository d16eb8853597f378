// Decoding of the three Get replies of chip identification. Input: the
// lengths of the Get Commands and Get Version replies (one byte each), then
// the three replies one after the other; the Get ID reply takes the rest.
#include <algorithm>
#include <string>

#include "fuzz_input.h"
#include "jobs/identify.h"
#include "settings/targets.h"

namespace {

constexpr std::size_t kMaxReply = 255;  // the Get commands keep no more

std::string Take(const std::uint8_t*& p, const std::uint8_t* end, std::size_t want) {
    const std::size_t n = std::min({want, static_cast<std::size_t>(end - p), kMaxReply});
    std::string s(reinterpret_cast<const char*>(p), n);
    p += n;
    return s;
}

void LoadSomeTargets() {
    // An unnamed entry between named ones, and two entries sharing an ID.
    Targets[0] = {"STM32F10x medium density", 0x410, 0x08000000, 0, 0x0801FFFF, 0};
    Targets[1] = {"", 0x413, 0, 0, 0, 0};
    Targets[2] = {"STM32F405/407/415/417", 0x413, 0x08000000, 0, 0x080FFFFF, 0};
    Targets[3] = {"STM32F40x xE", 0x413, 0x08000000, 0, 0x0807FFFF, 0};
    TargetLast = 3;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LoadSomeTargets();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t* p = data + 2;
    const std::uint8_t* end = data + size;
    const std::string commands = Take(p, end, data[0]);
    const std::string version = Take(p, end, data[1]);
    const std::string chipId = Take(p, end, kMaxReply);

    const TIdentification id = DecodeReplies(commands, version, chipId);
    const bool acked = !commands.empty() && static_cast<std::uint8_t>(commands[0]) == 0x79;
    FUZZ_CHECK((id.result == TIdentification::Done) == acked);
    if (!acked) {
        FUZZ_CHECK(id.lines.empty() && id.targetIndex == -1);
        return 0;
    }
    // The version and one line per listed command, the options, the ID.
    const std::size_t listed = commands.size() > 3 ? commands.size() - 3 : 0;
    FUZZ_CHECK(id.lines.size() == listed + 2);
    FUZZ_CHECK(id.statusText.rfind("Len ", 0) == 0);
    FUZZ_CHECK(id.idValid == (chipId.size() >= 4));
    if (id.targetIndex >= 0) {
        FUZZ_CHECK(id.idValid && id.targetIndex <= TargetLast);
        FUZZ_CHECK(Targets[id.targetIndex].ChipId == id.productId && !Targets[id.targetIndex].Name.empty());
    }
    return 0;
}
