// Target table reader: any file fills at most the 256 entries, and list item
// i always shows entry i.
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "settings/targets.h"

namespace {

class Items : public TChipList {
public:
    void AddItem(const std::string& text) override { items.push_back(text); }
    std::vector<std::string> items;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::InputFile input;
    const std::string& path = input.Set(data, size);

    TargetLast = 0;
    Items list;
    LoadTargets(path, list);
    const auto n = list.items.size();
    FUZZ_CHECK(n <= static_cast<std::size_t>(kTargetCount));
    FUZZ_CHECK(TargetLast == (n == 0 ? 0 : static_cast<std::int32_t>(n) - 1));
    for (std::size_t i = 0; i < n; ++i) {
        const TTargetRec& t = Targets[i];
        FUZZ_CHECK(list.items[i].rfind(t.Name + " (", 0) == 0);
        FUZZ_CHECK(t.Name.find(';') == std::string::npos);
    }
    for (std::size_t i = n; i < static_cast<std::size_t>(kTargetCount); ++i) {
        FUZZ_CHECK(Targets[i].Name.empty() && Targets[i].ChipId == 0 && Targets[i].FlashEnd == 0);
    }
    return 0;
}
