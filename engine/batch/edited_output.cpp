#include "engine/batch/edited_output.h"

namespace pagewash {

PendingOutput::PendingOutput(const std::string& outputPath)
    : m_file(outputPath), m_output(outputPath, m_file.stream()) {
    if (!m_file.isOpen())
        throw CFileException(outputPath, m_file.errorNumber(), outputPath + ": cannot be created");
}

void PendingOutput::commit() {
    m_output.close();
    if (!m_file.commit()) {
        throw CFileException(outputPath(), m_file.errorNumber(), "cannot write " + outputPath());
    }
}

}  // namespace pagewash
