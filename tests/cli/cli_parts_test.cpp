// The pure parts of velkor-cli: numbers, line choices, progress lines, child command lines.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/json.h"
#include "cli/options.h"
#include "cli/port_list.h"
#include "cli/terminal_status.h"
#include "settings/sha256.h"
#include "support/recorders.h"

namespace {

using namespace cli;

TEST(CliParts, NumbersAreDecimalOrHexAndNeverWrap) {
    std::uint32_t v = 7;
    const std::pair<const char*, std::uint32_t> good[] = {
        {"134217728", 0x08000000u}, {"0x0800c000", 0x0800C000u}, {"0XFFFFFFFF", 0xFFFFFFFFu}};
    for (const auto& [text, want] : good) {
        EXPECT_TRUE(ParseNumber(text, v)) << text;
        EXPECT_EQ(v, want) << text;
    }
    for (const char* bad : {"", "0x", "4294967296", "0x100000000", "12k", "-1", " 1", "0x1g", "1e3"}) {
        v = 7;
        EXPECT_FALSE(ParseNumber(bad, v)) << bad;
        EXPECT_EQ(v, 7u) << bad;
    }
}

TEST(CliParts, LineChoicesByLabelOrIndex) {
    std::int32_t c = -9;
    const std::pair<const char*, std::int32_t> good[] = {{"aus", 0},    {"DTR hi", 1}, {"dtr-lo", 2},
                                                         {"RTS_HI", 3}, {"rtslo", 4},  {"4", 4}};
    for (const auto& [text, want] : good) {
        EXPECT_TRUE(ParseLineChoice(text, c)) << text;
        EXPECT_EQ(c, want) << text;
    }
    for (const char* bad : {"", "5", "-1", "DTR", "hi", "01"}) EXPECT_FALSE(ParseLineChoice(bad, c)) << bad;
}

TEST(CliParts, OnlyTheJobsPerBlockTextsCountAsProgress) {
    std::uint32_t v = 0;
    const std::pair<const char*, std::uint32_t> blocks[] = {{"programmiere $00001200", 0x1200u},
                                                            {"lese $0801FF00", 0x0801FF00u},
                                                            {"vergleiche $00000000", 0u},
                                                            {"teste $08000100", 0x08000100u}};
    for (const auto& [text, want] : blocks) {
        EXPECT_TRUE(ParseBlockText(text, v)) << text;
        EXPECT_EQ(v, want) << text;
    }
    for (const char* other : {"lese Hexdatei..", "programmiere..", "Fehler bei $00000100", "lese $0800",
                              "lese $0800010G", "teste $080001000", "gelesen bis $00020000 fertig."})
        EXPECT_FALSE(ParseBlockText(other, v)) << other;
}

TEST(CliParts, ProgressLineShowsBarBytesRateAndTimeLeft) {
    // A quarter of 64 KiB in 2 s: 8 KiB/s, 48 KiB to go, 6 s left.
    EXPECT_EQ(ProgressLine("lese $08004000", 0x4000, 0x10000, 2000),
              "lese $08004000 [#####---------------] 16.0/64.0 KiB 8.0 KiB/s 0:06 left");
    EXPECT_EQ(ProgressLine("lese $08000000", 0, 0x10000, 0),
              "lese $08000000 [--------------------] 0.0/64.0 KiB 0.0 KiB/s -:-- left");
    // Past the total (a last block beyond the flash length) the bar stays full.
    EXPECT_EQ(ProgressLine("teste $08010080", 0x10100, 0x10080, 1000).substr(0, 45),
              "teste $08010080 [####################] 64.1/6");
    EXPECT_EQ(ProgressLine("programmiere $00000000", 0, 0, 0).find("[####################] 0.0/0.0 KiB"), 23u);
}

TEST(CliParts, PageListsAndCommandsWithTheirOwnWords) {
    std::vector<std::uint16_t> pages;
    ASSERT_TRUE(ParsePageList("8,0-3,0x10,2", pages));
    EXPECT_EQ(pages, (std::vector<std::uint16_t>{0, 1, 2, 3, 8, 16}));
    for (const char* bad : {"", "3-1", "1,,2", "-4", "65520", "1-65535", "a"}) EXPECT_FALSE(ParsePageList(bad, pages)) << bad;

    Request r;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"program", "--erase", "a.s19", "erase", "--pages=4-5", "erase", "--pages", "7", "go",
                                  "0x08000100", "go", "reset"},
                                 r, error))
        << error;
    ASSERT_EQ(r.commands.size(), 6u);
    EXPECT_TRUE(r.commands[0].erase);
    EXPECT_EQ(r.commands[0].file, "a.s19");
    EXPECT_EQ(r.commands[1].pages, (std::vector<std::uint16_t>{4, 5}));
    EXPECT_EQ(r.commands[2].pages, (std::vector<std::uint16_t>{7}));
    EXPECT_EQ(r.commands[3].address, 0x08000100u);
    EXPECT_FALSE(r.commands[4].address);
    EXPECT_EQ(r.commands[5].kind, CommandKind::Reset);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"erase", "--pages"}, {"erase", "--pages", "x"}, {"program", "--erase"}})
        EXPECT_FALSE(ParseCommandLine(bad, r, error)) << bad[0];
}

