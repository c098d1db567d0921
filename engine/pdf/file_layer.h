#pragma once
// The binary file layer: open, create, length, read, write, close, remove.
// Opening or creating a file that cannot be opened throws CFileException; every other failure
// (a short read, a failed write) throws it too, naming the file. Files close when the object dies.
// POSIX has no share modes: an open "without sharing" is an ordinary open.

#include <cstdint>
#include <cstdio>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace pagewash {

class CFileException : public std::runtime_error {
  public:
    CFileException(std::string path, int errorNumber, const std::string& what);
    const std::string& path() const { return m_path; }
    int errorNumber() const { return m_errorNumber; }

  private:
    std::string m_path;
    int m_errorNumber;
};

// A file opened for binary reading.
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

  private:
    std::string m_path;
    std::FILE* m_file = nullptr;
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
