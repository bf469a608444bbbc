#include "ui/ViewStyle.h"

#include <QFontMetrics>
#include <QStringList>

namespace kestrun::ui {

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
    const QStringList controlFaces{"MS Sans Serif", "Liberation Sans", "DejaVu Sans", "Sans Serif"};
    const QStringList valueFaces{"Arial", "Liberation Sans", "DejaVu Sans", "Sans Serif"};
    return ViewFonts{
        fontWithCellHeight(controlFaces, 16, QFont::Medium),
        fontWithCellHeight(controlFaces, 14, QFont::Bold),
        fontWithCellHeight(valueFaces, 20, QFont::Normal),
    };
}

} // namespace kestrun::ui
