// HEX files written by the real tools (srecord, binutils) from binaries the
// test makes: which conversions this loader takes, and which it refuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <vector>

#include "settings/hexfile.h"
#include "settings/inifile.h"
#include "support/recorders.h"

namespace {

using testsupport::TempDir;

#define REQUIRE_TOOLS(...)                                                                       \
    if (const std::string missing = Missing({__VA_ARGS__}); !missing.empty())                     \
    GTEST_SKIP() << missing << " is not installed (scripts/install-deps.sh installs it)"

bool Have(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(gen());
    return v;
}

class HexToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedStart_ = Ini.FlashStart;
        Ini.FlashStart = 0x08000000;
    }
    void TearDown() override { Ini.FlashStart = savedStart_; }

    static std::string Missing(std::initializer_list<const char*> tools) {
        for (const char* t : tools)
            if (!Have(t)) return t;
        return {};
    }
    std::string MakeBinary(const std::string& name, std::size_t n, unsigned seed = 1) {
        binary = RandomBytes(n, seed);
        std::ofstream(dir.File(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(binary.data()), static_cast<std::streamsize>(n));
        return dir.File(name);
    }
    // A firmware ELF as a linker leaves it: data at 0x08000000, entry point inside.
    std::string MakeElf(std::size_t n) {
        const std::string bin = MakeBinary("fw.bin", n);
        Run("objcopy -I binary -O elf32-i386 -B i386 --change-section-address .data=0x08000000"
            " --set-start 0x080001AD '" + bin + "' '" + dir.File("fw.elf") + "'");
        return dir.File("fw.elf");
    }
    static void Run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

    bool Load(const std::string& hex) {
        testsupport::RecordingStatusBar bar;
        return LoadHexFile(bar, hex, message);
    }
    // The image holds the binary from offset 0, and nothing else.
    void ExpectImageIsBinary() const {
        std::size_t wrong = 0, firstWrong = 0;
        for (std::size_t i = 0; i < kImageSize; ++i) {
            const std::uint8_t want = i < binary.size() ? binary[i] : 0xFF;
            if (FlashImage[i] != want && wrong++ == 0) firstWrong = i;
        }
        EXPECT_EQ(wrong, 0u) << "first difference at offset " << firstWrong;
    }

    TempDir dir;
    std::vector<std::uint8_t> binary;
    std::string message;

private:
    std::uint32_t savedStart_ = 0;
};

struct SrecCase {
    std::size_t size;
    int recordSize;
    bool crlf;
};

void PrintTo(const SrecCase& c, std::ostream* os) {
    *os << c.size << " bytes, " << c.recordSize << " per record, " << (c.crlf ? "CRLF" : "LF");
}

class SrecCatFromBinary : public HexToolsTest, public ::testing::WithParamInterface<SrecCase> {};

TEST_P(SrecCatFromBinary, LoadsTheBinary) {
    REQUIRE_TOOLS("srec_cat");
    const SrecCase c = GetParam();
    const std::string bin = MakeBinary("fw.bin", c.size, static_cast<unsigned>(c.size));
    const std::string hex = dir.File("fw.hex");
    Run("srec_cat '" + bin + "' -binary -o '" + hex + "' -intel -obs=" + std::to_string(c.recordSize) +
        (c.crlf ? " -line-termination=crlf" : " -line-termination=nl"));
    const std::string text = dir.Read("fw.hex");
    ASSERT_EQ(text.find("\r\n") != std::string::npos, c.crlf);
    if (c.size > 0x10000) {
        ASSERT_NE(text.find(":020000040001F9"), std::string::npos) << "no type-04 record";
    }

    EXPECT_TRUE(Load(hex)) << message;
    ExpectImageIsBinary();
}

