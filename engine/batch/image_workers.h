#pragma once
// Runs the image workers of one PDF: one thread per job, all started while the batch thread holds the
// completion mutex, a pause after the 1st, 5th, 9th ... start, then a wait that covers any number of
// workers. Without start pauses (the command line), a pool of as many threads as the jobs' gate admits
// images at once works through the jobs instead. Called on the batch thread.

#include <cstdint>
#include <vector>

#include "engine/batch/batch_front_end.h"
#include "imaging/image_worker.h"

namespace pagewash {

// REQUIRES: every job's completion points to `completion`, which no worker holds yet; every pointer in
// the jobs stays valid until the call returns.
// Sets completedJobs to 0, locks the mutex, starts the workers (a job whose thread cannot be started
// runs on the calling thread once the mutex is free), pauses `startPauseMs` through the front end after
// start s when s % 4 == 0, unlocks, then joins every worker, reporting frontEnd.imageFinished as the
// completion count grows. With a pause of 0, the pool: the same completion count, progress and jobs,
// each job run by ImageWorker on one of the pool's threads (or on the calling thread when none starts).
// Returns the final completedJobs, which equals jobs.size() when every worker counted itself done.
std::int32_t runImageWorkers(std::vector<ImageJob>& jobs, JobCompletion& completion, BatchFrontEnd& frontEnd,
                             int startPauseMs);

}  // namespace pagewash
