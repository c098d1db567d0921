#include "engine/batch/image_workers.h"

#include <mutex>
#include <system_error>
#include <thread>

namespace pagewash {

namespace {

std::int32_t completedSoFar(JobCompletion& completion) {
    std::scoped_lock lock(completion.completionMutex);
    return completion.completedJobs;
}

}  // namespace

std::int32_t runImageWorkers(std::vector<ImageJob>& jobs, JobCompletion& completion, BatchFrontEnd& frontEnd,
                             int startPauseMs) {
    const auto total = static_cast<std::int32_t>(jobs.size());
    std::vector<std::size_t> notStarted;
    {
        // Declared before the lock so that, on every way out, the mutex is released before the
        // threads are joined: a worker counts itself done only once it can take the mutex.
        std::vector<std::jthread> workers;
        workers.reserve(jobs.size());
        std::unique_lock lock(completion.completionMutex);
        completion.completedJobs = 0;
        for (std::size_t s = 0; s < jobs.size(); ++s) {
            try {
                workers.emplace_back(ImageWorker, &jobs[s]);
            } catch (const std::system_error&) {
                // No thread left (a resource limit): this image is corrected on the batch thread below.
                notStarted.push_back(s);
            }
            if (s % 4 == 0 && startPauseMs > 0) frontEnd.sleepMilliseconds(startPauseMs);
        }
        lock.unlock();

        for (std::size_t index : notStarted) ImageWorker(&jobs[index]);

        // Joining one thread after the other covers any number of workers; the progress shown is the
        // completion count, which grows whatever order the workers end in.
        std::int32_t shown = -1;
        for (std::jthread& worker : workers) {
            worker.join();
            const std::int32_t done = completedSoFar(completion);
            if (done != shown) {
                frontEnd.imageFinished(done, total);
                shown = done;
            }
        }
        if (workers.empty() && total > 0) frontEnd.imageFinished(completedSoFar(completion), total);
    }
    return completedSoFar(completion);
}

}  // namespace pagewash
