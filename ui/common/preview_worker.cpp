#include "ui/common/preview_worker.h"

#include <algorithm>
#include <exception>
#include <new>
#include <utility>

#include "preview/image_preview.h"
#include "ui/common/preview_texts.h"

namespace pagewash {

namespace {

std::shared_ptr<const DecodedImage> shown(DecodedImage decoded) {
    return std::make_shared<const DecodedImage>(displayable(std::move(decoded)));
}

const std::string& reasonOf(const Refusal& refusal) { return refusal.reason; }

}  // namespace

PreviewWorker::PreviewWorker(Deliver deliver)
    : m_deliver(std::move(deliver)), m_thread([this](std::stop_token stop) { run(std::move(stop)); }) {}

PreviewWorker::~PreviewWorker() {
    m_thread.request_stop();
    m_thread.join();
}

void PreviewWorker::request(PreviewRequest next) {
    {
        std::scoped_lock lock(m_mutex);
        m_pending = std::move(next);
    }
    m_wake.notify_one();
}

void PreviewWorker::run(std::stop_token stop) {
    while (!stop.stop_requested()) {
        PreviewRequest request;
        {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait(lock, stop, [this] { return m_pending.has_value(); })) return;
            request = std::move(*m_pending);
            m_pending.reset();
        }
        PreviewResult result;
        try {
            result = compute(request);
        } catch (const std::bad_alloc&) {
            result.failure = kPreviewOutOfMemoryText;
        } catch (const std::exception& error) {
            result.failure = error.what();
        }
        result.generation = request.generation;
        if (!stop.stop_requested()) m_deliver(std::move(result));
    }
}

PreviewResult PreviewWorker::compute(const PreviewRequest& request) {
    PreviewResult result;
    if (request.reread || !m_shown.images || m_shown.path != request.path) {
        m_shown = {};
        Result<PdfImages> images = PdfImages::read(request.path);
        if (!images) {
            result.failure = reasonOf(images.refusal());
            return result;
        }
        m_shown.images = std::move(images.value());
        m_shown.path = request.path;
    }
    result.count = m_shown.images->count();
    result.index = std::clamp(request.index, 0, result.count - 1);
    if (m_shown.index != result.index || m_shown.before == nullptr) {
        m_shown.index = -1;
        Result<std::vector<std::uint8_t>> jpeg = m_shown.images->jpeg(result.index);
        if (!jpeg) {
            result.failure = reasonOf(jpeg.refusal());
            return result;
        }
        Result<DecodedImage> before = decodeJpegBytes(*jpeg);
        if (!before) {
            result.failure = reasonOf(before.refusal());
            return result;
        }
        m_shown.jpeg = std::move(jpeg.value());
        m_shown.before = shown(std::move(before.value()));
        m_shown.index = result.index;
    }
    const Result<BleachedJpeg> bleached = bleachJpeg(m_shown.jpeg, request.settings);
    if (!bleached) {
        result.failure = reasonOf(bleached.refusal());
        return result;
    }
    result.before = m_shown.before;
    result.bytesBefore = m_shown.jpeg.size();
    result.bytesAfter = bleached->bytes.size();
    if (!bleached->changed) {
        result.after = m_shown.before;
        return result;
    }
    Result<DecodedImage> after = decodeJpegBytes(bleached->bytes);
    if (!after) {
        result.failure = reasonOf(after.refusal());
        return result;
    }
    result.after = shown(std::move(after.value()));
    return result;
}

}  // namespace pagewash
