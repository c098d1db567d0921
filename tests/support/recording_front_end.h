#pragma once
// A front end that keeps every call of a batch run in order, answers from a scripted list, and never
// sleeps: pauses are counted, not waited.

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/batch/batch_front_end.h"

namespace pagewash::testing {

class RecordingFrontEnd : public BatchFrontEnd {
  public:
    void showErrorBox(const std::string& text) override {
        calls.push_back("error box");
        errorBoxes.push_back(text);
        if (onErrorBox) onErrorBox();
    }
    void runStarted() override { calls.push_back("run started"); }
    void fileStarted(int index, int count, const std::string&) override {
        calls.push_back("file " + std::to_string(index) + " / " + std::to_string(count));
    }
    void runEnded() override { calls.push_back("run ended"); }
    CorrectionSettings takeSettings() override {
        calls.push_back("settings");
        if (onSettings) onSettings();
        if (settingsQueue.empty()) return {};
        const CorrectionSettings next = settingsQueue.front();
        settingsQueue.pop_front();
        return next;
    }
    void fileFinished(const FileReport& report) override {
        reports.push_back(report);
        if (report.outcome == FileOutcome::Refused) refusals.push_back(report.reason);
    }
    void imageFinished(int done, int total) override {
        progress.push_back({done, total});
        if (onImageFinished) onImageFinished(done, total);
    }
    void sleepMilliseconds(int milliseconds) override {
        calls.push_back("sleep " + std::to_string(milliseconds));
    }

    int count(const std::string& call) const {
        return static_cast<int>(std::count(calls.begin(), calls.end(), call));
    }

    std::deque<CorrectionSettings> settingsQueue;   // returned first, one per call; then the defaults
    std::function<void()> onSettings;               // runs at each settings snapshot
    std::function<void()> onErrorBox;               // runs while the box "is open"
    std::function<void(int, int)> onImageFinished;  // runs after each progress step
    std::vector<std::string> calls;
    std::vector<std::string> errorBoxes;
    std::vector<std::string> refusals;
    std::vector<FileReport> reports;
    std::vector<std::pair<int, int>> progress;
};

}  // namespace pagewash::testing