TEST(CliParts, JsonStringsStayValidWhateverTheBytes) {
    EXPECT_EQ(JsonString("Chip ist gelöscht"), "\"Chip ist gelöscht\"");
    EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
    // A path in Latin-1, a cut-off sequence, an overlong slash, a surrogate.
    EXPECT_EQ(JsonString("\xE9t\xC3"), "\"\\ufffdt\\ufffd\"");
    EXPECT_EQ(JsonString("\xC0\xAF\xED\xA0\x80"), "\"\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\"");
    JsonObject o;
    o.Add("n", std::int64_t{-3}).Add("ok", true).AddNull("x").Add("l", std::vector<std::string>{"a", "b"});
    EXPECT_EQ(o.Text(), "{\"n\":-3,\"ok\":true,\"x\":null,\"l\":[\"a\",\"b\"]}");
}

#ifndef _WIN32
TEST(CliParts, ByIdNameIsTheLinkToTheSameDevice) {
    testsupport::TempDir dir;
    std::filesystem::create_symlink("/dev/null", dir.File("usb-FTDI_FT232R_A1B2-if00-port0"));
    std::filesystem::create_symlink("/dev/nowhere", dir.File("usb-gone"));
    EXPECT_EQ(ByIdName("/dev/null", dir.path()), dir.File("usb-FTDI_FT232R_A1B2-if00-port0"));
    EXPECT_EQ(ByIdName("/dev/zero", dir.path()), "");
    EXPECT_EQ(ByIdName("/dev/null", dir.File("missing")), "");
}
#endif

TEST(CliParts, ChildRunsTheSameCommandsOnItsOnePort) {
    Request r;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"--port", "3", "--baud=115200", "--device", "/dev/x", "--chip", "F1 board", "--json",
                                  "erase", "--pages", "1-2", "program", "--erase", "-odd.hex", "read", "out-{port}.bin"},
                                 r, error))
        << error;
    ASSERT_EQ(r.ports.size(), 2u);
    EXPECT_EQ(ChildArguments(r, r.ports[1], ChildMode::Lines),
              (std::vector<std::string>{"--baud=115200", "--chip=F1 board", "--json", "--child=lines",
                                        "--device=/dev/x", "erase", "--pages", "1-2", "program", "--erase", "-odd.hex",
                                        "read", "out-{port}.bin"}));
    EXPECT_EQ(ExpandPort("out-{port}.bin", r.ports[0]), "out-COM3.bin");
    EXPECT_EQ(ExpandPort("{port}/{port}.bin", r.ports[1]), "x/x.bin");

    Request child;
    ASSERT_TRUE(ParseCommandLine(ChildArguments(r, r.ports[0], ChildMode::Log), child, error)) << error;
    EXPECT_EQ(child.child, ChildMode::Log);
    ASSERT_EQ(child.ports.size(), 1u);
    EXPECT_EQ(child.ports[0].number, 3);
    EXPECT_EQ(child.chip, "F1 board");
    ASSERT_EQ(child.commands.size(), 3u);
    EXPECT_EQ(child.commands[0].pages, (std::vector<std::uint16_t>{1, 2}));
    EXPECT_EQ(child.commands[1].file, "-odd.hex");
    EXPECT_TRUE(child.commands[1].erase);
    EXPECT_TRUE(child.json);
}

TEST(CliParts, Sha256OfTheRunLogAcrossItsPaddingBoundaries) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the block, a second one follows.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(Sha256Hex(text), want) << text.size();
}

}  // namespace
