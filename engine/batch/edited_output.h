#pragma once
// The edited PDF is written to a temporary file beside its final path and renamed over it only once it
// is complete: a failure in the middle never replaces a good earlier output with a broken one, and the
// temporary file, created under an unpredictable name without following links, is never something
// another user planted. Used on the batch thread.

#include <optional>
#include <string>

#include "engine/pdf/file_layer.h"
#include "platform/replacing_file.h"

namespace pagewash {

// Owns the temporary file of one output: removes it when destroyed unless commit() renamed it into place.
class PendingOutput {
  public:
    // Creates the temporary file with `permissions` (those of a new file when none are given). Throws
    // CFileException when it cannot be created ("creating the output").
    explicit PendingOutput(const std::string& outputPath,
                           std::optional<platform::Permissions> permissions = {});

    const std::string& outputPath() const { return m_file.finalPath(); }
    // The file to write the PDF to; valid until commit().
    OutputFile& file() { return m_output; }
    // Flushes the complete file and renames it over the output path. Throws CFileException.
    void commit();

  private:
    platform::ReplacingFile m_file;
    OutputFile m_output;
};

}  // namespace pagewash
