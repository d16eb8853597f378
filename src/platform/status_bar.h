// The window's status bar as the library sees it: the text of panel 0 and a
// forced repaint. The window and the command line each implement it.
#pragma once

#include <string>

namespace platform {

class StatusBar {
public:
    virtual ~StatusBar() = default;
    virtual void SetText(const std::string& text) = 0;
    virtual std::string Text() const = 0;
    // Shows the current text now, before the next blocking step.
    virtual void Repaint() = 0;
};

// Shows nothing: for a HEX file's pre-check, benchmarks and fuzzing.
class NullStatusBar : public StatusBar {
public:
    void SetText(const std::string&) override {}
    std::string Text() const override { return {}; }
    void Repaint() override {}
};

}  // namespace platform
