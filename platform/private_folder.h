#pragma once
// Private temporary folders that a later run can tell are stale. A folder is named
// "<prefix>-<process id>-XXXXXX" and its maker holds it (FolderHold) for as long as it exists; once its
// process has ended without removing it (killed, power lost), the next run of the same user finds the
// process gone and the hold let go, and removes the folder. The number alone is no proof: a process of
// another PID namespace (containers, flatpak) or a Windows process under Wine sharing the folder has a
// number that means nothing here, and numbers are reused.
// Reentrant: any thread may call any function.

#include <cstdint>
#include <string>
#include <system_error>

namespace pagewash::platform {

// The proof that a folder's maker still runs, for as long as the object lives: a shared lock on the
// folder's lock file (kFolderLockName), which Linux and Windows programs under Wine both see, on a handle
// that does not share deletion on Windows. The system lets go of it when the process ends, however it
// ends. Destroying or releasing it leaves the folder and its lock file.
inline constexpr const char* kFolderLockName = ".lock";
// A folder without a lock file (made by an older version, or being made) goes only once unchanged this
// long, in seconds.
inline constexpr int kUnheldFolderAge = 3600;

class FolderHold {
  public:
    FolderHold() = default;
    ~FolderHold();
    FolderHold(FolderHold&& other) noexcept;
    FolderHold& operator=(FolderHold&& other) noexcept;
    FolderHold(const FolderHold&) = delete;
    FolderHold& operator=(const FolderHold&) = delete;

    // Takes hold of the folder at `path`, making its lock file; false with `error` set when it cannot.
    bool take(const std::string& path, std::error_code& error);
    // Lets go now. Windows removes no folder that is held, not even for its maker: release it first.
    void release() noexcept;

  private:
    std::intptr_t m_handle = -1;  // the descriptor or HANDLE; -1 when nothing is held
};

// The system's temporary folder: $TMPDIR, else /tmp (GetTempPathW on Windows).
std::string systemTemporaryFolder();

// Makes "<parent>/<prefix>-<process id>-XXXXXX", readable only by its owner, and holds it with `hold`.
// Returns its path, or an empty string with `error` set when it cannot be made.
std::string makePrivateFolder(const std::string& parent, const std::string& prefix, FolderHold& hold,
                              std::error_code& error);

// Removes the folders of makePrivateFolder(parent, prefix) that belong to this user, whose process no
// longer runs and that nobody holds. Quietly leaves whatever it cannot remove.
void removeStaleFolders(const std::string& parent, const std::string& prefix);

// Removes a folder and everything in it; false when something is left. Never throws.
bool removeFolder(const std::string& path) noexcept;

}  // namespace pagewash::platform
