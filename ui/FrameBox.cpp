#include "ui/FrameBox.h"

#include "ui/ViewStyle.h"

#include <QFontMetrics>
#include <QPainter>

namespace kestrun::ui {

namespace {
// Where the caption starts, from the frame's left edge.
constexpr int CaptionIndent = 8;
// Room left and right of the caption, where the frame line is broken.
constexpr int CaptionGap = 2;
} // namespace

FrameBox::FrameBox(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

void FrameBox::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // The top line runs through the middle of the caption's cell, captioned or not.
    const int lineY = metrics.height() / 2;
    const int w = width();
    const int h = height();
    const QColor shadow = WindowColor.darker(160);
    const QColor light(255, 255, 255);
    painter.setPen(shadow);
    painter.drawRect(QRect(0, lineY, w - 2, h - lineY - 2));
    painter.setPen(light);
    painter.drawRect(QRect(1, lineY + 1, w - 2, h - lineY - 2));
    if (!title().isEmpty()) {
        const int textWidth = metrics.horizontalAdvance(title());
        const QRect gap(CaptionIndent - CaptionGap, 0, textWidth + 2 * CaptionGap,
                        metrics.height());
        painter.fillRect(gap, WindowColor);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(gap, Qt::AlignCenter, title());
    }
}

} // namespace kestrun::ui
