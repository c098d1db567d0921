#pragma once
// The processing of one listed file once it is open: read it whole, find and correct its JPEG images
// with one worker each, write the edited PDF beside it, and remove every temporary file it made.
// Runs on the batch thread.

#include <memory>
#include <optional>
#include <string>

#include "engine/batch_front_end.h"
#include "engine/batch_run.h"
#include "engine/file_layer.h"
#include "engine/run_temp_dir.h"
#include "imaging/decode_gate.h"

namespace pagewash {

enum class FileOutcome {
    Written,  // the edited PDF is in place
    NotPdf,   // passed over without a message
    NoJpeg,   // passed over without a message
    Refused,  // not processed; reported through frontEnd.reportRefusedFile
};

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

// Processes the file `path`, already opened as `input` (which it reads and closes). Every failure after
// the open ends this file only, is reported as a refusal, and leaves no temporary file behind.
FileOutcome processOpenedFile(const std::string& path, InputFile& input, RunContext& run);

}  // namespace pagewash
