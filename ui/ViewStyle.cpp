#include "ui/ViewStyle.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

namespace kestrun::ui {
namespace {
constexpr const char* ControlFace = "MS Sans Serif";
constexpr int SubstituteStretch = 90; // per cent of the face's own width
} // namespace

QFont fontWithCellHeight(const QStringList& families, int cellHeight, QFont::Weight weight) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(weight);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    // The pixel size of a face is its em; its cell is taller by the face's leading. Step down
    // until the cell fits, so text stands inside the rectangles the layout gives it.
    for (int pixels = cellHeight; pixels > 1; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).height() <= cellHeight) {
            break;
        }
    }
    return font;
}

ViewFonts makeViewFonts() {
    const QStringList controlFaces{ControlFace, "Liberation Sans", "DejaVu Sans", "Sans Serif"};
    const QStringList valueFaces{"Arial", "Liberation Sans", "DejaVu Sans", "Sans Serif"};
    ViewFonts fonts{
        fontWithCellHeight(controlFaces, 16, QFont::Medium),
        fontWithCellHeight(controlFaces, 14, QFont::Bold),
        fontWithCellHeight(valueFaces, 20, QFont::Normal),
    };
    // The captions were measured for a narrow face; the faces standing in for it run about a
    // tenth wider, enough to cut "Canon" and "Smoothing" at their rectangles' edges.
    if (QFontInfo(fonts.control).family() != QLatin1String(ControlFace)) {
        fonts.control.setStretch(SubstituteStretch);
        fonts.caption.setStretch(SubstituteStretch);
    }
    return fonts;
}

} // namespace kestrun::ui
