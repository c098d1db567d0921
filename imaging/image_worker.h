#pragma once
// One worker thread per image: decode its temporary JPEG, correct, blur, re-encode in place, report the
// decoded component count, then count itself done under the file's completion mutex.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "imaging/bilevel_despeckle.h"
#include "imaging/decode_gate.h"
#include "imaging/jpeg_codec.h"
#include "imaging/mixed_layout.h"
#include "imaging/text_page_measure.h"
#include "settings/correction_settings.h"

namespace pagewash {

// The completion state of the workers of one file. The batch thread locks completionMutex before it
// starts the first worker and unlocks it after the last start; each worker takes it once at its end.
struct JobCompletion {
    std::mutex completionMutex;
    std::int32_t completedJobs = 0;  // guarded by completionMutex for writes
};

// What became of an image.
enum class ImageResult {
    Bleached,  // corrected and re-encoded; the new JPEG (or Group 4 data: ImageOutcome::bilevel) is in place
    ModeNone,  // the settings leave it as it is (a None mode, or a mode the settings do not know)
    OtherComponents,  // neither gray nor RGB (CMYK and the like): left as it is
    Failed,           // unreadable, or its decoding or encoding failed: left as it is
    Larger,           // ImageJob::keepSmaller and the new JPEG was larger: left as it is
    OverBudget,       // needs more memory than the gate's whole budget: left as it is
};

// What a worker found out about its image, for the file's report.
struct ImageOutcome {
    ImageResult result = ImageResult::Failed;
    // ImageJob::keepColorPages found real colour in it (see color_content.h): corrected with the
    // automatic colour mode, and left in colour, instead of turned gray.
    bool keptColor = false;
    // ImageJob::bilevel found a text page: the file now holds its Group 4 data, not a JPEG.
    bool bilevel = false;
    // ImageJob::mrc stored the page as layers of mixed raster content: the file now holds them one after
    // another as `mixedLayout` says, and the writer turns the image into a form that paints them.
    bool mixed = false;
    MixedLayout mixedLayout;
    ToneMeasure tone;  // the text-page measure, when ImageJob::bilevel or ImageJob::mrc took it
    int width = 0;     // from the header; 0 when it could not be read
    int height = 0;
    std::uint64_t memoryNeed = 0;  // bytes its decoding and correction hold (decodingMemoryNeed)
    // What the worker had to say about the image, one line each, in order: libjpeg's warnings and error
    // messages, "can't open NAME" when the corrected image cannot be created, and the reason of any other
    // failure ("not enough memory for a 65000 x 65000 image"). The worker prints nothing itself: the
    // batch hands these to its front end.
    std::vector<std::string> messages;
};

// The work item of one image worker; built by the batch thread, unchanged while the worker runs.
struct ImageJob {
    std::string tempFileName;     // read and rewritten in place
    std::int32_t* componentsOut;  // the ImageRecord's componentCount; written once the new JPEG is in place
    const CorrectionSettings* settings;  // this job's own copy
    JobCompletion* completion;           // outlives the worker
    DecodeGate* gate = nullptr;          // optional; outlives the worker
    EntropyCoding coding = {};           // how the corrected image is entropy-coded
    ImageOutcome* outcome = nullptr;     // optional; written by the worker, read after it has ended
    // A new JPEG larger than the original is not put in place: the image keeps its bytes (and so its
    // dictionary).
    bool keepSmaller = false;
    // In the yellowing-removal and grayscale modes, a colour image with real colour is corrected with
    // the automatic colour mode and stays in colour; componentsOut is then left untouched, so that its
    // dictionary keeps its colour space.
    bool keepColorPages = false;
    // A text page (no real colour, no continuous tone; text_page_measure.h) is binarized and its file
    // receives the Group 4 data of its bits instead of a JPEG (componentsOut: 1). With keepSmaller, Group 4
    // data larger than the original goes the JPEG's way instead.
    bool bilevel = false;
    int despeckle = kDefaultDespeckle;  // specks of at most this many pixels are removed from such a page
    // A page that is neither a plain text page (those become Group 4 with `bilevel`, else layers too) nor
    // a photograph is split into the layers of mixed raster content (mixed_page.h) and its file receives
    // them instead of a JPEG (outcome.mixed). With keepSmaller, layers larger than the original together
    // with the objects that hold them go the JPEG's way instead.
    bool mrc = false;
};

// The JPEG round trip of one job's file. Never throws, never prints and never ends the process: a libjpeg
// error or a failed allocation leaves the file with the bytes it had (job.outcome's messages say why).
// The result is written to a new file beside tempFileName and renamed over it only once complete.
// componentsOut receives the decoded component count (1 or 3) only once the re-encoded file is in place;
// an image left as it was (a None mode, CMYK, any failure) leaves it untouched. The gate, when given, is
// held from before the file is opened until the result is in place; its budget is asked for the image's
// decodingMemoryNeed (with bilevelMemoryNeed for job.bilevel, mixedMemoryNeed for job.mrc): an image whose
// need exceeds the whole budget is not decoded and keeps its bytes (ImageResult::OverBudget). job.outcome,
// when given, receives what was found.
void ProcessImageJob(const ImageJob& job);

// The bytes an image holds in memory while it is decoded, corrected and encoded with `settings`: the
// decoded pixels, twice with a blur.
std::uint64_t decodingMemoryNeed(const JpegHeader& header, const CorrectionSettings& settings);

// Thread procedure: ProcessImageJob, then completedJobs += 1 under completionMutex. Returns 0.
unsigned ImageWorker(ImageJob* job);

}  // namespace pagewash
