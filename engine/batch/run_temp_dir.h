#pragma once
// The private folder of one batch run: the temporary images of every file of the run live in it, so
// two copies of the program working in the same folder never share a temporary name, and the current
// directory need not be writable.
//
// Ownership: the folder and everything in it belong to the object; the destructor removes them, also
// when the run ends by an exception, and an interruption of the command line removes them too. The folder
// is named "pagewash-<process id>-XXXXXX" and held while the object lives: the first run of a process
// removes the folders that killed runs of the same user left behind, never one still held. Used on the
// batch thread only.

#include <string>

#include "platform/interruption.h"
#include "platform/private_folder.h"

namespace pagewash {

class RunTempDir {
  public:
    // Makes a fresh folder (mode 0700) under `root`, or under the system's temporary directory ($TMPDIR,
    // else /tmp) when `root` is empty. Throws CFileException when it cannot be made.
    explicit RunTempDir(const std::string& root = {});
    ~RunTempDir();
    RunTempDir(const RunTempDir&) = delete;
    RunTempDir& operator=(const RunTempDir&) = delete;

    const std::string& path() const { return m_path; }
    // The full path of `name` inside the folder.
    std::string file(const std::string& name) const;

  private:
    platform::FolderHold m_hold;  // let go just before the folder is removed
    std::string m_path;
    platform::RemovedOnInterruption m_registration;  // released after the folder is removed
};

}  // namespace pagewash
