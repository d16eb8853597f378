#include "cli/terminal_status.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/hex_text.h"


namespace cli {

namespace {

constexpr const char* kBlockHeads[] = {"programmiere $", "vergleiche $", "teste $", "lese $"};
constexpr std::size_t kHexDigits = 8;
constexpr int kBarWidth = 20;
constexpr std::uint32_t kLiveRedrawMs = 100;
constexpr std::uint32_t kLinesRedrawMs = 1000;

// Columns on the terminal: UTF-8 continuation bytes take none.
std::size_t Width(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Duration(std::uint64_t ms) {
    const std::uint64_t s = (ms + 999) / 1000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llu:%02llu", static_cast<unsigned long long>(s / 60),
                  static_cast<unsigned long long>(s % 60));
    return buf;
}

}  // namespace

bool ParseBlockText(const std::string& text, std::uint32_t& value) {
    for (const char* head : kBlockHeads) {
        const std::string_view h(head);
        if (text.size() != h.size() + kHexDigits || text.compare(0, h.size(), h) != 0) continue;
        std::uint32_t v = 0;
        for (std::size_t i = h.size(); i < text.size(); ++i) {
            const int d = platform::HexDigitValue(text[i]);
            if (d < 0) return false;
            v = v << 4 | static_cast<std::uint32_t>(d);
        }
        value = v;
        return true;
    }
    return false;
}

std::string ProgressLine(const std::string& blockText, std::uint32_t done, std::uint32_t total,
                         std::uint32_t elapsedMs) {
    const std::uint32_t shown = std::min(done, total);
    const int filled = total == 0 ? kBarWidth : static_cast<int>(std::uint64_t{shown} * kBarWidth / total);
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '-');
    const double bytesPerMs = elapsedMs > 0 ? static_cast<double>(shown) / elapsedMs : 0.0;
    const std::string left =
        bytesPerMs > 0.0 ? Duration(static_cast<std::uint64_t>((total - shown) / bytesPerMs)) : "-:--";
    char buf[200];
    std::snprintf(buf, sizeof buf, "%s [%s] %.1f/%.1f KiB %.1f KiB/s %s left", blockText.c_str(), bar.c_str(),
                  shown / 1024.0, total / 1024.0, bytesPerMs * 1000.0 / 1024.0, left.c_str());
    return buf;
}

TerminalStatusBar::TerminalStatusBar(std::FILE* out, Mode mode)
    : out_(out), mode_(mode), closingOnSameTerminal_(platform::IsTerminal(out) && platform::IsTerminal(stdout)) {}

void TerminalStatusBar::SetText(const std::string& text) {
    text_ = text;
    std::uint32_t value = 0;
    const bool block = ParseBlockText(text, value);
    if (mode_ == Mode::kLog) {
        WriteLine(text);
        return;
    }
    if (jobStarted_ && block) {
        Progress(text, value);
        return;
    }
    EndLine();
    if (mode_ == Mode::kLive) {
        DrawLive(text);
        openText_ = text;
    } else {
        WriteLine(text);
    }
}

// Every text is drawn as it comes; there is nothing held back to show.
void TerminalStatusBar::Repaint() { std::fflush(out_); }

void TerminalStatusBar::StartJob(std::uint32_t base, std::uint32_t total) {
    jobStarted_ = true;
    base_ = base;
    total_ = total;
}

void TerminalStatusBar::FinishJob(const std::string& closingText) {
    if (mode_ == Mode::kLive && lineOpen_ && !inProgress_ && openText_ == closingText && closingOnSameTerminal_) {
        DrawLive("");
        std::fputc('\r', out_);
        lineOpen_ = false;
    }
    EndLine();
    jobStarted_ = false;
    std::fflush(out_);
}

void TerminalStatusBar::Progress(const std::string& text, std::uint32_t value) {
    const std::uint32_t now = platform::TickCount();
    const bool first = !inProgress_;
    if (first) {
        EndLine();
        inProgress_ = true;
        progressStart_ = now;
    }
    progressText_ = text;
    progressDone_ = value >= base_ ? value - base_ : 0;
    progressPending_ = true;
    const std::uint32_t every = mode_ == Mode::kLive ? kLiveRedrawMs : kLinesRedrawMs;
    if (first || static_cast<std::uint32_t>(now - lastDraw_) >= every) DrawProgress();
}

void TerminalStatusBar::DrawProgress() {
    const std::uint32_t now = platform::TickCount();
    const std::string line = ProgressLine(progressText_, progressDone_, total_, now - progressStart_);
    if (mode_ == Mode::kLive)
        DrawLive(line);
    else
        WriteLine(line);
    lastDraw_ = now;
    progressPending_ = false;
}

void TerminalStatusBar::DrawLive(const std::string& line) {
    const std::size_t width = Width(line);
    std::fputc('\r', out_);
    std::fputs(line.c_str(), out_);
    // Blanks over what a longer earlier line left.
    for (std::size_t i = width; i < openWidth_; ++i) std::fputc(' ', out_);
    std::fflush(out_);
    lineOpen_ = true;
    openWidth_ = width;
}

void TerminalStatusBar::WriteLine(const std::string& line) {
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void TerminalStatusBar::EndLine() {
    if (inProgress_ && progressPending_) DrawProgress();
    inProgress_ = false;
    if (lineOpen_) {
        std::fputc('\n', out_);
        lineOpen_ = false;
    }
    openWidth_ = 0;
    openText_.clear();
}

}  // namespace cli
