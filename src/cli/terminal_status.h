// The status bar of the command line: the jobs' texts on standard error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/status_bar.h"

namespace cli {

// A per-block text of a job, such as "programmiere $00001200" or
// "lese $08001200": the value after its "$".
bool ParseBlockText(const std::string& text, std::uint32_t& value);

// One line: the block text, a bar, bytes done of total, rate and time left.
std::string ProgressLine(const std::string& blockText, std::uint32_t done, std::uint32_t total,
                         std::uint32_t elapsedMs);

class TerminalStatusBar : public platform::StatusBar {
public:
    enum class Mode {
        kLog,    // every text a line, as it comes
        kLive,   // a terminal: the per-block texts share one line that is redrawn
        kLines,  // a child of a parallel run on a terminal: a progress line a second
    };
    TerminalStatusBar(std::FILE* out, Mode mode);

    void SetText(const std::string& text) override;
    std::string Text() const override { return text_; }
    void Repaint() override;

    // Before a job: what its per-block values count from and up to.
    void StartJob(std::uint32_t base, std::uint32_t total);
    // After a job, before its closing text goes to standard output. A live
    // line that already shows that text makes way for it when standard
    // output is the same terminal.
    void FinishJob(const std::string& closingText);

private:
    void Progress(const std::string& text, std::uint32_t value);
    void DrawProgress();
    void DrawLive(const std::string& line);
    void WriteLine(const std::string& line);
    void EndLine();

    std::FILE* out_;
    Mode mode_;
    bool closingOnSameTerminal_;
    std::string text_;

    bool jobStarted_ = false;
    std::uint32_t base_ = 0;
    std::uint32_t total_ = 0;

    bool inProgress_ = false;
    bool progressPending_ = false;  // the latest block text is not drawn yet
    std::string progressText_;
    std::uint32_t progressDone_ = 0;
    std::uint32_t progressStart_ = 0;
    std::uint32_t lastDraw_ = 0;

    bool lineOpen_ = false;  // kLive: a line without its line end
    std::size_t openWidth_ = 0;
    std::string openText_;
};

}  // namespace cli
