// The window's controls as plain objects: what the logic set, for a test to
// read, and what the user did, for a test to set. No toolkit, no display.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "serial/comport.h"
#include "support/recorders.h"
#include "ui/main_form_logic.h"

namespace fakes {

class Edit : public ui::Edit {
public:
    void SetText(const std::string& t) override { text = t; }
    std::string text;
};

class PathEdit : public ui::PathEdit {
public:
    void SetPath(const std::string& bytes) override { path = bytes; }
    std::string Path() const override { return path; }
    std::string path;
};

class ComboBox : public ui::ComboBox {
public:
    std::string Text() const override { return text; }
    void SetText(const std::string& t) override { text = t; }
    int ItemIndex() const override { return index; }
    void SetItemIndex(int i) override {
        index = i < -1 || i >= Count() ? -1 : i;
        text = index >= 0 ? items[static_cast<std::size_t>(index)] : std::string();
    }
    void AddItem(const std::string& t) override { AddItem(t, {}); }
    void AddItem(const std::string& t, const std::string& itemTip) override {
        items.push_back(t);
        itemTips.push_back(itemTip);
    }
    void Clear() override {
        items.clear();
        itemTips.clear();
        index = -1;
        text.clear();
    }
    int Count() const override { return static_cast<int>(items.size()); }
    std::string ItemText(int i) const override { return items.at(static_cast<std::size_t>(i)); }
    void SetToolTip(const std::string& t) override { tip = t; }
    void SetItemToolTip(int i, const std::string& t) override { itemTips.at(static_cast<std::size_t>(i)) = t; }
    // What shows on the screen when the logic forces a repaint.
    void Repaint() override { painted.push_back(text); }

    std::string text;
    int index = -1;
    std::vector<std::string> items;
    std::string tip;
    std::vector<std::string> itemTips;
    std::vector<std::string> painted;
};

class RadioGroup : public ui::RadioGroup {
public:
    int ItemIndex() const override { return index; }
    void SetItemIndex(int i) override { index = i > 4 ? 4 : i < -1 ? -1 : i; }
    int index = -1;
};

class CheckBox : public ui::CheckBox {
public:
    bool Checked() const override { return checked; }
    void SetChecked(bool c) override { checked = c; }
    bool checked = false;
};

class ListBox : public ui::ListBox {
public:
    void Clear() override { lines.clear(); }
    void Add(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

// Answers as the user would: a file name, or cancel.
class FileDialog : public ui::FileDialog {
public:
    bool Execute() override {
        if (!answer) return false;
        name = *answer;
        return true;
    }
    const std::string& FileName() const override { return name; }
    std::optional<std::string> answer;
    std::string name;
};

class Panel : public ui::Panel {
public:
    void Show() override { shown = true; }
    void Hide() override { shown = false; }
    bool shown = false;
};

class Window : public ui::Window {
public:
    void Repaint() override { ++repaints; }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    int repaints = 0;
    std::vector<std::string> errors;
};

// Every control of the window, and its logic on a port of its own.
struct Form {
    explicit Form(const std::string& exeDir, std::vector<std::string> arguments = {}) {
        TMainFormControls c;
        c.Window = &Window;
        c.StaBar = &StaBar;
        c.PortSetupPanel = &PortSetupPanel;
        c.ChipSetupPanel = &ChipSetupPanel;
        c.MainPanel = &MainPanel;
        c.PortComboBox = &PortComboBox;
        c.BaudrateBox = &BaudrateBox;
        c.ChipresetRadio = &ChipresetRadio;
        c.BootmodeRadio = &BootmodeRadio;
        c.CBManuellTyp = &CBManuellTyp;
        c.CBAutoErase = &CBAutoErase;
        c.ChipTypCombo = &ChipTypCombo;
        c.LiBox = &LiBox;
        c.KonfigDateiEdit = &KonfigDateiEdit;
        c.KonfigOpenDialog = &KonfigOpenDialog;
        c.HexDateiEdit = &HexDateiEdit;
        c.HexOpenDialog = &HexOpenDialog;
        c.ChipAnzeige = &ChipAnzeige;
        c.BinSaveDialog = &BinSaveDialog;
        logic = std::make_unique<TMainFormLogic>(c, ComPort, exeDir, std::move(arguments));
    }

    fakes::Window Window;
    testsupport::RecordingStatusBar StaBar;
    Panel PortSetupPanel, ChipSetupPanel, MainPanel;
    ComboBox PortComboBox, BaudrateBox, ChipTypCombo;
    RadioGroup ChipresetRadio, BootmodeRadio;
    CheckBox CBManuellTyp, CBAutoErase;
    ListBox LiBox;
    PathEdit KonfigDateiEdit, HexDateiEdit;
    FileDialog KonfigOpenDialog, HexOpenDialog, BinSaveDialog;
    Edit ChipAnzeige;
    TComPort ComPort;
    std::unique_ptr<TMainFormLogic> logic;
};

}  // namespace fakes
