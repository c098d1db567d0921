#include "ui/preview_window.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "ui/comparison_view.h"

namespace pagewash {

namespace {

QString grouped(std::uint64_t bytes) {
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qulonglong>(bytes));
}

}  // namespace

PreviewWindow::PreviewWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_worker([this](PreviewResult result) {
          // Worker thread: hand the result to the UI thread, touching nothing here.
          QMetaObject::invokeMethod(
              this, [this, result = std::move(result)] { showResult(result); }, Qt::QueuedConnection);
      }) {
    setWindowTitle(QStringLiteral("プレビュー"));
    resize(1000, 720);

    m_previousButton = new QPushButton(QStringLiteral("◀ 前の画像"), this);
    m_nextButton = new QPushButton(QStringLiteral("次の画像 ▶"), this);
    auto* fitButton = new QPushButton(QStringLiteral("全体表示"), this);
    auto* actualButton = new QPushButton(QStringLiteral("1 : 1"), this);
    m_imageLabel = new QLabel(this);
    m_sizeLabel = new QLabel(this);
    m_stateLabel = new QLabel(this);
    m_view = new ComparisonView(this);
    auto* beforeCaption = new QLabel(QStringLiteral("補正前"), this);
    auto* afterCaption = new QLabel(QStringLiteral("補正後"), this);
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
    m_path = path;
    m_settings = settings;
    m_count = 0;
    setWindowTitle(QStringLiteral("プレビュー - %1").arg(QFileInfo(path).fileName()));
    requestPreview(0, true);
}

void PreviewWindow::setSettings(const CorrectionSettings& settings) {
    if (settings == m_settings || m_path.isEmpty()) return;
    m_settings = settings;
    requestPreview(m_index, false);
}

void PreviewWindow::showPrevious() {
    if (m_index > 0) requestPreview(m_index - 1, false);
}

void PreviewWindow::showNext() {
    if (m_index + 1 < m_count) requestPreview(m_index + 1, false);
}

QString PreviewWindow::statusText() const { return m_stateLabel->text(); }

void PreviewWindow::requestPreview(int index, bool reread) {
    m_index = index;
    m_previousButton->setEnabled(false);
    m_nextButton->setEnabled(false);
    m_stateLabel->setText(QStringLiteral("計算中…"));
    m_worker.request({++m_generation, QFile::encodeName(m_path).toStdString(), index, m_settings, reread});
}

void PreviewWindow::showResult(const PreviewResult& result) {
    if (result.generation != m_generation) return;  // newer settings or another image are on the way
    m_shownGeneration = result.generation;
    m_index = result.index;
    m_count = result.count;
    m_before = result.before;
    m_after = result.after;
    m_view->setImages(result.before, result.after);
    m_previousButton->setEnabled(m_index > 0);
    m_nextButton->setEnabled(m_index + 1 < m_count);
    if (!result.failure.isEmpty()) {
        m_imageLabel->setText(m_count > 0 ? QStringLiteral("画像 %1 / %2").arg(m_index + 1).arg(m_count)
                                          : QString());
        m_sizeLabel->clear();
        m_stateLabel->setText(result.failure);
    } else {
        m_imageLabel->setText(QStringLiteral("画像 %1 / %2  (%3 × %4)")
                                  .arg(m_index + 1)
                                  .arg(m_count)
                                  .arg(result.after.width())
                                  .arg(result.after.height()));
        m_sizeLabel->setText(
            QStringLiteral("%1 → %2 バイト").arg(grouped(result.bytesBefore), grouped(result.bytesAfter)));
        m_stateLabel->clear();
    }
    emit resultShown();
}

}  // namespace pagewash
