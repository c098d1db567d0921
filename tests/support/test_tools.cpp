#include "tests/support/test_tools.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace pagewash::testing {

namespace fs = std::filesystem;

Bytes toBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }
std::string toString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "pagewash-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
    m_path = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

CommandResult runCommand(const std::string& command) {
    ScratchDir capture;
    const std::string outPath = capture.file("out");
    const std::string errPath = capture.file("err");
    const std::string full = "( " + command + " ) </dev/null >" + quote(outPath) + " 2>" + quote(errPath);
    const int status = std::system(full.c_str());
    CommandResult result;
    result.exitStatus = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    result.out = readText(outPath);
    result.err = readText(errPath);
    return result;
}

bool toolAvailable(const std::string& tool) {
    // The answer cannot change while the tests run, and some tests ask for every case.
    static std::mutex mutex;
    static std::map<std::string, bool> known;  // guarded by mutex
    std::scoped_lock lock(mutex);
    const auto found = known.find(tool);
    if (found != known.end()) return found->second;
    return known[tool] = runCommand("command -v " + quote(tool)).exitStatus == 0;
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

void writeText(const fs::path& path, std::string_view text) { writeBytes(path, toBytes(text)); }

bool fileExists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

std::vector<std::string> listFolder(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> listTree(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(path)) {
        names.push_back(fs::relative(entry.path(), path).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void makeJpeg(const std::string& corpusImage, int width, bool gray, const std::string& outPath, int quality) {
    std::string command = "convert " + quote(corpusImage) + " -resize " + std::to_string(width) + "x";
    if (gray) command += " -colorspace Gray -type Grayscale";
    command += " -strip -quality " + std::to_string(quality) + " " + quote("jpeg:" + outPath);
    const CommandResult result = runCommand(command);
    if (result.exitStatus != 0) throw std::runtime_error("convert failed: " + result.err);
}

void makeImg2Pdf(const std::vector<std::string>& jpegs, const std::string& outPath) {
    std::string command = "img2pdf";
    for (const std::string& jpeg : jpegs) command += " " + quote(jpeg);
    command += " -o " + quote(outPath);
    const CommandResult result = runCommand(command);
    if (result.exitStatus != 0) throw std::runtime_error("img2pdf failed: " + result.err);
}

int pageCount(const std::string& pdf) {
    const CommandResult result = runCommand("qpdf --show-npages " + quote(pdf));
    if (result.exitStatus != 0 && result.exitStatus != 3) return -1;
    try {
        return std::stoi(result.out);
    } catch (const std::exception&) {
        return -1;
    }
}

std::string pdfText(const std::string& pdf) {
    return runCommand("pdftotext -layout " + quote(pdf) + " -").out;
}

bool qpdfCheckPasses(const std::string& pdf) {
    const int status = runCommand("qpdf --check " + quote(pdf)).exitStatus;
    return status == 0 || status == 3;
}

std::vector<ListedImage> listImages(const std::string& pdf) {
    const CommandResult result = runCommand("pdfimages -list " + quote(pdf));
    std::vector<ListedImage> images;
    std::istringstream lines(result.out);
    std::string line;
    int lineNumber = 0;
    while (std::getline(lines, line)) {
        if (++lineNumber <= 2) continue;  // the heading and its rule
        std::istringstream fields(line);
        int page = 0;
        int num = 0;
        ListedImage image;
        std::string bpc;
        fields >> page >> num >> image.type >> image.width >> image.height >> image.color >>
            image.components >> bpc >> image.encoding;
        if (fields) images.push_back(image);
    }
    return images;
}

std::string corpusPath(const std::string& relative) {
    return std::string(PAGEWASH_CORPUS_DIR) + "/" + relative;
}

}  // namespace pagewash::testing
