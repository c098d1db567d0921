#pragma once
// A file that replaces another only once it is complete: written under an unpredictable name in the
// final path's own folder and renamed over the final path by commit(). The temporary file is created
// with O_CREAT | O_EXCL (mkostemp), which never opens an existing file and never follows a symbolic
// link, so nothing planted in a shared folder is ever written to. Until commit() succeeds the final
// path is untouched; a ReplacingFile destroyed without commit() removes its temporary file.
// Used for the images the workers re-encode and for the edited PDF. One thread at a time per object.

#include <sys/types.h>

#include <cstdio>
#include <string>

namespace pagewash {

class ReplacingFile {
  public:
    // Creates the temporary file "<folder>/.<name>.XXXXXX" beside `finalPath` and gives it `mode`, or the
    // mode a newly created file would get (0666 less the umask) when `mode` is kNewFileMode. On failure
    // isOpen() is false and errorNumber() says why.
    static constexpr mode_t kNewFileMode = static_cast<mode_t>(-1);
    explicit ReplacingFile(std::string finalPath, mode_t mode = kNewFileMode);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool isOpen() const { return m_stream != nullptr; }
    int errorNumber() const { return m_errorNumber; }
    const std::string& finalPath() const { return m_finalPath; }
    const std::string& tempPath() const { return m_tempPath; }

    // The buffered stream to write to; owned by this object. REQUIRES: isOpen().
    std::FILE* stream() const { return m_stream; }

    // Flushes and closes the stream, then renames the temporary file over the final path. Returns false
    // when any step failed (errorNumber() says why); the temporary file is then removed and the final
    // path is as it was.
    bool commit();

  private:
    void discard();

    std::string m_finalPath;
    std::string m_tempPath;
    std::FILE* m_stream = nullptr;
    int m_errorNumber = 0;
    bool m_committed = false;
};

// 0666 less the process's umask, read without changing it (umask(2) would race with other threads).
mode_t newFileMode();

}  // namespace pagewash
