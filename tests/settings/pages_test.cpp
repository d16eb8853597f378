// The page layout table: its refusals, the pages an image touches, and that
// the shipped tables agree with each other.
#include "settings/pages.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/hex_text.h"
#include "settings/identity.h"
#include "settings/targets.h"
#include "support/recorders.h"

namespace {

TEST(PageTable, MalformedLinesAreRefusedWithLineAndReason) {
    const std::pair<std::string, std::string> cases[] = {
        {"410;08000000", "line 2: not ChipId;FlashStart;Pages (2 fields)"},
        {"410;08000000;1x1K;x", "line 2: not ChipId;FlashStart;Pages (4 fields)"},
        {"4100A;08000000;1x1K", "line 2: the product ID '4100A' is not 1 to 4 hex digits"},
        {"410;0x8000000;1x1K", "line 2: the flash start '0x8000000' is not 1 to 8 hex digits"},
        {"410;08000000;128x", "line 2: '128x' is not COUNTxSIZE, such as 128x1K"},
        {"410;08000000;0x1K", "line 2: '0x1K' is not COUNTxSIZE, such as 128x1K"},
        {"410;08000000;128*1K", "line 2: '128*1K' is not COUNTxSIZE, such as 128x1K"},
        {"410;08000000;70000x1", "line 2: more than 65520 pages"},
        {"410;FFFFFC00;2x1K", "line 2: the pages run past address 0xFFFFFFFF"},
        {"410;08000000; ", "line 2: no pages"},
        {"0410;08000000;4x1K", "line 2: product ID 0410 is on line 1 already"},
    };
    for (const auto& [line, message] : cases) {
        std::vector<TPageLayout> table;
        std::string got;
        EXPECT_FALSE(ParsePageTable({"410;08000000;128x1K", line}, table, got)) << line;
        EXPECT_EQ(got, message);
    }
    std::vector<TPageLayout> table;
    std::string got;
    ASSERT_TRUE(ParsePageTable({"; ChipId;FlashStart;Pages", "", " 413 ; 08000000 ; 4x16K  1x64K\t7x128K ",
                                "0422;8000000;128x2048"},
                               table, got))
        << got;
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].sizes.size(), 12u);
    EXPECT_EQ(table[0].End(), 0x08100000u);
    EXPECT_EQ(FindPageLayout(table, 0x422)->sizes[127], 2048u);
    EXPECT_EQ(FindPageLayout(table, 0x410), nullptr);
}

TEST(PageTable, TheRangesOfAnImageTouchTheirPagesOnce) {
    std::vector<TPageLayout> table;
    std::string message;
    ASSERT_TRUE(ParsePageTable({"413;08000000;4x16K 1x64K 7x128K"}, table, message));
    const TPageLayout& f4 = table[0];
    std::vector<std::uint16_t> pages;
    ASSERT_TRUE(TouchedPages(f4, 0x08000000, {{0x4000, 0x4001}}, pages, message));
    EXPECT_EQ(pages, (std::vector<std::uint16_t>{1}));
    // Across sectors 0 to 4, and a second range in sector 4 again; an empty one touches nothing.
    ASSERT_TRUE(TouchedPages(f4, 0x08000000, {{0x3FFF, 0x10001}, {0x1FFFF, 0x20000}, {0x50000, 0x50000}}, pages,
                             message));
    EXPECT_EQ(pages, (std::vector<std::uint16_t>{0, 1, 2, 3, 4}));
    // Image offsets count from the flash start in the settings.
    ASSERT_TRUE(TouchedPages(f4, 0x08020000, {{0, 1}, {0xDFFFF, 0xE0000}}, pages, message));
    EXPECT_EQ(pages, (std::vector<std::uint16_t>{5, 11}));
    EXPECT_FALSE(TouchedPages(f4, 0x08020000, {{0xE0000, 0xE0001}}, pages, message));
    EXPECT_EQ(message, "0x08100000 is outside the pages of product ID 0413 in pages.cfi (0x08000000–0x080FFFFF)");
    EXPECT_FALSE(TouchedPages(f4, 0x07FFFFFF, {{0, 2}}, pages, message));
    EXPECT_EQ(message.substr(0, 10), "0x07FFFFFF");
}

// The three shipped tables agree: every product ID of targets.cfi has a
// layout and an identity entry, the layout covers exactly the flash of the
// ID's first (largest) line, and neither side lists an ID the other lacks.
// The parsers refuse an ID listed twice.
TEST(PageTable, TheShippedTablesAgree) {
    const std::string dir = testsupport::ProgramDir() + "/";
    std::vector<TPageLayout> pages;
    std::vector<TChipIdentity> identities;
    std::string message;
    ASSERT_TRUE(LoadPageTable(dir + kPagesFileName, pages, message)) << message;
    ASSERT_TRUE(LoadIdentityTable(dir + kIdentityFileName, identities, message)) << message;
    struct Items : TChipList {
        void AddItem(const std::string&) override {}
    } items;
    LoadTargets(dir + kTargetsFileName, items);
    ASSERT_GT(TargetLast, 20);

    std::map<std::uint32_t, const TTargetRec*> first;  // the line identification takes
    for (int i = 0; i <= TargetLast; ++i) {
        const TTargetRec& t = Targets[i];
        SCOPED_TRACE(t.Name);
        ASSERT_LE(t.ChipId, 0xFFFFu);
        first.emplace(t.ChipId, &t);
        const auto id = static_cast<std::uint16_t>(t.ChipId);
        const TPageLayout* layout = FindPageLayout(pages, id);
        ASSERT_NE(layout, nullptr) << "no layout in " << kPagesFileName;
        EXPECT_EQ(layout->flashStart, t.FlashStart);
        EXPECT_GE(layout->End(), std::uint64_t{t.FlashEnd} + 1);
        EXPECT_NE(FindIdentity(identities, id), nullptr) << "no entry in " << kIdentityFileName;
    }
    for (const auto& [id, t] : first)
        EXPECT_EQ(FindPageLayout(pages, static_cast<std::uint16_t>(id))->End(), std::uint64_t{t->FlashEnd} + 1)
            << t->Name << ": the pages don't add up to its flash";
    for (const auto& layout : pages) EXPECT_TRUE(first.count(layout.chipId)) << platform::Hex4(layout.chipId);
    for (const auto& entry : identities) EXPECT_TRUE(first.count(entry.chipId)) << platform::Hex4(entry.chipId);
}

}  // namespace
