#include "engine/batch/run_temp_dir.h"

#include <mutex>
#include <set>

#include "engine/pdf/file_layer.h"
#include "platform/private_folder.h"

namespace pagewash {

namespace {

constexpr const char* kFolderPrefix = "pagewash";

// The leftovers of killed runs under `root` are looked for once per process: a preview made for every
// slider move must not list the temporary folder each time.
void removeStaleRunFoldersOnce(const std::string& root) {
    static std::mutex mutex;
    static std::set<std::string> searched;  // guarded by mutex
    const std::scoped_lock lock(mutex);
    if (searched.insert(root).second) platform::removeStaleFolders(root, kFolderPrefix);
}

}  // namespace

RunTempDir::RunTempDir(const std::string& root) {
    const std::string parent = root.empty() ? platform::systemTemporaryFolder() : root;
    removeStaleRunFoldersOnce(parent);
    std::error_code error;
    const platform::CleanupHold hold;
    m_path = platform::makePrivateFolder(parent, kFolderPrefix, m_hold, error);
    if (m_path.empty()) {
        throw CFileException(parent, error,
                             "cannot make a temporary folder in " + parent + " (" + error.message() + ")");
    }
    m_registration =
        platform::RemovedOnInterruption(hold, m_path, platform::RemovedOnInterruption::Kind::Folder);
}

RunTempDir::~RunTempDir() {
    // Nothing may escape a destructor; a folder that cannot be removed is left behind.
    m_hold.release();
    platform::removeFolder(m_path);
}

std::string RunTempDir::file(const std::string& name) const { return m_path + "/" + name; }

}  // namespace pagewash
