// Every PDF of the corpus with JFIF image streams is edited (each image re-encoded or grown) and the
// output is compared with the input by real readers: no new qpdf complaint, every page renders,
// the same text, the same number of images.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tests/xref/pdf_edit_support.h"

namespace pagewash::test {

// Scratch folders, file bytes and commands.
using namespace pagewash::testing;

namespace {

namespace fs = std::filesystem;

std::vector<std::string> corpusPdfs() {
    std::vector<std::string> names;
    const fs::path folder = fs::path(PAGEWASH_CORPUS_DIR) / "pdf";
    if (!fs::is_directory(folder)) return names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".pdf") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> syntaxErrors(const std::string& stderrText) {
    std::vector<std::string> lines;
    std::istringstream in(stderrText);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("Syntax Error") != std::string::npos || line.find("Internal Error") != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

// The number of JFIF hits that start a stream, from the manifest's jfif_contexts column
// ("image-xobject:2,stream-untyped:1"); hits inside other streams or inline images do not count.
std::size_t expectedImageStreams(const std::string& name) {
    std::ifstream manifest(fs::path(PAGEWASH_CORPUS_DIR) / "manifest.tsv");
    std::string line;
    std::getline(manifest, line);
    std::vector<std::string> header;
    std::istringstream columns(line);
    for (std::string column; std::getline(columns, column, '\t');) header.push_back(column);
    const auto column = static_cast<std::size_t>(
        std::find(header.begin(), header.end(), "jfif_contexts") - header.begin());
    while (std::getline(manifest, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (fields.empty() || fields[0] != name || column >= fields.size()) continue;
        std::size_t count = 0;
        std::istringstream contexts(fields[column]);
        for (std::string context; std::getline(contexts, context, ',');) {
            const std::size_t colon = context.find(':');
            if (colon == std::string::npos) continue;
            const std::string kind = context.substr(0, colon);
            if (kind == "image-xobject" || kind == "stream-untyped") count += std::stoul(context.substr(colon + 1));
        }
        return count;
    }
    ADD_FAILURE() << name << " is not in the manifest";
    return 0;
}

class CorpusPdf : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusPdf, EditedOutputReadsAsWellAsTheInput) {
    for (const char* tool : {"qpdf", "pdftoppm", "pdftotext", "pdfimages", "cjpeg", "djpeg"}) {
        if (!toolAvailable(tool)) GTEST_SKIP() << tool << " is not installed";
    }
    ScratchDir dir;
    const fs::path input = dir / GetParam();
    fs::copy_file(fs::path(PAGEWASH_CORPUS_DIR) / "pdf" / GetParam(), input);
    const Bytes in = readBytes(input);
    const std::vector<ImageRecord> images = readImages(in);
    ASSERT_EQ(images.size(), expectedImageStreams(GetParam()));
    if (images.empty()) return;  // nothing is edited, so nothing can move

    std::vector<std::string> jpegs;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::string jpeg = jpegOf(in, images[i]);
        // Alternately smaller (re-encoded) and larger, so offsets move both ways.
        jpegs.push_back(i % 2 == 0 ? reencodeJpeg(jpeg, 15, dir.path()) : growJpeg(jpeg, 4321));
    }
    const EditResult result = editImages(in, jpegs, dir.path());
    const fs::path output = dir / "edited.pdf";
    writeBytes(output, result.output);
    EXPECT_EQ(result.imageCount, images.size());
    // For a look at a failing output: PAGEWASH_KEEP_OUTPUTS=/some/folder keeps a copy of each.
    if (const char* keep = std::getenv("PAGEWASH_KEEP_OUTPUTS")) {
        fs::copy_file(output, fs::path(keep) / GetParam(), fs::copy_options::overwrite_existing);
    }
    for (const std::string& warning : result.warnings) std::cout << GetParam() << ": " << warning << "\n";

    const ReaderReport before = readWithTools(input);
    const ReaderReport after = readWithTools(output);
    if (before.qpdfExit == 0 || before.qpdfExit == 3) {
        EXPECT_TRUE(after.qpdfExit == 0 || after.qpdfExit == 3) << "qpdf --check exit " << after.qpdfExit;
        for (const std::string& warning : after.qpdfWarnings) {
            EXPECT_NE(std::find(before.qpdfWarnings.begin(), before.qpdfWarnings.end(), warning),
                      before.qpdfWarnings.end())
                << "new qpdf complaint: " << warning;
        }
    }
    const std::vector<std::string> errorsBefore = syntaxErrors(before.renderErrors);
    for (const std::string& error : syntaxErrors(after.renderErrors)) {
        EXPECT_NE(std::find(errorsBefore.begin(), errorsBefore.end(), error), errorsBefore.end())
            << "new pdftoppm error: " << error;
    }
    EXPECT_EQ(after.renderExit, before.renderExit);
    EXPECT_EQ(after.text, before.text);
    EXPECT_EQ(after.imageCount, before.imageCount);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusPdf, ::testing::ValuesIn(corpusPdfs()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.size() - 4);
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace pagewash::test
