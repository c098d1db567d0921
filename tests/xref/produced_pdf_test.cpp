// Edits PDFs made by real producers (img2pdf, Ghostscript, qpdf) and checks the outputs with real
// readers: qpdf --check, pdftoppm, pdftotext, pdfimages.

#include <gtest/gtest.h>

#include <cmath>

#include "engine/xref/xref_correction.h"
#include "tests/xref/pdf_edit_support.h"

namespace pagewash::test {

// Scratch folders, file bytes and commands.
using namespace pagewash::testing;

namespace {

namespace fs = std::filesystem;

std::string joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

class ProducedPdf : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(toolsInstalled(
            {"img2pdf", "qpdf", "gs", "pdftoppm", "pdftotext", "pdfimages", "convert", "cjpeg", "djpeg"}));
        // The two JPEGs are made once for all tests (ImageMagick is slow to start).
        static const std::pair<Bytes, Bytes> jpegs = [this] {
            make("convert -size 320x240 gradient:red-blue -quality 85 '" + (m_dir / "colour.jpg").string() +
                 "'");
            make("convert -size 200x300 plasma:fractal -seed 7 -colorspace gray -quality 80 '" +
                 (m_dir / "gray.jpg").string() + "'");
            return std::pair{readBytes(m_dir / "colour.jpg"), readBytes(m_dir / "gray.jpg")};
        }();
        writeBytes(m_dir / "colour.jpg", jpegs.first);
        writeBytes(m_dir / "gray.jpg", jpegs.second);
    }

    void make(const std::string& commandLine) {
        const CommandResult result = runCommand(commandLine);
        ASSERT_EQ(result.exitStatus, 0) << commandLine << "\n" << result.err;
    }

    // img2pdf writes a linearized file with a classic table.
    fs::path img2pdf(const std::string& name) {
        const fs::path pdf = m_dir / name;
        make("img2pdf '" + (m_dir / "colour.jpg").string() + "' '" + (m_dir / "gray.jpg").string() +
             "' -o '" + pdf.string() + "'");
        return pdf;
    }

    // The img2pdf file rewritten by qpdf: a plain classic table, not linearized.
    fs::path plainPdf() { return qpdf(img2pdf("img2pdf.pdf"), "", "plain.pdf"); }

    fs::path qpdf(const fs::path& input, const std::string& options, const std::string& name) {
        const fs::path pdf = m_dir / name;
        make("qpdf " + options + " '" + input.string() + "' '" + pdf.string() + "'");
        return pdf;
    }

    // A page with a line of text and the colour JPEG, written by Ghostscript's pdfwrite, which passes
    // the JPEG through unchanged.
    fs::path ghostscript(const std::string& name) {
        const fs::path ps = m_dir / "page.ps";
        const std::string program =
            "%!PS\n/Helvetica findfont 24 scalefont setfont\n72 700 moveto (Pagewash bleaches pages) show\n"
            "gsave 72 300 translate 320 240 scale\n/f (" +
            (m_dir / "colour.jpg").string() +
            ") (r) file def\n/DeviceRGB setcolorspace\n"
            "<< /ImageType 1 /Width 320 /Height 240 /BitsPerComponent 8 /Decode [0 1 0 1 0 1]\n"
            "   /ImageMatrix [320 0 0 -240 0 240] /DataSource f /DCTDecode filter >> image\n"
            "grestore showpage\n";
        writeBytes(ps, toBytes(program));
        const fs::path pdf = m_dir / name;
        make("gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite --permit-file-read='" + m_dir.path() +
             "/' -sOutputFile='" + pdf.string() + "' '" + ps.string() + "'");
        return pdf;
    }

    // Each image grown by `grow[i]` bytes (a comment segment) or, for 0, re-encoded at quality 20.
    std::vector<std::string> newJpegs(const Bytes& pdf, const std::vector<std::size_t>& grow) {
        std::vector<std::string> jpegs;
        const std::vector<ImageRecord> images = readImages(pdf);
        for (std::size_t i = 0; i < images.size(); ++i) {
            const std::string jpeg = jpegOf(pdf, images[i]);
            const std::size_t extra = grow[i % grow.size()];
            jpegs.push_back(extra == 0 ? reencodeJpeg(jpeg, 20, m_dir.path()) : growJpeg(jpeg, extra));
        }
        return jpegs;
    }

