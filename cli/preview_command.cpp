#include "cli/preview_command.h"

#include <string_view>
#include <utility>

#include "cli/file_summary.h"
#include "cli/terminal_text.h"
#include "engine/images/edited_pdf_writer.h"
#include "preview/image_preview.h"
#include "preview/pdf_images.h"
#include "preview/png_file.h"

namespace pagewash {

namespace {

int fail(std::FILE* err, int status, const std::string& reason) {
    std::fprintf(err, "pagewash-cli: %s\n", terminalText(reason).c_str());
    return status;
}

// True when `path` names the file `identity` says (a link to it included).
bool isSameFile(const std::string& path, const platform::FileIdentity& identity) {
    platform::FileStatus status;
    std::error_code error;
    return platform::statusOf(path, status, error) && status.identity == identity;
}

}  // namespace

std::string previewPngPath(const std::string& inputPath, int imageNumber) {
    // The edited PDF's name applies the same rule for "less its last four characters".
    constexpr std::string_view kEditSuffix = "_edit.pdf";
    std::string path = editedPdfPath(inputPath);
    path.resize(path.size() - kEditSuffix.size());
    return path + "_preview_" + std::to_string(imageNumber) + ".png";
}

std::string groupedDigits(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
    return digits;
}

int runPreview(const CommandLine& line, std::FILE* out, std::FILE* err) {
    const std::string& path = line.files.front();
    const int number = line.preview;
    const Result<PdfImages> images = PdfImages::read(path, line.anyJpeg);
    if (!images) {
        // When --any-jpeg would find images, the file holds JPEGs without JFIF only: said as the bleach
        // says it, with the option that takes them up.
        if (!line.anyJpeg)
            if (const Result<PdfImages> others = PdfImages::read(path, true); others)
                return fail(err, 1, noJfifJpegLine(path, others->count()));
        return fail(err, 1, images.refusal().reason);
    }
    const std::string pngPath = line.previewOut.empty() ? previewPngPath(path, number) : line.previewOut;
    if (isSameFile(pngPath, images->identity()))
        return fail(err, 2, pngPath + " is the input file: the PNG would replace it");
    if (number > images->count())
        return fail(err, 2,
                    path + " has " + std::to_string(images->count()) + " JPEG image" +
                        (images->count() == 1 ? "" : "s") + ": there is no image " + std::to_string(number));

    const Result<std::vector<std::uint8_t>> jpeg = images->jpeg(number - 1);
    if (!jpeg) return fail(err, 1, jpeg.refusal().reason);
    PreviewOptions options;
    options.coding = {line.optimize, line.progressive};
    options.keepSmaller = line.keepSmaller;
    options.keepColorPages = line.keepColorPages;
    options.bilevel = line.bilevel;
    options.mrc = line.mrc;
    options.despeckle = line.despeckle;
    options.memoryBudget = line.memoryLimit;
    options.decodeBefore = line.sideBySide;
    Result<ImagePreview> preview = previewJpeg(*jpeg, line.settings, options);
    if (!preview)
        return fail(err, 1, path + ": image " + std::to_string(number) + ": " + preview.refusal().reason);

    const DecodedImage after = displayable(std::move(preview->after));
    // The PNG takes the input's permissions, as the edited PDF does.
    const platform::Permissions permissions = platform::copyPermissions(images->permissions());
    const Result<Done> written =
        line.sideBySide
            ? writePng(pngPath, sideBySide(displayable(std::move(preview->before)), after), permissions)
            : writePng(pngPath, after, permissions);
    if (!written) return fail(err, 1, written.refusal().reason);
    std::fprintf(out, "image %d of %d: %d x %d, %s \u2192 %s bytes\n", number, images->count(), after.width,
                 after.height, groupedDigits(preview->bytesBefore).c_str(),
                 groupedDigits(preview->bytesAfter).c_str());
    return 0;
}

}  // namespace pagewash
