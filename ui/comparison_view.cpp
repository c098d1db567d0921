#include "ui/comparison_view.h"

#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <utility>

namespace pagewash {

namespace {

constexpr int kGap = 8;  // pixels between the halves

}  // namespace

ComparisonView::ComparisonView(QWidget* parent) : QAbstractScrollArea(parent) {
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
}

void ComparisonView::setImages(QImage before, QImage after) {
    m_before = std::move(before);
    m_after = std::move(after);
    updateScale();
}

void ComparisonView::fitToWindow() {
    m_fit = true;
    updateScale();
}

void ComparisonView::showActualSize() {
    m_fit = false;
    m_scale = 1.0;
    updateScale();
}

QSize ComparisonView::imageSize() const { return m_before.size().expandedTo(m_after.size()); }

int ComparisonView::halfWidth() const { return std::max(1, (viewport()->width() - kGap) / 2); }

void ComparisonView::updateScale() {
    const QSize image = imageSize();
    if (m_fit && !image.isEmpty()) {
        m_scale = std::min(static_cast<double>(halfWidth()) / image.width(),
                           static_cast<double>(viewport()->height()) / image.height());
    }
    const auto shown = [this](int pixels) { return static_cast<int>(std::ceil(pixels * m_scale)); };
    horizontalScrollBar()->setRange(0, std::max(0, shown(image.width()) - halfWidth()));
    horizontalScrollBar()->setPageStep(halfWidth());
    verticalScrollBar()->setRange(0, std::max(0, shown(image.height()) - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    viewport()->update();
}

void ComparisonView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScale();
}

void ComparisonView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, m_scale < 1.0);
    const int half = halfWidth();
    const QPointF scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const QRect halves[] = {QRect(0, 0, half, viewport()->height()),
                            QRect(half + kGap, 0, half, viewport()->height())};
    const QImage* images[] = {&m_before, &m_after};
    for (int side = 0; side < 2; ++side) {
        const QImage& image = *images[side];
        if (image.isNull()) continue;
        // Only the part of the image that the half shows is drawn, whatever the zoom.
        const QRectF shown = QRectF(QPointF(0, 0), QSizeF(image.size()) * m_scale)
                                 .translated(-scroll)
                                 .intersected(QRectF(0, 0, half, viewport()->height()));
        if (shown.isEmpty()) continue;
        const QRectF source((shown.topLeft() + scroll) / m_scale, shown.size() / m_scale);
        painter.setClipRect(halves[side]);
        painter.drawImage(shown.translated(halves[side].topLeft()), image, source);
    }
}

}  // namespace pagewash
