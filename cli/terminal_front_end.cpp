#include "cli/terminal_front_end.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "cli/file_summary.h"
#include "cli/json_report.h"
#include "cli/terminal_text.h"
#include "engine/batch/batch_messages.h"
#include "platform/interruption.h"

namespace pagewash {

namespace {

constexpr int kBarWidth = 30;

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

std::string progressBar(int done, int total, int width) {
    int filled = 0;
    if (total > 0)
        filled = static_cast<int>(static_cast<long long>(std::clamp(done, 0, total)) * width / total);
    std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(width - filled), '-') + "]";
    if (total > 0) bar += "  " + std::to_string(done) + "/" + std::to_string(total);
    return bar;
}

TerminalFrontEnd::TerminalFrontEnd(const CorrectionSettings& settings, ProgressStyle style, std::FILE* stream)
    : m_settings(settings), m_style(style), m_stream(stream) {}

TerminalFrontEnd::~TerminalFrontEnd() { closeProgressLine(); }

void TerminalFrontEnd::fileStarted(int index, int count, const std::string& path) {
    closeProgressLine();
    m_progress = progressText(index, count);
    m_fileName = terminalText(path);
    m_imagesDone = 0;
    m_imagesTotal = 0;
    if (m_style == ProgressStyle::None) return;
    if (m_style == ProgressStyle::Lines) {
        std::fprintf(m_stream, "%s %s\n", m_progress.c_str(), m_fileName.c_str());
        std::fflush(m_stream);
        return;
    }
    drawProgressLine();
}

void TerminalFrontEnd::showErrorBox(const std::string& text) {
    // A terminal has no box to wait in: the message is shown and the run goes on at once. Its line
    // breaks are the dialog's layout.
    printMessageLine(std::string(kErrorCaption) + ": " + oneLine(text));
}

void TerminalFrontEnd::runEnded() { closeProgressLine(); }

CorrectionSettings TerminalFrontEnd::takeSettings() { return m_settings; }

void TerminalFrontEnd::outputNotCreated(const std::string& outputPath, const std::string& cause) {
    // The dialog's box asks for an OK button; a terminal user is told plainly, and the retry follows.
    printMessageLine(outputPath + " cannot be created (" + cause + "); trying once more");
}

void TerminalFrontEnd::fileFinished(const FileReport& report) {
    // A file cut short by Ctrl-C or a closed pipe is not reported: the interruption ends the run.
    if (platform::interruptionUnderWay()) return;
    printJson(report);
    if (report.outcome == FileOutcome::NotPdf || report.outcome == FileOutcome::NoJpeg) {
        if (m_style == ProgressStyle::None) return;
        printMessageLine(passedOverLine(report));
        return;
    }
    if (report.outcome == FileOutcome::Written) {
        if (m_style == ProgressStyle::None) return;
        // The size report stands on its own line, after the file's progress.
        closeProgressLine();
        std::fprintf(m_stream, "%s\n", terminalText(sizeReportLine(report)).c_str());
        std::fflush(m_stream);
        return;
    }
    m_anyFileFailed = true;
    // The reason normally begins with the path already.
    const std::string& path = report.path;
    const std::string line = report.reason.rfind(path, 0) == 0 ? report.reason : path + ": " + report.reason;
    printMessageLine("error: " + line);
}

void TerminalFrontEnd::printJson(const FileReport& report) {
    // After a failed write the lines are lost anyway: the run goes on, and the program reports the
    // first failure at its end.
    if (m_json == nullptr || m_jsonWriteError != 0) return;
    errno = 0;
    if (std::fprintf(m_json, "%s\n", jsonReport(report).c_str()) < 0 || std::fflush(m_json) != 0)
        m_jsonWriteError = errno != 0 ? errno : EIO;
}

void TerminalFrontEnd::reportWarning(const std::string& path, const std::string& warning) {
    const std::string line = warning.rfind(path, 0) == 0 ? warning : path + ": " + warning;
    printMessageLine("warning: " + line);
}

void TerminalFrontEnd::imageFinished(int done, int total) {
    m_imagesDone = done;
    m_imagesTotal = total;
    if (m_style == ProgressStyle::Terminal && m_lineOpen) drawProgressLine();
}

void TerminalFrontEnd::drawProgressLine() {
    std::fprintf(m_stream, "\r\033[K%s  %s  %s", m_progress.c_str(), m_fileName.c_str(),
                 progressBar(m_imagesDone, m_imagesTotal, kBarWidth).c_str());
    std::fflush(m_stream);
    m_lineOpen = true;
}

void TerminalFrontEnd::closeProgressLine() {
    if (!m_lineOpen) return;
    std::fputc('\n', m_stream);
    std::fflush(m_stream);
    m_lineOpen = false;
}

void TerminalFrontEnd::printMessageLine(const std::string& line) {
    if (platform::interruptionUnderWay()) return;  // what fails once the temporary files are gone
    const bool redraw = m_lineOpen;
    if (redraw) std::fputs("\r\033[K", m_stream);
    std::fprintf(m_stream, "pagewash-cli: %s\n", terminalText(line).c_str());
    if (redraw) {
        m_lineOpen = false;
        drawProgressLine();
    }
    std::fflush(m_stream);
}

}  // namespace pagewash