    // Edits `input` and checks the output with the readers against the input's own report.
    EditResult editAndCheck(const fs::path& input, const std::vector<std::size_t>& grow,
                            std::size_t expectedImages) {
        const Bytes in = readBytes(input);
        EditResult result = editImages(in, newJpegs(in, grow), m_dir.path());
        EXPECT_EQ(result.imageCount, expectedImages);
        const fs::path output = m_dir / (input.stem().string() + "_edit.pdf");
        writeBytes(output, result.output);
        const ReaderReport before = readWithTools(input);
        const ReaderReport after = readWithTools(output);
        EXPECT_EQ(before.qpdfExit, 0) << joined(before.qpdfWarnings);
        EXPECT_EQ(after.qpdfExit, 0) << joined(after.qpdfWarnings);
        EXPECT_TRUE(after.qpdfWarnings.empty()) << joined(after.qpdfWarnings);
        EXPECT_EQ(after.renderExit, 0);
        EXPECT_EQ(after.renderErrors, "");
        EXPECT_EQ(after.text, before.text);
        EXPECT_EQ(after.imageCount, before.imageCount);
        EXPECT_GT(after.imageCount, 0);
        return result;
    }

    ScratchDir m_dir;
};

TEST_F(ProducedPdf, ClassicTableIsCorrected) {
    const EditResult result = editAndCheck(plainPdf(), {1500, 0}, 2);
    EXPECT_TRUE(result.warnings.empty()) << joined(result.warnings);
    EXPECT_GT(result.patchCount, 0u);
}

TEST_F(ProducedPdf, UncorrectedOutputIsDamagedForQpdf) {
    // Guards the reader checks themselves: without the corrections the same edit is reported.
    const fs::path input = plainPdf();
    const Bytes in = readBytes(input);
    std::vector<std::string> jpegs;
    for (const ImageRecord& image : readImages(in)) jpegs.push_back(growJpeg(jpegOf(in, image), 999));
    ASSERT_EQ(jpegs.size(), 2u);
    const fs::path output = m_dir / "uncorrected.pdf";
    writeBytes(output, editImages(in, jpegs, m_dir.path(), false).output);
    EXPECT_NE(readWithTools(output).qpdfExit, 0);
}

// qpdf --check verifies every hint table entry against the objects of a linearized file.
void expectLinearized(const fs::path& pdf) {
    const CommandResult check = runCommand("qpdf --check '" + pdf.string() + "'");
    EXPECT_NE(check.out.find("File is linearized"), std::string::npos) << check.out;
}

TEST_F(ProducedPdf, Img2pdfLinearizedFileStaysLinearized) {
    const EditResult result = editAndCheck(img2pdf("img2pdf.pdf"), {0, 777}, 2);
    EXPECT_TRUE(result.warnings.empty()) << joined(result.warnings);
    expectLinearized(m_dir / "img2pdf_edit.pdf");
}

TEST_F(ProducedPdf, GhostscriptPageKeepsItsText) {
    const EditResult result = editAndCheck(ghostscript("gs.pdf"), {0}, 1);
    EXPECT_TRUE(result.warnings.empty()) << joined(result.warnings);
}

TEST_F(ProducedPdf, CrossReferenceStreamWithObjectStreamsIsRewritten) {
    const fs::path input = qpdf(plainPdf(), "--object-streams=generate", "streams.pdf");
    const EditResult result = editAndCheck(input, {3000, 0}, 2);
    EXPECT_TRUE(result.warnings.empty()) << joined(result.warnings);
}

TEST_F(ProducedPdf, CrossReferenceStreamWidensItsOffsetField) {
    const fs::path input = qpdf(plainPdf(), "--object-streams=generate", "streams.pdf");
    const Bytes in = readBytes(input);
    const std::string text(in.begin(), in.end());
    ASSERT_NE(text.find("/W [ 1 2 1 ]"), std::string::npos) << "qpdf no longer writes two-byte offsets here";
    // The second image and everything after it move past 65535.
    const EditResult result = editAndCheck(input, {70000, 70000}, 2);
    const std::string out(result.output.begin(), result.output.end());
    EXPECT_NE(out.find("/W [1 3 1]"), std::string::npos);
    EXPECT_NE(out.find("/Columns 5"), std::string::npos);
}

