#pragma once
// Private temporary folders that a later run can tell are stale. A folder is named
// "<prefix>-<process id>-XXXXXX"; once its process has ended without removing it (killed, power lost),
// the next run of the same user finds the process gone and removes the folder.
// Reentrant: any thread may call any function.

#include <string>
#include <system_error>

namespace pagewash::platform {

// The system's temporary folder: $TMPDIR, else /tmp (GetTempPathW on Windows).
std::string systemTemporaryFolder();

// Makes "<parent>/<prefix>-<process id>-XXXXXX", readable only by its owner. Returns its path, or an
// empty string with `error` set when it cannot be made.
std::string makePrivateFolder(const std::string& parent, const std::string& prefix, std::error_code& error);

// Removes the folders of makePrivateFolder(parent, prefix) that belong to this user and whose process no
// longer runs. Quietly leaves whatever it cannot remove.
void removeStaleFolders(const std::string& parent, const std::string& prefix);

// Removes a folder and everything in it; false when something is left. Never throws.
bool removeFolder(const std::string& path) noexcept;

}  // namespace pagewash::platform
