#pragma once
// A group box drawn as a plain etched frame with its caption at the top left, on the window's
// own background. The toolkit's styles shade a group box's inside; the window's frames are
// only lines, with WindowColor behind and between them.

#include <QGroupBox>

namespace kestrun::ui {

class FrameBox : public QGroupBox {
public:
    FrameBox(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace kestrun::ui
