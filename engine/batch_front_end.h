#pragma once
// What a batch run needs of its front end (the dialog, the command line, a test recorder).
//
// Thread-safety: every method is called on the batch thread. The dialog forwards each call to its
// user-interface thread; showErrorBox blocks the batch thread until the user has pressed OK.

#include <cstdint>
#include <string>

#include "settings/correction_settings.h"

namespace pagewash {

class BatchFrontEnd {
public:
    virtual ~BatchFrontEnd() = default;

    // Number of list items, the hint item 0 included, and the text (a path, UTF-8) of item `index`.
    virtual int listItemCount() = 0;
    virtual std::string listItemText(int index) = 0;

    // Enables or disables the control with this id (engine/control_ids.h).
    virtual void enableControl(int controlId, bool enabled) = 0;

    // The progress box's text: "i / N" during a run, empty at its end.
    virtual void setProgressText(const std::string& text) = 0;

    // A message box with an OK button and the error icon; returns when OK was pressed.
    virtual void showErrorBox(const std::string& text, const std::string& caption) = 0;

    // A snapshot of the nine settings as the front end holds them at this moment.
    virtual CorrectionSettings takeSettings() = 0;

    // A file that was not processed for a reason other than "not a PDF" or "no JPEG image":
    // `reason` names the file, the byte offset where it applies, and what is wrong.
    virtual void reportRefusedFile(const std::string& path, const std::string& reason) = 0;

    // A warning about a file that was written all the same (damaged cross-reference data, a signature
    // that the edit invalidates). The default ignores it.
    virtual void reportWarning(const std::string& path, const std::string& warning) {
        (void)path;
        (void)warning;
    }

    // Progress inside one file: `done` of `total` images corrected. The default ignores it.
    virtual void imageProgress(int done, int total) {
        (void)done;
        (void)total;
    }

    // Pauses the batch thread (between worker starts, after the last file). Tests override it to count.
    virtual void sleepMilliseconds(int milliseconds);
};

}  // namespace pagewash
