// The planner on small files written by hand, where every offset is known: classic tables, incremental
// updates, cross-reference streams with predictors, damaged data and signatures.

#include "engine/xref/xref_correction.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>

#include "tests/xref/pdf_edit_support.h"

namespace pagewash::test {

// Scratch folders, file bytes and commands.
using namespace pagewash::testing;

namespace {

// Writes a PDF piece by piece and remembers where each object begins.
class PdfWriter {
public:
    PdfWriter() { m_text = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n"; }

    // Returns the offset of "n 0 obj".
    std::size_t object(int number, const std::string& body) {
        const std::size_t offset = m_text.size();
        m_offsets[number] = offset;
        m_text += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
        return offset;
    }

    // A classic section for `numbers` (one subsection per run of numbers) and its trailer.
    std::size_t classicSection(const std::vector<int>& numbers, const std::string& trailerExtra) {
        const std::size_t offset = m_text.size();
        m_text += "xref\n";
        if (numbers.front() == 1) m_text += "0 1\n0000000000 65535 f\r\n";
        std::size_t i = 0;
        while (i < numbers.size()) {
            std::size_t j = i + 1;
            while (j < numbers.size() && numbers[j] == numbers[j - 1] + 1) ++j;
            m_text += std::to_string(numbers[i]) + " " + std::to_string(j - i) + "\n";
            for (std::size_t k = i; k < j; ++k) {
                char entry[24];
                std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", m_offsets.at(numbers[k]));
                m_text += entry;
            }
            i = j;
        }
        m_text += "trailer\n<< /Size " + std::to_string(numbers.back() + 1) + " /Root 1 0 R" + trailerExtra + " >>\n";
        return offset;
    }

    // A cross-reference stream object numbered `number` listing objects 0..number with /W [1 w 1]
    // and the PNG predictor, rows tagged with `filter`.
    std::size_t xrefStream(int number, int offsetWidth, std::uint8_t filter, const std::string& extra) {
        const std::size_t offset = m_text.size();
        m_offsets[number] = offset;
        const int rowWidth = 2 + offsetWidth;
        std::vector<std::uint8_t> rows;
        for (int n = 0; n <= number; ++n) {
            const bool used = m_offsets.count(n) != 0;
            rows.push_back(used ? 1 : 0);
            const std::size_t value = used ? m_offsets.at(n) : 0;
            for (int b = offsetWidth; b-- > 0;) rows.push_back(static_cast<std::uint8_t>(value >> (8 * b)));
            rows.push_back(used ? 0 : 255);
        }
        const std::vector<std::uint8_t> filtered = pngFilter(rows, static_cast<std::size_t>(rowWidth), filter);
        uLongf size = compressBound(static_cast<uLong>(filtered.size()));
        std::string data(size, '\0');
        compress(reinterpret_cast<Bytef*>(data.data()), &size, filtered.data(), static_cast<uLong>(filtered.size()));
        data.resize(size);
        m_text += std::to_string(number) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(number + 1) +
                  " /Root 1 0 R /W [1 " + std::to_string(offsetWidth) + " 1] /Filter /FlateDecode" +
                  " /DecodeParms << /Predictor 12 /Columns " + std::to_string(rowWidth) + " >>" + extra +
                  " /Length " + std::to_string(data.size()) + " >>\nstream\r\n" + data + "\nendstream\nendobj\n";
        return offset;
    }

    void startxref(std::size_t offset) { m_text += "startxref\n" + std::to_string(offset) + "\n%%EOF\n"; }
    void append(const std::string& text) { m_text += text; }
    std::size_t size() const { return m_text.size(); }
    Bytes bytes() const { return toBytes(m_text); }

    // A plain PNG filter written from the definition (Sub, Up, Average, Paeth; none for 0).
    static std::vector<std::uint8_t> pngFilter(const std::vector<std::uint8_t>& rows, std::size_t width,
                                               std::uint8_t filter) {
        std::vector<std::uint8_t> out;
        for (std::size_t start = 0; start < rows.size(); start += width) {
            out.push_back(filter);
            for (std::size_t i = 0; i < width; ++i) {
                const int x = rows[start + i];
                const int a = i > 0 ? rows[start + i - 1] : 0;
                const int b = start > 0 ? rows[start - width + i] : 0;
                const int c = (i > 0 && start > 0) ? rows[start - width + i - 1] : 0;
                int predictor = 0;
                if (filter == 1) predictor = a;
                if (filter == 2) predictor = b;
                if (filter == 3) predictor = (a + b) / 2;
                if (filter == 4) {
                    const int p = a + b - c;
                    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                    predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                }
                out.push_back(static_cast<std::uint8_t>(x - predictor));
            }
        }
        return out;
    }

private:
    std::string m_text;
    std::map<int, std::size_t> m_offsets;
};

// A stand-in for an image: a stream object whose dictionary-to-data range is what gets replaced.
std::string imageObject(std::size_t dataLength) {
    return "<< /Type /XObject /Subtype /Image /Length " + std::to_string(dataLength) + " >>\nstream\n" +
           std::string(dataLength, 'J') + "\nendstream";
}

// The range [the "<<", end of data) of the image object at `objectOffset`, replaced by `newLength` bytes.
Edit replaceImage(const Bytes& pdf, std::size_t objectOffset, std::size_t newLength) {
    const std::string text(pdf.begin(), pdf.end());
    const std::size_t open = text.find("<<", objectOffset);
    const std::size_t end = text.find("\nendstream", objectOffset);
    const std::string head = "<< /Type /XObject /Subtype /Image /Length " + std::to_string(newLength) + " >>stream\r\n";
    std::string bytes = head;
    bytes.resize(std::max(head.size(), newLength + head.size()), 'K');
    return {{static_cast<std::int64_t>(open), static_cast<std::int64_t>(end), static_cast<std::int64_t>(bytes.size())},
            bytes};
}

struct Applied {
    XrefCorrection correction;
    std::string output;
};

Applied applyWithCorrection(const Bytes& pdf, std::vector<Edit> images) {
    std::vector<ReplacedRange> ranges;
    for (const Edit& edit : images) ranges.push_back(edit.range);
    Applied applied;
    applied.correction = planXrefCorrection(pdf, ranges);
    for (const ByteSplice& patch : applied.correction.patches) images.push_back({patch.range(), patch.bytes});
    const Bytes out = applyEdits(pdf, std::move(images));
    applied.output.assign(out.begin(), out.end());
    return applied;
}

bool isDigits(const std::string& text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (text[at + i] < '0' || text[at + i] > '9') return false;
    }
    return true;
}

// Every in-use entry of every classic table in `pdf`, read line by line after each "xref".
std::vector<std::pair<int, std::size_t>> classicEntries(const std::string& pdf) {
    std::vector<std::pair<int, std::size_t>> entries;
    for (std::size_t at = 0; (at = pdf.find("\nxref\n", at)) != std::string::npos;) {
        at += 6;
        while (pdf.compare(at, 7, "trailer") != 0) {
            const std::size_t space = pdf.find(' ', at);
            const std::size_t eol = pdf.find('\n', at);
            int number = std::stoi(pdf.substr(at, space - at));
            const int count = std::stoi(pdf.substr(space + 1, eol - space - 1));
            at = eol + 1;
            for (int i = 0; i < count; ++i, ++number, at += 20) {
                EXPECT_TRUE(isDigits(pdf, at, 10) && pdf.compare(at + 18, 2, "\r\n") == 0) << "entry at " << at;
                if (pdf[at + 17] == 'n') entries.emplace_back(number, std::stoull(pdf.substr(at, 10)));
            }
        }
    }
    return entries;
}

// The integers after `key` ("/W [") up to the next "]" or ">".
std::vector<std::int64_t> numbersAfter(const std::string& pdf, const std::string& key) {
    std::vector<std::int64_t> numbers;
    std::size_t at = pdf.find(key);
    EXPECT_NE(at, std::string::npos) << key;
    if (at == std::string::npos) return numbers;
    at += key.size();
    while (at < pdf.size() && pdf[at] != ']' && pdf[at] != '>' && pdf[at] != '/') {
        if (isDigits(pdf, at, 1)) {
            std::size_t end = at;
            while (isDigits(pdf, end, 1)) ++end;
            numbers.push_back(std::stoll(pdf.substr(at, end - at)));
            at = end;
        } else {
            ++at;
        }
    }
    return numbers;
}

void expectObjectsAt(const std::string& pdf, const std::vector<std::pair<int, std::size_t>>& entries) {
    for (const auto& [number, offset] : entries) {
        const std::string header = std::to_string(number) + " 0 obj";
        EXPECT_EQ(pdf.compare(offset, header.size(), header), 0) << "object " << number << " at " << offset;
    }
}

std::size_t lastStartxref(const std::string& pdf) {
    return std::stoull(pdf.substr(pdf.rfind("startxref") + 9));
}

TEST(XrefCorrection, EntriesBeforeBetweenAndAfterImagesMove) {
    PdfWriter writer;
    writer.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    writer.object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    const std::size_t first = writer.object(3, imageObject(500));
    writer.object(4, "<< /Between true >>");
    const std::size_t second = writer.object(5, imageObject(800));
    writer.object(6, "<< /After true >>");
    const std::size_t xref = writer.classicSection({1, 2, 3, 4, 5, 6}, "");
    writer.startxref(xref);
    const Bytes pdf = writer.bytes();

    const Applied applied = applyWithCorrection(pdf, {replaceImage(pdf, first, 1700), replaceImage(pdf, second, 90)});
    EXPECT_TRUE(applied.correction.warnings.empty());
    const auto before = classicEntries(std::string(pdf.begin(), pdf.end()));
    const auto after = classicEntries(applied.output);
    ASSERT_EQ(after.size(), 6u);
    expectObjectsAt(applied.output, after);
    EXPECT_EQ(after[0], before[0]);  // before the first image: unchanged
    EXPECT_EQ(after[2], before[2]);  // the image's own object begins before its dictionary
    EXPECT_NE(after[3], before[3]);
    EXPECT_EQ(applied.output.compare(lastStartxref(applied.output), 4, "xref"), 0);
}

TEST(XrefCorrection, StartxrefGrowingADigitStillPointsAtTheTable) {
    PdfWriter writer;
    writer.object(1, "<< /Type /Catalog >>");
    const std::size_t image = writer.object(2, imageObject(100));
    writer.append(std::string(9990 - 200 - writer.size(), '\n'));  // the table will start near 9800
    const std::size_t xref = writer.classicSection({1, 2}, "");
    ASSERT_LT(xref, 10000u);
    writer.startxref(xref);
    const Bytes pdf = writer.bytes();

    const Applied applied = applyWithCorrection(pdf, {replaceImage(pdf, image, 500)});
    const std::size_t moved = lastStartxref(applied.output);
    ASSERT_GE(moved, 10000u);
    EXPECT_EQ(applied.output.compare(moved, 4, "xref"), 0);
    EXPECT_EQ(applied.output.substr(applied.output.size() - 6), "%%EOF\n");
}

TEST(XrefCorrection, ShrinkingNumberKeepsItsWidthWithLeadingZeros) {
    PdfWriter writer;
    writer.object(1, "<< /Type /Catalog >>");
    const std::size_t image = writer.object(2, imageObject(300));
    writer.append(std::string(10020 - writer.size(), '\n'));
    const std::size_t xref = writer.classicSection({1, 2}, "");
    writer.startxref(xref);
    const Bytes pdf = writer.bytes();

    const Edit edit = replaceImage(pdf, image, 10);
    const Applied applied = applyWithCorrection(pdf, {edit});
    // Only the image changed length.
    ASSERT_EQ(static_cast<std::int64_t>(applied.output.size()),
              static_cast<std::int64_t>(pdf.size()) - (edit.range.inputEnd - edit.range.inputBegin) + edit.range.outputLength);
    const std::size_t at = applied.output.rfind("startxref\n") + 10;
    EXPECT_EQ(applied.output[at], '0');
    EXPECT_EQ(applied.output.compare(lastStartxref(applied.output), 4, "xref"), 0);
}

TEST(XrefCorrection, IncrementalUpdateChainIsFollowedAndEveryStartxrefMoves) {
    PdfWriter writer;
    writer.object(1, "<< /Type /Catalog >>");
    const std::size_t image = writer.object(2, imageObject(400));
    const std::size_t firstXref = writer.classicSection({1, 2}, "");
    writer.startxref(firstXref);
    writer.object(3, "<< /Update 1 >>");
    const std::size_t secondXref = writer.classicSection({3}, " /Prev " + std::to_string(firstXref));
    writer.startxref(secondXref);
    const Bytes pdf = writer.bytes();

    const Applied applied = applyWithCorrection(pdf, {replaceImage(pdf, image, 2000)});
    const auto entries = classicEntries(applied.output);
    ASSERT_EQ(entries.size(), 3u);
    expectObjectsAt(applied.output, entries);
    const std::size_t second = lastStartxref(applied.output);
    EXPECT_EQ(applied.output.compare(second, 4, "xref"), 0);
    const std::size_t prev = std::stoull(applied.output.substr(applied.output.find("/Prev ") + 6));
    EXPECT_EQ(applied.output.compare(prev, 4, "xref"), 0);
    const std::size_t firstStartxref = std::stoull(applied.output.substr(applied.output.find("startxref") + 9));
    EXPECT_EQ(firstStartxref, prev);
}

// The decoded rows of the cross-reference stream in `pdf`, read with zlib and a plain PNG unfilter.
struct DecodedStream {
    std::vector<std::int64_t> widths;
    std::int64_t columns = 0;
    std::vector<std::vector<std::int64_t>> rows;
};

DecodedStream decodeXrefStream(const std::string& pdf) {
    DecodedStream decoded;
    decoded.widths = numbersAfter(pdf, "/W [");
    EXPECT_EQ(decoded.widths.size(), 3u);
    decoded.columns = numbersAfter(pdf, "/Columns ").at(0);
    const std::size_t begin = pdf.find("stream\r\n", pdf.find("/Type /XRef")) + 8;
    const auto length = static_cast<std::size_t>(numbersAfter(pdf.substr(pdf.find("/Type /XRef")), "/Length ").at(0));
    std::vector<std::uint8_t> plain(1 << 20);
    uLongf size = plain.size();
    EXPECT_EQ(uncompress(plain.data(), &size, reinterpret_cast<const Bytef*>(pdf.data() + begin), length), Z_OK);
    plain.resize(size);
    const auto width = static_cast<std::size_t>(decoded.columns);
    std::vector<std::uint8_t> previous(width, 0);
    for (std::size_t start = 0; start + width < plain.size() + 1; start += width + 1) {
        std::vector<std::uint8_t> row(width);
        for (std::size_t i = 0; i < width; ++i) {
            const int a = i > 0 ? row[i - 1] : 0, b = previous[i], c = i > 0 ? previous[i - 1] : 0;
            int p = 0;
            switch (plain[start]) {
                case 1: p = a; break;
                case 2: p = b; break;
                case 3: p = (a + b) / 2; break;
                case 4: {
                    const int e = a + b - c, pa = std::abs(e - a), pb = std::abs(e - b), pc = std::abs(e - c);
                    p = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                    break;
                }
                default: break;
            }
            row[i] = static_cast<std::uint8_t>(plain[start + 1 + i] + p);
        }
        std::vector<std::int64_t> fields;
        std::size_t at = 0;
        for (std::int64_t w : decoded.widths) {
            std::int64_t value = 0;
            for (std::int64_t k = 0; k < w; ++k) value = value << 8 | row[at++];
            fields.push_back(value);
        }
        decoded.rows.push_back(fields);
        previous = row;
    }
    return decoded;
}

class XrefStreamPredictor : public ::testing::TestWithParam<std::uint8_t> {};

TEST_P(XrefStreamPredictor, TypeOneEntriesMoveWhateverFilterTheRowsUse) {
    PdfWriter writer;
    writer.object(1, "<< /Type /Catalog >>");
    const std::size_t image = writer.object(2, imageObject(600));
    writer.object(3, "<< /After true >>");
    const std::size_t xref = writer.xrefStream(4, 2, GetParam(), "");
    writer.startxref(xref);
    const Bytes pdf = writer.bytes();

    const Applied applied = applyWithCorrection(pdf, {replaceImage(pdf, image, 1600)});
    EXPECT_TRUE(applied.correction.warnings.empty());
    const DecodedStream stream = decodeXrefStream(applied.output);
    ASSERT_EQ(stream.rows.size(), 5u);
    EXPECT_EQ(stream.rows[0][0], 0);  // the free head stays free
    for (int n = 1; n <= 4; ++n) {
        ASSERT_EQ(stream.rows[static_cast<std::size_t>(n)][0], 1);
        const auto offset = static_cast<std::size_t>(stream.rows[static_cast<std::size_t>(n)][1]);
        EXPECT_EQ(applied.output.compare(offset, std::to_string(n).size() + 6, std::to_string(n) + " 0 obj"), 0)
            << "object " << n;
    }
    EXPECT_EQ(applied.output.compare(lastStartxref(applied.output), 5, "4 0 o"), 0);
}

INSTANTIATE_TEST_SUITE_P(PngFilters, XrefStreamPredictor, ::testing::Values(0, 1, 2, 3, 4));

TEST(XrefCorrection, OffsetFieldWidensWhenAnOffsetPassesItsBytes) {
    PdfWriter writer;
    writer.object(1, "<< /Type /Catalog >>");
    const std::size_t image = writer.object(2, imageObject(1000));
    writer.object(3, "<< /After true >>");
    const std::size_t xref = writer.xrefStream(4, 2, 2, " /Info 3 0 R");
    writer.startxref(xref);
    const Bytes pdf = writer.bytes();

    const Applied applied = applyWithCorrection(pdf, {replaceImage(pdf, image, 70000)});
    const DecodedStream stream = decodeXrefStream(applied.output);
    EXPECT_EQ(stream.widths, (std::vector<std::int64_t>{1, 3, 1}));
    EXPECT_EQ(stream.columns, 5);
    ASSERT_EQ(stream.rows.size(), 5u);
    const auto offset = static_cast<std::size_t>(stream.rows[3][1]);
    EXPECT_GT(offset, 65535u);
    EXPECT_EQ(applied.output.compare(offset, 7, "3 0 obj"), 0);
}

TEST(XrefCorrection, DamagedDataGivesAWarningAndNoPatches) {
    PdfWriter writer;
    writer.object(1, "<< /Type /Catalog >>");
    const std::size_t image = writer.object(2, imageObject(100));
    const std::size_t xref = writer.classicSection({1, 2}, "");
    writer.startxref(xref + 3);  // points into the table
    const Bytes pdf = writer.bytes();
    const Edit edit = replaceImage(pdf, image, 300);
    const XrefCorrection correction = planXrefCorrection(pdf, std::vector<ReplacedRange>{edit.range});
    EXPECT_TRUE(correction.patches.empty());
    ASSERT_EQ(correction.warnings.size(), 1u);
    EXPECT_NE(correction.warnings[0].find("startxref"), std::string::npos) << correction.warnings[0];

    Bytes noStartxref = toBytes(std::string(pdf.begin(), pdf.begin() + static_cast<std::ptrdiff_t>(xref)));
    const XrefCorrection missing = planXrefCorrection(noStartxref, std::vector<ReplacedRange>{edit.range});
    EXPECT_TRUE(missing.patches.empty());
    ASSERT_EQ(missing.warnings.size(), 1u);
    EXPECT_NE(missing.warnings[0].find("no startxref"), std::string::npos);
}

TEST(XrefCorrection, DamagedStreamDataGivesAWarning) {
    PdfWriter writer;
    writer.object(1, "<< /Type /Catalog >>");
    const std::size_t image = writer.object(2, imageObject(100));
    const std::size_t xref = writer.xrefStream(3, 2, 2, "");
    writer.startxref(xref);
    Bytes pdf = writer.bytes();
    const std::string text(pdf.begin(), pdf.end());
    pdf[text.find("stream\r\n", xref) + 10] ^= 0x5A;  // inside the zlib data
    const Edit edit = replaceImage(pdf, image, 300);
    const XrefCorrection correction = planXrefCorrection(pdf, std::vector<ReplacedRange>{edit.range});
    EXPECT_TRUE(correction.patches.empty());
    ASSERT_EQ(correction.warnings.size(), 1u);
    EXPECT_NE(correction.warnings[0].find("byte " + std::to_string(xref)), std::string::npos) << correction.warnings[0];
}

TEST(XrefCorrection, SignatureIsReportedAndTheTableStillCorrected) {
    PdfWriter writer;
    writer.object(1, "<< /Type /Catalog >>");
    const std::size_t image = writer.object(2, imageObject(100));
    writer.object(3, "<< /Type /Sig /ByteRange [0 10 20 30] /Contents <00> >>");
    const std::size_t xref = writer.classicSection({1, 2, 3}, "");
    writer.startxref(xref);
    const Bytes pdf = writer.bytes();
    const Applied applied = applyWithCorrection(pdf, {replaceImage(pdf, image, 300)});
    EXPECT_TRUE(applied.correction.hasSignature);
    ASSERT_EQ(applied.correction.warnings.size(), 1u);
    EXPECT_NE(applied.correction.warnings[0].find("signature"), std::string::npos);
    expectObjectsAt(applied.output, classicEntries(applied.output));
}

TEST(XrefCorrection, ImagesOfUnchangedLengthNeedNoPatch) {
    PdfWriter writer;
    writer.object(1, "<< /Type /Catalog >>");
    const std::size_t image = writer.object(2, imageObject(100));
    const std::size_t xref = writer.classicSection({1, 2}, "");
    writer.startxref(xref);
    const Bytes pdf = writer.bytes();
    Edit edit = replaceImage(pdf, image, 0);
    edit.range.outputLength = edit.range.inputEnd - edit.range.inputBegin;
    const XrefCorrection correction = planXrefCorrection(pdf, std::vector<ReplacedRange>{edit.range});
    EXPECT_TRUE(correction.patches.empty());
    EXPECT_TRUE(correction.warnings.empty());
}

TEST(XrefCorrection, PatchesAreSortedAndLieOutsideTheImages) {
    PdfWriter writer;
    writer.object(1, "<< /Type /Catalog >>");
    const std::size_t a = writer.object(2, imageObject(100));
    const std::size_t b = writer.object(3, imageObject(200));
    const std::size_t xref = writer.xrefStream(4, 2, 2, "");
    writer.startxref(xref);
    const Bytes pdf = writer.bytes();
    const std::vector<ReplacedRange> ranges{replaceImage(pdf, a, 50).range, replaceImage(pdf, b, 900).range};
    const XrefCorrection correction = planXrefCorrection(pdf, ranges);
    ASSERT_FALSE(correction.patches.empty());
    for (std::size_t i = 0; i < correction.patches.size(); ++i) {
        const ByteSplice& patch = correction.patches[i];
        if (i > 0) {
            EXPECT_GE(patch.inputBegin, correction.patches[i - 1].inputEnd);
        }
        for (const ReplacedRange& range : ranges) {
            EXPECT_TRUE(patch.inputEnd <= range.inputBegin || patch.inputBegin >= range.inputEnd);
        }
    }
}

}  // namespace
}  // namespace pagewash::test

