#include "tests/support/test_tools.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "engine/batch/image_search.h"
#include "platform/private_folder.h"

namespace pagewash::testing {

namespace fs = std::filesystem;

Bytes toBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }
std::string toString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::size_t find(const Bytes& haystack, std::string_view needle, std::size_t from) {
    return std::string_view(reinterpret_cast<const char*>(haystack.data()), haystack.size())
        .find(needle, from);
}

ScratchDir::ScratchDir() {
    std::error_code error;
    const std::string parent = platform::systemTemporaryFolder();
    platform::FolderHold hold;
    m_path = platform::makePrivateFolder(parent, "pagewash-test", hold, error);
    if (m_path.empty())
        throw std::runtime_error("cannot make a folder in " + parent + ": " + error.message());
    // No cleanup looks for "pagewash-test-" folders, and the tests list what a folder holds.
    hold.release();
    fs::remove(fs::path(m_path) / platform::kFolderLockName, error);
}

ScratchDir::~ScratchDir() { platform::removeFolder(m_path); }

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

::testing::AssertionResult toolsInstalled(std::initializer_list<const char*> tools) {
    std::string missing;
    for (const char* tool : tools)
        if (runCommand("command -v " + quote(tool)).exitStatus != 0) missing += std::string(" ") + tool;
    if (missing.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "missing tool(s):" << missing << " (scripts/setup.sh --with-tests)";
}

std::string dataFile(const std::string& name) {
    const std::string path = std::string(PAGEWASH_TEST_DATA_DIR) + "/" + name;
    if (!fs::is_regular_file(path)) throw std::runtime_error("missing test data file " + path);
    return path;
}

std::vector<std::string> dataPdfs() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(PAGEWASH_TEST_DATA_DIR))
        if (entry.path().extension() == ".pdf") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

bool fileExists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

std::vector<std::string> listFolder(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {
void run(const std::string& command) {
    const CommandResult result = runCommand(command);
    if (result.exitStatus != 0) throw std::runtime_error(command + " failed: " + result.err);
}
}  // namespace

void makeJpeg(int width, bool gray, const std::string& outPath) {
    run("convert " + quote(dataFile("pikepdf_congress_im0.jpg")) + " -resize " + std::to_string(width) + "x" +
        (gray ? " -colorspace Gray -type Grayscale" : "") + " -strip -quality 85 " +
        quote("jpeg:" + outPath));
}

void makeImg2Pdf(const std::vector<std::string>& jpegs, const std::string& outPath) {
    std::string command = "img2pdf";
    for (const std::string& jpeg : jpegs) command += " " + quote(jpeg);
    run(command + " -o " + quote(outPath));
}

int pageCount(const std::string& pdf) {
    const CommandResult result = runCommand("qpdf --show-npages " + quote(pdf));
    return result.exitStatus == 0 || result.exitStatus == 3 ? std::atoi(result.out.c_str()) : -1;
}

std::string pdfText(const std::string& pdf) {
    return runCommand("pdftotext -layout " + quote(pdf) + " -").out;
}

bool qpdfCheckPasses(const std::string& pdf) {
    const int status = runCommand("qpdf --check " + quote(pdf)).exitStatus;
    return status == 0 || status == 3;
}

std::vector<ListedImage> listImages(const std::string& pdf) {
    std::istringstream lines(runCommand("pdfimages -list " + quote(pdf)).out);
    std::vector<ListedImage> images;
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (number <= 2) continue;  // the heading and its rule
        std::istringstream fields(line);
        std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
        if (f.size() < 12) continue;
        // Colour and components go together; size and ratio follow the JPEG's length, which bleaching
        // changes.
        images.push_back({f[0] + " " + f[1] + " " + f[2] + " " + f[3] + " " + f[4] + " " + f[7] + " " + f[9] +
                              " " + f[10] + " " + f[11],
                          f[5], f[8]});
    }
    return images;
}

std::vector<ImageRecord> readImages(const Bytes& pdf) {
    ImageSearch search = searchPdfImages(pdf, false);
    if (search.outcome == ImageSearch::Outcome::Refused)
        throw std::runtime_error(describeRefusal("input", search.refusal));
    return std::move(search.records);  // none for a file without JFIF images
}

const Bytes& colourJpeg() {
    static const Bytes jpeg = readBytes(dataFile("pikepdf_congress_im0.jpg"));
    return jpeg;
}

const Bytes& grayJpeg() {
    static const Bytes jpeg = [] {
        ScratchDir dir;
        std::string pgm = "P5\n40 24\n255\n";
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 40; ++x) pgm.push_back(static_cast<char>((x * 6 + y * 3) & 0xFF));
        writeBytes(dir.file("in.pgm"), toBytes(pgm));
        run("cjpeg -quality 80 -outfile " + quote(dir.file("out.jpg")) + " " + quote(dir.file("in.pgm")));
        return readBytes(dir.file("out.jpg"));
    }();
    return jpeg;
}

