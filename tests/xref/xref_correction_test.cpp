// The planned corrections on PDFs made once per suite by the fixture and by real producers (qpdf, img2pdf,
// Ghostscript): each edit is written by the engine's writer, and the output's offsets are checked byte by
// byte against what qpdf reads from its cross-reference data.

#include "engine/xref/xref_correction.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

#include "engine/images/edited_pdf_writer.h"
#include "engine/images/temp_images.h"
#include "settings/correction_settings.h"
#include "tests/support/test_tools.h"

namespace pagewash::testing {
namespace {

constexpr std::size_t npos = std::string::npos;

struct Edited {
    std::string pdf;
    std::vector<std::string> warnings;
};

// Each image's JPEG made deltas[i] bytes longer (zeros after its end) or, replaced by the small gray JPEG,
// shorter; written by the engine.
Edited edit(const std::string& pdf, const std::vector<std::int64_t>& deltas) {
    const Bytes input = toBytes(pdf);
    std::vector<ImageRecord> records = readImages(input);
    ScratchDir dir;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::int64_t delta = deltas[i % deltas.size()];
        Bytes jpeg = delta < 0
                         ? grayJpeg()
                         : Bytes(input.begin() + records[i].jpegOffset, input.begin() + records[i].jpegEnd);
        jpeg.resize(std::max(jpeg.size(),
                             static_cast<std::size_t>(records[i].jpegEnd - records[i].jpegOffset + delta)));
        names.push_back(dir.file(tempImageName(static_cast<int>(i))));
        writeBytes(names.back(), jpeg);
    }
    updateStreamLengths(records, names);
    const std::vector<ReplacedRange> ranges = plannedImageReplacements(records);
    const XrefCorrection correction = planXrefCorrection(input, ranges);
    OutputFile out(dir.file("out.pdf"));
    writeEditedPdf(out, input, records, names, static_cast<std::int32_t>(ColorMode::None),
                   correction.patches);
    out.close();
    return {toString(readBytes(dir.file("out.pdf"))), correction.warnings};
}

std::int64_t numberAfter(const std::string& pdf, std::size_t at) {
    while (at < pdf.size() && std::isspace(static_cast<unsigned char>(pdf[at]))) ++at;
    return std::isdigit(static_cast<unsigned char>(pdf[at])) ? std::stoll(pdf.substr(at, 20)) : -1;
}

// The length of every classic section, "xref" to "trailer": entries keep their 20 bytes.
std::vector<std::size_t> classicSectionLengths(const std::string& pdf) {
    std::vector<std::size_t> lengths;
    for (std::size_t at = pdf.find("\nxref"); at != npos; at = pdf.find("\nxref", at + 1))
        lengths.push_back(pdf.find("trailer", at) - at);
    return lengths;
}

// qpdf --check's answer; `path` receives the file, which --show-xref may then read.
CommandResult qpdfCheck(const std::string& pdf, const std::string& path) {
    writeBytes(path, toBytes(pdf));
    return runCommand("qpdf --check " + quote(path));
}

// qpdf reads the output without a warning; every object lies where its cross-reference entry says, every
// startxref, /Prev and /XRefStm names the first byte of a section, and classic tables kept their length.
void expectCorrected(const std::string& input, const std::string& output) {
    ScratchDir dir;
    const std::string path = dir.file("out.pdf");
    const bool wasLinearized = qpdfCheck(input, path).out.find("File is linearized") != npos;
    const CommandResult check = qpdfCheck(output, path);
    EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
    EXPECT_EQ(check.out.find("WARNING"), npos) << check.out;
    EXPECT_EQ(check.out.find("File is linearized") != npos, wasLinearized) << check.out;
    std::istringstream lines(runCommand("qpdf --show-xref " + quote(path)).out);
    int objects = 0;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find(": uncompressed; offset = ");
        if (at == npos) continue;
        const std::string header = line.substr(0, at).replace(line.find('/'), 1, " ") + " obj";
        const auto offset = static_cast<std::size_t>(std::stoll(line.substr(at + 25)));
        EXPECT_EQ(output.compare(offset, header.size(), header), 0) << header << " at " << offset;
        ++objects;
    }
    EXPECT_GT(objects, 2);
    for (const std::string key : {"startxref", "/Prev", "/XRefStm"}) {
        for (std::size_t at = output.find(key); at != npos; at = output.find(key, at + 1)) {
            const std::int64_t value = numberAfter(output, at + key.size());
            if (value == 0 && key == "startxref") continue;  // a linearized file's first-page trailer
            ASSERT_GE(value, 0) << key << " at " << at;
            const auto offset = static_cast<std::size_t>(value);
            EXPECT_TRUE(output.compare(offset, 4, "xref") == 0 || output.find(" obj", offset) < offset + 12)
                << key << " at " << at << " gives " << value;
        }
    }
    EXPECT_EQ(classicSectionLengths(output), classicSectionLengths(input));
}

