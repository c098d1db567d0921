#pragma once
// A front end that keeps every call of a batch run in order, answers from a scripted list, and never
// sleeps: pauses are counted, not waited.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/batch_front_end.h"

namespace pagewash::testing {

class RecordingFrontEnd : public BatchFrontEnd {
  public:
    explicit RecordingFrontEnd(std::vector<std::string> files) : m_items{"hint"} {
        m_items.insert(m_items.end(), files.begin(), files.end());
    }

    int listItemCount() override { return static_cast<int>(m_items.size()); }
    std::string listItemText(int index) override { return m_items.at(static_cast<std::size_t>(index)); }
    void enableControl(int controlId, bool enabled) override {
        calls.push_back((enabled ? "enable " : "disable ") + std::to_string(controlId));
    }
    void setProgressText(const std::string& text) override { calls.push_back("progress " + text); }
    void showErrorBox(const std::string& text, const std::string& caption) override {
        calls.push_back("error box");
        errorBoxes.push_back({caption, text});
        if (onErrorBox) onErrorBox();
    }
    CorrectionSettings takeSettings() override {
        calls.push_back("settings");
        if (settingsQueue.empty()) return settings;
        const CorrectionSettings next = settingsQueue.front();
        settingsQueue.pop_front();
        return next;
    }
    void reportRefusedFile(const std::string& path, const std::string& reason) override {
        calls.push_back("refused " + path);
        refusals.push_back(reason);
    }
    void reportWarning(const std::string& path, const std::string& warning) override {
        warnings.push_back(path + ": " + warning);
    }
    void imageProgress(int done, int total) override { progress.push_back({done, total}); }
    void sleepMilliseconds(int milliseconds) override {
        calls.push_back("sleep " + std::to_string(milliseconds));
    }

    // Calls whose text begins with `prefix`, in order.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& call : calls) {
            if (call.rfind(prefix, 0) == 0) found.push_back(call);
        }
        return found;
    }
    int count(const std::string& call) const {
        int n = 0;
        for (const std::string& c : calls) n += c == call ? 1 : 0;
        return n;
    }

    struct ErrorBox {
        std::string caption;
        std::string text;
    };

    CorrectionSettings settings;                   // returned when the queue is empty
    std::deque<CorrectionSettings> settingsQueue;  // returned first, one per call
    std::function<void()> onErrorBox;              // runs while the box "is open"
    std::vector<std::string> calls;
    std::vector<ErrorBox> errorBoxes;
    std::vector<std::string> refusals;
    std::vector<std::string> warnings;
    std::vector<std::pair<int, int>> progress;

  private:
    std::vector<std::string> m_items;
};

}  // namespace pagewash::testing
