// pagewash-cli: bleaches the PDF files named on its command line with the engine of the dialog.
// Exit status: 0 when every file was written or passed over (not a PDF, no JPEG image), 1 when a file
// failed or standard output could not be written, 2 for a usage error. With --preview N it writes the PNG
// of one image instead (cli/preview_command.h). SIGINT, SIGTERM, SIGHUP and SIGPIPE remove the run's
// temporary files and end it with 128 + the signal's number; an earlier output stays as it was.

#include <cstdio>

#include "cli/command_line.h"
#include "cli/preview_command.h"
#include "cli/standard_output.h"
#include "cli/terminal_front_end.h"
#include "engine/batch/batch_run.h"
#include "platform/interruption.h"
#include "platform/terminal.h"

int main(int argc, char** argv) {
    using namespace pagewash;
    platform::endOnInterruption();  // before any thread starts
    int exitStatus = 0;
    const std::optional<CommandLine> line = parseCommandLine(argc, argv, exitStatus);
    if (!line) return finishStandardOutput(exitStatus, stdout, stderr);
    if (line->checkOnly) return 0;
    if (line->preview > 0) return finishStandardOutput(runPreview(*line, stdout, stderr), stdout, stderr);

    ProgressStyle style = platform::isTerminal(stderr) ? ProgressStyle::Terminal : ProgressStyle::Lines;
    if (line->quiet) style = ProgressStyle::None;
    TerminalFrontEnd frontEnd(line->settings, style, stderr);
    if (line->json) frontEnd.printJsonTo(stdout);

    BatchOptions options;
    options.workerStartPauseMs = 0;
    options.finalPauseMs = 0;
    options.maxConcurrentDecodes = line->jobs;
    options.memoryBudget = line->memoryLimit;
    options.coding = {line->optimize, line->progressive};
    options.endRunOnUnopenableInput = false;  // a file that cannot be opened is reported; the next follows
    options.anyJpeg = line->anyJpeg;
    options.keepSmaller = line->keepSmaller;
    options.keepColorPages = line->keepColorPages;
    options.bilevel = line->bilevel;
    options.mrc = line->mrc;
    options.despeckle = line->despeckle;
    const unsigned runStatus = BatchRun(frontEnd, line->files, options);
    const int status = runStatus != 0 || frontEnd.anyFileFailed() ? 1 : 0;
    return finishStandardOutput(status, stdout, stderr, frontEnd.jsonWriteError());
}
