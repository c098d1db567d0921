#pragma once
// The Win32 dialog as the batch run's front end: each call of the run's thread becomes a message posted
// to the dialog window (run_events.h). The settings and the error box wait for the dialog's answer.
//
// Lifetime: owned by the dialog, which outlives every run (closing is refused during a run).

#include "engine/batch/batch_front_end.h"
#include "platform/windows/win32_sdk.h"

namespace pagewash::win32 {

class DialogFrontEnd : public BatchFrontEnd {
  public:
    explicit DialogFrontEnd(HWND dialog) : m_dialog(dialog) {}

    CorrectionSettings takeSettings() override;
    void showErrorBox(const std::string& text) override;
    void runStarted() override;
    void fileStarted(int index, int count, const std::string& path) override;
    void reportWarning(const std::string& path, const std::string& warning) override;
    void reportImageMessage(const std::string& path, int imageNumber, const std::string& message) override;
    void fileFinished(const FileReport& report) override;
    void runEnded() override;

  private:
    HWND m_dialog;
};

}  // namespace pagewash::win32
