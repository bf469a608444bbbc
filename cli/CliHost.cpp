#include "cli/CliHost.h"

#include "link/LinkEngine.h"

namespace kestrun::cli {

CliHost::CliHost(std::FILE* out, bool terminal, SettingsRecord& record,
                 std::function<int()> columns)
    : out_(out), progress_(out, terminal, std::move(columns)), record_(record),
      statusText_(LinkText::StatusIdle), connectionText_(LinkText::Disconnected) {}

void CliHost::printLine(const std::string& text) {
    progress_.finishLine();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void CliHost::setStatusText(const std::string& text) {
    statusText_ = text;
    // "---" is the window's idle status line: nothing to tell.
    if (!text.empty() && text != LinkText::StatusIdle) {
        printLine(text);
    }
}

void CliHost::setUpgradeStatusText(const std::string& text) {
    if (!text.empty()) {
        printLine(text);
    }
}

void CliHost::setConnectionText(const std::string& text) {
    const bool changed = text != connectionText_;
    connectionText_ = text;
    if (announceConnection_ && changed) {
        printLine(text);
    }
}

void CliHost::setUpgradeProgress(int position) {
    progress_.setPosition(position);
}

void CliHost::setUpgradeFileText(const std::string& text) {
    // The window shows the chosen file's name in its box; here the command line already names it.
    (void)text;
}

void CliHost::showMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
    (void)icon;
    // A box that carries the application's name as its caption says nothing more with it.
    if (caption.empty() || caption == LinkText::AppName) {
        printLine(text);
    } else {
        printLine(caption + ": " + text);
    }
}

void CliHost::recordToControls() {
    controls_ = shownFromRecord(record_);
}

void CliHost::controlsToRecord() {
    record_ = recordFromShown(controls_);
}

void CliHost::postUpgradeFinished() {
    upgradeFinished_ = true;
}

} // namespace kestrun::cli
