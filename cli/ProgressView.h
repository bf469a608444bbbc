#pragma once
// The upgrade's progress bar on a terminal line, or plain percentages where the output is not a
// terminal (a log file, a pipe). It follows the bar position 0-255 that the upgrade sets.

#include <cstdio>

namespace kestrun::cli {

class ProgressView {
public:
    /// Draws on `out`; `terminal` selects the live bar redrawn in place.
    ProgressView(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

    /// Follows a new bar position (0-255). A move back to 0 ends the current bar and leaves its
    /// last state on screen; the next move above 0 starts a new one.
    void setPosition(int position);
    /// Ends the bar line, if one is being drawn, so that ordinary lines can follow.
    void finishLine();

    /// Width of the terminal bar in characters, between its brackets.
    static constexpr int BarWidth = 40;

private:
    std::FILE* out_;
    bool terminal_;
    bool drawing_ = false; ///< a terminal bar line is open
    int shownPercent_ = -1;
    int shownFill_ = -1;
};

/// The percentage a bar position stands for (255 is 100 %).
int positionPercent(int position);

} // namespace kestrun::cli
