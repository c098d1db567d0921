#include "engine/batch/pdf_file_job.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "engine/batch/batch_messages.h"
#include "engine/batch/edited_output.h"
#include "engine/batch/image_search.h"
#include "engine/batch/image_workers.h"
#include "engine/batch/mixed_update.h"
#include "engine/images/bilevel_dictionary.h"
#include "engine/images/edited_pdf_writer.h"
#include "engine/images/image_uses.h"
#include "engine/images/mixed_objects.h"
#include "engine/images/temp_images.h"
#include "engine/xref/linearization.h"
#include "engine/xref/update_section.h"
#include "engine/xref/xref_correction.h"
#include "imaging/image_worker.h"
#include "platform/paths.h"

namespace pagewash {

namespace {

std::string describeFileFailure(const CFileException& error) {
    std::string text = error.what();
    const std::string cause = error.cause();
    if (!cause.empty() && text.find(cause) == std::string::npos) text += " (" + cause + ")";
    return text;
}

// "Creating the output" is creating its temporary file: on failure the user is told and, after OK, it
// is tried exactly once more, unless trying again cannot help (a name too long, no permission, a
// read-only file system). Leaves `output` empty when that fails too (`failure` then says why). The output
// takes the input's permissions, as a copy made by cp would.
void createOutput(const std::string& outputPath, platform::Permissions inputPermissions,
                  BatchFrontEnd& frontEnd, std::optional<PendingOutput>& output, std::string& failure) {
    const platform::Permissions permissions = platform::copyPermissions(inputPermissions);
    try {
        output.emplace(outputPath, permissions);
        return;
    } catch (const CFileException& error) {
        if (platform::retryCannotHelp(error.error())) {
            failure = describeFileFailure(error);
            return;
        }
        frontEnd.outputNotCreated(outputPath, error.cause());
    }
    try {
        output.emplace(outputPath, permissions);
    } catch (const CFileException& error) {
        failure = describeFileFailure(error);
    }
}

// createOutput, with report.reason set when the second try fails too. Returns whether `output` holds it.
bool createOutputOrRefuse(const std::string& path, const std::string& outputPath,
                          platform::Permissions inputPermissions, RunContext& run,
                          std::optional<PendingOutput>& output, FileReport& report) {
    std::string failure;
    createOutput(outputPath, inputPermissions, run.frontEnd, output, failure);
    if (!output) report.reason = path + ": the output " + outputPath + " cannot be created: " + failure;
    return output.has_value();
}

// "image 3 (65500 x 65500) needs 12.9 GB, more than the 11.7 GB limit; left as it is"
std::string overBudgetWarning(int imageNumber, const ImageOutcome& outcome, std::uint64_t budget) {
    return "image " + std::to_string(imageNumber) + " (" + std::to_string(outcome.width) + " x " +
           std::to_string(outcome.height) + ") needs " + humanSize(outcome.memoryNeed) + ", more than the " +
           humanSize(budget) + " limit; left as it is";
}

// Counts each image's outcome into `counts`.
void countImages(const std::vector<ImageOutcome>& outcomes, ImageCounts& counts) {
    counts.found = static_cast<int>(outcomes.size());
    for (const ImageOutcome& outcome : outcomes) {
        switch (outcome.result) {
            case ImageResult::Bleached:
                ++counts.bleached;
                if (outcome.keptColor) ++counts.keptInColor;
                if (outcome.bilevel) ++counts.bilevel;
                if (outcome.mixed) ++counts.mrc;
                break;
            case ImageResult::ModeNone:
                ++counts.modeNone;
                break;
            case ImageResult::OtherComponents:
                ++counts.otherComponents;
                break;
            case ImageResult::Failed:
                ++counts.failed;
                break;
            case ImageResult::Larger:
                ++counts.larger;
                break;
            case ImageResult::OverBudget:
                ++counts.overBudget;
                break;
        }
    }
}

// The input read whole and closed; nothing, with report.reason set, when it is larger than a PDF may be
// here.
std::optional<std::vector<std::uint8_t>> readInput(const std::string& path, InputFile& input,
                                                   FileReport& report) {
    const std::int64_t length = input.length();
    if (length > std::numeric_limits<std::int32_t>::max()) {
        report.reason =
            path + ": " + std::to_string(length) + " bytes is more than a PDF may have here (2 GB)";
        return std::nullopt;
    }
    std::vector<std::uint8_t> buffer = input.readAll();
    input.close();
    report.inputBytes = buffer.size();
    return buffer;
}

// One worker per image over its temporary file, all with the file's settings snapshot. Once every worker
// has ended, each record's rewrite is decided (the gray rule, a kept original, black and white, mixed
// layers) and `outcomes` hold what the workers found. `lastSection`: where an update may append the layers
// of mixed pages (nothing: no page of this file becomes mixed). Returns the number of workers that counted
// themselves done.
std::int32_t correctImages(std::span<const std::uint8_t> buffer, std::vector<ImageRecord>& records,
                           const TempImages& tempImages, const CorrectionSettings& snapshot, RunContext& run,
                           const std::optional<LastXrefSection>& lastSection,
                           std::vector<ImageOutcome>& outcomes) {
    // With --bilevel, an image may become black and white only when its dictionary can be rewritten
    // whole; its size goes in afterwards, from the worker. With --mrc, likewise a form, unless another
    // object uses the image where only samples may stand (a soft mask, a thumbnail).
    std::vector<std::optional<std::string>> bilevelDictionaries(records.size());
    std::vector<bool> mayBeMixed(records.size(), false);
    const std::vector<bool> usedAsSamples =
        lastSection ? imagesUsedAsSamples(buffer, records) : std::vector<bool>(records.size(), true);
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (run.options.bilevel)
            bilevelDictionaries[r] = bilevelEntries(buffer, records[r].dictionaryOffset, 0, 0);
        if (!usedAsSamples[r])
            mayBeMixed[r] = mixedFormEntries(buffer, records[r].dictionaryOffset, MixedNumbers{}).has_value();
    }
    const std::vector<CorrectionSettings> settingsCopies(records.size(), snapshot);
    // A worker reports the decoded component count only once its new JPEG is in place: an image left as
    // it was (unreadable, not 1 or 3 components, kept in colour or kept whole) keeps its colour space.
    std::vector<std::int32_t> decodedComponents(records.size(), 1);
    outcomes.assign(records.size(), ImageOutcome{});
    JobCompletion completion;
    std::vector<ImageJob> jobs;
    jobs.reserve(records.size());
    for (std::size_t r = 0; r < records.size(); ++r) {
        jobs.push_back(ImageJob{.tempFileName = tempImages.names()[r],
                                .componentsOut = &decodedComponents[r],
                                .settings = &settingsCopies[r],
                                .completion = &completion,
                                .gate = &run.gate,
                                .coding = run.options.coding,
                                .outcome = &outcomes[r],
                                .keepSmaller = run.options.keepSmaller,
                                .keepColorPages = run.options.keepColorPages,
                                .bilevel = bilevelDictionaries[r].has_value(),
                                .despeckle = run.options.despeckle,
                                .mrc = mayBeMixed[r]});
    }
    const std::int32_t completed =
        runImageWorkers(jobs, completion, run.frontEnd, run.options.workerStartPauseMs);
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (outcomes[r].bilevel) {
            std::optional<std::string> entries =
                bilevelEntries(buffer, records[r].dictionaryOffset, outcomes[r].width, outcomes[r].height);
            // Read once already; the input has not changed since.
            if (!entries) throw std::logic_error("a bilevel image's dictionary could no longer be read");
            decideBilevelRewrite(records[r], std::move(*entries));
        } else if (outcomes[r].mixed) {
            decideMixedRewrite(records[r], {}, outcomes[r].mixedLayout);  // its entries once numbered, below
        } else {
            decideRewrite(records[r], decodedComponents[r], outcomes[r].result == ImageResult::Larger,
                          snapshot.colorMode);
        }
    }
    // The forms name their layers' objects, which take numbers from the last /Size up.
    const std::vector<MixedNumbers> numbers = mixedNumbers(records, lastSection ? lastSection->size : 0);
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (records[r].rewrite != StreamRewrite::MakeMixed) continue;
        std::optional<std::string> entries =
            mixedFormEntries(buffer, records[r].dictionaryOffset, numbers[r]);
        if (!entries) throw std::logic_error("a mixed image's dictionary could no longer be read");
        decideMixedRewrite(records[r], std::move(*entries), outcomes[r].mixedLayout);
    }
    return completed;
}

