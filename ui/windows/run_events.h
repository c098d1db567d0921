#pragma once
// The typed events of a batch run as window messages: the run's thread posts them to the dialog, whose
// thread alone touches the controls. Messages that carry data carry a heap object that the receiver
// takes over; those that need an answer carry a promise that the dialog fulfils.

#include <future>
#include <string>

#include "platform/windows/win32_sdk.h"
#include "settings/correction_settings.h"

namespace pagewash::win32 {

enum RunMessage : UINT {
    kRunStarted = WM_APP + 1,  // no data
    kFileStarted,              // wParam: index (1-based), lParam: count
    kFileRefused,              // lParam: RefusedFile*
    kRunEnded,                 // no data
    kSettingsWanted,           // lParam: std::promise<CorrectionSettings>*
    kErrorBoxWanted,           // lParam: ErrorBoxRequest*
    kRunThreadEnded,           // no data: the thread may be joined
    kSliderMoved,              // wParam: the slider's id (a move made by the dialog's own exchange)
};

struct RefusedFile {
    std::string path;
    std::string reason;
};

struct ErrorBoxRequest {
    std::string text;
    std::promise<void> closed;
};

}  // namespace pagewash::win32
