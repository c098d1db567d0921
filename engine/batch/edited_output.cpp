#include "engine/batch/edited_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "engine/pdf/file_layer.h"

namespace pagewash {

std::string outputTempPath(const std::string& outputPath) {
    const std::size_t slash = outputPath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return outputPath.substr(0, nameStart) + "." + outputPath.substr(nameStart) + "." +
           std::to_string(static_cast<long>(getpid())) + ".tmp";
}

PendingOutput::PendingOutput(std::string outputPath)
    : m_outputPath(std::move(outputPath)), m_tempPath(outputTempPath(m_outputPath)) {}

PendingOutput::~PendingOutput() {
    if (!m_committed) removeFile(m_tempPath);
}

void PendingOutput::commit() {
    if (std::rename(m_tempPath.c_str(), m_outputPath.c_str()) != 0) {
        const int errorNumber = errno;
        throw CFileException(m_outputPath, errorNumber,
                             "cannot rename " + m_tempPath + " to " + m_outputPath);
    }
    m_committed = true;
}

}  // namespace pagewash
