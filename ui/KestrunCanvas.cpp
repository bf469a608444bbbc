#include "ui/KestrunCanvas.h"

#include "ui/LayoutTables.h"
#include "ui/ViewStyle.h"

#include <QMouseEvent>
#include <QPainter>

#include <cstdlib>

namespace kestrun::ui {
namespace {

QRect toQRect(const EdgeRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// A one-pixel frame on the rectangle's edges, right and bottom edges exclusive.
void drawFrame(QPainter& painter, const EdgeRect& r) {
    const QRect rect = toQRect(r);
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), OutlineColor);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), OutlineColor);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), OutlineColor);
    painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), OutlineColor);
}

// A horizontal or vertical line from `from` towards `to`, leaving out the last pixel, as a pen
// moving along a path does; the next segment starts on that pixel.
void drawSegment(QPainter& painter, QPoint from, QPoint to) {
    if (from.y() == to.y()) {
        const int length = std::abs(to.x() - from.x());
        const int start = to.x() >= from.x() ? from.x() : to.x() + 1;
        painter.fillRect(QRect(start, from.y(), length, 1), OutlineColor);
    } else {
        const int length = std::abs(to.y() - from.y());
        const int start = to.y() >= from.y() ? from.y() : to.y() + 1;
        painter.fillRect(QRect(from.x(), start, 1, length), OutlineColor);
    }
}

} // namespace

void paintCanvasShapes(QPainter& painter) {
    for (const DividerBar& bar : DividerBars) {
        drawFrame(painter, bar.outer);
        painter.fillRect(toQRect(bar.inner), BarColor);
    }
    for (const TriggerGlyph& glyph : TriggerGlyphs) {
        const LayoutRect& button = ButtonTable.at(glyph.buttonRow).rect;
        const int x = button.x + button.width + GlyphGap;
        const int high = button.y + GlyphHighOffset;
        const int low = button.y + GlyphLowOffset;
        auto point = [&](const GlyphPoint& p) { return QPoint(x + p.dx, p.high ? high : low); };
        for (std::size_t i = 1; i < glyph.pointCount && i < glyph.points.size(); ++i) {
            drawSegment(painter, point(glyph.points[i - 1]), point(glyph.points[i]));
        }
    }
}

KestrunCanvas::KestrunCanvas(QWidget* parent) : QWidget(parent) {
    setFixedSize(CanvasWidth, CanvasHeight);
    setAutoFillBackground(true);
}

void KestrunCanvas::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    paintCanvasShapes(painter);
}

void KestrunCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && surfacePress_) {
        surfacePress_();
    }
    QWidget::mousePressEvent(event);
}

} // namespace kestrun::ui
