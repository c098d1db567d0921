#pragma once
// The binary file layer: open, create, length, read, write, close, remove.
// Opening or creating a file that cannot be opened throws CFileException; every other failure
// (a short read, a failed write) throws it too, naming the file. Files close when the object dies.
// POSIX has no share modes: an open "without sharing" is an ordinary open. The system's calls are the
// platform library's.

#include <cstdint>
#include <cstdio>
#include <span>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "platform/files.h"

namespace pagewash {

class CFileException : public std::runtime_error {
  public:
    CFileException(std::string path, std::error_code error, const std::string& what);
    const std::string& path() const { return m_path; }
    // The system's reason, or one of platform::FileError; empty when there is none.
    const std::error_code& error() const { return m_error; }
    // The reason in words ("No such file or directory", "not a regular file"); empty when there is none.
    std::string cause() const { return m_error ? m_error.message() : std::string(); }

  private:
    std::string m_path;
    std::error_code m_error;
};

// A regular file opened for binary reading. A folder, a FIFO or a device is refused at once, without
// waiting for a writer ("not a regular file").
class InputFile {
  public:
    explicit InputFile(const std::string& path);  // throws CFileException
    InputFile(InputFile&&) noexcept;
    InputFile& operator=(InputFile&&) noexcept;
    ~InputFile();

    std::int64_t length() const;
    // Reads the whole file with one read of length() bytes.
    std::vector<std::uint8_t> readAll();
    void close();
    // As found when it was opened: what a copy of it is given, and which file it is.
    platform::Permissions permissions() const { return m_status.permissions; }
    const platform::FileIdentity& identity() const { return m_status.identity; }

  private:
    std::string m_path;
    platform::StdioFile m_file;
    platform::FileStatus m_status;
};

// A file created (or truncated) for binary writing, or a stream opened elsewhere that is written
// through the same checked calls.
class OutputFile {
  public:
    explicit OutputFile(const std::string& path);  // throws CFileException
    // Writes to `stream`, which its owner keeps open until this object is closed or destroyed; close()
    // then only flushes it. `path` names it in messages.
    OutputFile(std::string path, std::FILE* stream);
    OutputFile(OutputFile&&) noexcept;
    OutputFile& operator=(OutputFile&&) noexcept;
    ~OutputFile();

    void write(std::span<const std::uint8_t> bytes);
    void write(std::string_view bytes);
    // Flushes and closes; throws CFileException when the data could not be written completely.
    void close();
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
    std::FILE* m_file = nullptr;
    bool m_owned = true;
};

// Reads a whole file (open, length, one read, close).
std::vector<std::uint8_t> readWholeFile(const std::string& path);  // throws CFileException
// Deletes a file; returns false when it could not be removed. Never throws.
bool removeFile(const std::string& path) noexcept;

}  // namespace pagewash
