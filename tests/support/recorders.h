// Test doubles for the platform seams that every tier shares.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/beep.h"
#include "platform/clock.h"
#include "platform/ports.h"
#include "platform/status_bar.h"

namespace testsupport {

// Records every beep with its type; installs itself for its lifetime.
class RecordingBeep : public platform::BeepSink {
public:
    RecordingBeep() { platform::SetBeepSink(this); }
    ~RecordingBeep() override { platform::SetBeepSink(nullptr); }
    void Beep(unsigned type) override { types.push_back(type); }
    std::vector<unsigned> types;
};

// Records every text set, with the tick count at that moment and whether a
// repaint followed before the next text.
class RecordingStatusBar : public platform::StatusBar {
public:
    struct Entry {
        std::string text;
        std::uint32_t tick;
        bool repainted;
    };
    void SetText(const std::string& text) override {
        text_ = text;
        entries.push_back({text, platform::TickCount(), false});
    }
    std::string Text() const override { return text_; }
    void Repaint() override {
        ++repaints;
        if (!entries.empty()) entries.back().repainted = true;
    }
    std::vector<std::string> Texts() const;
    std::vector<Entry> entries;
    int repaints = 0;

private:
    std::string text_;
};

// Points the ports folder at dir for its lifetime, then back at the default:
// no later test finds it on a removed scratch directory.
struct PortsDirScope {
    explicit PortsDirScope(const std::string& dir) { platform::SetPortsDir(dir); }
    ~PortsDirScope() { platform::SetPortsDir(platform::ExecutableDir() + "ports"); }
    PortsDirScope(const PortsDirScope&) = delete;
    PortsDirScope& operator=(const PortsDirScope&) = delete;
};

// The program folder of the build: the executables with targets.cfi beside
// them. ctest names it in the environment; a test run by hand falls back on
// the folder this build was configured with.
std::string ProgramDir();

// The whole file, empty if it can't be read.
std::string ReadFile(const std::string& path);

// A scratch directory, removed with its contents at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    void Write(const std::string& name, const std::string& content) const;
    std::string Read(const std::string& name) const { return ReadFile(File(name)); }

private:
    std::string path_;
};

}  // namespace testsupport
