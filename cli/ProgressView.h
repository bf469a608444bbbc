#pragma once
// The upgrade's progress bar on a terminal line, or plain percentages where the output is not a
// terminal (a log file, a pipe). It follows the bar position 0-255 that the upgrade sets.

#include <cstdio>
#include <functional>
#include <utility>

namespace kestrun::cli {

class ProgressView {
public:
    /// Draws on `out`; `terminal` selects the live bar redrawn in place, fitted to the
    /// terminal's width as `columns` tells it at each redraw (none, or 0: 80 columns).
    ProgressView(std::FILE* out, bool terminal, std::function<int()> columns = {})
        : out_(out), terminal_(terminal), columns_(std::move(columns)) {}

    /// Follows a new bar position (0-255). A move back to 0 ends the current bar and leaves its
    /// last state on screen; the next move above 0 starts a new one. Plain output prints a
    /// line only when a new highest whole percent is reached, so a bar that jumps back and
    /// forth (the erase's progress bytes) prints at most 100 lines.
    void setPosition(int position);
    /// Ends the bar line, if one is being drawn, so that ordinary lines can follow.
    void finishLine();

    /// Width of the terminal bar in characters, between its brackets, on a wide terminal. On
    /// a narrower one the bar shrinks so that its line never wraps; below MinBarWidth only the
    /// percentage is drawn.
    static constexpr int BarWidth = 40;
    static constexpr int MinBarWidth = 10;

private:
    std::FILE* out_;
    bool terminal_;
    std::function<int()> columns_;
    bool drawing_ = false; ///< a terminal bar line is open
    int shownPercent_ = -1;
    int shownFill_ = -1;
};

/// The percentage a bar position stands for (255 is 100 %).
int positionPercent(int position);

} // namespace kestrun::cli
