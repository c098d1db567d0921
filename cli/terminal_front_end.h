#pragma once
// The command line's front end of a batch run: progress and errors go to standard error, an error box is one
// line there and returns at once. Names are shown with their control characters escaped (terminal_text.h).
// Used on the one thread that runs the batch.

#include <cstdio>
#include <string>
#include <vector>

#include "engine/batch/batch_front_end.h"

namespace pagewash {

enum class ProgressStyle {
    Terminal,  // one line per file, redrawn as its images are done
    Lines,     // one plain line per file ("2 / 5 book.pdf"), for logs and pipes
    None,      // --quiet
};

class TerminalFrontEnd : public BatchFrontEnd {
  public:
    // `stream` (standard error) outlives the object.
    TerminalFrontEnd(const CorrectionSettings& settings, ProgressStyle style, std::FILE* stream);
    ~TerminalFrontEnd() override;

    CorrectionSettings takeSettings() override;
    void showErrorBox(const std::string& text) override;
    void fileStarted(int index, int count, const std::string& path) override;
    void imageFinished(int done, int total) override;
    void reportWarning(const std::string& path, const std::string& warning) override;
    void outputNotCreated(const std::string& outputPath, const std::string& cause) override;
    void fileFinished(const FileReport& report) override;
    void runEnded() override;

    // Each finished file is also written to `stream` (standard output) as one line of JSON
    // (json_report.h). `stream` outlives the object.
    void printJsonTo(std::FILE* stream) { m_json = stream; }

    // True once a file was refused: the program then exits with status 1.
    bool anyFileFailed() const { return m_anyFileFailed; }
    // The errno of the first JSON line that could not be written (a full disk, a closed pipe), 0 when
    // none failed; no line is written after it.
    int jsonWriteError() const { return m_jsonWriteError; }

  private:
    void drawProgressLine();
    void closeProgressLine();
    void printMessageLine(const std::string& line);
    void printJson(const FileReport& report);

    CorrectionSettings m_settings;
    ProgressStyle m_style;
    std::FILE* m_stream;
    std::FILE* m_json = nullptr;
    bool m_anyFileFailed = false;
    int m_jsonWriteError = 0;
    bool m_lineOpen = false;  // a Terminal progress line is shown without its newline
    std::string m_progress;   // "2 / 5"
    std::string m_fileName;
    int m_imagesDone = 0;
    int m_imagesTotal = 0;
};

// "[########------------]  7/20": `width` cells, the filled part in proportion to done/total.
std::string progressBar(int done, int total, int width);

}  // namespace pagewash
