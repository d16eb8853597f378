// The commands of AN3155: reply layouts, address ranges, checksums, and
// flash that behaves like flash.
#include <gtest/gtest.h>

#include "bench.h"
#include "settings/identity.h"
#include "support/recorders.h"

using simtest::Address;
using simtest::Bench;
using simtest::Block;
using simtest::Bytes;
using simtest::WithXor;

namespace {

Bytes Pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
    return b;
}

struct Connected : Bench {
    explicit Connected(sim::ChipPreset p = sim::F103Preset()) : Bench(std::move(p)) {
        EXPECT_TRUE(Connect());
        chip().timing().massEraseUs = 40'000;  // the F4's seconds aren't what these tests are about
    }
};

}  // namespace

// One rig at a time: each installs itself as the platform's seams.
TEST(SimCommandsTest, GetCommandsVersionAndIdReplies) {
    {
    Connected f1;
    f1.Send({0x00, 0xFF});
    EXPECT_EQ(f1.Receive(15), (Bytes{0x79, 11, 0x22, 0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x43, 0x63, 0x73, 0x82, 0x92, 0x79}));
    f1.Send({0x01, 0xFE});
    EXPECT_EQ(f1.Receive(5), (Bytes{0x79, 0x22, 0x00, 0x00, 0x79}));
    f1.Send({0x02, 0xFD});
    EXPECT_EQ(f1.Receive(5), (Bytes{0x79, 0x01, 0x04, 0x10, 0x79}));
    EXPECT_EQ(f1.Cmd(0x44), 0x1F);  // Erase and Extended Erase exclude each other
    }
    sim::ChipPreset p = sim::F407Preset();
    p.productId = 0x0999;  // overrides reach the wire
    p.bootloaderVersion = 0x40;
    Connected f4(p);
    f4.Send({0x00, 0xFF});
    const Bytes get = f4.Receive(15);
    ASSERT_EQ(get.size(), 15u);
    EXPECT_EQ(get[2], 0x40);
    EXPECT_EQ(get[9], 0x44);
    f4.Send({0x02, 0xFD});
    EXPECT_EQ(f4.Receive(5), (Bytes{0x79, 0x01, 0x09, 0x99, 0x79}));
    EXPECT_EQ(f4.Cmd(0x43), 0x1F);
}

TEST(SimCommandsTest, ReadMemoryAreasAndRefusals) {
    Connected b;
    const Bytes data = Pattern(256, 3);
    std::copy(data.begin(), data.end(), b.chip().Flash().begin() + 0x1FF00);
    EXPECT_EQ(b.Read(0x0801FF00, 256), data);
    EXPECT_EQ(b.Read(0x1FFFF800, 2), (Bytes{0xA5, 0x5A}));  // option bytes
    EXPECT_EQ(b.Read(0x1FFFF000, 4)->size(), 4u);           // system memory
    EXPECT_EQ(b.Read(0x20000000, 4), (Bytes{0, 0, 0, 0}));  // RAM
    EXPECT_FALSE(b.Read(0x08020000, 1));                     // past the flash
    EXPECT_FALSE(b.Read(0x0801FF01, 256));                   // leaves the flash

    ASSERT_EQ(b.Cmd(0x11), 0x79);
    Bytes bad = Address(0x08000000);
    bad[4] ^= 1;
    b.Send(bad);
    EXPECT_EQ(b.Next(), 0x1F);
    ASSERT_EQ(b.Cmd(0x11), 0x79);
    b.Send(Address(0x08000000));
    ASSERT_EQ(b.Next(), 0x79);
    b.Send({0x0F, 0x0F});  // length without its complement
    EXPECT_EQ(b.Next(), 0x1F);
}

TEST(SimCommandsTest, GoLeavesTheBootloaderForValidAddressesOnly) {
    Connected b;
    ASSERT_EQ(b.Cmd(0x21), 0x79);
    b.Send(Address(0x1FFFF000));
    EXPECT_EQ(b.Next(), 0x1F);
    ASSERT_EQ(b.Cmd(0x21), 0x79);
    b.Send(Address(0x08000000));
    EXPECT_EQ(b.Next(), 0x79);
    EXPECT_EQ(b.chip().state(), sim::Chip::State::UserProgram);
    EXPECT_EQ(b.Cmd(0x00, 50), 0);
}

