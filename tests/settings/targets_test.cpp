#include "settings/targets.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "platform/textfile.h"
#include "support/recorders.h"

namespace {

using testsupport::TempDir;

class RecordingChipList : public TChipList {
public:
    void AddItem(const std::string& text) override { items.push_back(text); }
    std::vector<std::string> items;
};

class TargetsTest : public ::testing::Test {
protected:
    void SetUp() override { TargetLast = 0; }

    void Load(const std::string& content) {
        dir.Write("t.cfi", content);
        list.items.clear();
        LoadTargets(dir.File("t.cfi"), list);
    }
    // The five numbers of entry k.
    static std::vector<std::uint32_t> Numbers(int k) {
        const TTargetRec& t = Targets[k];
        return {t.ChipId, t.FlashStart, t.Aux1, t.FlashEnd, t.Aux2};
    }

    TempDir dir;
    RecordingChipList list;
};

using V = std::vector<std::uint32_t>;

TEST_F(TargetsTest, ExampleLine) {
    Load("STM32F103xB;410;08000000;0;0801FFFF;0\r\n");
    EXPECT_EQ(Targets[0].Name, "STM32F103xB");
    EXPECT_EQ(Numbers(0), (V{0x410, 0x08000000, 0, 0x0801FFFF, 0}));
    EXPECT_EQ(list.items, std::vector<std::string>{"STM32F103xB (128 K Flash ab $08000000)"});
    EXPECT_EQ(TargetLast, 0);
}

TEST_F(TargetsTest, NameKeepsItsBlanks) {
    Load("F103 ;410;08000000;0;0801FFFF;0\n");
    EXPECT_EQ(Targets[0].Name, "F103 ");
    EXPECT_EQ(list.items[0].rfind("F103  (128 K", 0), 0u);
}

TEST_F(TargetsTest, NumberSeparators) {
    Load("A;410 08000000 0 0801FFFF 0\n"
         "B;410 ;08000000;0;0801FFFF;0\n"
         "C;0x410;08000000;0;0801FFFF;0\n"
         "D;410\n"
         "E;123456789;0801ffff;10000000000000000;7FFFFFFFFFFFFFFF;00000000000000000000AB\n"
         "F;1,2;3\n");
    EXPECT_EQ(Numbers(0), (V{0x410, 0x08000000, 0, 0x0801FFFF, 0}));
    EXPECT_EQ(Numbers(1), (V{0x410, 0, 0x08000000, 0, 0x0801FFFF}));
    EXPECT_EQ(Numbers(2), (V{0, 0, 0, 0, 0}));  // stops at the x
    EXPECT_EQ(Numbers(3), (V{0x410, 0, 0, 0, 0}));
    EXPECT_EQ(list.items[3], "D (0 K Flash ab $00000000)");
    // 9 digits keep the low 32 bits; beyond int64 gives 0; leading zeros don't count.
    EXPECT_EQ(Numbers(4), (V{0x23456789, 0x0801FFFF, 0, 0xFFFFFFFF, 0xAB}));
    EXPECT_EQ(Numbers(5), (V{1, 0, 0, 0, 0}));  // the comma stops the line
    EXPECT_EQ(TargetLast, 5);
}

TEST_F(TargetsTest, LinesThatAreNoEntries) {
    Load(";comment;410;08000000;0;0801FFFF;0\n"
         "\n"
         "NAME;\n"
         "NAME\n"
         "X;1\n"
         ";last line a comment;1;2;3;4;5");
    ASSERT_EQ(list.items.size(), 1u);
    EXPECT_EQ(Targets[0].Name, "X");
    EXPECT_EQ(Targets[1].Name, "");
}

TEST_F(TargetsTest, SizeInKibIsCountedModulo2To32) {
    Load("A;1;08000000;0;08007FFF;0\n"
         "B;1;08000000;0;080003E8;0\n"
         "C;1;08000000;0;07FFFFFE;0\n");
    EXPECT_EQ(list.items[0], "A (32 K Flash ab $08000000)");
    EXPECT_EQ(list.items[1], "B (0 K Flash ab $08000000)");
    EXPECT_EQ(list.items[2], "C (4194303 K Flash ab $08000000)");
}

TEST_F(TargetsTest, EachLoadStartsTheTableAfreshButKeepsTargetLast) {
    Load("A;1\nB;2\nC;3\n");
    EXPECT_EQ(TargetLast, 2);
    Load("; only comments\n");
    EXPECT_TRUE(list.items.empty());
    EXPECT_EQ(TargetLast, 2);
    for (const auto& t : Targets) EXPECT_EQ(t.Name, "");
}

TEST_F(TargetsTest, EntriesBeyondTheTableAreIgnored) {
    std::string content;
    for (int i = 0; i < 300; ++i) content += "T" + std::to_string(i) + ";" + std::to_string(i) + "\n";
    Load(content);
    ASSERT_EQ(list.items.size(), 256u);
    EXPECT_EQ(TargetLast, 255);
    for (int i = 0; i < kTargetCount; ++i) {
        EXPECT_EQ(Targets[i].Name, "T" + std::to_string(i));
        EXPECT_EQ(list.items[static_cast<std::size_t>(i)].rfind(Targets[i].Name + " (", 0), 0u);
    }
    EXPECT_EQ(Targets[255].ChipId, 0x255u);
}

TEST_F(TargetsTest, MissingFileRaises) {
    EXPECT_THROW(LoadTargets(dir.File("none.cfi"), list), platform::FileError);
}

// The shipped table beside the executables.
TEST_F(TargetsTest, ShippedTable) {
    LoadTargets(testsupport::ProgramDir() + "/" + kTargetsFileName, list);
    ASSERT_FALSE(list.items.empty());

    std::map<std::uint32_t, std::uint32_t> firstEnd;  // ChipId -> FlashEnd of its first line
    for (int k = 0; k <= TargetLast; ++k) {
        const TTargetRec& t = Targets[k];
        SCOPED_TRACE(t.Name);
        EXPECT_EQ(t.FlashStart, 0x08000000u);
        EXPECT_EQ((t.FlashEnd + 1 - t.FlashStart) % 0x4000, 0u) << "FlashEnd is inclusive";
        EXPECT_LE(t.FlashEnd + 1 - t.FlashStart, 0x200000u) << "larger than the image";
        auto [it, first] = firstEnd.emplace(t.ChipId, t.FlashEnd);
        if (!first) {
            EXPECT_LT(t.FlashEnd, it->second) << "identification takes the first line of an ID";
        }
    }
    for (std::uint32_t id : {0x412, 0x410, 0x414, 0x430, 0x418, 0x420, 0x444, 0x440, 0x448, 0x442, 0x422,
                             0x432, 0x438, 0x446, 0x411, 0x413, 0x419, 0x423, 0x433, 0x431, 0x421, 0x449,
                             0x451, 0x452})
        EXPECT_TRUE(firstEnd.count(id)) << std::hex << id;
}

}  // namespace

namespace {

// The window, identification and the command line all find chips here.
TEST_F(TargetsTest, SearchByProductIdAndByName) {
    Load("A;410;8000000;0;801FFFF;0\r\n"
         "B;413;8000000;0;807FFFF;0\r\n"
         "STM32F4;413;8000000;0;80FFFFF;0\r\n"
         " stm32f4 ;999;8000000;0;80FFFFF;0\r\n");
    EXPECT_EQ(FindTargetById(0x410), 0);
    EXPECT_EQ(FindTargetById(0x413), 1);  // the first of two
    EXPECT_EQ(FindTargetById(0x999), 3);
    EXPECT_EQ(FindTargetById(0x414), -1);
    EXPECT_EQ(FindTargetByName(" stm32f4 "), 3);  // the exact name before a folded one
    EXPECT_EQ(FindTargetByName("Stm32F4"), 2);
    EXPECT_EQ(FindTargetByName("b "), 1);
    EXPECT_EQ(FindTargetByName("C"), -1);
    TargetLast = 2;  // entries past the last one read don't count
    EXPECT_EQ(FindTargetById(0x999), -1);
}

}  // namespace