// Where --mrc may append the layers of mixed pages: after the last cross-reference section, when it can be
// read; nothing otherwise (a warning says so when there were images to store so).
std::optional<LastXrefSection> updatableSection(std::span<const std::uint8_t> buffer, const RunContext& run,
                                                const std::function<void(const std::string&)>& warn) {
    if (!run.options.mrc) return std::nullopt;
    auto last = readLastXrefSection(buffer);
    if (last) return std::move(*last);
    warn("no image is stored as a text mask over a background: " + last.refusal().reason);
    return std::nullopt;
}

// The steps of one file, filling `report` as they go. Returns Refused with report.reason set for the
// refusals it finds itself; file-layer failures and exhausted resources arrive as exceptions, which the
// caller turns into refusals.
FileOutcome processPdf(const std::string& path, InputFile& input, RunContext& run, FileReport& report) {
    const auto warn = [&](const std::string& warning) {
        report.warnings.push_back(warning);
        run.frontEnd.reportWarning(path, warning);
    };
    const std::optional<std::vector<std::uint8_t>> buffer = readInput(path, input, report);
    if (!buffer) return FileOutcome::Refused;

    ImageSearch search = searchPdfImages(*buffer, run.options.anyJpeg);
    report.otherJpegsLeft = search.otherJpegsLeft;
    switch (search.outcome) {
        case ImageSearch::Outcome::NotPdf:
            return FileOutcome::NotPdf;
        case ImageSearch::Outcome::NoJpeg:
            return FileOutcome::NoJpeg;
        case ImageSearch::Outcome::Refused:
            report.reason = describeRefusal(path, search.refusal);
            return FileOutcome::Refused;
        case ImageSearch::Outcome::Found:
            break;
    }
    std::vector<ImageRecord>& records = search.records;

    // One snapshot per file: the blur controls stay usable during a run, so two files may differ.
    const CorrectionSettings snapshot = run.frontEnd.takeSettings();
    // The output is tried before any image is worked on, so that a folder where it cannot be created is
    // found at once; it is created for good once the images are done, so that a stopped run leaves
    // nothing beside it for longer than the writing takes.
    const std::string outputPath = editedPdfPath(path);
    std::optional<PendingOutput> output;
    if (!createOutputOrRefuse(path, outputPath, input.permissions(), run, output, report))
        return FileOutcome::Refused;
    output.reset();

    const TempImages tempImages(run.tempDir().path(), *buffer, records);
    std::vector<ImageOutcome> outcomes;
    const std::optional<LastXrefSection> lastSection = updatableSection(*buffer, run, warn);
    const std::int32_t completed =
        correctImages(*buffer, records, tempImages, snapshot, run, lastSection, outcomes);
    if (completed != static_cast<std::int32_t>(records.size())) {
        report.reason = path + ": only " + std::to_string(completed) + " of " +
                        std::to_string(records.size()) + " image workers finished";
        return FileOutcome::Refused;
    }
    countImages(outcomes, report.images);
    for (std::size_t r = 0; r < outcomes.size(); ++r) {
        const int imageNumber = static_cast<int>(r) + 1;
        for (const std::string& message : outcomes[r].messages) {
            report.warnings.push_back(imageWarning(imageNumber, message));
            run.frontEnd.reportImageMessage(path, imageNumber, message);
        }
        if (outcomes[r].result == ImageResult::OverBudget)
            warn(overBudgetWarning(imageNumber, outcomes[r], run.gate.budget()));
    }

    updateStreamLengths(records, tempImages.names());
    const XrefCorrection xref = planXrefCorrection(*buffer, plannedImageReplacements(records));
    for (const std::string& warning : xref.warnings) warn(warning);
    if (!createOutputOrRefuse(path, outputPath, input.permissions(), run, output, report))
        return FileOutcome::Refused;
    const std::vector<ReplacedRange> replaced =
        writeEditedPdf(output->file(), *buffer, records, tempImages.names(), xref.patches);
    if (report.images.mrc > 0) {
        output->file().write(mixedUpdate(*buffer, records, tempImages.names(), replaced, *lastSection));
        // The update changes the file's length, which the linearization dictionary states.
        if (linearizedAsWritten(*buffer) && std::find(report.warnings.begin(), report.warnings.end(),
                                                      kLinearizationLost) == report.warnings.end())
            warn(std::string(kLinearizationLost));
    }
    output->commit();
    report.outputPath = outputPath;
    report.unchanged = replaced.empty();
    std::error_code sizeError;
    const std::uintmax_t written = std::filesystem::file_size(platform::pathFromUtf8(outputPath), sizeError);
    report.outputBytes = sizeError ? 0 : written;
    return FileOutcome::Written;
}

}  // namespace

