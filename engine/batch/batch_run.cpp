#include "engine/batch/batch_run.h"

#include <cstring>
#include <optional>
#include <string>

#include "engine/batch/batch_messages.h"
#include "engine/batch/pdf_file_job.h"
#include "engine/pdf/file_layer.h"

namespace pagewash {

unsigned BatchRun(BatchFrontEnd& frontEnd, const std::vector<std::string>& files,
                  const BatchOptions& options) {
    frontEnd.runStarted();
    const int fileCount = static_cast<int>(files.size());
    {
        // The run's temporary folder lives in the context and is removed when it ends, on either way out.
        RunContext run(frontEnd, options);
        for (int i = 1; i <= fileCount; ++i) {
            const std::string& path = files[static_cast<std::size_t>(i - 1)];
            frontEnd.fileStarted(i, fileCount, path);
            std::optional<InputFile> input;
            try {
                input.emplace(path);
            } catch (const CFileException& error) {
                if (options.endRunOnUnopenableInput) {
                    frontEnd.showErrorBox(inputNotOpenedMessage(path));
                    frontEnd.runEnded();
                    return 1;
                }
                const std::string cause =
                    error.errorNumber() != 0 ? std::strerror(error.errorNumber()) : error.what();
                frontEnd.fileFinished({i, path, FileOutcome::Refused, path + ": cannot be opened: " + cause});
                continue;
            }
            frontEnd.fileFinished(processOpenedFile(i, path, *input, run));
        }
    }
    if (options.finalPauseMs > 0) frontEnd.sleepMilliseconds(options.finalPauseMs);
    frontEnd.runEnded();
    return 0;
}

}  // namespace pagewash