INSTANTIATE_TEST_SUITE_P(Sizes, SrecCatFromBinary,
                         ::testing::Values(SrecCase{1, 16, false}, SrecCase{4099, 16, true},
                                           SrecCase{70000, 32, false}, SrecCase{70000, 255, true},
                                           SrecCase{300001, 255, false}, SrecCase{300001, 16, true},
                                           SrecCase{kImageSize, 32, true}, SrecCase{kImageSize, 255, false}),
                         [](const ::testing::TestParamInfo<SrecCase>& p) {
                             return std::to_string(p.param.size) + "_obs" + std::to_string(p.param.recordSize) +
                                    (p.param.crlf ? "_crlf" : "_lf");
                         });

TEST_F(HexToolsTest, AbsoluteAddressesAreRefusedAndSrecCatOffsetMendsThem) {
    REQUIRE_TOOLS("srec_cat", "objcopy");
    const std::string elf = MakeElf(200000);
    const std::string abs = dir.File("abs.hex");
    Run("objcopy -O ihex '" + elf + "' '" + abs + "'");
    EXPECT_FALSE(Load(abs));
    EXPECT_EQ(message, "ausserhalb: 08000000");

    const std::string rel = dir.File("rel.hex");
    Run("srec_cat '" + abs + "' -intel -offset -0x08000000 -o '" + rel + "' -intel");
    EXPECT_TRUE(Load(rel)) << message;
    ExpectImageIsBinary();
}

TEST_F(HexToolsTest, ObjcopyShiftWritesAStartSegmentRecord) {
    REQUIRE_TOOLS("objcopy");
    const std::string elf = MakeElf(3000);
    const std::string shifted = dir.File("shifted.hex");
    Run("objcopy -O ihex --change-addresses -0x08000000 '" + elf + "' '" + shifted + "'");
    EXPECT_FALSE(Load(shifted));
    EXPECT_EQ(message.rfind("unerwarteter Record 3 auf Zeile ", 0), 0u) << message;

    // Moving only the sections keeps the entry point above 1 MiB: a type-05 record.
    const std::string sections = dir.File("sections.hex");
    Run("objcopy -O ihex --change-section-address '*-0x08000000' '" + elf + "' '" + sections + "'");
    EXPECT_TRUE(Load(sections)) << message;
    ExpectImageIsBinary();

    // The same from a HEX file with absolute addresses.
    const std::string abs = dir.File("abs.hex"), fromHex = dir.File("from-hex.hex");
    Run("objcopy -O ihex '" + elf + "' '" + abs + "'");
    Run("objcopy -I ihex -O ihex --change-section-address '*-0x08000000' '" + abs + "' '" + fromHex + "'");
    EXPECT_TRUE(Load(fromHex)) << message;
    ExpectImageIsBinary();
}

TEST_F(HexToolsTest, ObjcopyUsesSegmentRecordsAbove64Kib) {
    REQUIRE_TOOLS("objcopy");
    const std::string small = MakeBinary("small.bin", 0x10000);
    Run("objcopy -I binary -O ihex '" + small + "' '" + dir.File("small.hex") + "'");
    EXPECT_TRUE(Load(dir.File("small.hex"))) << message;
    ExpectImageIsBinary();

    const std::string large = MakeBinary("large.bin", 0x10001);
    Run("objcopy -I binary -O ihex '" + large + "' '" + dir.File("large.hex") + "'");
    EXPECT_FALSE(Load(dir.File("large.hex")));
    EXPECT_EQ(message.rfind("unerwarteter Record 2 auf Zeile ", 0), 0u) << message;
}

TEST_F(HexToolsTest, ElfThroughBinaryAndSrecCat) {
    REQUIRE_TOOLS("srec_cat", "objcopy");
    const std::string elf = MakeElf(300001);
    const std::string bin = dir.File("out.bin");
    Run("objcopy -O binary '" + elf + "' '" + bin + "'");
    Run("srec_cat '" + bin + "' -binary -o '" + dir.File("out.hex") + "' -intel");
    EXPECT_TRUE(Load(dir.File("out.hex"))) << message;
    ExpectImageIsBinary();
}

}  // namespace
