#include "engine_test_support.h"

#include <cstdio>
#include <stdexcept>

namespace pagewash::test {

using testing::readBytes;

std::size_t find(const Bytes& haystack, std::string_view needle, std::size_t from) {
    const std::string_view view(reinterpret_cast<const char*>(haystack.data()), haystack.size());
    return view.find(needle, from);
}

const Bytes& colourJpeg() {
    static const Bytes jpeg = readBytes(testing::corpusPath("img/pikepdf_congress_im0.jpg"));
    return jpeg;
}

const std::optional<Bytes>& grayJpeg() {
    static const std::optional<Bytes> jpeg = []() -> std::optional<Bytes> {
        if (!testing::toolAvailable("cjpeg")) return std::nullopt;
        testing::ScratchDir dir;
        // A 40 x 24 gray gradient as a binary PGM.
        std::string pgm = "P5\n40 24\n255\n";
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 40; ++x) pgm.push_back(static_cast<char>((x * 6 + y * 3) & 0xFF));
        testing::writeText(dir.file("in.pgm"), pgm);
        const std::string command = "cjpeg -quality 80 -outfile " + testing::quote(dir.file("out.jpg")) +
                                    " " + testing::quote(dir.file("in.pgm"));
        if (testing::runCommand(command).exitStatus != 0) return std::nullopt;
        return readBytes(dir.file("out.jpg"));
    }();
    return jpeg;
}

JpegFrame jpegFrame(const Bytes& jpeg) {
    for (std::size_t at = 2; at + 9 < jpeg.size();) {
        if (jpeg[at] != 0xFF) throw std::runtime_error("not a JPEG segment");
        const std::uint8_t marker = jpeg[at + 1];
        const std::size_t length = static_cast<std::size_t>(jpeg[at + 2] << 8 | jpeg[at + 3]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            return {jpeg[at + 7] << 8 | jpeg[at + 8], jpeg[at + 5] << 8 | jpeg[at + 6], jpeg[at + 9]};
        }
        at += 2 + length;
    }
    throw std::runtime_error("no frame header");
}

namespace {

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

void append(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

}  // namespace

FixturePdf makeFixturePdf(const std::vector<FixtureImage>& images) {
    FixturePdf pdf;
    Bytes& out = pdf.bytes;
    std::vector<std::size_t> offsets(1, 0);  // object 0 is the free head
    const int count = static_cast<int>(images.size());
    // Objects: 1 catalog, 2 pages, then per image: page, content, image, length.
    auto pageObject = [](int i) { return 3 + 4 * i; };
    auto beginObject = [&](int number) {
        if (static_cast<int>(offsets.size()) <= number)
            offsets.resize(static_cast<std::size_t>(number) + 1, 0);
        offsets[static_cast<std::size_t>(number)] = out.size();
        append(out, std::to_string(number) + " 0 obj\n");
    };

    append(out, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    beginObject(1);
    append(out, "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    beginObject(2);
    std::string kids;
    for (int i = 0; i < count; ++i) kids += std::to_string(pageObject(i)) + " 0 R ";
    append(out, "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(count) + " >>\nendobj\n");

    for (int i = 0; i < count; ++i) {
        const FixtureImage& image = images[static_cast<std::size_t>(i)];
        const JpegFrame frame = jpegFrame(image.jpeg);
        const int page = pageObject(i), content = page + 1, xobject = page + 2, lengthObject = page + 3;
        beginObject(page);
        append(out, "<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 " + std::to_string(frame.width) + " " +
                        std::to_string(frame.height) + " ] /Resources << /XObject << /Im0 " +
                        std::to_string(xobject) + " 0 R >> >> /Contents " + std::to_string(content) +
                        " 0 R >>\nendobj\n");
        const std::string drawing =
            "q " + std::to_string(frame.width) + " 0 0 " + std::to_string(frame.height) + " 0 0 cm /Im0 Do Q";
        beginObject(content);
        append(out, "<< /Length " + std::to_string(drawing.size()) + " >>\nstream\n" + drawing +
                        "\nendstream\nendobj\n");

        std::string colorSpace = image.colorSpace;
        if (colorSpace.empty()) colorSpace = frame.components == 1 ? "/DeviceGray" : "/DeviceRGB";
        std::string lengthText = image.lengthText;
        if (lengthText.empty())
            lengthText = image.indirectLength ? std::to_string(lengthObject) + " 0 R"
                                              : std::to_string(image.jpeg.size());
        std::string dictionary = replaceAll(image.dictionary, "%W", std::to_string(frame.width));
        dictionary = replaceAll(dictionary, "%H", std::to_string(frame.height));
        dictionary = replaceAll(dictionary, "%CS", colorSpace);
        dictionary = replaceAll(dictionary, "%L", lengthText);

        beginObject(xobject);
        FixtureImageLayout layout;
        layout.dictionaryOffset = out.size();
        layout.closeOffset = out.size() + dictionary.rfind(">>");
        layout.lengthTokenOffset = out.size() + dictionary.find("/Length");
        append(out, dictionary);
        append(out, image.streamKeyword);
        layout.jpegOffset = out.size();
        out.insert(out.end(), image.jpeg.begin(), image.jpeg.end());
        layout.jpegEnd = out.size();
        append(out, "\nendstream\nendobj\n");
        if (image.indirectLength) {
            beginObject(lengthObject);
            append(out, std::to_string(image.jpeg.size()) + "\nendobj\n");
            layout.lengthObject = lengthObject;
        }
        pdf.images.push_back(layout);
    }

    const std::size_t xref = out.size();
    append(out, "xref\n0 " + std::to_string(offsets.size()) + "\n");
    for (std::size_t number = 0; number < offsets.size(); ++number) {
        char entry[32];
        if (number == 0 || offsets[number] == 0)
            std::snprintf(entry, sizeof entry, "%010d %05d f\r\n", 0, number == 0 ? 65535 : 0);
        else
            std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", offsets[number]);
        append(out, entry);
    }
    append(out, "trailer\n<< /Size " + std::to_string(offsets.size()) + " /Root 1 0 R >>\nstartxref\n" +
                    std::to_string(xref) + "\n%%EOF\n");
    return pdf;
}

void appendIntegerUpdate(Bytes& pdf, int number, std::int64_t value) {
    const std::string text = testing::toString(pdf);
    const std::size_t previousXref = std::stoull(text.substr(text.rfind("startxref") + 10));
    const std::size_t sizeAt = text.rfind("/Size ") + 6;
    const std::string size = text.substr(sizeAt, text.find(' ', sizeAt) - sizeAt);
    const std::size_t object = pdf.size();
    append(pdf, std::to_string(number) + " 0 obj\n" + std::to_string(value) + "\nendobj\n");
    const std::size_t xref = pdf.size();
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", object);
    append(pdf, "xref\n" + std::to_string(number) + " 1\n" + entry + "trailer\n<< /Size " + size +
                    " /Root 1 0 R /Prev " + std::to_string(previousXref) + " >>\nstartxref\n" +
                    std::to_string(xref) + "\n%%EOF\n");
}

}  // namespace pagewash::test
