#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <iostream>
#include <thread>

#include "cli/terminal_text.h"
#include "platform/paths.h"
#include "settings/setting_words.h"

namespace pagewash {

namespace {

// --color-mode WORD and the like: the words in the order of their numbers (the help lists them so),
// the setting's default word until the option says otherwise.
CLI::Option* addModeOption(CLI::App& app, const ModeSetting& setting, std::string& word,
                           const std::string& help) {
    std::vector<std::string> words;
    for (const ModeChoice& choice : setting.choices) words.emplace_back(choice.word);
    word = defaultWord(setting);
    return app.add_option("--" + std::string(setting.option), word, help)
        ->check(CLI::IsMember(words))
        ->capture_default_str();
}

// --quality N and the like, within the setting's range; the default is the settings' own.
CLI::Option* addNumberOption(CLI::App& app, const NumberSetting& setting, CorrectionSettings& settings,
                             const std::string& help) {
    return app.add_option("--" + std::string(setting.option), settings.*setting.field, help)
        ->check(CLI::Range(setting.min, setting.max))
        ->capture_default_str();
}

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

constexpr int kMaxJobs = 1024;

// --preview N: a whole number from 1, said so for 0, -1 and "abc" alike.
std::string checkImageNumber(const std::string& value) {
    int number = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, number);
    if (error == std::errc() && stop == end && number >= 1) return {};
    return "must be an image number, 1 or more, not " + value;
}

// A black reference at or above the white one makes every pixel white: a mistake whichever mode is
// on, so it is refused even when the manual mode that uses the pair is not.
void checkReferences(const char* black, int blackValue, const char* white, int whiteValue) {
    if (blackValue < whiteValue) return;
    throw CLI::ValidationError(std::string(black) + " " + std::to_string(blackValue) + " must be below " +
                               white + " " + std::to_string(whiteValue));
}

bool endsWithPdf(const std::string& name) {
    if (name.size() < 4) return false;
    std::string suffix = name.substr(name.size() - 4);
    for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return suffix == ".pdf";
}

// The first argument before "--" that looks like an option but is none, and names a file (one that
// exists, or a .pdf): it was meant as a FILE.
std::optional<std::string> dashFileName(const CLI::App& app, int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--") break;
        if (argument.size() < 2 || argument[0] != '-') continue;
        if (app.get_option_no_throw(argument.substr(0, argument.find('='))) != nullptr) continue;
        std::error_code ignored;
        if (endsWithPdf(argument) || std::filesystem::exists(platform::pathFromUtf8(argument), ignored))
            return argument;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> parseByteSize(const std::string& text) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || digits > 15) return std::nullopt;
    const std::uint64_t number = std::stoull(text.substr(0, digits));
    const std::string suffix = text.substr(digits);
    std::uint64_t unit = 1;
    if (suffix.size() > 1) return std::nullopt;
    if (suffix.size() == 1) {
        switch (std::toupper(static_cast<unsigned char>(suffix[0]))) {
            case 'K':
                unit = 1'000;
                break;
            case 'M':
                unit = 1'000'000;
                break;
            case 'G':
                unit = 1'000'000'000;
                break;
            case 'T':
                unit = 1'000'000'000'000;
                break;
            default:
                return std::nullopt;
        }
    }
    if (number == 0 || number > UINT64_MAX / unit) return std::nullopt;
    return number * unit;
}

