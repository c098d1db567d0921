#pragma once
// The background work of the preview window: reads the PDF, decodes the image shown and bleaches a copy
// of it with the bleach's own worker (preview/image_preview.h), one request at a time on a thread of its
// own. A request not yet started is replaced by the next one, so the latest settings win; the window
// drops any result whose generation is not its latest.
//
// Threads: request() is called on the UI thread; `deliver` is called on the worker's thread and must
// hand the result over (a queued call, a posted message) without touching a window.
// Lifetime: the destructor stops the thread, waiting for the image under way.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "imaging/jpeg_codec.h"
#include "preview/pdf_images.h"
#include "settings/correction_settings.h"

namespace pagewash {

struct PreviewRequest {
    std::uint64_t generation = 0;
    std::string path;  // the PDF, in the encoding of local file names
    int index = 0;     // 0-based; clamped to the file's images
    CorrectionSettings settings;
    bool reread = false;  // read the file again even when it is the one read last
};

struct PreviewResult {
    std::uint64_t generation = 0;
    int index = 0;  // the image shown, 0-based
    int count = 0;  // the file's JPEG images; 0 when it has none or cannot be read
    // Gray or RGB as displayable() makes them; null after a failure. Shared: the image shown stays the
    // same object while only the settings change.
    std::shared_ptr<const DecodedImage> before;
    std::shared_ptr<const DecodedImage> after;
    std::uint64_t bytesBefore = 0;
    std::uint64_t bytesAfter = 0;
    std::string failure;  // empty on success; UTF-8
};

class PreviewWorker {
  public:
    using Deliver = std::function<void(PreviewResult)>;
    explicit PreviewWorker(Deliver deliver);
    ~PreviewWorker();
    PreviewWorker(const PreviewWorker&) = delete;
    PreviewWorker& operator=(const PreviewWorker&) = delete;

    void request(PreviewRequest next);

  private:
    void run(std::stop_token stop);
    PreviewResult compute(const PreviewRequest& request);

    // What the worker keeps between requests, so that a change of settings bleaches only: the file's
    // image list and the image shown. Worker thread only.
    struct Shown {
        std::optional<PdfImages> images;
        std::string path;
        int index = -1;
        std::vector<std::uint8_t> jpeg;
        std::shared_ptr<const DecodedImage> before;
    };
    Shown m_shown;

    const Deliver m_deliver;
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::optional<PreviewRequest> m_pending;  // guarded by m_mutex
    std::jthread m_thread;                    // last: it starts once the members above exist
};

}  // namespace pagewash
