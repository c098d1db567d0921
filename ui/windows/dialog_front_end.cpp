#include "ui/windows/dialog_front_end.h"

#include <iostream>
#include <memory>

#include "ui/windows/run_events.h"

namespace pagewash::win32 {
namespace {

// Hands `data` to the dialog with the message; it is freed here if the message cannot be posted.
template <typename Data>
void postOwned(HWND dialog, UINT message, std::unique_ptr<Data> data) {
    if (PostMessageW(dialog, message, 0, reinterpret_cast<LPARAM>(data.get()))) data.release();
}

}  // namespace

CorrectionSettings DialogFrontEnd::takeSettings() {
    std::promise<CorrectionSettings> answer;
    std::future<CorrectionSettings> settings = answer.get_future();
    if (!PostMessageW(m_dialog, kSettingsWanted, 0, reinterpret_cast<LPARAM>(&answer)))
        return kDefaultSettings;
    return settings.get();
}

void DialogFrontEnd::showErrorBox(const std::string& text) {
    ErrorBoxRequest request{text, {}};
    std::future<void> closed = request.closed.get_future();
    if (PostMessageW(m_dialog, kErrorBoxWanted, 0, reinterpret_cast<LPARAM>(&request))) closed.get();
}

void DialogFrontEnd::runStarted() { PostMessageW(m_dialog, kRunStarted, 0, 0); }

void DialogFrontEnd::fileStarted(int index, int count, const std::string&) {
    PostMessageW(m_dialog, kFileStarted, static_cast<WPARAM>(index), static_cast<LPARAM>(count));
}

void DialogFrontEnd::fileFinished(const FileReport& report) {
    if (report.outcome != FileOutcome::Refused) return;
    std::cerr << report.reason << '\n';
    postOwned(m_dialog, kFileRefused, std::make_unique<RefusedFile>(RefusedFile{report.path, report.reason}));
}

void DialogFrontEnd::runEnded() { PostMessageW(m_dialog, kRunEnded, 0, 0); }

void DialogFrontEnd::reportWarning(const std::string&, const std::string& warning) {
    std::cerr << warning << '\n';
}

// An image's messages go to standard error as they stand, as the Qt dialog prints them.
void DialogFrontEnd::reportImageMessage(const std::string&, int, const std::string& message) {
    std::cerr << message << '\n';
}

}  // namespace pagewash::win32
