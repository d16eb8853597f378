// Every job against a chip or a line that misbehaves, on the virtual clock:
// a NACK in place of each acknowledge in turn, the line hung up at each, the
// chip falling silent in the middle of a block, stray bytes before the
// acknowledges, a read-protected chip and one that isn't erased. Each run
// must end with one of its job's closing texts and beeps, within the waits of
// the commands, and a read-out file must never grow past the flash length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>

#include "bootloader/lolevel.h"
#include "bootloader/protocol.h"
#include "faulty_line.h"
#include "jobs/algorithmen.h"
#include "jobs/identify.h"
#include "platform/clock.h"
#include "platform/hex_text.h"
#include "serial/comport.h"
#include "settings/inifile.h"
#include "sim/rig.h"
#include "support/recorders.h"

namespace {

namespace fs = std::filesystem;
using platform::Hex8;
using robustness::FaultyLine;

enum class Job { Program, Verify, Blank, Erase, ReadOut, Identify };
constexpr Job kJobs[] = {Job::Program, Job::Verify, Job::Blank, Job::Erase, Job::ReadOut, Job::Identify};

const char* Name(Job j) {
    switch (j) {
        case Job::Program: return "program";
        case Job::Verify: return "verify";
        case Job::Blank: return "blank check";
        case Job::Erase: return "erase";
        case Job::ReadOut: return "read-out";
        case Job::Identify: return "identification";
    }
    return "?";
}

constexpr std::uint32_t kUsed = 0x200;      // the image: two blocks
constexpr std::uint32_t kFlashLen = 0x180;  // the read jobs: two blocks, the second one reaching past the length
constexpr std::uint32_t kFlashStart = 0x08000000;
constexpr std::uint32_t kMarginMs = 20;     // wire time of stray bytes and such

// Never 0x79, so every acknowledge on the line is a real one; never 0xFF.
std::uint8_t Pattern(std::size_t k) { return static_cast<std::uint8_t>(0x80 + k % 0x70); }

// How much longer than a clean run a run with one fault may take: the one
// wait that the fault lets run to its limit. Identification goes on after a
// short reply, so each of its three replies may take its full wait.
std::uint32_t SlackMs(Job j) {
    switch (j) {
        case Job::Program: return std::max(proto::kWriteCmdAckMs, proto::kWriteDoneMs);
        case Job::Verify:
        case Job::Blank:
        case Job::ReadOut: return proto::kReadDataMs;
        case Job::Erase:
            return std::max({proto::kEraseDoneMs, proto::kExtEraseDoneMs, proto::kWriteUnprotectCmdAckMs});
        case Job::Identify: return 3 * proto::kGetReplyMs;
    }
    return 0;
}

// Every closing text a job can give.
const std::regex& Forms(Job j) {
    static const std::regex program(
        R"(keine Verbindung\.|nichts zu programmieren|\.\.ende, programmiert bis [0-9A-F]{8}|)"
        R"(Fehler: [0-9A-F]{2} (Schreibkommando nicht angenommen|Adresse \([0-9A-F]{8}\) nicht angenommen|)"
        R"(NAK bei \$[0-9A-F]{8}))");
    static const std::regex verify(
        R"(keine Verbindung\.|Fehler bei \$[0-9A-F]{8}|Fehler bei [0-9A-F]{8} ist: [0-9A-F]{2} soll: [0-9A-F]{2}|)"
        R"(\.\.ende, verifiziert bis [0-9A-F]{8})");
    static const std::regex blank(
        R"(Bootlader reagiert nicht|keine Antwort vom Bootlader|Chip (nicht leer bei|ist leer bis) \$[0-9A-F]{8}|)"
        R"([0-9A-F]{8} (NAK on Cmd|\([0-9A-F]{2}\) NAK on Adr [0-9A-F]{8}|NAK on len|timeout gelesen: \d+))");
    static const std::regex erase(
        "keine Verbindung zum Chip|Fehler beim Readout Unprotect|Chip ist gel\xC3\xB6scht|"
        "no (cmd|proc) wunprot [0-9A-F]{2}Fehler beim Write Unprotect|"
        "no (cmd|proc) era [0-9A-F]{2}Fehler beim EraseMem|no (cmd|proc) eex [0-9A-F]{2}Fehler beim EraseMemExt");
    static const std::regex readOut(
        R"(keine Verbindung\.|gelesen bis \$[0-9A-F]{8} fertig\.|)"
        R"([0-9A-F]{8} (NAK on Cmd|\([0-9A-F]{2}\) NAK on Adr [0-9A-F]{8}|NAK on len|timeout gelesen: \d+))");
    static const std::regex identify(
        "Bootlader reagiert nicht|keine g\xC3\xBCltige Antwort vom Bootlader|kein Ack vom Bootlader|"
        "Len \\d+: ([0-9A-F]{2} )*( ack |\\?[0-9A-F]{2})([0-9A-F]{2} )*");
    switch (j) {
        case Job::Program: return program;
        case Job::Verify: return verify;
        case Job::Blank: return blank;
        case Job::Erase: return erase;
        case Job::ReadOut: return readOut;
        case Job::Identify: return identify;
    }
    return program;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// The beeps that go with a closing text.
std::vector<unsigned> BeepsFor(Job j, const std::string& text) {
    switch (j) {
        case Job::Program:
            if (StartsWith(text, "Fehler: ")) return {48};
            return StartsWith(text, "..ende") ? std::vector<unsigned>{0} : std::vector<unsigned>{};
        case Job::Verify:
            if (StartsWith(text, "..ende")) return {0};
            return text.find(" ist: ") != std::string::npos ? std::vector<unsigned>{48} : std::vector<unsigned>{};
        case Job::Blank:
            if (text == "Bootlader reagiert nicht" || text == "keine Antwort vom Bootlader" ||
                StartsWith(text, "Chip nicht leer"))
                return {64};
            return {};
        default: return {};
    }
}

// What a run is to end with: the text, or its beginning; empty: any of the job's texts.
struct Want {
    std::string text;
    bool prefix = false;
};

struct Outcome {
    bool ok = false;  // the job's own verdict
    std::string text;
    std::vector<unsigned> beeps;
    std::uint32_t ms = 0;
    std::string file;  // read-out
};

std::string Success(Job j) {
    switch (j) {
        case Job::Program: return "..ende, programmiert bis 00000200";
        case Job::Verify: return "..ende, verifiziert bis 00000200";
        case Job::Blank: return "Chip ist leer bis $00000200";
        case Job::Erase: return "Chip ist gel\xC3\xB6scht";
        case Job::ReadOut: return "gelesen bis $00000200 fertig.";
        case Job::Identify: return "Len 11: 22 00 01 02 11 21 31 43 63 73 82 92  ack 22 00 00 ";
    }
    return {};
}

// The read-out file of a chip holding Pattern: its first n bytes, 0xFF up to the flash length.
std::string ReadOutFile(std::size_t n = kFlashLen) {
    std::string want(n, '\0');
    for (std::size_t k = 0; k < n; ++k) want[k] = static_cast<char>(Pattern(k));
    want.resize(kFlashLen, '\xFF');
    return want;
}

class JobFaults : public ::testing::Test {
protected:
    explicit JobFaults(sim::ChipPreset preset = sim::F103Preset())
        : rig_(std::move(preset)), line_(rig_.line(), rig_.chip()) {}

    void SetUp() override {
        ClearIni();
        SetIniDefaults("");
        Ini.BootMode = 4;
        Ini.FlashLen = kFlashLen;
        std::memset(FlashImage, 0xFF, kImageSize);
        for (std::uint32_t k = 0; k < kUsed; ++k) FlashImage[k] = Pattern(k);
        port_.SetBaud(115200);
        port_.SetParity(2);
        ASSERT_TRUE(port_.Open());
    }

    // The chip as a clean run of the job wants it: erased for programming and
    // the blank check, holding the image otherwise. No faults.
    void Fresh(Job job, FaultyLine::Plan plan = {}) {
        sim::Chip& chip = rig_.chip();
        chip.faults() = {};
        chip.SetReadoutProtected(false);
        const bool erased = job == Job::Program || job == Job::Blank;
        auto& flash = chip.Flash();
        for (std::size_t k = 0; k < flash.size(); ++k) flash[k] = erased ? 0xFF : Pattern(k);
        line_.Arm(plan);
    }

    Outcome Run(Job job) {
        bar_.entries.clear();
        beep_.types.clear();
        Outcome o;
        const std::uint32_t start = platform::TickCount();
        switch (job) {
            case Job::Program:
            case Job::Verify:
                // As their buttons run them, after connecting.
                if (!Connect(port_))
                    o.text = "keine Verbindung.";
                else
                    Take(o, (job == Job::Program ? ProgramFlash : VerifyFlash)(port_, bar_));
                break;
            case Job::Blank: Take(o, BlankCheck(port_, bar_)); break;
            case Job::Erase: Take(o, EraseChip(port_, bar_)); break;
            case Job::ReadOut: {
                const std::string file = dir_.File("out.bin");
                Take(o, ReadOut(file, port_, bar_));
                EXPECT_EQ(o.text, bar_.Text());
                o.file = testsupport::ReadFile(file);
                break;
            }
            case Job::Identify: o.text = IdentifyChip(port_).statusText; break;
        }
        o.ms = platform::TickCount() - start;
        o.beeps = beep_.types;
        return o;
    }

    // A clean run: its length is the yardstick of the faulty ones.
    std::uint32_t CleanMs(Job job) {
        Fresh(job);
        const Outcome o = Run(job);
        EXPECT_TRUE(StartsWith(o.text, Success(job))) << Name(job) << ": " << o.text;
        return o.ms;
    }

    static void Take(Outcome& o, const JobResult& r) {
        o.ok = r.Ok();
        o.text = r.text;
    }

    void Check(Job job, const Outcome& o, std::uint32_t cleanMs, const Want& want) {
        EXPECT_TRUE(std::regex_match(o.text, Forms(job))) << "not a closing text of the job: " << o.text;
        // Whatever the line did, a job's verdict and its text tell the same.
        if (job != Job::Identify) {
            EXPECT_EQ(o.ok, StartsWith(o.text, Success(job))) << o.text;
        }
        if (!want.text.empty()) {
            if (want.prefix)
                EXPECT_TRUE(StartsWith(o.text, want.text)) << o.text;
            else
                EXPECT_EQ(o.text, want.text);
        }
        EXPECT_EQ(o.beeps, BeepsFor(job, o.text)) << o.text;
        EXPECT_LE(o.ms, cleanMs + SlackMs(job) + kMarginMs) << o.text;
        if (job == Job::ReadOut) {
            // Nothing connected: an empty file; otherwise the flash length exactly.
            EXPECT_EQ(o.file.size(), o.text == "keine Verbindung." ? 0u : kFlashLen) << o.text;
        }
    }

    sim::Rig rig_;
    FaultyLine line_;
    TComPort port_;
    testsupport::RecordingStatusBar bar_;
    testsupport::RecordingBeep beep_;
    testsupport::TempDir dir_;
};

// The read commands' failure texts, per acknowledge of a block: command, address, length.
std::string ReadFailure(std::uint32_t offset, int step, const std::string& code) {
    const std::string at = Hex8(offset) + " ";
    if (step == 0) return at + "NAK on Cmd";
    if (step == 1) return at + "(" + code + ") NAK on Adr " + Hex8(kFlashStart + offset);
    return at + "NAK on len";
}

// The closing text when acknowledge k (from 1) is lost: a NACK comes
// instead (code 1F) or the line is dead from there on (code 00). Where the
// program reads on into the rest of a reply it took for a refusal, any of
// the job's texts will do.
Want WhenAckLost(Job job, int k, bool hungUp, bool extendedErase = false) {
    const std::string code = hungUp ? "00" : "1F";
    const std::string erase = extendedErase ? "eex " : "era ";
    const std::string erased = extendedErase ? "Fehler beim EraseMemExt" : "Fehler beim EraseMem";
    auto block = [](int first, int k_) { return static_cast<std::uint32_t>((k_ - first) / 3) * 256u; };
    auto step = [](int first, int k_) { return (k_ - first) % 3; };
    switch (job) {
        case Job::Program: {
            if (k == 1) return {"keine Verbindung."};
            const std::uint32_t off = block(2, k);
            const int s = step(2, k);
            if (s == 0) return {"Fehler: " + code + " Schreibkommando nicht angenommen"};
            if (s == 1) return {"Fehler: " + code + " Adresse (" + Hex8(kFlashStart + off) + ") nicht angenommen"};
            return {"Fehler: " + code + " NAK bei $" + Hex8(off + 256)};
        }
        case Job::Verify:
            if (k == 1) return {"keine Verbindung."};
            return {"Fehler bei $" + Hex8(block(2, k))};
        case Job::Blank:
            // Sync, the first and last byte of the Get reply, then three per block.
            if (k == 1) return {"Bootlader reagiert nicht"};
            if (k == 2) return hungUp ? Want{"keine Antwort vom Bootlader"} : Want{};
            if (k == 3) return hungUp ? Want{"00000000 NAK on Cmd"} : Want{Success(job)};
            return {ReadFailure(block(4, k), step(4, k), code)};
        case Job::ReadOut:
            if (k == 1) return {"keine Verbindung."};
            return {ReadFailure(block(2, k), step(2, k), code)};
        case Job::Erase:
            switch (k) {
                case 1:
                case 6:
                case 9: return {"keine Verbindung zum Chip"};
                case 2: return hungUp ? Want{"Fehler beim Readout Unprotect"} : Want{};
                case 3: return {hungUp ? "Fehler beim Readout Unprotect" : Success(job)};
                case 4:
                case 5: return {"Fehler beim Readout Unprotect"};
                // The unprotect's second acknowledge comes by itself and ends
                // the first wait; the second then waits in vain.
                case 7: return {hungUp ? "no cmd wunprot 00Fehler beim Write Unprotect"
                                       : "no proc wunprot 00Fehler beim Write Unprotect"};
                case 8: return {"no proc wunprot " + code + "Fehler beim Write Unprotect"};
                case 10: return {"no cmd " + erase + code + erased};
                default: return {"no proc " + erase + code + erased};
            }
        case Job::Identify:
            // Sync, then the first and last byte of each of the three replies.
            if (k == 1) return {"Bootlader reagiert nicht"};
            if (k == 2) return {hungUp ? "keine g\xC3\xBCltige Antwort vom Bootlader" : "kein Ack vom Bootlader"};
            if (k == 3)
                return {hungUp ? "Len 11: 22 00 01 02 11 21 31 43 63 73 82 ?92"
                               : "Len 11: 22 00 01 02 11 21 31 43 63 73 82 92 ?1F22 00 00 "};
            return {"Len 11: 22 00 01 02 11 21 31 43 63 73 82 92  ack ", true};
    }
    return {};
}

TEST_F(JobFaults, ANackInPlaceOfEachAcknowledgeInTurn) {
    for (Job job : kJobs) {
        const std::uint32_t clean = CleanMs(job);
        const int acks = line_.acks();
        ASSERT_GT(acks, 0);
        for (int k = 1; k <= acks; ++k) {
            SCOPED_TRACE(std::string(Name(job)) + ", NACK for acknowledge " + std::to_string(k));
            Fresh(job, {.nackAck = k});
            Check(job, Run(job), clean, WhenAckLost(job, k, false));
        }
    }
}

class F407JobFaults : public JobFaults {
protected:
    F407JobFaults() : JobFaults(sim::F407Preset()) {}
};

TEST_F(F407JobFaults, ANackAtEachStepOfTheExtendedErase) {
    const std::uint32_t clean = CleanMs(Job::Erase);
    ASSERT_EQ(line_.acks(), 11);
    for (int k = 1; k <= 11; ++k) {
        SCOPED_TRACE("NACK for acknowledge " + std::to_string(k));
        Fresh(Job::Erase, {.nackAck = k});
        Check(Job::Erase, Run(Job::Erase), clean, WhenAckLost(Job::Erase, k, false, true));
    }
}

TEST_F(JobFaults, TheLineHangsUpAtEachAcknowledgeInTurn) {
    for (Job job : kJobs) {
        const std::uint32_t clean = CleanMs(job);
        const int acks = line_.acks();
        for (int k = 1; k <= acks; ++k) {
            SCOPED_TRACE(std::string(Name(job)) + ", hang-up at acknowledge " + std::to_string(k));
            Fresh(job, {.hangUpAtAck = k});
            const Outcome o = Run(job);
            Check(job, o, clean, WhenAckLost(job, k, true));
            EXPECT_TRUE(rig_.chip().faults().hangUp);
        }
    }
}

// In the middle of the second block: the data of a read, the bytes of a write.
TEST_F(JobFaults, TheLineHangsUpInTheMiddleOfABlock) {
    struct Case {
        Job job;
        FaultyLine::Plan plan;
        const char* closing;
    };
    // Chip bytes: the sync acknowledge, 15 of the blank check's Get reply,
    // 3 acknowledges and 256 bytes a read block. Program bytes: the sync,
    // then 2 + 5 + 1 + 256 + 1 a write block.
    const Case cases[] = {
        {Job::Program, {.hangUpAfterWrites = 1 + 265 + 8 + 100}, "Fehler: 00 NAK bei $00000200"},
        {Job::Verify, {.hangUpAtByte = 1 + 259 + 3 + 100}, "Fehler bei $00000100"},
        {Job::Blank, {.hangUpAtByte = 1 + 15 + 259 + 3 + 100}, "00000100 timeout gelesen: 255"},
        {Job::ReadOut, {.hangUpAtByte = 1 + 259 + 3 + 100}, "00000100 timeout gelesen: 255"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Name(c.job));
        const std::uint32_t clean = CleanMs(c.job);
        Fresh(c.job, c.plan);
        const Outcome o = Run(c.job);
        Check(c.job, o, clean, {c.closing});
        if (c.job == Job::ReadOut) {  // what came before the hang-up
            EXPECT_EQ(o.file, ReadOutFile(0x100 + 99));
        }
    }
}

TEST_F(JobFaults, TheChipFallsSilentInTheMiddleOfABlock) {
    struct Case {
        Job job;
        std::uint32_t bytesLeft;  // what the chip still sends
        const char* closing;
    };
    const Case cases[] = {
        // Block 1's command and address acknowledged, its answer never comes.
        {Job::Program, 1 + 3 + 2, "Fehler: 00 NAK bei $00000200"},
        {Job::Verify, 1 + 259 + 3 + 100, "Fehler bei $00000100"},
        {Job::Blank, 1 + 15 + 259 + 3 + 100, "00000100 timeout gelesen: 255"},
        {Job::ReadOut, 1 + 259 + 3 + 100, "00000100 timeout gelesen: 255"},
        // Sync, Get reply, two unprotects with a sync after each, the erase command.
        {Job::Erase, 1 + 15 + 2 + 1 + 2 + 1 + 1, "no proc era 00Fehler beim EraseMem"},
        // Seven bytes of the Get reply: its count, the version and four commands.
        {Job::Identify, 1 + 8, "Len 11: 22 00 01 02 11 ?21"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Name(c.job));
        const std::uint32_t clean = CleanMs(c.job);
        Fresh(c.job);
        rig_.chip().faults().silentAfter = c.bytesLeft;
        Check(c.job, Run(c.job), clean, {c.closing});
    }
}

TEST_F(JobFaults, StrayBytesBeforeEveryAcknowledge) {
    struct Case {
        Job job;
        std::uint8_t stray;
        Want want;
    };
    const Case cases[] = {
        // Zeros before the write's answer are passed over, anything else is its answer.
        {Job::Program, 0x00, {Success(Job::Program)}},
        {Job::Program, 0x1F, {"Fehler: 1F NAK bei $00000100"}},
        {Job::Program, 0xA5, {"Fehler: A5 NAK bei $00000100"}},
        {Job::Verify, 0x1F, {Success(Job::Verify)}},
        {Job::ReadOut, 0xA5, {Success(Job::ReadOut)}},
        // A Get reply that begins with another byte is a refusal; what comes
        // after it is read as the answers to the next command.
        {Job::Identify, 0x1F, {"kein Ack vom Bootlader"}},
        {Job::Blank, 0x1F, {}},
        {Job::Erase, 0x1F, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(Name(c.job)) + ", stray " + platform::Hex2(c.stray));
        const std::uint32_t clean = CleanMs(c.job);
        Fresh(c.job);
        rig_.chip().faults().strayBeforeAck = {c.stray};
        const Outcome o = Run(c.job);
        Check(c.job, o, clean, c.want);
        if (c.job == Job::ReadOut) {
            EXPECT_EQ(o.file, ReadOutFile());
        }
    }
}

// The chip's own program was printing when the job began: the end of its
// "ready" was still on its way when the port was purged. The bootloader
// says nothing before the sync, so none of it may count as its answer.
TEST_F(JobFaults, AFirmwareGreetingArrivingAfterThePurge) {
    const std::string greeting = "ready\r\n";
    for (Job job : kJobs) {
        SCOPED_TRACE(Name(job));
        const std::uint32_t clean = CleanMs(job);
        Fresh(job, {.afterPurge = {greeting.begin(), greeting.end()}});
        const Outcome o = Run(job);
        Check(job, o, clean, {Success(job)});
        if (job == Job::ReadOut) {
            EXPECT_EQ(o.file, ReadOutFile());
        }
    }
}

// Verify, blank check and erase of a protected chip: jobs_test.
TEST_F(JobFaults, AReadProtectedChip) {
    const std::pair<Job, Want> cases[] = {
        {Job::Program, {"Fehler: 1F Schreibkommando nicht angenommen"}},
        {Job::ReadOut, {"00000000 NAK on Cmd"}},
        // The Get commands stay open under protection.
        {Job::Identify, {Success(Job::Identify)}},
    };
    for (const auto& [job, want] : cases) {
        SCOPED_TRACE(Name(job));
        const std::uint32_t clean = CleanMs(job);
        Fresh(job);
        rig_.chip().SetReadoutProtected(true);
        const Outcome o = Run(job);
        Check(job, o, clean, want);
        if (job == Job::ReadOut) {
            EXPECT_EQ(o.file, std::string(kFlashLen, '\xFF'));
        }
    }
}

TEST_F(JobFaults, ProgrammingStopsAtTheFirstBlockThatIsNotErased) {
    const std::uint32_t clean = CleanMs(Job::Program);
    Fresh(Job::Program);
    rig_.chip().Flash()[0x1F0] = 0x00;
    const Outcome o = Run(Job::Program);
    Check(Job::Program, o, clean, {"Fehler: 1F NAK bei $00000200"});
    EXPECT_EQ(rig_.chip().Flash()[0], Pattern(0));  // the block before it was written
}

}  // namespace
