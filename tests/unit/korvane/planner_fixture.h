// What every test of a planner step needs: English texts, an empty settings key and command list,
// its own log, answered message boxes, and the Windows version put back afterwards.
#pragma once

#include "korvane.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "log_capture.h"
#include "platform.h"
#include "scoped_messages.h"
#include "settings.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>
#include <vector>

class PlannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Program::Korvane, false);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
        AppendCommand(nullptr);
        savedVersion_ = g_windowsVersion;
        savedAutoMode_ = g_autoMode;
    }
    void TearDown() override {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
        g_windowsVersion = savedVersion_;
        g_autoMode = savedAutoMode_;
    }

    // The entries written since the reset, in order.
    static std::vector<std::string> Entries() {
        std::vector<std::string> entries;
        REGA key;
        if (!OpenSettings(key, OPEN_READONLY)) return entries;
        for (int i = 0; i < CommandCount(); ++i) {
            TextPtr text = key.RegReadStringA(OrderValueName(i).c_str(), "(absent)");
            entries.push_back(text ? text.get() : "(unreadable)");
        }
        key.CloseKey();
        return entries;
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const MessageBoxCall &box : boxes_.calls())
            texts.push_back(box.text);
        return texts;
    }
    // Starts a part of a test afresh: no entries, no log lines.
    void Restart() {
        AppendCommand(nullptr);
        log_.Clear();
    }

    LogCapture log_;
    ScopedMessages boxes_;

private:
    unsigned short savedVersion_ = 0;
    bool savedAutoMode_ = false;
};
