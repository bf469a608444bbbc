#pragma once
// The fixed 624 x 782 surface inside the setup window's scroll area: it carries every control,
// paints the background, the two divider bars and the four trigger glyphs, and reports presses
// on its own surface (labels and group boxes let presses through to it).

#include <QWidget>

#include <functional>

class QPainter;

namespace kestrun::ui {

/// Draws the bars and glyphs in canvas coordinates. The picture never depends on the settings.
void paintCanvasShapes(QPainter& painter);

class KestrunCanvas : public QWidget {
public:
    explicit KestrunCanvas(QWidget* parent = nullptr);

    /// Called on a left button press on the canvas itself.
    void setSurfacePressHandler(std::function<void()> handler) {
        surfacePress_ = std::move(handler);
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::function<void()> surfacePress_;
};

} // namespace kestrun::ui
