#include "engine/pdf/file_layer.h"

#include <cerrno>
#include <utility>

namespace pagewash {

namespace {

std::string withReason(const std::string& path, const std::string& what, const std::error_code& error) {
    std::string text = path + ": " + what;
    if (error) text += " (" + error.message() + ")";
    return text;
}

[[noreturn]] void fail(const std::string& path, const std::string& what, const std::error_code& error) {
    throw CFileException(path, error, withReason(path, what, error));
}

std::error_code lastError() { return {errno, std::generic_category()}; }

}  // namespace

CFileException::CFileException(std::string path, std::error_code error, const std::string& what)
    : std::runtime_error(what), m_path(std::move(path)), m_error(error) {}

// ---- InputFile ---------------------------------------------------------------------------------

InputFile::InputFile(const std::string& path) : m_path(path) {
    std::error_code error;
    m_file = platform::openForReading(path, error);
    if (!m_file || !platform::statusOf(m_file.get(), m_status, error)) {
        m_file.reset();
        fail(path, "cannot be opened", error);
    }
}

InputFile::InputFile(InputFile&& other) noexcept = default;
InputFile& InputFile::operator=(InputFile&& other) noexcept = default;
InputFile::~InputFile() = default;

std::int64_t InputFile::length() const {
    if (!m_file) fail(m_path, "is not open", {});
    platform::FileStatus status;
    std::error_code error;
    if (!platform::statusOf(m_file.get(), status, error)) fail(m_path, "length cannot be read", error);
    return static_cast<std::int64_t>(status.size);
}

std::vector<std::uint8_t> InputFile::readAll() {
    const std::int64_t size = length();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (std::fseek(m_file.get(), 0, SEEK_SET) != 0) fail(m_path, "cannot be read", lastError());
    const std::size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), m_file.get());
    if (got != bytes.size())
        fail(m_path, "could not be read completely",
             std::ferror(m_file.get()) ? lastError() : std::error_code());
    return bytes;
}

void InputFile::close() { m_file.reset(); }

// ---- OutputFile --------------------------------------------------------------------------------

OutputFile::OutputFile(const std::string& path) : m_path(path) {
    std::error_code error;
    m_file = platform::openForWriting(path, error).release();
    if (m_file == nullptr) fail(path, "cannot be created", error);
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
    if (m_file == nullptr) fail(m_path, "is not open", {});
    if (bytes.empty()) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
        fail(m_path, "could not be written", lastError());
}

void OutputFile::write(std::string_view bytes) {
    write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void OutputFile::close() {
    if (m_file == nullptr) return;
    std::FILE* file = std::exchange(m_file, nullptr);
    const bool flushed = std::fflush(file) == 0;
    const std::error_code flushError = lastError();
    const bool closed = !m_owned || std::fclose(file) == 0;
    if (!flushed) fail(m_path, "could not be written completely", flushError);
    if (!closed) fail(m_path, "could not be written completely", lastError());
}

// ---- whole files -------------------------------------------------------------------------------

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
    InputFile file(path);
    std::vector<std::uint8_t> bytes = file.readAll();
    file.close();
    return bytes;
}

bool removeFile(const std::string& path) noexcept { return platform::removeFile(path); }

}  // namespace pagewash
