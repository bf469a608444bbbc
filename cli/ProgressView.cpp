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
    if (!terminal_) {
        if (percent > shownPercent_) {
            shownPercent_ = percent;
            std::fprintf(out_, "%d%%\n", percent);
            std::fflush(out_);
        }
        return;
    }
    // "[bar] 100%" and one column spare: a line that fills the last column wraps on some
    // terminals at the next character.
    const int columns = columns_ ? columns_() : 0;
    const int width = std::min(BarWidth, (columns > 0 ? columns : 80) - 8);
    const int fill = width >= MinBarWidth ? position * width / 255 : -1;
    if (percent == shownPercent_ && fill == shownFill_) {
        return;
    }
    shownPercent_ = percent;
    shownFill_ = fill;
    std::string bar;
    if (width >= MinBarWidth) {
        bar = "[" + std::string(static_cast<std::size_t>(fill), '#') +
              std::string(static_cast<std::size_t>(width - fill), '.') + "] ";
    }
    // Carriage return and erase-to-end-of-line redraw the bar in place.
    std::fprintf(out_, "\r\033[K%s%3d%%", bar.c_str(), percent);
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
