#pragma once
// The dialog as the batch run's front end. Every call arrives on the batch thread and is handed to
// the user-interface thread, which alone touches widgets; the call returns once the UI thread has
// done it (the error box returns when the user has pressed OK).
//
// Lifetime: owned by the dialog, which outlives every run. Must never be called on the UI thread
// (a blocking hand-over to one's own thread would never return).

#include "engine/batch/batch_front_end.h"

namespace pagewash {

class CPagewashDlg;

class DialogFrontEnd : public BatchFrontEnd {
  public:
    explicit DialogFrontEnd(CPagewashDlg& dialog) : m_dialog(dialog) {}

    CorrectionSettings takeSettings() override;
    void showErrorBox(const std::string& text) override;
    void runStarted() override;
    void fileStarted(int index, int count, const std::string& path) override;
    void reportWarning(const std::string& path, const std::string& warning) override;
    void reportImageMessage(const std::string& path, int imageNumber, const std::string& message) override;
    void fileFinished(const FileReport& report) override;
    void runEnded() override;

  private:
    CPagewashDlg& m_dialog;
};

}  // namespace pagewash
