// The window shown on the offscreen platform against the in-process chip,
// with a record of what was painted: a text forced onto the screen while a
// handler still runs shows up here, one that waits for the event loop does not.
#pragma once

#include <gtest/gtest.h>

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/ports.h"
#include "settings/targets.h"
#include "sim/rig.h"
#include "support/recorders.h"
#include "ui/velkor_unit.h"
#include "ui_app.h"

namespace uitest {

// "StaBar: text", "ChipTypCombo: text" or "MainForm", in paint order; a
// repeat of the entry before is left out.
class PaintLog : public QObject {
public:
    void Watch(QWidget* widget, const std::string& name) {
        widget->installEventFilter(this);
        widget->setProperty("paintName", QString::fromStdString(name));
    }
    std::vector<std::string> entries;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        std::string entry = watched->property("paintName").toString().toStdString();
        if (auto* label = qobject_cast<QLabel*>(watched)) entry += ": " + label->text().toStdString();
        if (auto* edit = qobject_cast<QLineEdit*>(watched)) entry += ": " + edit->text().toStdString();
        if (entries.empty() || entries.back() != entry) entries.push_back(entry);
        return false;
    }
};

class ShownWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { App(); }

    void SetUp() override {
        MakePorts(dir.path(), {1});
        // The table of a test before would outlive its window.
        for (TTargetRec& t : Targets) t = {};
        TargetLast = 0;
        rig = std::make_unique<sim::Rig>(Preset());
    }
    void TearDown() override {
        form.reset();
        beep.reset();
    }
    virtual sim::ChipPreset Preset() { return sim::F103Preset(); }

    // Shown and activated, so the port scan has opened COM 1 on the chip.
    TMainForm& Start() {
        form = std::make_unique<TMainForm>(TMainForm::Options{
            dir.path() + "/", {}, [this](const std::string& text) { errors.push_back(text); }});
        beep = std::make_unique<testsupport::RecordingBeep>();  // after the window's own
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        EXPECT_TRUE(form->ComPort.Opened());
        QApplication::processEvents();
        paints.Watch(form->StaBar->Panel(), "StaBar");
        paints.Watch(form->ChipTypCombo->lineEdit(), "ChipTypCombo");
        paints.Watch(form.get(), "MainForm");
        return *form;
    }

    // Whether these entries were painted in this order, others between them.
    bool PaintedInOrder(const std::vector<std::string>& wanted) const {
        auto at = paints.entries.begin();
        for (const auto& w : wanted) {
            at = std::find(at, paints.entries.end(), w);
            if (at == paints.entries.end()) return false;
            ++at;
        }
        return true;
    }
    std::string Status() const { return form->StaBar->Text(); }
    // The status texts painted, each once however often it was drawn.
    std::vector<std::string> PaintedStatus() const {
        std::vector<std::string> texts;
        for (const auto& e : paints.entries)
            if (e.rfind("StaBar: ", 0) == 0 && (texts.empty() || texts.back() != e.substr(8)))
                texts.push_back(e.substr(8));
        return texts;
    }

    testsupport::TempDir dir;
    std::unique_ptr<sim::Rig> rig;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<testsupport::RecordingBeep> beep;
    std::vector<std::string> errors;
    PaintLog paints;
};

}  // namespace uitest