TEST(SimCommandsTest, WriteMemoryChecksLengthAlignmentChecksumAndRange) {
    Connected b;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> changes;
    b.chip().SetFlashChanged([&](std::uint32_t o, std::uint32_t n) { changes.emplace_back(o, n); });
    const Bytes data = Pattern(256, 9);
    EXPECT_EQ(b.Write(0x08000100, data), 0x79);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), b.chip().Flash().begin() + 0x100));
    EXPECT_EQ(changes, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0x100, 256}}));

    EXPECT_EQ(b.Write(0x08000400, Pattern(6, 1)), 0x1F);   // not a multiple of 4
    EXPECT_EQ(b.Write(0x08000402, Pattern(4, 1)), 0x1F);   // not word-aligned
    EXPECT_EQ(b.Write(0x0801FFFC, Pattern(8, 1)), 0x1F);   // leaves the flash
    EXPECT_EQ(b.Write(0x1FFFF000, Pattern(4, 1)), 0x1F);   // system memory
    EXPECT_EQ(b.Write(0x20000000, Pattern(4, 1)), 0x1F);   // the bootloader's own RAM
    EXPECT_EQ(b.Write(0x20000200, Pattern(4, 1)), 0x79);
    EXPECT_EQ(b.chip().Ram()[0x200], 1);
    ASSERT_EQ(b.Cmd(0x31), 0x79);
    b.Send(Address(0x08000800));
    ASSERT_EQ(b.Next(), 0x79);
    Bytes block = Block(Pattern(4, 1));
    block.back() ^= 0x55;
    b.Send(block);
    EXPECT_EQ(b.Next(), 0x1F);
    EXPECT_EQ(b.chip().Flash()[0x800], 0xFF);
}

TEST(SimCommandsTest, FlashIsRealFlash) {
    {
    Connected f1;
    EXPECT_EQ(f1.Write(0x08000000, {0x12, 0x34, 0x56, 0x78}), 0x79);
    EXPECT_EQ(f1.Write(0x08000000, {0x02, 0x04, 0x06, 0x08}), 0x1F);  // F1: not erased
    EXPECT_EQ(f1.chip().Flash()[0], 0x12);
    EXPECT_EQ(f1.Write(0x08000000, {0, 0, 0, 0}), 0x79);              // zero may always be written
    EXPECT_EQ(f1.chip().Flash()[3], 0x00);
    }
    {
    Connected f4(sim::F407Preset());
    EXPECT_EQ(f4.Write(0x08000000, {0xF0, 0xF0, 0xFF, 0xFF}), 0x79);
    EXPECT_EQ(f4.Write(0x08000000, {0x3C, 0x0F, 0xFF, 0x00}), 0x79);  // F4: bits are only cleared
    EXPECT_EQ(f4.Read(0x08000000, 4), (Bytes{0x30, 0x00, 0xFF, 0x00}));
    }
    // G0: a double word carries ECC; once written, not even zeros go in, but
    // the other half of an untouched double word is still free.
    Connected g0(sim::G031Preset());
    EXPECT_EQ(g0.Write(0x08000000, {0x12, 0x34, 0x56, 0x78}), 0x79);
    EXPECT_EQ(g0.Write(0x08000000, {0, 0, 0, 0}), 0x1F);
    EXPECT_EQ(g0.Write(0x08000008, {0x9A, 0xBC, 0xDE, 0xF0}), 0x79);
    EXPECT_EQ(g0.Read(0x08000000, 12), (Bytes{0x12, 0x34, 0x56, 0x78, 0xFF, 0xFF, 0xFF, 0xFF, 0x9A, 0xBC, 0xDE, 0xF0}));
}

// Each preset keeps its unique ID and flash size where the shipped
// identity.cfi looks for them: read-only, the size following its flash, or,
// as an L4's bootloader does, refused.
TEST(SimCommandsTest, TheSignatureIsWhereTheIdentityTableSays) {
    std::vector<TChipIdentity> table;
    std::string message;
    ASSERT_TRUE(LoadIdentityTable(testsupport::ProgramDir() + "/" + kIdentityFileName, table, message)) << message;
    const std::pair<sim::ChipPreset, bool> presets[] = {{sim::F103Preset(), true}, {sim::F407Preset(), true},
                                                        {sim::F303Preset(), true}, {sim::G031Preset(), true},
                                                        {sim::C031Preset(), true},  {sim::L476Preset(), false},
                                                        {sim::H743Preset(), true}};
    for (auto [p, answers] : presets) {
        SCOPED_TRACE(p.name);
        sim::SetFlashSize(p, p.flashSize / 2);
        const TChipIdentity* entry = FindIdentity(table, p.productId);
        ASSERT_TRUE(entry && entry->uidWords && entry->flashSizeAt);
        EXPECT_EQ(p.signature.uidAt, (*entry->uidWords)[0]);
        EXPECT_EQ(p.signature.flashSizeAt, *entry->flashSizeAt);
        Connected b(p);
        Bytes uid;
        for (std::uint32_t word : *entry->uidWords) {
            const auto got = b.Read(word, 4);
            ASSERT_EQ(got.has_value(), answers);
            if (got) uid.insert(uid.end(), got->begin(), got->end());
        }
        const auto size = b.Read(*entry->flashSizeAt, 2);
        if (!answers) {
            EXPECT_FALSE(size);
            continue;
        }
        EXPECT_EQ(uid, p.signature.uid);
        const std::uint32_t kib = p.flashSize / 1024;
        EXPECT_EQ(size, (Bytes{static_cast<std::uint8_t>(kib), static_cast<std::uint8_t>(kib >> 8)}));
        EXPECT_EQ(b.Write((*entry->uidWords)[0], {0, 0, 0, 0}), 0x1F);
    }
}