// An incremental update that adds object /Size, listed by a classic table or, in a hybrid file, only by
// an unfiltered cross-reference stream with two-byte offsets that the classic table's /XRefStm names.
std::string appendUpdate(std::string pdf, bool hybrid) {
    const std::int64_t previous = numberAfter(pdf, pdf.rfind("startxref") + 9);
    std::int64_t number = 0;  // the largest /Size of all trailers
    for (std::size_t at = pdf.find("/Size"); at != npos; at = pdf.find("/Size", at + 1))
        number = std::max(number, numberAfter(pdf, at + 5));
    const std::size_t rootAt = pdf.rfind("/Root");
    const std::string root = pdf.substr(rootAt, pdf.find('R', rootAt + 5) + 1 - rootAt);
    const std::size_t object = pdf.size();
    pdf += std::to_string(number) + " 0 obj\n(update)\nendobj\n";
    const std::size_t stream = pdf.size();
    if (hybrid) {
        pdf += std::to_string(number + 1) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(number + 2) +
               " /Index [" + std::to_string(number) + " 1] /W [1 2 1] /Length 4 >>\nstream\n";
        pdf += std::string{'\1', static_cast<char>(object >> 8), static_cast<char>(object & 0xFF), '\0'};
        pdf += "\nendstream\nendobj\n";
    }
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", hybrid ? stream : object);
    const std::size_t xref = pdf.size();
    return pdf + "xref\n" + std::to_string(hybrid ? number + 1 : number) + " 1\n" + entry +
           "trailer\n<< /Size " + std::to_string(number + (hybrid ? 2 : 1)) + " " + root + " /Prev " +
           std::to_string(previous) + (hybrid ? " /XRefStm " + std::to_string(stream) : "") +
           " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

class Produced : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(toolsInstalled({"qpdf", "img2pdf", "gs", "convert", "cjpeg"}));
        ScratchDir dir;
        FixtureImage gray;
        gray.jpeg = grayJpeg();
        const Bytes plain = makeFixturePdf({gray, FixtureImage{}}).bytes;
        s_pdfs = {{"plain", toString(plain)},
                  {"classic", appendUpdate(toString(plain), false)},
                  {"hybrid", appendUpdate(toString(plain), true)}};
        writeBytes(dir / "plain.pdf", plain);
        const auto produce = [&](const std::string& name, std::string command) {  // %OUT: the output
            const CommandResult made =
                runCommand(command.replace(command.find("%OUT"), 4, quote(dir.file(name))));
            ASSERT_EQ(made.exitStatus, 0) << command << ": " << made.err;
            s_pdfs[name] = toString(readBytes(dir / name));
        };
        const std::string in = " " + quote(dir.file("plain.pdf")) + " %OUT";
        produce("streams", "qpdf --object-streams=generate" + in);
        produce("linearized", "qpdf --linearize" + in);
        produce("linearized-streams", "qpdf --linearize --object-streams=generate" + in);
        for (const std::string name : {"streams", "linearized"})
            s_pdfs[name + "-updated"] = appendUpdate(s_pdfs[name], false);
        makeJpeg(300, false, dir.file("photo.jpg"));
        produce("img2pdf", "img2pdf " + quote(dir.file("photo.jpg")) + " -o %OUT");
        produce("ghostscript", "gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=%OUT " +
                                   quote(dataFile("pikepdf_congress.pdf")));
    }
    static const std::string& pdf(const std::string& name) { return s_pdfs.at(name); }
    static std::map<std::string, std::string> s_pdfs;
};
std::map<std::string, std::string> Produced::s_pdfs;

struct Case {
    const char *name, *input;
    std::vector<std::int64_t> deltas;  // per image, repeated
    std::vector<const char*> written;  // in the output
};

class ProducedEdit : public Produced, public ::testing::WithParamInterface<Case> {};

