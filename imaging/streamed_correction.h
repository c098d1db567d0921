#pragma once
// The correction of one image done around its decoding and encoding instead of in separate passes over the
// whole image: each decoded scanline is turned to gray and counted for the histogram while it is still in
// the cache, and, when no blur follows, the tone table is applied to each scanline just before the encoder
// reads it. A colour page that becomes gray never exists as a whole colour image. The bytes are those of
// decoding, CorrectTones, ApplyBlur and encoding in turn. Internal to imaging/; one object per image and
// thread.

#include <cstdint>
#include <memory>

#include "imaging/histogram_counter.h"
#include "imaging/jpeg_codec.h"
#include "imaging/pixel_kernels.h"
#include "imaging/quarter_color_image.h"
#include "imaging/tone_plan.h"
#include "settings/correction_settings.h"

namespace pagewash {

// Use: decodeJpeg(file, correction); if changesImage(): finish(), then encodeJpeg(file, correction, ...).
class StreamedCorrection final : public ScanlineSink, public ScanlineSource {
  public:
    // `settings` must outlive the object.
    explicit StreamedCorrection(const CorrectionSettings& settings) : m_settings(settings) {}

    bool begin(int width, int height, int components) noexcept override;
    std::uint8_t* rowBuffer(int y) noexcept override;
    void rowDone(int y) noexcept override;

    // Before the decoding: a colour image is also reduced into `quarter` as its scanlines go by (for the
    // colour measure of --bilevel), which must outlive the decoding.
    void alsoReduceInto(QuarterColorImage* quarter) { m_quarter = quarter; }

    int decodedComponents() const { return m_components; }
    // True when begin() could not allocate the image's buffers (the decoding then failed).
    bool outOfMemory() const { return m_outOfMemory; }
    // False when the file is to stay as it was (None or unknown modes, component counts other than 1, 3).
    bool changesImage() const { return m_plan.changesImage; }

    // After a successful decoding: builds the tables and, when a blur follows, applies them and the blur to
    // the whole image. Throws std::bad_alloc when the blur's buffers cannot be allocated.
    void finish();

    // The corrected scanlines, for the encoder. REQUIRES: finish() was called.
    const std::uint8_t* row(int y) noexcept override;
    // Where row(y) leaves them: the whole image, scanline y at y * width() * outputComponents(). A
    // scanline there is corrected once row() was called for it; row() may be called in any order, once a
    // scanline. REQUIRES: finish() was called.
    const std::uint8_t* pixels() const { return m_plan.componentsOut == 3 ? m_decoded : m_gray.get(); }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int outputComponents() const { return m_plan.componentsOut; }

  private:
    std::uint8_t* grayRow(int y) const;
    std::uint8_t* colorRow(int y) const;

    const CorrectionSettings& m_settings;
    TonePlan m_plan;
    int m_width = 0;
    int m_height = 0;
    int m_components = 0;
    // The whole colour image when it stays colour, else one scanline; off the vector boundaries in its
    // storage.
    std::unique_ptr<std::uint8_t[]> m_decodedStorage;
    std::uint8_t* m_decoded = nullptr;
    std::unique_ptr<std::uint8_t[]> m_gray;  // the whole gray image (nullptr when the image stays as it was)
    HistogramCounter m_histogram{0};         // sized in begin() when the levels are automatic
    ToneTable m_table{};
    std::unique_ptr<kernels::ColorCorrection> m_colorCorrection;
    bool m_tonesPerRow = false;  // the tables are still to be applied, a scanline at a time in row()
    bool m_outOfMemory = false;
    QuarterColorImage* m_quarter = nullptr;
};

}  // namespace pagewash