namespace pagewash::test {
namespace {

// What must hold for any input, damaged or not.
void expectSoundPlan(const XrefCorrection& correction, const std::vector<ReplacedRange>& images, std::size_t size) {
    for (std::size_t i = 0; i < correction.patches.size(); ++i) {
        const ByteSplice& patch = correction.patches[i];
        ASSERT_LE(patch.inputBegin, patch.inputEnd);
        ASSERT_LE(patch.inputEnd, static_cast<std::int64_t>(size));
        if (i > 0) {
            ASSERT_GE(patch.inputBegin, correction.patches[i - 1].inputEnd);
        }
        for (const ReplacedRange& range : images) {
            ASSERT_TRUE(patch.inputEnd <= range.inputBegin || patch.inputBegin >= range.inputEnd);
        }
    }
    if (correction.patches.empty()) {
        // Nothing corrected although an image changed length: the reason is given.
        ASSERT_FALSE(correction.warnings.empty());
    }
}

TEST(XrefCorrectionDamage, EveryDamagedByteOfTheCrossReferenceDataIsSurvived) {
    PdfWriter writer;
    writer.object(1, "<< /Type /Catalog >>");
    const std::size_t image = writer.object(2, imageObject(300));
    const std::size_t firstXref = writer.classicSection({1, 2}, "");
    writer.startxref(firstXref);
    writer.object(3, "<< /Update 1 >>");
    const std::size_t stream = writer.xrefStream(4, 2, 4, " /Prev " + std::to_string(firstXref));
    writer.startxref(stream);
    const Bytes pdf = writer.bytes();
    const std::vector<ReplacedRange> images{replaceImage(pdf, image, 900).range};
    const std::size_t damageFrom = static_cast<std::size_t>(images[0].inputEnd);
    for (std::size_t at = damageFrom; at < pdf.size(); ++at) {
        for (const std::uint8_t value : {std::uint8_t{'0'}, std::uint8_t{'9'}, std::uint8_t{' '}, std::uint8_t{0xFF}}) {
            Bytes damaged = pdf;
            damaged[at] = value;
            expectSoundPlan(planXrefCorrection(damaged, images), images, damaged.size());
            if (HasFatalFailure()) {
                FAIL() << "byte " << at << " set to " << int{value};
            }
        }
        const Bytes cut(pdf.begin(), pdf.begin() + static_cast<std::ptrdiff_t>(at));
        expectSoundPlan(planXrefCorrection(cut, images), images, cut.size());
        if (HasFatalFailure()) {
            FAIL() << "file cut at " << at;
        }
    }
}

}  // namespace
}  // namespace pagewash::test