TEST_P(ProducedEdit, EveryOffsetIsCorrected) {
    const Case& c = GetParam();
    const Edited edited = edit(pdf(c.input), c.deltas);
    EXPECT_TRUE(edited.warnings.empty()) << edited.warnings.front();
    expectCorrected(pdf(c.input), edited.pdf);
    for (const char* text : c.written) EXPECT_NE(edited.pdf.find(text), npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Producers, ProducedEdit,
    ::testing::Values(Case{"ClassicTablesAndUpdate", "classic", {1500, -900}, {}},
                      Case{"StreamWithPredictor", "streams", {3000, -500}, {"/W [ 1 2 1 ]"}},
                      Case{"StreamWidensWAndColumns", "streams", {70000}, {"/W [1 3 1]", "/Columns 5"}},
                      Case{"StreamUnderAClassicUpdate", "streams-updated", {5000}, {}},
                      Case{"HybridWidensItsStream", "hybrid", {70000}, {"/W [1 3 1]"}},
                      Case{"LinearizedKeepsExactHints", "linearized", {70000, -3000}, {}},
                      Case{"LinearizedWithStreams", "linearized-streams", {4000, 0}, {}},
                      Case{"LinearizedThenUpdatedStaysOrdinary", "linearized-updated", {3000}, {}},
                      Case{"Img2pdf", "img2pdf", {777}, {}}, Case{"Ghostscript", "ghostscript", {2000}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Produced, NumberGainingADigitMovesEverythingAfterIt) {
    // The first startxref, after the first image, crosses a power of ten: the update after it moves by
    // one byte more than the image grew.
    const std::string& input = pdf("classic");
    const std::int64_t first = numberAfter(input, input.find("startxref") + 9);
    const std::int64_t power = std::stoll("1" + std::string(std::to_string(first).size(), '0'));
    const Edited edited = edit(input, {power - first + 5, 0});
    EXPECT_EQ(std::to_string(numberAfter(edited.pdf, edited.pdf.find("startxref") + 9)).size(),
              std::to_string(power).size());
    expectCorrected(input, edited.pdf);
}

TEST_F(Produced, NumberThatShrinksKeepsItsWidthWithLeadingZeros) {
    const std::string& input = pdf("plain");
    const std::int64_t startxref = numberAfter(input, input.rfind("startxref") + 9);
    ASSERT_GE(startxref, 10000);
    const std::int64_t shrink = 9000 - startxref;  // the colour image, second, shrinks to below 10000
    const Edited edited = edit(input, {0, shrink});
    const std::size_t at = edited.pdf.rfind("startxref") + 10;
    EXPECT_EQ(edited.pdf.substr(at, edited.pdf.find('\n', at) - at),
              "0" + std::to_string(startxref + shrink - 1))
        << "the /Length of the image loses a digit too";
    expectCorrected(input, edited.pdf);
}

TEST_F(Produced, LinearizedFileWithUnreadableHintsOpensAsAnOrdinaryOne) {
    std::string input = pdf("linearized");
    input[input.find("/S ", input.find("/H [")) + 3] = '9';  // the shared table outside the hint stream
    const Edited edited = edit(input, {2500, 0});
    EXPECT_EQ(edited.warnings,
              std::vector<std::string>{
                  "the file was linearized for Fast Web View; the edited file opens as an ordinary PDF"});
    ScratchDir dir;
    const CommandResult check = qpdfCheck(edited.pdf, dir.file("out.pdf"));
    EXPECT_EQ(check.exitStatus, 0) << check.out;
    EXPECT_NE(check.out.find("File is not linearized"), npos) << check.out;
}

// Whatever byte is damaged, the plan stays within the file, sorted and outside the images, or is empty
// with a warning that says why.
void expectSoundPlansUnderDamage(const std::string& pdf, const std::vector<ReplacedRange>& images,
                                 std::size_t from, std::size_t to) {
    for (std::size_t at = from; at < to; ++at) {
        for (const int value : {int{'0'}, int{'9'}, int{' '}, 0xFF, -1}) {
            Bytes damaged = toBytes(value < 0 ? pdf.substr(0, at) : pdf);
            if (value >= 0) damaged[at] = static_cast<std::uint8_t>(value);
            const XrefCorrection plan = planXrefCorrection(damaged, images);
            std::int64_t end = 0;
            for (const ByteSplice& patch : plan.patches) {
                ASSERT_GE(patch.inputBegin, end) << "byte " << at << " set to " << value;
                ASSERT_LE(patch.inputEnd, static_cast<std::int64_t>(damaged.size())) << "byte " << at;
                for (const ReplacedRange& r : images)
                    ASSERT_TRUE(patch.inputEnd <= r.inputBegin || patch.inputBegin >= r.inputEnd)
                        << "byte " << at;
                end = patch.inputEnd;
            }
            ASSERT_TRUE(!plan.patches.empty() || !plan.warnings.empty())
                << "byte " << at << " set to " << value;
        }
    }
}

TEST_F(Produced, DamagedCrossReferenceDataIsSurvived) {
    for (const std::string name : {"classic", "linearized-streams"}) {
        std::vector<ReplacedRange> images;
        for (const ImageRecord& r : readImages(toBytes(pdf(name))))
            images.push_back({r.dictionaryOffset, r.jpegEnd, r.jpegEnd - r.dictionaryOffset + 1000});
        const auto last = static_cast<std::size_t>(images.back().inputEnd);
        const auto first = static_cast<std::size_t>(images.front().inputBegin);
        expectSoundPlansUnderDamage(pdf(name), images, name == "classic" ? last : 9,  // tables, or the head
                                    name == "classic" ? pdf(name).size() : first);
    }
}

// The warnings, each checked once: `damage` changes the fixture's bytes after its one image.
TEST(XrefCorrection, DamageGivesItsWarning) {
    FixtureImage gray;
    gray.jpeg = grayJpeg();
    const FixturePdf fixture = makeFixturePdf({gray});
    const std::string pdf = toString(fixture.bytes);
    const FixtureLayout& image = fixture.images[0];
    const std::size_t startxref = pdf.rfind("startxref"), table = pdf.rfind("xref\n0 ");
    const std::size_t entry1 = pdf.find("\r\n", table) + 2;  // object 1's entry, after the free head
    const std::string cannot = "the cross-reference data cannot be corrected: ";
    const struct {
        std::function<std::string(std::string)> damage;
        std::string warning;
    } cases[] = {
        {[](std::string p) { return p.replace(p.rfind("startxref"), 9, "startxreF"); },
         cannot + "the file has no startxref; readers have to rebuild it"},
        {[](std::string p) { return p.replace(p.rfind("%%EOF") - 1, 0, "0000"); },
         cannot + "the startxref at byte " + std::to_string(startxref) +
             " points past the end of the file; readers have to rebuild it"},
        {[&](std::string p) { return p.replace(entry1, 1, "x"); },
         cannot + "the cross-reference table at byte " + std::to_string(table) +
             " has a malformed entry at byte " + std::to_string(entry1) + "; readers have to rebuild it"},
        {[](std::string p) { return p.replace(p.rfind(" >>"), 0, " /Prev /X"); },
         cannot + "the trailer's /Prev at byte " + std::to_string(pdf.rfind(" >>") + 7) +
             " is not an integer; readers have to rebuild it"},
        {[&](std::string p) {
             return p.replace(entry1, 10,
                              std::string(10 - std::to_string(image.jpegOffset + 9).size(), '0') +
                                  std::to_string(image.jpegOffset + 9));
         },
         "the cross-reference data gives the offset " + std::to_string(image.jpegOffset + 9) +
             ", which lies inside an image stream; it was wrong in the input already"},
        {[](std::string p) { return p + "%/ByteRange\n"; },
         "the file carries a digital signature (/ByteRange at byte " + std::to_string(pdf.size() + 1) +
             "), which the changed images invalidate"},
    };
    const std::vector<ReplacedRange> grown{
        {static_cast<std::int64_t>(image.dictionaryOffset), static_cast<std::int64_t>(image.jpegEnd),
         static_cast<std::int64_t>(image.jpegEnd - image.dictionaryOffset + 100)}};
    for (const auto& c : cases) {
        const XrefCorrection plan = planXrefCorrection(toBytes(c.damage(pdf)), grown);
        EXPECT_EQ(plan.warnings, std::vector<std::string>{c.warning});
    }
    // A range that swallows the startxref number: its correction would overlap it.
    const std::vector<ReplacedRange> swallowing{
        {static_cast<std::int64_t>(image.jpegOffset), static_cast<std::int64_t>(startxref + 12), 10}};
    EXPECT_EQ(planXrefCorrection(fixture.bytes, swallowing).warnings,
              std::vector<std::string>{
                  cannot + "the cross-reference data overlaps an image stream; readers have to rebuild it"});
}

}  // namespace
}  // namespace pagewash::testing
