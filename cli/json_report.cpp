#include "cli/json_report.h"

#include <nlohmann/json.hpp>

#include "cli/terminal_text.h"

namespace pagewash {

namespace {

const char* outcomeName(FileOutcome outcome) {
    switch (outcome) {
        case FileOutcome::Written:
            return "written";
        case FileOutcome::NotPdf:
            return "not_pdf";
        case FileOutcome::NoJpeg:
            return "no_jpeg";
        case FileOutcome::Refused:
            return "refused";
    }
    return "refused";
}

}  // namespace

std::string jsonReport(const FileReport& report) {
    using nlohmann::json;
    const bool written = report.outcome == FileOutcome::Written;
    const ImageCounts& images = report.images;
    json object = {
        {"input", report.path},
        {"outcome", outcomeName(report.outcome)},
        {"output", written ? json(report.outputPath) : json(nullptr)},
        {"bytes_before", report.inputBytes ? json(*report.inputBytes) : json(nullptr)},
        {"bytes_after", written ? json(report.outputBytes) : json(nullptr)},
        {"images",
         {{"found", images.found},
          {"bleached", images.bleached},
          {"kept_in_color", images.keptInColor},
          {"bilevel", images.bilevel},
          {"mrc", images.mrc},
          {"left",
           {{"mode_none", images.modeNone},
            {"cmyk_or_other", images.otherComponents},
            {"failed", images.failed},
            {"larger", images.larger},
            {"over_memory_limit", images.overBudget}}},
          {"other_jpeg_left", report.otherJpegsLeft}}},
        {"warnings", report.warnings},
        {"refused", report.outcome == FileOutcome::Refused ? json(report.reason) : json(nullptr)},
    };
    // Bytes that are not UTF-8 (a file name from another system) are replaced rather than thrown on;
    // the name's own bytes stand beside it, so that a script finds its file.
    if (!isUtf8(report.path)) object["input_bytes"] = hexBytes(report.path);
    if (written && !isUtf8(report.outputPath)) object["output_bytes"] = hexBytes(report.outputPath);
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace pagewash