TEST_F(ProducedPdf, LinearizedFileKeepsExactHints) {
    const fs::path input = qpdf(plainPdf(), "--linearize", "linearized.pdf");
    // Images that grow past a byte of the page length field's bits, and one that shrinks.
    const EditResult result = editAndCheck(input, {70000, 0}, 2);
    EXPECT_TRUE(result.warnings.empty()) << joined(result.warnings);
    expectLinearized(m_dir / "linearized_edit.pdf");
}

TEST_F(ProducedPdf, LinearizedFileWithUnreadableHintsOpensAsAnOrdinaryOne) {
    const fs::path input = qpdf(plainPdf(), "--linearize", "linearized.pdf");
    // Points /S of the hint stream outside its data: the tables cannot be rewritten.
    Bytes bytes = readBytes(input);
    std::string text(bytes.begin(), bytes.end());
    const std::size_t s = text.find("/S ", text.find("/H ["));
    ASSERT_NE(s, std::string::npos);
    text[s + 3] = '9';
    const fs::path damaged = m_dir / "hintless.pdf";
    writeBytes(damaged, toBytes(text));
    const EditResult result =
        editImages(bytes = readBytes(damaged), newJpegs(bytes, {2500, 0}), m_dir.path());
    ASSERT_EQ(result.warnings.size(), 1u) << joined(result.warnings);
    EXPECT_NE(result.warnings[0].find("linearized"), std::string::npos);
    // The input's damaged hints are reported; the output, no longer linearized, reads cleanly.
    EXPECT_EQ(readWithTools(damaged).qpdfExit, 3);
    const fs::path output = m_dir / "hintless_edit.pdf";
    writeBytes(output, result.output);
    const ReaderReport report = readWithTools(output);
    EXPECT_EQ(report.qpdfExit, 0) << joined(report.qpdfWarnings);
    EXPECT_EQ(report.renderErrors, "");
    EXPECT_EQ(report.imageCount, 2);
    EXPECT_NE(runCommand("qpdf --check '" + output.string() + "'").out.find("File is not linearized"),
              std::string::npos);
}

TEST_F(ProducedPdf, LinearizedFileWithObjectStreams) {
    const fs::path input = qpdf(plainPdf(), "--linearize --object-streams=generate", "linstreams.pdf");
    editAndCheck(input, {0, 4000}, 2);
    expectLinearized(m_dir / "linstreams_edit.pdf");
}

// Appends an incremental update that replaces the document information dictionary.
fs::path appendUpdate(const fs::path& input, const fs::path& output) {
    Bytes pdf = readBytes(input);
    std::string text(pdf.begin(), pdf.end());
    const std::size_t startxref = text.rfind("startxref");
    const std::int64_t previous = std::stoll(text.substr(startxref + 9));
    // The new object takes the first number after the largest /Size of all trailers.
    std::int64_t number = 0;
    for (std::size_t at = 0; (at = text.find("/Size ", at)) != std::string::npos; ++at) {
        number = std::max<std::int64_t>(number, std::stoll(text.substr(at + 6, 12)));
    }
    const std::size_t rootAt = text.find("/Root ") + 6;
    const std::string root = text.substr(rootAt, text.find('R', rootAt) + 1 - rootAt);
    std::string update =
        "\n" + std::to_string(number) + " 0 obj\n<< /Title (Updated) /Producer (update test) >>\nendobj\n";
    const std::size_t objectOffset = text.size() + 1;
    const std::size_t xref = text.size() + update.size();
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", objectOffset);
    update += "xref\n" + std::to_string(number) + " 1\n" + entry + "trailer\n<< /Size " +
              std::to_string(number + 1) + " /Root " + root + " /Info " + std::to_string(number) +
              " 0 R /Prev " + std::to_string(previous) + " >>\nstartxref\n" + std::to_string(xref) +
              "\n%%EOF\n";
    writeBytes(output, toBytes(text + update));
    return output;
}

TEST_F(ProducedPdf, IncrementalUpdateOnClassicTable) {
    const fs::path input = appendUpdate(plainPdf(), m_dir / "updated.pdf");
    const EditResult result = editAndCheck(input, {0, 1234}, 2);
    EXPECT_TRUE(result.warnings.empty()) << joined(result.warnings);
    EXPECT_NE(runCommand("pdfinfo '" + (m_dir / "updated_edit.pdf").string() + "'").out.find("Updated"),
              std::string::npos);
}

