#include "ui/preview_worker.h"

#include <algorithm>
#include <exception>
#include <new>
#include <utility>

#include "preview/image_preview.h"

namespace pagewash {

namespace {

// One opaque 32-bit pixel per sample triple, the form QPainter draws without converting.
QImage toQImage(DecodedImage decoded) {
    const DecodedImage image = displayable(std::move(decoded));
    QImage out(image.width, image.height, QImage::Format_RGB32);
    if (out.isNull()) throw std::bad_alloc();
    const auto stride = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.components);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* in = image.pixels.get() + static_cast<std::size_t>(y) * stride;
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        if (image.components == 1) {
            for (int x = 0; x < image.width; ++x) line[x] = qRgb(in[x], in[x], in[x]);
        } else {
            for (int x = 0; x < image.width; ++x, in += 3) line[x] = qRgb(in[0], in[1], in[2]);
        }
    }
    return out;
}

QString reasonOf(const Refusal& refusal) { return QString::fromStdString(refusal.reason); }

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
            result.failure = QStringLiteral("メモリが足りません。");
        } catch (const std::exception& error) {
            result.failure = QString::fromStdString(error.what());
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
    if (m_shown.index != result.index || m_shown.before.isNull()) {
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
        m_shown.before = toQImage(std::move(before.value()));
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
    result.after = toQImage(std::move(after.value()));
    return result;
}

}  // namespace pagewash
