#include "engine/batch/edited_output.h"

namespace pagewash {

PendingOutput::PendingOutput(const std::string& outputPath, std::optional<platform::Permissions> permissions)
    : m_file(outputPath, permissions), m_output(outputPath, m_file.stream()) {
    if (!m_file.isOpen())
        throw CFileException(outputPath, m_file.error(), outputPath + ": cannot be created");
}

void PendingOutput::commit() {
    m_output.close();
    if (!m_file.commit()) {
        throw CFileException(outputPath(), m_file.error(), "cannot write " + outputPath());
    }
}

}  // namespace pagewash
