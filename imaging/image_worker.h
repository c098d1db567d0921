#pragma once
// One worker thread per image: decode its temporary JPEG, correct, blur, re-encode in place, report the
// decoded component count, then count itself done under the file's completion mutex.

#include <cstdint>
#include <mutex>
#include <string>

#include "imaging/decode_gate.h"
#include "settings/correction_settings.h"

namespace pagewash {

// The completion state of the workers of one file. The batch thread locks completionMutex before it
// starts the first worker and unlocks it after the last start; each worker takes it once at its end.
struct JobCompletion {
    std::mutex completionMutex;
    std::int32_t completedJobs = 0;  // guarded by completionMutex for writes
};

// The work item of one image worker; built by the batch thread, unchanged while the worker runs.
struct ImageJob {
    std::string tempFileName;        // read and rewritten in place
    std::int32_t* componentsOut;     // the ImageRecord's componentCount; written once the new JPEG is in place
    const CorrectionSettings* settings;  // this job's own copy
    JobCompletion* completion;       // outlives the worker
    DecodeGate* gate = nullptr;      // optional; outlives the worker
};

// The JPEG round trip of one file. Never throws and never ends the process: a libjpeg error or a
// failed allocation leaves the file with the bytes it had (the library's message goes to standard error).
// The result is written to a new file beside tempFileName and renamed over it only once complete.
// componentsOut receives the decoded component count (1 or 3) only once the re-encoded file is in place;
// an image left as it was (a None mode, CMYK, any failure) leaves it untouched. The gate, when given, is held from before the file is opened until the result is in
// place.
void ProcessImageJob(const std::string& tempFileName, std::int32_t* componentsOut,
                     const CorrectionSettings& settings, DecodeGate* gate = nullptr);

// Thread procedure: ProcessImageJob, then completedJobs += 1 under completionMutex. Returns 0.
unsigned ImageWorker(ImageJob* job);

}  // namespace pagewash
