#include "cli/ProgressView.h"

#include <algorithm>
#include <string>

namespace kestrun::cli {

int positionPercent(int position) {
    return std::clamp(position, 0, 255) * 100 / 255;
}

void ProgressView::setPosition(int position) {
    position = std::clamp(position, 0, 255);
    if (position == 0) {
        finishLine();
        shownPercent_ = -1;
        shownFill_ = -1;
        return;
    }
    const int percent = positionPercent(position);
    // Plain percentages change only with the percentage: a fill that moves within the same
    // percent must not print that percent twice.
    const int fill = terminal_ ? position * BarWidth / 255 : 0;
    if (percent == shownPercent_ && fill == shownFill_) {
        return;
    }
    shownPercent_ = percent;
    shownFill_ = fill;
    if (!terminal_) {
        std::fprintf(out_, "%d%%\n", percent);
        std::fflush(out_);
        return;
    }
    std::string bar(static_cast<std::size_t>(BarWidth), '.');
    std::fill_n(bar.begin(), fill, '#');
    // Carriage return and erase-to-end-of-line redraw the bar in place.
    std::fprintf(out_, "\r\033[K[%s] %3d%%", bar.c_str(), percent);
    std::fflush(out_);
    drawing_ = true;
}

void ProgressView::finishLine() {
    if (drawing_) {
        std::fputc('\n', out_);
        std::fflush(out_);
        drawing_ = false;
    }
}

} // namespace kestrun::cli
