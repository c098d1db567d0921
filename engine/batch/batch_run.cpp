#include "engine/batch/batch_run.h"

#include <optional>
#include <stdexcept>
#include <string>

#include "engine/batch/batch_messages.h"
#include "engine/batch/pdf_file_job.h"
#include "engine/batch/written_outputs.h"
#include "engine/images/edited_pdf_writer.h"
#include "engine/pdf/file_layer.h"

namespace pagewash {

unsigned BatchRun(BatchFrontEnd& frontEnd, const std::vector<std::string>& files,
                  const BatchOptions& options) {
    frontEnd.runStarted();
    const int fileCount = static_cast<int>(files.size());
    std::string path;
    try {
        // The run's temporary folder lives in the context and is removed when it ends, on every way out.
        RunContext run(frontEnd, options);
        WrittenOutputs written;
        for (int i = 1; i <= fileCount; ++i) {
            path = files[static_cast<std::size_t>(i - 1)];
            frontEnd.fileStarted(i, fileCount, path);
            // Two inputs may name one output: the run never overwrites an output it wrote itself.
            const std::string outputPath = editedPdfPath(path);
            if (const std::optional<std::string> first = written.writerOf(outputPath)) {
                frontEnd.fileFinished({i, path, FileOutcome::Refused,
                                       path + ": its output " + outputPath + " was written by " + *first +
                                           " earlier in this run; left as it is"});
                continue;
            }
            std::optional<InputFile> input;
            try {
                input.emplace(path);
            } catch (const CFileException& error) {
                if (options.endRunOnUnopenableInput) {
                    frontEnd.showErrorBox(inputNotOpenedMessage(path));
                    frontEnd.runEnded();
                    return 1;
                }
                const std::string cause = error.error() ? error.cause() : error.what();
                frontEnd.fileFinished({i, path, FileOutcome::Refused, path + ": cannot be opened: " + cause});
                continue;
            }
            const FileReport report = processOpenedFile(i, path, *input, run);
            if (report.outcome == FileOutcome::Written) written.add(path, report.outputPath);
            frontEnd.fileFinished(report);
        }
    } catch (const std::logic_error& fault) {
        // A fault of the program, not of a file: the run stops and says so.
        frontEnd.showErrorBox(internalErrorMessage(path, fault.what()));
        frontEnd.runEnded();
        return 1;
    }
    if (options.finalPauseMs > 0) frontEnd.sleepMilliseconds(options.finalPauseMs);
    frontEnd.runEnded();
    return 0;
}

}  // namespace pagewash
