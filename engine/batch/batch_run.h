#pragma once
// One press of the bleach button: every file of the run in turn, its images corrected in parallel by one
// worker thread each, the edited PDF written beside it.

#include <string>
#include <vector>

#include "engine/batch/batch_front_end.h"
#include "engine/batch/batch_options.h"

namespace pagewash {

// Exit code 0 after a complete run, 1 when the run ended because an input file could not be opened
// (BatchOptions::endRunOnUnopenableInput) or because of a fault of the program (a std::logic_error,
// shown in the error box as internalErrorMessage, not as a refused file).
// Runs on the batch thread; talks to its front end only through `frontEnd`, opening with runStarted and
// closing with runEnded on every way out. Never throws: a file that fails is reported and the run goes
// on. A file whose output an earlier file of the run has written is refused, naming that file. The
// run's temporary folder is removed before it returns.
// `files` are the paths (UTF-8) in the order of the list, taken by the front end when the run starts:
// files added to its list later are not part of the run.
unsigned BatchRun(BatchFrontEnd& frontEnd, const std::vector<std::string>& files,
                  const BatchOptions& options = {});

}  // namespace pagewash
