#include "ui/preview_window.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "ui/common/preview_texts.h"
#include "ui/comparison_view.h"

namespace pagewash {

namespace {

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

// One opaque 32-bit pixel per sample triple, the form QPainter draws without converting.
QImage toQImage(const DecodedImage& image) {
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

// Converts the "before" image on the worker's thread, once while only the settings change.
class QtConversion {
  public:
    QImage convert(const std::shared_ptr<const DecodedImage>& image) {
        if (image == nullptr) return {};
        if (image != m_lastSource) {
            m_lastImage = toQImage(*image);
            m_lastSource = image;
        }
        return m_lastImage;
    }

  private:
    std::shared_ptr<const DecodedImage> m_lastSource;
    QImage m_lastImage;
};

}  // namespace

PreviewWindow::PreviewWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_worker([this, conversion = std::make_shared<QtConversion>()](PreviewResult result) {
          // Worker thread: hand the result to the UI thread, touching nothing here.
          ShownResult shown{result.generation,
                            result.index,
                            result.count,
                            {},
                            {},
                            result.bytesBefore,
                            result.bytesAfter,
                            fromUtf8(result.failure)};
          try {
              shown.before = conversion->convert(result.before);
              shown.after = result.after == result.before ? shown.before
                            : result.after != nullptr     ? toQImage(*result.after)
                                                          : QImage();
          } catch (const std::bad_alloc&) {
              shown = {result.generation,
                       result.index,
                       result.count,
                       {},
                       {},
                       0,
                       0,
                       fromUtf8(kPreviewOutOfMemoryText)};
          }
          QMetaObject::invokeMethod(
              this, [this, shown = std::move(shown)] { showResult(shown); }, Qt::QueuedConnection);
      }) {
    setWindowTitle(QString::fromUtf8(kPreviewTitle));
    resize(1000, 720);

    m_previousButton = new QPushButton(QString::fromUtf8(kPreviousImageText), this);
    m_nextButton = new QPushButton(QString::fromUtf8(kNextImageText), this);
    auto* fitButton = new QPushButton(QString::fromUtf8(kFitText), this);
    auto* actualButton = new QPushButton(QString::fromUtf8(kActualSizeText), this);
    m_imageLabel = new QLabel(this);
    m_sizeLabel = new QLabel(this);
    m_stateLabel = new QLabel(this);
    m_view = new ComparisonView(this);
    auto* beforeCaption = new QLabel(QString::fromUtf8(kBeforeCaption), this);
    auto* afterCaption = new QLabel(QString::fromUtf8(kAfterCaption), this);
    beforeCaption->setAlignment(Qt::AlignCenter);
    afterCaption->setAlignment(Qt::AlignCenter);

    auto* tools = new QHBoxLayout;
    tools->addWidget(m_previousButton);
    tools->addWidget(m_nextButton);
    tools->addWidget(m_imageLabel);
    tools->addStretch(1);
    tools->addWidget(m_sizeLabel);
    tools->addWidget(m_stateLabel);
    tools->addStretch(1);
    tools->addWidget(fitButton);
    tools->addWidget(actualButton);
    auto* captions = new QHBoxLayout;
    captions->addWidget(beforeCaption, 1);
    captions->addWidget(afterCaption, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addLayout(captions);
    layout->addWidget(m_view, 1);

    connect(m_previousButton, &QPushButton::clicked, this, &PreviewWindow::showPrevious);
    connect(m_nextButton, &QPushButton::clicked, this, &PreviewWindow::showNext);
    connect(fitButton, &QPushButton::clicked, m_view, &ComparisonView::fitToWindow);
    connect(actualButton, &QPushButton::clicked, m_view, &ComparisonView::showActualSize);
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::showFile(const QString& path, const CorrectionSettings& settings) {
    const PreviewRequest request = m_navigation.open(QFile::encodeName(path).toStdString(), settings);
    setWindowTitle(fromUtf8(previewTitle(QFileInfo(path).fileName().toStdString())));
    requestPreview(request);
}

void PreviewWindow::setSettings(const CorrectionSettings& settings) {
    if (const std::optional<PreviewRequest> request = m_navigation.changeSettings(settings))
        requestPreview(*request);
}

void PreviewWindow::showPrevious() {
    if (const std::optional<PreviewRequest> request = m_navigation.previous()) requestPreview(*request);
}

void PreviewWindow::showNext() {
    if (const std::optional<PreviewRequest> request = m_navigation.next()) requestPreview(*request);
}

QString PreviewWindow::statusText() const { return m_stateLabel->text(); }

void PreviewWindow::requestPreview(const PreviewRequest& request) {
    m_previousButton->setEnabled(false);
    m_nextButton->setEnabled(false);
    m_stateLabel->setText(QString::fromUtf8(kComputingText));
    m_worker.request(request);
}

void PreviewWindow::showResult(const ShownResult& result) {
    // Newer settings or another image are on the way.
    if (!m_navigation.accept(result.generation, result.index, result.count)) return;
    m_before = result.before;
    m_after = result.after;
    m_view->setImages(result.before, result.after);
    m_previousButton->setEnabled(m_navigation.hasPrevious());
    m_nextButton->setEnabled(m_navigation.hasNext());
    const int index = m_navigation.index();
    const int count = m_navigation.count();
    if (!result.failure.isEmpty()) {
        m_imageLabel->setText(count > 0 ? fromUtf8(imagePositionText(index, count)) : QString());
        m_sizeLabel->clear();
        m_stateLabel->setText(result.failure);
    } else {
        m_imageLabel->setText(
            fromUtf8(imagePositionText(index, count, result.after.width(), result.after.height())));
        m_sizeLabel->setText(fromUtf8(byteSizesText(result.bytesBefore, result.bytesAfter)));
        m_stateLabel->clear();
    }
    emit resultShown();
}

}  // namespace pagewash
