#include "tests/xref/pdf_edit_support.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "engine/pdf_syntax.h"
#include "engine/xref_correction.h"

namespace pagewash::test {

namespace fs = std::filesystem;

Buffer readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return Buffer(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const Buffer& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void writeFile(const fs::path& path, const std::string& bytes) { writeFile(path, toBuffer(bytes)); }

Buffer toBuffer(const std::string& text) { return Buffer(text.begin(), text.end()); }

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "pagewash-xref-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

CommandResult run(const std::string& commandLine) {
    TempDir dir;
    const fs::path out = dir / "out";
    const fs::path err = dir / "err";
    CommandResult result;
    const int status = std::system((commandLine + " >'" + out.string() + "' 2>'" + err.string() + "'").c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Buffer outBytes = readFile(out);
    const Buffer errBytes = readFile(err);
    result.out.assign(outBytes.begin(), outBytes.end());
    result.err.assign(errBytes.begin(), errBytes.end());
    return result;
}

bool toolExists(const std::string& tool) { return run("command -v " + tool).exitCode == 0; }

namespace {

bool startsWith(const Buffer& bytes, std::size_t pos, std::string_view text) {
    return pos + text.size() <= bytes.size() && std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos));
}

// The integer of object `number` ("\n12 0 obj 4711 endobj").
std::optional<std::int64_t> resolveInteger(const Buffer& pdf, std::int64_t number, std::int64_t generation) {
    const std::string header = std::to_string(number) + " " + std::to_string(generation) + " obj";
    for (std::size_t pos = 0; (pos = findFirst(pdf, header, pos, pdf.size())) != std::string_view::npos; ++pos) {
        if (pos > 0 && !isPdfWhiteSpace(pdf[pos - 1])) continue;
        const auto value = readUnsignedInteger(pdf, skipWhiteSpaceAndComments(pdf, pos + header.size()));
        if (value) return value->value;
    }
    return std::nullopt;
}

}  // namespace

std::vector<FoundImage> findImages(const Buffer& pdf) {
    std::vector<FoundImage> images;
    for (std::size_t pos = 6; (pos = findFirst(pdf, "JFIF", pos, pdf.size())) != std::string_view::npos; ++pos) {
        if (pdf[pos - 6] != 0xFF || pdf[pos - 5] != 0xD8) continue;
        const std::size_t jpeg = pos - 6;
        std::size_t p = jpeg;
        if (p > 0 && pdf[p - 1] == '\n') --p;
        if (p > 0 && pdf[p - 1] == '\r') --p;
        if (p == jpeg || p < 6 || !startsWith(pdf, p - 6, "stream")) continue;
        p -= 6;
        while (p > 0 && isPdfWhiteSpace(pdf[p - 1])) --p;
        if (p < 2 || pdf[p - 1] != '>' || pdf[p - 2] != '>') continue;
        const std::size_t dictionaryEnd = p;
        const std::size_t obj = findLast(pdf, " obj", dictionaryEnd);
        const std::size_t open = findFirst(pdf, "<<", obj, dictionaryEnd);
        if (obj == std::string_view::npos || open == std::string_view::npos) continue;
        const auto dictionary = readDictionary(pdf, open);
        if (!dictionary || dictionary->end != dictionaryEnd) continue;
        const DictionaryEntry* length = dictionary->find("Length");
        if (!length) continue;
        std::optional<std::int64_t> value;
        if (const auto direct = integerValue(pdf, *length)) {
            value = direct->value;
        } else {
            const auto number = readUnsignedInteger(pdf, length->valueBegin);
            const auto generation = number ? readUnsignedInteger(pdf, skipWhiteSpaceAndComments(pdf, number->end)) : std::nullopt;
            if (generation) value = resolveInteger(pdf, number->value, generation->value);
        }
        if (!value) continue;
        FoundImage image;
        image.dictionaryBegin = static_cast<std::int64_t>(open);
        image.dictionaryEnd = static_cast<std::int64_t>(dictionaryEnd);
        image.lengthBegin = static_cast<std::int64_t>(length->valueBegin);
        image.lengthEnd = static_cast<std::int64_t>(length->valueEnd);
        image.jpegBegin = static_cast<std::int64_t>(jpeg);
        image.jpegEnd = image.jpegBegin + *value;
        images.push_back(image);
    }
    return images;
}

std::string jpegOf(const Buffer& pdf, const FoundImage& image) {
    return std::string(pdf.begin() + image.jpegBegin, pdf.begin() + image.jpegEnd);
}

std::string replacementBytes(const Buffer& pdf, const FoundImage& image, const std::string& newJpeg) {
    std::string bytes(pdf.begin() + image.dictionaryBegin, pdf.begin() + image.lengthBegin);
    bytes += std::to_string(newJpeg.size());
    bytes.append(pdf.begin() + image.lengthEnd, pdf.begin() + image.dictionaryEnd);
    return bytes + "stream\r\n" + newJpeg;
}

std::string growJpeg(const std::string& jpeg, std::size_t extra) {
    if (extra < 4 || jpeg.size() < 6) throw std::invalid_argument("growJpeg");
    // SOI (2 bytes), then APP0 whose length follows its marker.
    const std::size_t app0End = 4 + (static_cast<std::uint8_t>(jpeg[4]) << 8 | static_cast<std::uint8_t>(jpeg[5]));
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
    writeFile(in, jpeg);
    const CommandResult result = run("djpeg '" + in.string() + "' | cjpeg -quality " + std::to_string(quality) +
                                     " -outfile '" + out.string() + "'");
    if (result.exitCode != 0) throw std::runtime_error("djpeg/cjpeg failed: " + result.err);
    const Buffer bytes = readFile(out);
    return std::string(bytes.begin(), bytes.end());
}

Buffer applyEdits(const Buffer& input, std::vector<Edit> edits) {
    std::sort(edits.begin(), edits.end(),
              [](const Edit& a, const Edit& b) { return a.range.inputBegin < b.range.inputBegin; });
    Buffer output;
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
        if (line.rfind("No syntax or stream encoding errors", 0) == 0 || line.rfind("errors that qpdf", 0) == 0) {
            continue;
        }
        if (line.find("WARNING") == std::string::npos && line.find("ERROR") == std::string::npos &&
            line.find("error") == std::string::npos) {
            continue;
        }
        for (std::size_t at; (at = line.find(pdf.string())) != std::string::npos;) line.erase(at, pdf.string().size());
        messages.push_back(line);
    }
    return messages;
}

}  // namespace