namespace {

std::pair<int, int> frameSize(const Bytes& jpeg, int& components) {
    for (std::size_t at = 2; at + 9 < jpeg.size();) {
        const std::uint8_t marker = jpeg[at + 1];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            components = jpeg[at + 9];
            return {jpeg[at + 7] << 8 | jpeg[at + 8], jpeg[at + 5] << 8 | jpeg[at + 6]};
        }
        at += 2 + static_cast<std::size_t>(jpeg[at + 2] << 8 | jpeg[at + 3]);
    }
    throw std::runtime_error("no frame header");
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

void append(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

std::string xrefEntry(std::size_t offset) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", offset);
    return entry;
}

}  // namespace

FixturePdf makeFixturePdf(const std::vector<FixtureImage>& images) {
    FixturePdf pdf;
    Bytes& out = pdf.bytes;
    std::vector<std::size_t> offsets(1, 0);  // object 0 is the free head
    auto begin = [&](int number) {
        offsets.resize(std::max(offsets.size(), static_cast<std::size_t>(number) + 1), 0);
        offsets[static_cast<std::size_t>(number)] = out.size();
        append(out, std::to_string(number) + " 0 obj\n");
    };
    // Objects: 1 catalog, 2 pages, then per image: page, content, image, length.
    std::string kids;
    for (std::size_t i = 0; i < images.size(); ++i) kids += std::to_string(3 + 4 * i) + " 0 R ";
    append(out, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    begin(1);
    append(out, "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    begin(2);
    append(out,
           "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(images.size()) + " >>\nendobj\n");
    for (std::size_t i = 0; i < images.size(); ++i) {
        const FixtureImage& image = images[i];
        int components = 0;
        const auto [width, height] = frameSize(image.jpeg, components);
        const std::string w = std::to_string(width), h = std::to_string(height);
        const int page = static_cast<int>(3 + 4 * i), image_ = page + 2, length = page + 3;
        begin(page);
        append(out, "<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 " + w + " " + h +
                        " ] /Resources << /XObject << /Im0 " + std::to_string(image_) +
                        " 0 R >> >> /Contents " + std::to_string(page + 1) + " 0 R >>\nendobj\n");
        const std::string drawing = "q " + w + " 0 0 " + h + " 0 0 cm /Im0 Do Q";
        begin(page + 1);
        append(out, "<< /Length " + std::to_string(drawing.size()) + " >>\nstream\n" + drawing +
                        "\nendstream\nendobj\n");
        std::string lengthText = image.lengthText;
        if (lengthText.empty())
            lengthText =
                image.indirectLength ? std::to_string(length) + " 0 R" : std::to_string(image.jpeg.size());
        std::string dictionary = replaceAll(replaceAll(image.dictionary, "%W", w), "%H", h);
        dictionary = replaceAll(dictionary, "%CS", components == 1 ? "/DeviceGray" : "/DeviceRGB");
        dictionary = replaceAll(dictionary, "%L", lengthText);
        begin(image_);
        FixtureLayout layout;
        layout.dictionaryOffset = out.size();
        layout.lengthTokenOffset = out.size() + dictionary.find("/Length");
        append(out, dictionary + image.streamKeyword);
        layout.jpegOffset = out.size();
        out.insert(out.end(), image.jpeg.begin(), image.jpeg.end());
        layout.jpegEnd = out.size();
        append(out, "\nendstream\nendobj\n");
        if (image.indirectLength) {
            begin(length);
            append(out, std::to_string(image.jpeg.size()) + "\nendobj\n");
            layout.lengthObject = length;
        }
        pdf.images.push_back(layout);
    }
    const std::size_t xref = out.size();
    append(out, "xref\n0 " + std::to_string(offsets.size()) + "\n0000000000 65535 f\r\n");
    for (std::size_t n = 1; n < offsets.size(); ++n)
        append(out, offsets[n] == 0 ? std::string("0000000000 00000 f\r\n") : xrefEntry(offsets[n]));
    append(out, "trailer\n<< /Size " + std::to_string(offsets.size()) + " /Root 1 0 R >>\nstartxref\n" +
                    std::to_string(xref) + "\n%%EOF\n");
    return pdf;
}

void appendIntegerUpdate(Bytes& pdf, int number, std::int64_t value) {
    const std::string text = toString(pdf);
    const std::string previous = std::to_string(std::stoull(text.substr(text.rfind("startxref") + 10)));
    const std::size_t sizeAt = text.rfind("/Size ") + 6;
    const std::string size = text.substr(sizeAt, text.find(' ', sizeAt) - sizeAt);
    const std::size_t object = pdf.size();
    append(pdf, std::to_string(number) + " 0 obj\n" + std::to_string(value) + "\nendobj\n");
    const std::size_t xref = pdf.size();
    append(pdf, "xref\n" + std::to_string(number) + " 1\n" + xrefEntry(object) + "trailer\n<< /Size " + size +
                    " /Root 1 0 R /Prev " + previous + " >>\nstartxref\n" + std::to_string(xref) +
                    "\n%%EOF\n");
}

}  // namespace pagewash::testing
