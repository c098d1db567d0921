#include "engine/pdf/file_layer.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace pagewash {

namespace {

std::string withReason(const std::string& path, const std::string& what, int errorNumber) {
    std::string text = path + ": " + what;
    if (errorNumber != 0) {
        text += " (";
        text += std::strerror(errorNumber);
        text += ")";
    }
    return text;
}

[[noreturn]] void fail(const std::string& path, const std::string& what, int errorNumber) {
    throw CFileException(path, errorNumber, withReason(path, what, errorNumber));
}

}  // namespace

CFileException::CFileException(std::string path, int errorNumber, const std::string& what)
    : std::runtime_error(what), m_path(std::move(path)), m_errorNumber(errorNumber) {}

// ---- InputFile ---------------------------------------------------------------------------------

InputFile::InputFile(const std::string& path) : m_path(path) {
    m_file = std::fopen(path.c_str(), "rb");
    if (m_file == nullptr) fail(path, "cannot be opened", errno);
    // fopen succeeds on a directory; reading it would fail later with a less helpful message.
    struct stat info {};
    const bool known = ::fstat(::fileno(m_file), &info) == 0;
    if (!known || !S_ISREG(info.st_mode)) {
        const int error = !known ? errno : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        std::fclose(m_file);
        m_file = nullptr;
        fail(path, "cannot be opened", error);
    }
}

InputFile::InputFile(InputFile&& other) noexcept
    : m_path(std::move(other.m_path)), m_file(std::exchange(other.m_file, nullptr)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        close();
        m_path = std::move(other.m_path);
        m_file = std::exchange(other.m_file, nullptr);
    }
    return *this;
}

InputFile::~InputFile() { close(); }

std::int64_t InputFile::length() const {
    if (m_file == nullptr) fail(m_path, "is not open", 0);
    struct stat info {};
    if (::fstat(::fileno(m_file), &info) != 0) fail(m_path, "length cannot be read", errno);
    return static_cast<std::int64_t>(info.st_size);
}

std::vector<std::uint8_t> InputFile::readAll() {
    const std::int64_t size = length();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (std::fseek(m_file, 0, SEEK_SET) != 0) fail(m_path, "cannot be read", errno);
    const std::size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), m_file);
    if (got != bytes.size()) fail(m_path, "could not be read completely", std::ferror(m_file) ? errno : 0);
    return bytes;
}

void InputFile::close() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

// ---- OutputFile --------------------------------------------------------------------------------

OutputFile::OutputFile(const std::string& path) : m_path(path) {
    m_file = std::fopen(path.c_str(), "wb");
    if (m_file == nullptr) fail(path, "cannot be created", errno);
}

OutputFile::OutputFile(std::string path, std::FILE* stream)
    : m_path(std::move(path)), m_file(stream), m_owned(false) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : m_path(std::move(other.m_path)), m_file(std::exchange(other.m_file, nullptr)), m_owned(other.m_owned) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        if (m_file != nullptr && m_owned) std::fclose(m_file);
        m_path = std::move(other.m_path);
        m_file = std::exchange(other.m_file, nullptr);
        m_owned = other.m_owned;
    }
    return *this;
}

// A file not closed explicitly was abandoned (an exception is on its way); errors no longer matter.
OutputFile::~OutputFile() {
    if (m_file != nullptr && m_owned) std::fclose(m_file);
}

void OutputFile::write(std::span<const std::uint8_t> bytes) {
    if (m_file == nullptr) fail(m_path, "is not open", 0);
    if (bytes.empty()) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
        fail(m_path, "could not be written", errno);
}

void OutputFile::write(std::string_view bytes) {
    write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void OutputFile::close() {
    if (m_file == nullptr) return;
    std::FILE* file = std::exchange(m_file, nullptr);
    const bool flushed = std::fflush(file) == 0;
    const int flushError = errno;
    const bool closed = !m_owned || std::fclose(file) == 0;
    if (!flushed) fail(m_path, "could not be written completely", flushError);
    if (!closed) fail(m_path, "could not be written completely", errno);
}

// ---- whole files -------------------------------------------------------------------------------

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
    InputFile file(path);
    std::vector<std::uint8_t> bytes = file.readAll();
    file.close();
    return bytes;
}

bool removeFile(const std::string& path) noexcept { return std::remove(path.c_str()) == 0; }

}  // namespace pagewash
