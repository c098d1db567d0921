#include "engine/batch_run.h"

#include <cstring>
#include <optional>
#include <string>

#include "engine/batch_messages.h"
#include "engine/control_ids.h"
#include "engine/file_layer.h"
#include "engine/pdf_file_job.h"

namespace pagewash {

namespace {

void lockControls(BatchFrontEnd& frontEnd) {
    frontEnd.enableControl(control::kBleachButton, false);
    frontEnd.enableControl(control::kFileList, false);
    for (int id : control::kModeButtons) frontEnd.enableControl(id, false);
    frontEnd.enableControl(control::kColorBlackSlider, false);
    frontEnd.enableControl(control::kColorWhiteSlider, false);
    frontEnd.enableControl(control::kGrayBlackSlider, false);
    frontEnd.enableControl(control::kGrayWhiteSlider, false);
    frontEnd.enableControl(control::kCompressionSlider, false);
}

// The reference sliders of a mode other than Manual stay disabled, as the dialog keeps them.
void unlockControlsAndClear(BatchFrontEnd& frontEnd) {
    const CorrectionSettings settings = frontEnd.takeSettings();
    frontEnd.enableControl(control::kBleachButton, true);
    frontEnd.enableControl(control::kFileList, true);
    for (int id : control::kModeButtons) frontEnd.enableControl(id, true);
    if (settings.color() == ColorMode::Manual) {
        frontEnd.enableControl(control::kColorBlackSlider, true);
        frontEnd.enableControl(control::kColorWhiteSlider, true);
    }
    if (settings.gray() == GrayMode::Manual) {
        frontEnd.enableControl(control::kGrayBlackSlider, true);
        frontEnd.enableControl(control::kGrayWhiteSlider, true);
    }
    frontEnd.enableControl(control::kCompressionSlider, true);
    frontEnd.setProgressText("");
}

}  // namespace

unsigned BatchRun(BatchFrontEnd& frontEnd, const BatchOptions& options) {
    lockControls(frontEnd);
    // Taken once: files added to the list during the run are not part of it.
    const int fileCount = frontEnd.listItemCount() - 1;
    {
        // The run's temporary folder lives in the context and is removed when it ends, on either way out.
        RunContext run(frontEnd, options);
        for (int i = 1; i <= fileCount; ++i) {
            frontEnd.setProgressText(progressText(i, fileCount));
            const std::string path = frontEnd.listItemText(i);
            std::optional<InputFile> input;
            try {
                input.emplace(path);
            } catch (const CFileException& error) {
                if (options.endRunOnUnopenableInput) {
                    frontEnd.showErrorBox(inputNotOpenedMessage(path), kErrorCaption);
                    unlockControlsAndClear(frontEnd);
                    return 1;
                }
                const std::string cause =
                    error.errorNumber() != 0 ? std::strerror(error.errorNumber()) : error.what();
                frontEnd.reportRefusedFile(path, path + ": cannot be opened: " + cause);
                continue;
            }
            processOpenedFile(path, *input, run);
        }
    }
    if (options.finalPauseMs > 0) frontEnd.sleepMilliseconds(options.finalPauseMs);
    unlockControlsAndClear(frontEnd);
    return 0;
}

}  // namespace pagewash
