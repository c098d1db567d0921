#include "tests/xref/pdf_edit_support.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "engine/images/edited_pdf_writer.h"
#include "engine/images/image_dictionaries.h"
#include "engine/images/image_ranges.h"
#include "engine/images/jpeg_stream_search.h"
#include "engine/images/temp_images.h"
#include "engine/pdf/file_layer.h"
#include "engine/xref/xref_correction.h"
#include "settings/correction_settings.h"

namespace pagewash::test {

namespace fs = std::filesystem;

using testing::CommandResult;
using testing::quote;
using testing::readBytes;
using testing::runCommand;
using testing::ScratchDir;

std::string jpegOf(const Bytes& pdf, const ImageRecord& image) {
    return std::string(pdf.begin() + image.jpegOffset, pdf.begin() + image.jpegEnd);
}

std::string growJpeg(const std::string& jpeg, std::size_t extra) {
    if (extra < 4 || jpeg.size() < 6) throw std::invalid_argument("growJpeg");
    // SOI (2 bytes), then APP0 whose length follows its marker.
    const std::size_t app0End =
        4 + (static_cast<std::uint8_t>(jpeg[4]) << 8 | static_cast<std::uint8_t>(jpeg[5]));
    std::string out = jpeg.substr(0, app0End);
    std::size_t remaining = extra;
    while (remaining > 0) {
        // A comment segment holds at most 65533 bytes of text; a rest below 4 is folded into this one.
        std::size_t segment = std::min<std::size_t>(remaining, 65537);
        if (remaining - segment != 0 && remaining - segment < 4) segment -= 4;
        const std::size_t length = segment - 2;
        out += '\xFF';
        out += '\xFE';
        out += static_cast<char>(length >> 8);
        out += static_cast<char>(length & 0xFF);
        out.append(segment - 4, 'x');
        remaining -= segment;
    }
    return out + jpeg.substr(app0End);
}

std::string reencodeJpeg(const std::string& jpeg, int quality, const fs::path& workDir) {
    const fs::path in = workDir / "reencode-in.jpg";
    const fs::path out = workDir / "reencode-out.jpg";
    testing::writeBytes(in, testing::toBytes(jpeg));
    const CommandResult result = runCommand("djpeg " + quote(in.string()) + " | cjpeg -quality " +
                                            std::to_string(quality) + " -outfile " + quote(out.string()));
    if (result.exitStatus != 0) throw std::runtime_error("djpeg/cjpeg failed: " + result.err);
    const Bytes bytes = readBytes(out);
    return std::string(bytes.begin(), bytes.end());
}

Bytes applyEdits(const Bytes& input, std::vector<Edit> edits) {
    std::sort(edits.begin(), edits.end(),
              [](const Edit& a, const Edit& b) { return a.range.inputBegin < b.range.inputBegin; });
    Bytes output;
    std::int64_t copied = 0;
    for (const Edit& edit : edits) {
        if (edit.range.inputBegin < copied) throw std::logic_error("overlapping edits");
        output.insert(output.end(), input.begin() + copied, input.begin() + edit.range.inputBegin);
        output.insert(output.end(), edit.bytes.begin(), edit.bytes.end());
        copied = edit.range.inputEnd;
    }
    output.insert(output.end(), input.begin() + copied, input.end());
    return output;
}

namespace {

std::vector<std::string> qpdfMessages(const std::string& output, const fs::path& pdf) {
    std::vector<std::string> messages;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        // qpdf's closing sentence "No syntax or stream encoding errors found; ..." is no complaint.
        if (line.rfind("No syntax or stream encoding errors", 0) == 0 ||
            line.rfind("errors that qpdf", 0) == 0) {
            continue;
        }
        if (line.find("WARNING") == std::string::npos && line.find("ERROR") == std::string::npos &&
            line.find("error") == std::string::npos) {
            continue;
        }
        for (std::size_t at; (at = line.find(pdf.string())) != std::string::npos;)
            line.erase(at, pdf.string().size());
        // "(offset = 5390)" says where an object lies, which an edit legitimately moves.
        if (const std::size_t at = line.find(" (offset = "); at != std::string::npos) {
            line.erase(at, line.find(')', at) + 1 - at);
        }
        messages.push_back(line);
    }
    return messages;
}

}  // namespace

ReaderReport readWithTools(const fs::path& pdf) {
    ReaderReport report;
    const std::string quoted = quote(pdf.string());
    const CommandResult check = runCommand("qpdf --check " + quoted);
    report.qpdfExit = check.exitStatus;
    report.qpdfWarnings = qpdfMessages(check.out + check.err, pdf);
    ScratchDir pages;
    const CommandResult render = runCommand("pdftoppm -r 10 -gray " + quoted + " " + quote(pages.file("p")));
    report.renderExit = render.exitStatus;
    report.renderErrors = render.err;
    report.text = runCommand("pdftotext " + quoted + " -").out;
    const CommandResult list = runCommand("pdfimages -list " + quoted);
    if (list.exitStatus == 0) {
        // Two header lines, then one line per image.
        report.imageCount = static_cast<int>(std::count(list.out.begin(), list.out.end(), '\n')) - 2;
    }
    return report;
}

EditResult editImages(const Bytes& input, const std::vector<std::string>& newJpegs, const fs::path& workDir,
                      bool correct) {
    std::vector<ImageRecord> records = testing::readImages(input);
    if (records.size() != newJpegs.size()) throw std::invalid_argument("one new JPEG per image");
    std::vector<std::string> names;
    for (std::size_t i = 0; i < records.size(); ++i) {
        names.push_back((workDir / tempImageName(static_cast<int>(i))).string());
        testing::writeBytes(names.back(), testing::toBytes(newJpegs[i]));
    }
    updateStreamLengths(records, names);
    XrefCorrection correction;
    if (correct) correction = planXrefCorrection(input, plannedImageReplacements(records));
    const fs::path output = workDir / "edited-output.pdf";
    OutputFile file(output.string());
    writeEditedPdf(file, input, records, names, static_cast<std::int32_t>(ColorMode::None),
                   correction.patches);
    file.close();
    EditResult result;
    result.output = readBytes(output);
    result.imageCount = records.size();
    result.patchCount = correction.patches.size();
    result.warnings = std::move(correction.warnings);
    for (const std::string& name : names) fs::remove(name);
    return result;
}

}  // namespace pagewash::test
