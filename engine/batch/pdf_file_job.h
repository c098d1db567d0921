#pragma once
// The processing of one listed file once it is open: read it whole, find and correct its JPEG images
// with one worker each, write the edited PDF beside it, and remove every temporary file it made.
// Runs on the batch thread.

#include <memory>
#include <optional>
#include <string>

#include "engine/batch/batch_front_end.h"
#include "engine/batch/batch_options.h"
#include "engine/batch/run_temp_dir.h"
#include "engine/pdf/file_layer.h"
#include "imaging/decode_gate.h"

namespace pagewash {

// What the files of one run share. Lives for the run.
struct RunContext {
    RunContext(BatchFrontEnd& frontEndIn, const BatchOptions& optionsIn);

    // The run's private folder, made when the first file needs it. Throws CFileException.
    RunTempDir& tempDir();

    BatchFrontEnd& frontEnd;
    const BatchOptions& options;
    DecodeGate gate;  // shared by every worker of the run

  private:
    std::optional<RunTempDir> m_tempDir;
};

// The decode limit of a run: options.maxConcurrentDecodes, or the hardware threads when it is 0.
int decodeLimit(const BatchOptions& options);

// Processes file `index` of the run, `path`, already opened as `input` (which it reads and closes). Every
// failure after the open ends this file only, comes back as a Refused report with no image counted
// (nothing of it reaches a file the user gets), and leaves no temporary file behind. A std::logic_error
// (a fault of the program, such as the writer finding ranges that overlap) is not a refusal: it
// propagates, the temporary files removed.
FileReport processOpenedFile(int index, const std::string& path, InputFile& input, RunContext& run);

}  // namespace pagewash