TEST_F(ProducedPdf, IncrementalUpdateOnCrossReferenceStream) {
    const fs::path streams = qpdf(plainPdf(), "--object-streams=generate", "streams.pdf");
    const fs::path input = appendUpdate(streams, m_dir / "streams_updated.pdf");
    const EditResult result = editAndCheck(input, {5000, 0}, 2);
    EXPECT_TRUE(result.warnings.empty()) << joined(result.warnings);
}

TEST_F(ProducedPdf, LinearizedFileUpdatedLaterStaysAnOrdinaryOne) {
    // The update makes the file longer than /L, so readers no longer take it as linearized; the edit
    // must not make /L match again over hint tables that do not cover the update.
    const fs::path linearized = qpdf(plainPdf(), "--linearize", "linearized.pdf");
    const fs::path input = appendUpdate(linearized, m_dir / "linearized_updated.pdf");
    const EditResult result = editAndCheck(input, {3000, 0}, 2);
    EXPECT_TRUE(result.warnings.empty()) << joined(result.warnings);
    const CommandResult check =
        runCommand("qpdf --check '" + (m_dir / "linearized_updated_edit.pdf").string() + "'");
    EXPECT_NE(check.out.find("File is not linearized"), std::string::npos) << check.out;
}

TEST_F(ProducedPdf, StartxrefThatGrowsADigitShiftsTheUpdateAfterIt) {
    // The first startxref crosses a power of ten, so its number grows by a digit, and the update's
    // object and table that follow it move by one byte more than the image grew.
    const fs::path plain = plainPdf();
    const Bytes original = readBytes(plain);
    const std::string text(original.begin(), original.end());
    const std::int64_t startxref = std::stoll(text.substr(text.rfind("startxref") + 9));
    const auto nextPower = static_cast<std::int64_t>(std::pow(10, std::to_string(startxref).size()));
    const auto grow = static_cast<std::size_t>(nextPower - startxref + 5);
    const fs::path input = appendUpdate(plain, m_dir / "updated.pdf");
    const EditResult result = editAndCheck(input, {grow, grow / 3}, 2);
    const std::string out(result.output.begin(), result.output.end());
    const std::size_t firstStartxref = out.find("startxref");
    const std::string firstValue = out.substr(firstStartxref + 10, std::to_string(nextPower).size());
    EXPECT_GT(std::stoll(firstValue), nextPower) << "the number did not grow a digit";
}

}  // namespace
}  // namespace pagewash::test

namespace pagewash::test {
namespace {

TEST_F(ProducedPdf, DamagedLinearizationDataIsSurvived) {
    // Every byte of the linearization dictionary, the first-page table and the hint stream damaged
    // in turn: the plan stays within the file, sorted and outside the images, or says why it is empty.
    const fs::path input = qpdf(plainPdf(), "--linearize", "linearized.pdf");
    const Bytes pdf = readBytes(input);
    std::vector<ReplacedRange> images;
    for (const ImageRecord& record : readImages(pdf)) {
        images.push_back(
            {record.dictionaryOffset, record.jpegEnd, record.jpegEnd - record.dictionaryOffset + 1000});
    }
    ASSERT_EQ(images.size(), 2u);
    const auto limit = std::min<std::size_t>(static_cast<std::size_t>(images[0].inputBegin), 3000);
    for (std::size_t at = 9; at < limit; ++at) {
        Bytes damaged = pdf;
        damaged[at] = static_cast<std::uint8_t>(damaged[at] ^ 0x15);
        const XrefCorrection correction = planXrefCorrection(damaged, images);
        std::int64_t end = 0;
        for (const ByteSplice& patch : correction.patches) {
            ASSERT_GE(patch.inputBegin, end) << "byte " << at;
            ASSERT_LE(patch.inputEnd, static_cast<std::int64_t>(damaged.size()));
            for (const ReplacedRange& range : images) {
                ASSERT_TRUE(patch.inputEnd <= range.inputBegin || patch.inputBegin >= range.inputEnd)
                    << "byte " << at;
            }
            end = patch.inputEnd;
        }
        if (correction.patches.empty()) {
            ASSERT_FALSE(correction.warnings.empty()) << "byte " << at;
        }
    }
}

}  // namespace
}  // namespace pagewash::test
