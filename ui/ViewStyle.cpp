#include "ui/ViewStyle.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

#include <utility>

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

QPalette viewPalette() {
    const QColor black(0, 0, 0);
    const QColor white(255, 255, 255);
    const std::pair<QPalette::ColorRole, QColor> roles[] = {
        {QPalette::Window, WindowColor},
        {QPalette::WindowText, black},
        {QPalette::Base, white},
        {QPalette::AlternateBase, QColor(247, 247, 247)},
        {QPalette::Text, black},
        {QPalette::PlaceholderText, QColor(0, 0, 0, 128)},
        {QPalette::Button, QColor(240, 240, 240)},
        {QPalette::ButtonText, black},
        {QPalette::BrightText, white},
        {QPalette::Light, white},
        {QPalette::Midlight, QColor(227, 227, 227)},
        {QPalette::Mid, QColor(160, 160, 160)},
        {QPalette::Dark, QColor(160, 160, 160)},
        {QPalette::Shadow, QColor(105, 105, 105)},
        {QPalette::Highlight, QColor(0, 120, 215)},
        {QPalette::HighlightedText, white},
        {QPalette::Link, QColor(0, 0, 255)},
        {QPalette::LinkVisited, QColor(128, 0, 128)},
        {QPalette::ToolTipBase, QColor(255, 255, 220)},
        {QPalette::ToolTipText, black},
    };
    QPalette palette;
    for (const auto& [role, colour] : roles) {
        palette.setColor(role, colour); // every colour group
    }
    const QColor greyed(120, 120, 120);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, greyed);
    }
    return palette;
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
