#include "cli/file_summary.h"

#include <cmath>
#include <vector>

#include "engine/batch/batch_messages.h"

namespace pagewash {

namespace {

std::string counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "81 other JPEG images left as they are (--any-jpeg bleaches them)"
std::string otherJpegsLeft(int count) {
    return counted(count, "other JPEG image", "other JPEG images") +
           (count == 1 ? " left as it is (--any-jpeg bleaches it)"
                       : " left as they are (--any-jpeg bleaches them)");
}

// "−75 %", "+3 %", "0 %": the change from `before` to `after`, rounded to a whole percent.
std::string percentChange(std::uint64_t before, std::uint64_t after) {
    if (before == 0) return "0 %";
    const double change =
        (static_cast<double>(after) - static_cast<double>(before)) / static_cast<double>(before);
    const long percent = std::lround(change * 100.0);
    if (percent == 0) return "0 %";
    // U+2212 MINUS SIGN, as typeset figures have it.
    return (percent < 0 ? "\u2212" : "+") + std::to_string(std::labs(percent)) + " %";
}

}  // namespace

std::string sizeReportLine(const FileReport& report) {
    const std::uint64_t before = report.inputBytes.value_or(0);
    const ImageCounts& images = report.images;
    std::string line =
        report.path + " \u2192 " + report.outputPath + ": " + humanSize(before) + " \u2192 " +
        humanSize(report.outputBytes) + " (" +
        (report.unchanged ? "the same bytes as the input" : percentChange(before, report.outputBytes)) +
        "), " + std::to_string(images.bleached) + " of " + std::to_string(images.found) + " images bleached";
    if (images.keptInColor > 0) line += " (" + std::to_string(images.keptInColor) + " in colour)";
    if (images.bilevel > 0) line += " (" + std::to_string(images.bilevel) + " black and white)";
    if (images.mrc > 0) line += " (" + std::to_string(images.mrc) + " as text over a background)";
    std::vector<std::string> left;
    if (images.larger > 0) left.push_back(std::to_string(images.larger) + " larger");
    if (images.otherComponents > 0) left.push_back(std::to_string(images.otherComponents) + " CMYK or other");
    if (images.modeNone > 0) left.push_back(std::to_string(images.modeNone) + " by the mode none");
    if (images.overBudget > 0) left.push_back(std::to_string(images.overBudget) + " over the memory limit");
    if (images.failed > 0) left.push_back(std::to_string(images.failed) + " failed");
    for (std::size_t i = 0; i < left.size(); ++i) line += (i == 0 ? "; left as they are: " : ", ") + left[i];
    if (report.otherJpegsLeft > 0) line += "; " + otherJpegsLeft(report.otherJpegsLeft);
    return line;
}

std::string noJfifJpegLine(const std::string& path, int otherJpegs) {
    return path + ": no JFIF JPEG image; " + otherJpegsLeft(otherJpegs);
}

std::string passedOverLine(const FileReport& report) {
    if (report.outcome == FileOutcome::NotPdf) return report.path + ": not a PDF; nothing written";
    if (report.otherJpegsLeft > 0)
        return noJfifJpegLine(report.path, report.otherJpegsLeft) + "; nothing written";
    return report.path + ": no JPEG image found; nothing written";
}

}  // namespace pagewash
