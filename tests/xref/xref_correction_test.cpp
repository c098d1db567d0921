// The planned corrections on PDFs made by the fixture and by real producers, written by the engine's
// writer and checked byte by byte against what qpdf reads from their cross-reference data.

#include "engine/xref/xref_correction.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "engine/images/edited_pdf_writer.h"
#include "engine/images/temp_images.h"
#include "engine/pdf/stream_object.h"
#include "engine/xref/offset_map.h"
#include "engine/xref/update_section.h"
#include "tests/support/test_tools.h"

namespace pagewash::testing {
namespace {

constexpr std::size_t npos = std::string::npos;

// The data of the stream object that an update appends in the tests.
constexpr std::string_view kAppendedData = "appended stream data";

// The output and the warnings when each image's JPEG is made deltas[i] bytes longer (zeros after its end)
// or, replaced by the small gray JPEG, shorter; written by the engine. With `append`, an update follows
// that adds one stream object.
std::pair<std::string, std::vector<std::string>> edit(const std::string& pdf,
                                                      const std::vector<std::int64_t>& deltas,
                                                      bool append = false) {
    const Bytes input = toBytes(pdf);
    std::vector<ImageRecord> records = readImages(input);
    ScratchDir dir;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::int64_t delta = deltas[i % deltas.size()];
        const ImageRecord& r = records[i];
        Bytes jpeg = delta < 0 ? grayJpeg() : Bytes(input.begin() + r.jpegOffset, input.begin() + r.jpegEnd);
        jpeg.resize(std::max<std::int64_t>(jpeg.size(), r.jpegEnd - r.jpegOffset + delta));
        names.push_back(dir.file(tempImageName(static_cast<int>(i))));
        writeBytes(names.back(), jpeg);
    }
    updateStreamLengths(records, names);
    const XrefCorrection correction = planXrefCorrection(input, plannedImageReplacements(records));
    OutputFile out(dir.file("out.pdf"));
    const std::vector<ReplacedRange> written = writeEditedPdf(out, input, records, names, correction.patches);
    if (append) {
        const auto last = readLastXrefSection(input);
        if (!last) throw std::runtime_error(last.refusal().reason);
        const OffsetMap map(written);
        const std::string body = streamBody("", kAppendedData);
        out.write(updateSection(*last, map.map(last->offset),
                                map.outputLength(static_cast<std::int64_t>(input.size())), input.back(),
                                std::span(&body, 1)));
    }
    out.close();
    return {toString(readBytes(dir.file("out.pdf"))), correction.warnings};
}

std::int64_t numberAfter(const std::string& pdf, std::size_t at) {  // 0 when none follows
    return std::strtoll(pdf.c_str() + at, nullptr, 10);
}

// qpdf reads the output without a warning (so every startxref, /Prev and /XRefStm leads to a section) and
// as linearized or not, and every object lies where its cross-reference entry says.
void expectCorrected(const std::string& output, bool linearized) {
    ScratchDir dir;
    writeBytes(dir / "out.pdf", toBytes(output));
    const CommandResult check = runCommand("qpdf --check " + quote(dir.file("out.pdf")));
    EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
    EXPECT_EQ(check.out.find("WARNING"), npos) << check.out;
    EXPECT_NE(check.out.find(linearized ? "File is linearized" : "File is not linearized"), npos)
        << check.out;
    std::istringstream lines(runCommand("qpdf --show-xref " + quote(dir.file("out.pdf"))).out);
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
        PAGEWASH_REQUIRE_TOOLS({"qpdf", "img2pdf", "gs", "convert", "cjpeg"});
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
        std::string& badHints = s_pdfs["linearized-bad-hints"] = s_pdfs["linearized"];
        badHints[badHints.find("/S ", badHints.find("/H [")) + 3] =
            '9';  // the shared table out of the stream
        makeJpeg(300, false, dir.file("photo.jpg"));
        produce("img2pdf", "img2pdf " + quote(dir.file("photo.jpg")) + " -o %OUT");
        produce("ghostscript", "gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=%OUT " +
                                   quote(dataFile("pikepdf_congress.pdf")));
    }
    // The suite's set-up cannot skip its tests: each skips where the producers cannot run.
    void SetUp() override { PAGEWASH_REQUIRE_TOOLS({"qpdf", "img2pdf", "gs", "convert", "cjpeg"}); }
    static const std::string& pdf(const std::string& name) { return s_pdfs.at(name); }
    static std::map<std::string, std::string> s_pdfs;
};
std::map<std::string, std::string> Produced::s_pdfs;

struct Case {
    const char *name, *input;
    std::vector<std::int64_t> deltas;  // per image, repeated
    std::vector<const char*> written;  // in the output
    bool linearized = false;           // the output
    std::string warning = "";
};

class ProducedEdit : public Produced, public ::testing::WithParamInterface<Case> {};

