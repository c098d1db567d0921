#include "engine/batch/image_workers.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace pagewash {

namespace {

std::int32_t completedSoFar(JobCompletion& completion) {
    std::scoped_lock lock(completion.completionMutex);
    return completion.completedJobs;
}

// The images of a file handed out one at a time to the threads of a pool, and how many are finished.
class ImageQueue {
  public:
    explicit ImageQueue(std::vector<ImageJob>& jobs) : m_jobs(jobs) {}

    // Thread procedure: works through the next image, and the next, until none is left.
    void work() {
        for (std::size_t s = m_next.fetch_add(1); s < m_jobs.size(); s = m_next.fetch_add(1)) {
            ImageWorker(&m_jobs[s]);
            {
                std::scoped_lock lock(m_mutex);
                ++m_finished;
            }
            m_oneFinished.notify_one();
        }
    }

    // Waits until more than `seen` images are finished; returns how many are.
    std::size_t waitPast(std::size_t seen) {
        std::unique_lock lock(m_mutex);
        m_oneFinished.wait(lock, [&] { return m_finished > seen; });
        return m_finished;
    }

  private:
    std::vector<ImageJob>& m_jobs;
    std::atomic<std::size_t> m_next{0};
    std::mutex m_mutex;
    std::condition_variable m_oneFinished;
    std::size_t m_finished = 0;  // guarded by m_mutex
};

// Without start pauses, as many threads as the gate admits images at once work through the images: a book
// does not start a thread per page that would only wait for its place, and each thread uses its memory
// again for its next image.
std::int32_t runPool(std::vector<ImageJob>& jobs, JobCompletion& completion, BatchFrontEnd& frontEnd,
                     std::size_t threads) {
    const auto total = static_cast<std::int32_t>(jobs.size());
    ImageQueue queue(jobs);
    {
        // As in runImageWorkers: the mutex is released before the threads are joined.
        std::vector<std::jthread> pool;
        pool.reserve(threads);
        std::unique_lock lock(completion.completionMutex);
        completion.completedJobs = 0;
        try {
            for (std::size_t t = 0; t < threads; ++t) pool.emplace_back([&queue] { queue.work(); });
        } catch (const std::system_error&) {
            // No thread left (a resource limit): the threads already started do the work.
        }
        lock.unlock();
        if (pool.empty()) queue.work();  // not even one: the batch thread does it

        std::int32_t shown = -1;
        for (std::size_t finished = 0; finished < jobs.size();) {
            finished = queue.waitPast(finished);
            const std::int32_t done = completedSoFar(completion);
            if (done != shown) {
                frontEnd.imageFinished(done, total);
                shown = done;
            }
        }
    }
    return completedSoFar(completion);
}

}  // namespace

std::int32_t runImageWorkers(std::vector<ImageJob>& jobs, JobCompletion& completion, BatchFrontEnd& frontEnd,
                             int startPauseMs) {
    if (startPauseMs == 0 && !jobs.empty()) {
        const DecodeGate* gate = jobs.front().gate;
        const unsigned hardware = std::thread::hardware_concurrency();
        const std::size_t admitted =
            gate != nullptr ? static_cast<std::size_t>(gate->limit()) : std::max(hardware, 1u);
        return runPool(jobs, completion, frontEnd, std::min(admitted, jobs.size()));
    }
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