TEST(SimCommandsTest, EraseGlobalAndPages) {
    Connected b;
    std::fill(b.chip().Flash().begin(), b.chip().Flash().end(), 0x00);
    EXPECT_EQ(b.Erase(0x43, WithXor({1, 1, 3})), 0x79);  // pages 1 and 3
    const auto& f = b.chip().Flash();
    EXPECT_EQ(f[0x3FF], 0x00);
    EXPECT_EQ(f[0x400], 0xFF);
    EXPECT_EQ(f[0x7FF], 0xFF);
    EXPECT_EQ(f[0x800], 0x00);
    EXPECT_EQ(f[0xC00], 0xFF);
    EXPECT_EQ(b.Erase(0x43, {0, 5, 0}), 0x1F);            // checksum
    EXPECT_EQ(b.Erase(0x43, WithXor({0, 128})), 0x1F);    // no page 128
    EXPECT_EQ(f[0x1400], 0x00);
    EXPECT_EQ(b.Erase(0x43, {0xFF, 0x00}), 0x79);
    EXPECT_TRUE(std::all_of(f.begin(), f.end(), [](std::uint8_t v) { return v == 0xFF; }));
}

TEST(SimCommandsTest, ExtendedEraseMassBanksAndSectors) {
    {
    Connected f4(sim::F407Preset());
    auto& f = f4.chip().Flash();
    std::fill(f.begin(), f.end(), 0x00);
    EXPECT_EQ(f4.Erase(0x44, WithXor({0x00, 0x01, 0x00, 0x00, 0x00, 0x05})), 0x79);  // sectors 0 and 5
    EXPECT_EQ(f[0x3FFF], 0xFF);
    EXPECT_EQ(f[0x4000], 0x00);
    EXPECT_EQ(f[0x20000], 0xFF);  // sector 5 starts at 128 KiB
    EXPECT_EQ(f[0x3FFFF], 0xFF);
    EXPECT_EQ(f[0x40000], 0x00);
    EXPECT_EQ(f4.Erase(0x44, {0xFF, 0xFE, 0x01}), 0x1F);  // one bank only
    EXPECT_EQ(f4.Erase(0x44, {0xFF, 0xF0, 0x0F}), 0x1F);  // reserved code
    EXPECT_EQ(f4.Erase(0x44, WithXor({0x00, 0x00, 0x00, 12})), 0x1F);  // no sector 12
    EXPECT_EQ(f4.Erase(0x44, {0xFF, 0xFF, 0x00}), 0x79);
    EXPECT_TRUE(std::all_of(f.begin(), f.end(), [](std::uint8_t v) { return v == 0xFF; }));
    }
    Connected two(sim::F429Preset());
    auto& g = two.chip().Flash();
    std::fill(g.begin(), g.end(), 0x00);
    EXPECT_EQ(two.Erase(0x44, {0xFF, 0xFD, 0x02}), 0x79);  // bank 2
    EXPECT_EQ(g[0xFFFFF], 0x00);
    EXPECT_EQ(g[0x100000], 0xFF);
}

TEST(SimCommandsTest, OptionBytesWriteTakesEffectByAReset) {
    Connected b;
    Bytes opt{0xA5, 0x5A, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFE, 0x01, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};
    EXPECT_EQ(b.Write(0x1FFFF800, opt), 0x79);
    EXPECT_EQ(b.chip().WriteProtection(), 1u);
    EXPECT_EQ(b.Cmd(0x00, 50), 0);  // reset: a new sync is needed
    EXPECT_TRUE(b.Connect());
}
