#pragma once
// The setup window's look: its colours and its three fonts.

#include <QColor>
#include <QFont>
#include <QPalette>

namespace kestrun::ui {

inline const QColor WindowColor{230, 220, 190};   ///< background of the window and its controls
inline const QColor BarColor{200, 130, 130};      ///< inside of the two divider bars
inline const QColor FileTextColor{248, 245, 242}; ///< background of UpgradeFileText
inline const QColor ValueColor{254, 252, 250};    ///< background of the numeric fields
inline const QColor OutlineColor{0, 0, 0};        ///< frames, glyphs, field text

/// The view's own palette: light, with every role fixed in every colour group, so that a dark
/// (or any other) desktop colour scheme leaves the window as it was designed.
QPalette viewPalette();

/// The three fonts the controls use. Heights are character cell heights in pixels (ascent plus
/// descent), as the layout was drawn for: a face is sized so its cell fits that height.
struct ViewFonts {
    QFont control; ///< 16 px medium: buttons, the three status lines, UpgradeFileText
    QFont caption; ///< 14 px bold: the other labels
    QFont value;   ///< 20 px normal: the nine numeric fields
};

/// Makes the three fonts. The faces the layout names are rarely installed here; a sans-serif of
/// the same cell height stands in (Liberation Sans has Arial's metrics).
ViewFonts makeViewFonts();

/// A font of `families` (first installed wins) whose cell height is at most `cellHeight` pixels.
QFont fontWithCellHeight(const QStringList& families, int cellHeight, QFont::Weight weight);

} // namespace kestrun::ui