RunContext::RunContext(BatchFrontEnd& frontEndIn, const BatchOptions& optionsIn)
    : frontEnd(frontEndIn),
      options(optionsIn),
      gate(decodeLimit(optionsIn),
           optionsIn.memoryBudget > 0 ? optionsIn.memoryBudget : defaultMemoryBudget()) {}

RunTempDir& RunContext::tempDir() {
    if (!m_tempDir) m_tempDir.emplace(options.temporaryRoot);
    return *m_tempDir;
}

int decodeLimit(const BatchOptions& options) {
    if (options.maxConcurrentDecodes > 0) return options.maxConcurrentDecodes;
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware == 0 ? 1 : static_cast<int>(hardware);
}

FileReport processOpenedFile(int index, const std::string& path, InputFile& input, RunContext& run) {
    FileReport report;
    report.index = index;
    report.path = path;
    try {
        report.outcome = processPdf(path, input, run, report);
    } catch (const CFileException& error) {
        report.outcome = FileOutcome::Refused;
        report.reason = path + ": " + describeFileFailure(error);
    } catch (const std::bad_alloc&) {
        report.outcome = FileOutcome::Refused;
        report.reason = path + ": not enough memory to process it";
    } catch (const std::logic_error&) {
        throw;  // a fault of the program, not of the file: the run reports it (BatchRun)
    } catch (const std::exception& error) {
        // A thread or another resource of the system that could not be had.
        report.outcome = FileOutcome::Refused;
        report.reason = path + ": " + error.what();
    }
    // No file the user gets holds an image of a refused file, whatever its workers did.
    if (report.outcome == FileOutcome::Refused) report.images = {};
    return report;
}

}  // namespace pagewash
