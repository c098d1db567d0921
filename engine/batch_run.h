#pragma once
// One press of the bleach button: every listed file in turn, its images corrected in parallel by one
// worker thread each, the edited PDF written beside it.

#include <string>

#include "engine/batch_front_end.h"

namespace pagewash {

struct BatchOptions {
    int workerStartPauseMs = 300;  // pause after the 1st, 5th, 9th ... worker start (0 on the command line)
    int finalPauseMs = 1000;       // pause after the last file
    int maxConcurrentDecodes = 0;  // images decoded at once; 0: the hardware threads
    std::string temporaryRoot;     // where the run's private folder is made; empty: the system's
    // true (the dialog): an input that cannot be opened is shown in an error box and ends the run.
    // false (the command line): it is reported through reportRefusedFile and the next file follows.
    bool endRunOnUnopenableInput = true;
};

// Exit code 0 after a complete run, 1 when the run ended because an input file could not be opened.
// Runs on the batch thread; talks to its front end only through `frontEnd`. Never throws: a file that
// fails is reported and the run goes on, and the controls are unlocked and the progress box cleared on
// every way out. The run's temporary folder is removed before it returns.
unsigned BatchRun(BatchFrontEnd& frontEnd, const BatchOptions& options = {});

}  // namespace pagewash