TEST_P(ProducedEdit, EveryOffsetIsCorrected) {
    const Case& c = GetParam();
    const auto [edited, warnings] = edit(pdf(c.input), c.deltas);
    EXPECT_EQ(warnings, c.warning.empty() ? std::vector<std::string>{} : std::vector{c.warning});
    expectCorrected(edited, c.linearized);
    for (const char* text : c.written) EXPECT_NE(edited.find(text), npos) << text;
}

// The update follows the corrected sections in the file's own style; a linearized file turns ordinary.
TEST_P(ProducedEdit, AnAppendedUpdateLeadsToEverySection) {
    const Case& c = GetParam();
    const std::string edited = edit(pdf(c.input), c.deltas, true).first;
    expectCorrected(edited, false);
    const std::string& input = pdf(c.input);
    const auto last = static_cast<std::size_t>(numberAfter(input, input.rfind("startxref") + 9));
    const bool streams = input.compare(last, 4, "xref") != 0;
    const std::string tail = edited.substr(edited.rfind("%%EOF", edited.size() - 7));
    EXPECT_NE(tail.find(streams ? "/Type /XRef" : "trailer"), npos) << tail;
    ScratchDir dir;
    writeBytes(dir / "out.pdf", toBytes(edited));
    const CommandResult shown = runCommand("qpdf --show-object=trailer " + quote(dir.file("out.pdf")));
    const std::size_t size = shown.out.find("/Size ");
    ASSERT_NE(size, npos) << shown.out;
    const std::int64_t appended = numberAfter(shown.out, size + 6) - (streams ? 2 : 1);
    const CommandResult data = runCommand("qpdf --show-object=" + std::to_string(appended) +
                                          " --raw-stream-data " + quote(dir.file("out.pdf")));
    EXPECT_EQ(data.out, kAppendedData);
}

