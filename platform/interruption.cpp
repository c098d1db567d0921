#include "platform/interruption.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>
#include <utility>

#include "platform/files.h"
#include "platform/paths.h"

namespace pagewash::platform {

namespace {

struct Registered {
    std::string path;
    RemovedOnInterruption::Kind kind;
};

// The one registry of the process: what an interruption removes. Recursive, so that a thread holding a
// CleanupHold can register and unregister under it; the cleanup takes it and never gives it back.
struct Registry {
    std::recursive_mutex mutex;
    std::map<std::uint64_t, Registered> paths;  // guarded by mutex
    std::uint64_t nextId = 1;                   // guarded by mutex
};

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set in a signal handler");

Registry& registry() {
    static Registry* const instance = new Registry;  // never destroyed: the cleanup may run during exit
    return *instance;
}

void removeFolder(const std::string& path) {
    // A thread still writing into the folder can add a file between the listing and the rmdir.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::error_code error;
        const std::filesystem::path folder = pathFromUtf8(path);
        std::filesystem::remove_all(folder, error);
        if (!error && !std::filesystem::exists(folder, error)) return;
    }
}

}  // namespace

CleanupHold::CleanupHold() : m_lock(registry().mutex) {
    if (!interruptionUnderWay()) return;
    m_lock.unlock();
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));  // until the cleanup ends the process
}

void noteInterruption() noexcept { g_interrupted.store(true); }
bool interruptionUnderWay() noexcept { return g_interrupted.load(); }
CleanupHold::~CleanupHold() = default;

RemovedOnInterruption::RemovedOnInterruption(const CleanupHold&, const std::string& path, Kind kind) {
    Registry& paths = registry();
    const std::scoped_lock lock(paths.mutex);
    m_id = paths.nextId++;
    paths.paths.emplace(m_id, Registered{path, kind});
}

RemovedOnInterruption::RemovedOnInterruption(RemovedOnInterruption&& other) noexcept
    : m_id(std::exchange(other.m_id, 0)) {}

RemovedOnInterruption& RemovedOnInterruption::operator=(RemovedOnInterruption&& other) noexcept {
    if (this != &other) {
        release();
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

RemovedOnInterruption::~RemovedOnInterruption() { release(); }

void RemovedOnInterruption::release() noexcept {
    if (m_id == 0) return;
    Registry& paths = registry();
    const std::scoped_lock lock(paths.mutex);
    paths.paths.erase(std::exchange(m_id, 0));
}

void cleanUpAndEnd(int exitStatus) {
    Registry& paths = registry();
    paths.mutex.lock();  // never unlocked: no path is created, renamed or unregistered from now on
    // Files first: a partial output beside its final name, then the folders with what is inside them.
    for (const auto& [id, entry] : paths.paths) {
        if (entry.kind == RemovedOnInterruption::Kind::File) removeFile(entry.path);
    }
    for (const auto& [id, entry] : paths.paths) {
        if (entry.kind == RemovedOnInterruption::Kind::Folder) removeFolder(entry.path);
    }
    std::_Exit(exitStatus);
}

}  // namespace pagewash::platform