std::optional<CommandLine> parseCommandLine(int argc, const char* const* argv, int& exitStatus) {
    CommandLine line;
    std::string colorMode, grayMode, blurMode;
    CorrectionSettings& s = line.settings;
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());

    CLI::App app{
        "Bleaches scanned PDFs: every JFIF JPEG page image is corrected (white paper, yellowing removed,\n"
        "black and white set) and re-encoded; FILE.pdf gives FILE_edit.pdf beside it.",
        "pagewash-cli"};
    // Windows names files as /folder/file.pdf too: an argument with a slash is a FILE, never an option.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", PAGEWASH_VERSION, "Print the version and exit");
    app.get_formatter()->column_width(34);

    addModeOption(app, kColorModeSetting, colorMode, "Treatment of colour page images");
    addModeOption(app, kGrayModeSetting, grayMode, "Treatment of grayscale page images");
    addNumberOption(app, kColorBlackSetting, s, "Black reference of the manual colour correction");
    addNumberOption(app, kColorWhiteSetting, s, "White reference of the manual colour correction");
    addNumberOption(app, kGrayBlackSetting, s, "Black reference of the manual grayscale correction");
    addNumberOption(app, kGrayWhiteSetting, s, "White reference of the manual grayscale correction");
    addNumberOption(app, kQualitySetting, s, "JPEG quality of the corrected images");
    addModeOption(app, kBlurModeSetting, blurMode, "Blur filter applied after the tone correction");
    addNumberOption(app, kBlurStrengthSetting, s, "Blur radius");
    app.add_option(
           "--jobs", line.jobs,
           "Images decoded at once (default: the hardware threads, " + std::to_string(hardware) + " here)")
        ->check(CLI::Range(1, kMaxJobs));
    std::string memoryLimit;
    app.add_option("--memory-limit", memoryLimit,
                   "Memory for the images decoded at once, e.g. 800M or 2G (default: half the physical "
                   "memory); an image that needs more is left as it is")
        ->check([](const std::string& value) {
            return parseByteSize(value) ? std::string()
                                        : "a size such as 800M or 2G is expected, not " + value;
        });
    app.add_flag("--optimize", line.optimize,
                 "Optimized Huffman tables: smaller images, the same pixels (a little more time)");
    app.add_flag("--progressive", line.progressive,
                 "Progressive JPEG: the same pixels, usually smaller; a few very old readers show it slowly");
    app.add_flag("--any-jpeg", line.anyJpeg,
                 "Also bleach JPEG images without the JFIF signature (Exif JPEGs from cameras and phones, "
                 "Adobe and bare JPEGs)");
    app.add_flag("--keep-smaller", line.keepSmaller,
                 "An image whose new JPEG would be larger keeps its original bytes and dictionary, so no "
                 "image grows");
    app.add_flag("--keep-color-pages", line.keepColorPages,
                 "With --color-mode yellowing or gray, an image with real colour (a stamp, a coloured plate, "
                 "a photo: more than 0.05 % of its pixels coloured once the paper's tint is taken out) is "
                 "corrected as --color-mode auto and stays in colour");
    app.add_flag("--bilevel", line.bilevel,
                 "Text pages (no real colour, no photo, halftone or shaded area) become black-and-white "
                 "images coded CCITT Group 4, about ten times smaller; other images are bleached as usual");
    app.add_flag(
        "--mrc", line.mrc,
        "Pages of text over something else (tinted paper, a stamp, pen notes, a figure) keep their "
        "text as a sharp Group 4 mask in its ink colour over a small, downsampled JPEG background, "
        "several times smaller; plain text pages too, unless --bilevel takes them; photos stay JPEG");
    app.add_option("--despeckle", line.despeckle,
                   "With --bilevel or --mrc, black specks of at most N pixels are removed (0: none)")
        ->check(CLI::Range(0, kMaxDespeckle))
        ->capture_default_str();
    app.add_flag("--json", line.json,
                 "One JSON object per file on standard output (sizes, images bleached and left with the "
                 "reason, warnings, refusal); progress and messages stay on standard error");
    app.add_flag("-q,--quiet", line.quiet, "No progress display (errors are still shown)");
    // ---- the preview of one image (cli/preview_command.h)
    CLI::Option* preview =
        app.add_option(
               "--preview", line.preview,
               "Write a PNG of image N (1-based, in file order) as the bleach will leave it, and no PDF")
            ->check(CLI::Validator(checkImageNumber, "POSITIVE"));
    app.add_option("--preview-out", line.previewOut,
                   "The preview's PNG (default: FILE_preview_N.png beside FILE)")
        ->needs(preview);
    app.add_flag("--side-by-side", line.sideBySide, "The preview shows the original left of the result")
        ->needs(preview);
    // ---- end of the preview's options
    // What no single option can check (one final callback for the whole line).
    app.final_callback([&line] {
        if (line.preview > 0 && line.files.size() != 1 && !line.checkOnly)
            throw CLI::ValidationError("--preview",
                                       "takes exactly one FILE, not " + std::to_string(line.files.size()));
        const CorrectionSettings& settings = line.settings;
        checkReferences("--color-black", settings.colorBlack, "--color-white", settings.colorWhite);
        checkReferences("--gray-black", settings.grayBlack, "--gray-white", settings.grayWhite);
    });
    CLI::Option* files =
        app.add_option("FILE", line.files, "PDF files to bleach, one after the other")->required();
    // Not in the help: the options are checked and nothing else is done (scripts/bleach-library.sh
    // checks a library's options once so, before any job). Flag callbacks run before the check of
    // required options.
    app.add_flag_callback("--check-options",
                          [&line, files] {
                              line.checkOnly = true;
                              files->required(false);
                          })
        ->group("");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        exitStatus = app.exit(e);
        return std::nullopt;
    } catch (const CLI::CallForVersion& e) {
        exitStatus = app.exit(e);
        return std::nullopt;
    } catch (const CLI::ParseError& e) {
        const std::optional<std::string> dashFile = dashFileName(app, argc, argv);
        const std::string hint =
            dashFile ? "a FILE whose name begins with - goes after --: pagewash-cli [OPTIONS] -- " + *dashFile
                     : "see pagewash-cli --help";
        std::cerr << "pagewash-cli: " << terminalText(oneLine(e.what()) + " (" + hint + ")") << "\n";
        exitStatus = 2;
        return std::nullopt;
    }
    // The words were checked against the same table.
    s.colorMode = *modeNumber(kColorModeSetting, colorMode);
    s.grayMode = *modeNumber(kGrayModeSetting, grayMode);
    s.blurMode = *modeNumber(kBlurModeSetting, blurMode);
    if (!memoryLimit.empty()) line.memoryLimit = *parseByteSize(memoryLimit);
    return line;
}

}  // namespace pagewash