INSTANTIATE_TEST_SUITE_P(
    Producers, ProducedEdit,
    ::testing::Values(
        Case{"ClassicTablesAndUpdate", "classic", {1500, -900}, {}},
        Case{"StreamWithPredictor", "streams", {3000, -500}, {"/W [ 1 2 1 ]"}},
        Case{"StreamWidensWAndColumns", "streams", {70000}, {"/W [1 3 1]", "/Columns 5"}},
        Case{"StreamUnderAClassicUpdate", "streams-updated", {5000}, {}},
        Case{"HybridWidensItsStream", "hybrid", {70000}, {"/W [1 3 1]"}},
        Case{"LinearizedKeepsExactHints", "linearized", {70000, -3000}, {}, true},
        Case{"LinearizedWithStreams", "linearized-streams", {4000, 0}, {}, true},
        Case{"LinearizedThenUpdatedStaysOrdinary", "linearized-updated", {3000}, {}},
        Case{"LinearizedWithUnreadableHintsTurnsOrdinary",
             "linearized-bad-hints",
             {2500, 0},
             {},
             false,
             "the file was linearized for Fast Web View; the edited file opens as an ordinary PDF"},
        Case{"Img2pdfLinearized", "img2pdf", {777}, {}, true},
        Case{"Ghostscript", "ghostscript", {2000}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The first startxref of "classic", after the first image, crosses a power of ten: the update after it
// moves by one byte more than the image grew. The last one of "plain" shrinks below 10000 and keeps its
// five digits with a leading zero.
TEST_F(Produced, NumbersGainADigitOrKeepTheirWidthWithLeadingZeros) {
    const std::string& classic = pdf("classic");
    const std::int64_t first = numberAfter(classic, classic.find("startxref") + 9);
    const std::int64_t power = std::stoll("1" + std::string(std::to_string(first).size(), '0'));
    const std::string grown = edit(classic, {power - first + 5, 0}).first;
    EXPECT_EQ(std::to_string(numberAfter(grown, grown.find("startxref") + 9)).size(),
              std::to_string(power).size());
    expectCorrected(grown, false);
    const std::string& plain = pdf("plain");
    const std::int64_t startxref = numberAfter(plain, plain.rfind("startxref") + 9);
    ASSERT_GE(startxref, 10000);
    const std::string shrunk = edit(plain, {0, 9000 - startxref}).first;  // the second image, the colour one
    const std::size_t at = shrunk.rfind("startxref") + 10;
    EXPECT_EQ(shrunk.substr(at, shrunk.find('\n', at) - at), "08999")
        << "the /Length of the image loses a digit too";
    expectCorrected(shrunk, false);
}

// Whatever byte of the cross-reference data is damaged (or the file cut there), the plan stays within the
// file, sorted and outside the images, or is empty with a warning that says why.
TEST_F(Produced, DamagedCrossReferenceDataIsSurvived) {
    for (const std::string name : {"classic", "linearized-streams"}) {
        std::vector<ReplacedRange> images;
        for (const ImageRecord& r : readImages(toBytes(pdf(name))))
            images.push_back({r.dictionaryOffset, r.jpegEnd, r.jpegEnd - r.dictionaryOffset + 1000});
        // The tables after the images, or the head before them.
        const auto from = static_cast<std::size_t>(name == "classic" ? images.back().inputEnd : 9);
        const std::size_t to = name == "classic" ? pdf(name).size() : images.front().inputBegin;
        for (std::size_t at = from; at < to; ++at) {
            for (const int value : {int{'0'}, int{'9'}, int{' '}, 0xFF, -1}) {
                SCOPED_TRACE(name + ": byte " + std::to_string(at) + " set to " + std::to_string(value));
                Bytes damaged = toBytes(value < 0 ? pdf(name).substr(0, at) : pdf(name));
                if (value >= 0) damaged[at] = static_cast<std::uint8_t>(value);
                const XrefCorrection plan = planXrefCorrection(damaged, images);
                ASSERT_TRUE(!plan.patches.empty() || !plan.warnings.empty());
                std::int64_t end = 0;
                for (const ByteSplice& patch : plan.patches) {
                    ASSERT_GE(patch.inputBegin, end);
                    ASSERT_LE(patch.inputEnd, static_cast<std::int64_t>(damaged.size()));
                    for (const ReplacedRange& r : images)
                        ASSERT_TRUE(patch.inputEnd <= r.inputBegin || patch.inputBegin >= r.inputEnd);
                    end = patch.inputEnd;
                }
            }
        }
    }
}

// The warnings, each checked once: each case replaces the last `from` of the fixture, after its one image.
TEST(XrefCorrection, DamageGivesItsWarning) {
    PAGEWASH_REQUIRE_TOOLS({"cjpeg"});
    FixtureImage gray;
    gray.jpeg = grayJpeg();
    const FixturePdf fixture = makeFixturePdf({gray});
    const std::string plain = toString(fixture.bytes);
    const std::int64_t dictionary = fixture.images[0].dictionaryOffset, jpeg = fixture.images[0].jpegOffset,
                       jpegEnd = fixture.images[0].jpegEnd;
    const std::vector<ReplacedRange> grown{{dictionary, jpegEnd, jpegEnd - dictionary + 100}};
    const std::size_t startxref = plain.rfind("startxref"), table = plain.rfind("xref\n0 ");
    const std::size_t entry1 = plain.find("\r\n", table) + 2;  // object 1's entry, after the free head
    char inside[24];
    std::snprintf(inside, sizeof inside, "%010lld", static_cast<long long>(jpeg + 9));
    const std::string cannot = "the cross-reference data cannot be corrected: ",
                      rebuild = "; readers have to rebuild it";
    const struct {
        std::string from, to, warning;
    } cases[] = {
        {"startxref", "startxreF", cannot + "the file has no startxref" + rebuild},
        {"\n%%EOF", "0000\n%%EOF",
         cannot + "the startxref at byte " + std::to_string(startxref) + " points past the end of the file" +
             rebuild},
        {plain.substr(entry1, 20), "x" + plain.substr(entry1 + 1, 19),
         cannot + "the cross-reference table at byte " + std::to_string(table) +
             " has a malformed entry at byte " + std::to_string(entry1) + rebuild},
        {" >>", " /Prev /X >>",
         cannot + "the trailer's /Prev at byte " + std::to_string(plain.rfind(" >>") + 7) +
             " is not an integer" + rebuild},
        {plain.substr(entry1, 20), inside + plain.substr(entry1 + 10, 10),
         "the cross-reference data gives the offset " + std::to_string(jpeg + 9) +
             ", which lies inside an image stream; it was wrong in the input already"},
        {"%%EOF\n", "%%EOF\n%/ByteRange\n",
         "the file carries a digital signature (/ByteRange at byte " + std::to_string(plain.size() + 1) +
             "), which the changed images invalidate"},
    };
    for (const auto& c : cases) {
        std::string damaged = plain;
        damaged.replace(damaged.rfind(c.from), c.from.size(), c.to);
        const XrefCorrection plan = planXrefCorrection(toBytes(damaged), grown);
        EXPECT_EQ(plan.warnings, std::vector<std::string>{c.warning});
    }
    // A /ByteRange among an image's bytes is image data; the first one outside the images is the signature.
    std::string signedOutside = plain;
    signedOutside.replace(static_cast<std::size_t>(jpeg) + 20, 10, "/ByteRange");
    EXPECT_TRUE(planXrefCorrection(toBytes(signedOutside), grown).warnings.empty());
    signedOutside.replace(signedOutside.rfind("%%EOF\n"), 6, "%%EOF\n%/ByteRange\n");
    EXPECT_EQ(planXrefCorrection(toBytes(signedOutside), grown).warnings,
              std::vector<std::string>{cases[5].warning});
    // A range that swallows the startxref number: its correction would overlap it.
    const ReplacedRange swallowing{jpeg, static_cast<std::int64_t>(startxref + 12), 10};
    EXPECT_EQ(
        planXrefCorrection(toBytes(plain), std::span(&swallowing, 1)).warnings,
        std::vector<std::string>{cannot + "the cross-reference data overlaps an image stream" + rebuild});
}

}  // namespace
}  // namespace pagewash::testing