ReaderReport readWithTools(const fs::path& pdf) {
    ReaderReport report;
    const std::string quoted = "'" + pdf.string() + "'";
    const CommandResult check = run("qpdf --check " + quoted);
    report.qpdfExit = check.exitCode;
    report.qpdfWarnings = qpdfMessages(check.out + check.err, pdf);
    TempDir pages;
    const CommandResult render = run("pdftoppm -r 10 -gray " + quoted + " '" + (pages / "p").string() + "'");
    report.renderExit = render.exitCode;
    report.renderErrors = render.err;
    report.text = run("pdftotext " + quoted + " -").out;
    const CommandResult list = run("pdfimages -list " + quoted);
    if (list.exitCode == 0) {
        // Two header lines, then one line per image.
        report.imageCount = static_cast<int>(std::count(list.out.begin(), list.out.end(), '\n')) - 2;
    }
    return report;
}

EditResult editImages(const Buffer& input, const std::vector<std::string>& newJpegs) {
    const std::vector<FoundImage> images = findImages(input);
    if (images.size() != newJpegs.size()) throw std::invalid_argument("one new JPEG per image");
    std::vector<Edit> edits;
    std::vector<ReplacedRange> ranges;
    for (std::size_t i = 0; i < images.size(); ++i) {
        std::string bytes = replacementBytes(input, images[i], newJpegs[i]);
        const ReplacedRange range{images[i].dictionaryBegin, images[i].jpegEnd, static_cast<std::int64_t>(bytes.size())};
        ranges.push_back(range);
        edits.push_back({range, std::move(bytes)});
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const ReplacedRange& a, const ReplacedRange& b) { return a.inputBegin < b.inputBegin; });
    XrefCorrection correction = planXrefCorrection(input, ranges);
    EditResult result;
    result.imageCount = images.size();
    result.patchCount = correction.patches.size();
    for (ByteSplice& patch : correction.patches) edits.push_back({patch.range(), std::move(patch.bytes)});
    result.output = applyEdits(input, std::move(edits));
    result.warnings = std::move(correction.warnings);
    return result;
}

}  // namespace pagewash::test
