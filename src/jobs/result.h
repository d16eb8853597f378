// What a job ends with: how it went, as a value the front ends decide on,
// the bytes it moved, and its closing text, which is for people only.
#pragma once

#include <cstdint>
#include <string>

enum class JobOutcome {
    Done,
    NothingToDo,   // an empty image: nothing was sent
    NoConnection,  // the chip didn't answer the sync
    NoReply,       // connected, but Get Commands brought nothing
    Refused,       // the bootloader refused or broke off a command
    Mismatch,      // verify: the chip holds other bytes
    NotBlank,      // blank check: a byte that isn't 0xFF
    OutOfRange,    // the flash length or a page the job can't cover
    Unsupported,   // the bootloader lacks the command the job needs
    FileError,     // a file couldn't be read or written
};

struct JobResult {
    JobOutcome outcome = JobOutcome::Done;
    std::uint64_t bytes = 0;  // in whole blocks that went through
    std::string text;         // the closing text

    bool Ok() const { return outcome == JobOutcome::Done; }
};

inline JobResult Ended(JobOutcome outcome, std::string text, std::uint64_t bytes = 0) {
    return {outcome, bytes, std::move(text)};
}
