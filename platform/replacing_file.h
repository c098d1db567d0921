#pragma once
// A file that replaces another only once it is complete: written under an unpredictable name in the
// final path's own folder and renamed over the final path by commit(). The temporary file is created
// exclusively (O_CREAT | O_EXCL, CREATE_NEW on Windows), which never opens an existing file and never
// follows a link, so nothing planted in a shared folder is ever written to. Its name, ".pagewash-XXXXXX",
// is short whatever the final name's length. Until commit() succeeds the final path is untouched; a
// ReplacingFile destroyed without commit() removes its temporary file, and so does an interruption
// (interruption.h). Used for the images the workers re-encode, the edited PDF and the preview's PNG.
// One thread at a time per object.

#include <cstdio>
#include <optional>
#include <string>
#include <system_error>

#include "platform/files.h"
#include "platform/interruption.h"

namespace pagewash::platform {

class ReplacingFile {
  public:
    // Creates the temporary file beside `finalPath` with `permissions`, or those a newly created file
    // gets (newFilePermissions) when none are given. On failure isOpen() is false and error() says why.
    explicit ReplacingFile(std::string finalPath, std::optional<Permissions> permissions = {});
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool isOpen() const { return m_stream != nullptr; }
    const std::error_code& error() const { return m_error; }
    const std::string& finalPath() const { return m_finalPath; }

    // The buffered stream to write to; owned by this object. REQUIRES: isOpen().
    std::FILE* stream() const { return m_stream; }

    // Flushes and closes the stream, then renames the temporary file over the final path. Returns false
    // when any step failed (error() says why); the temporary file is then removed and the final path is
    // as it was.
    bool commit();

  private:
    // Moves the temporary file over the final path (the system's half); sets m_error when it cannot.
    bool moveOverFinal();
    void discard();

    std::string m_finalPath;
    std::string m_tempPath;
    std::FILE* m_stream = nullptr;
    std::error_code m_error;
    RemovedOnInterruption m_registration;
    bool m_committed = false;
};

}  // namespace pagewash::platform