namespace pagewash::test {
namespace {

TEST(XrefCorrection, HybridFileMovesTheTableTheStreamAndXRefStm) {
    // A classic table for objects 1, 2 and 4 whose trailer names, by /XRefStm, a cross-reference
    // stream (object 4) that lists object 3 as well, as writers of hybrid files do.
    PdfWriter writer;
    writer.object(1, "<< /Type /Catalog >>");
    const std::size_t image = writer.object(2, imageObject(500));
    writer.object(3, "<< /OnlyInTheStream true >>");
    const std::size_t stream = writer.xrefStream(4, 2, 2, "");
    const std::size_t xref = writer.classicSection({1, 2, 4}, " /XRefStm " + std::to_string(stream));
    writer.startxref(xref);
    const Bytes pdf = writer.bytes();

    const Applied applied = applyWithCorrection(pdf, {replaceImage(pdf, image, 3000)});
    EXPECT_TRUE(applied.correction.warnings.empty());
    expectObjectsAt(applied.output, classicEntries(applied.output));
    const std::size_t xrefStm = std::stoull(applied.output.substr(applied.output.find("/XRefStm ") + 9));
    EXPECT_EQ(applied.output.compare(xrefStm, 7, "4 0 obj"), 0);
    const DecodedStream decoded = decodeXrefStream(applied.output);
    ASSERT_EQ(decoded.rows.size(), 5u);
    const auto third = static_cast<std::size_t>(decoded.rows[3][1]);
    EXPECT_EQ(applied.output.compare(third, 7, "3 0 obj"), 0);
    EXPECT_EQ(applied.output.compare(lastStartxref(applied.output), 4, "xref"), 0);
}

}  // namespace
}  // namespace pagewash::test
