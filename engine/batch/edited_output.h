#pragma once
// The edited PDF is written to a temporary file beside its final path and renamed over it only once it
// is complete: a failure in the middle never replaces a good earlier output with a broken one.
// Used on the batch thread.

#include <string>

namespace pagewash {

// The temporary file beside `outputPath`: same folder, hidden, unique to this process
// ("dir/.book_edit.pdf.<pid>.tmp"), so two copies of the program never write the same one.
std::string outputTempPath(const std::string& outputPath);

// Owns the temporary file of one output: removes it when destroyed unless commit() renamed it into place.
class PendingOutput {
  public:
    explicit PendingOutput(std::string outputPath);
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    const std::string& outputPath() const { return m_outputPath; }
    const std::string& tempPath() const { return m_tempPath; }
    // Renames the (closed, complete) temporary file over the output path. Throws CFileException.
    void commit();

  private:
    std::string m_outputPath;
    std::string m_tempPath;
    bool m_committed = false;
};

}  // namespace pagewash
