#pragma once
// One command's dealings with the controller: the connection the command line chose, the link
// running over it, and the settings exchanges, one at a time, as the window's buttons run them.

#include "cli/CliHost.h"
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "link/SettingsExchange.h"

#include <functional>
#include <optional>

namespace kestrun::cli {

class ControllerSession {
public:
    /// Starts the link over `connection` and opens the bridge. The document's record starts as
    /// `record` and the controls show it, as in the window after opening a file holding it.
    ControllerSession(Connection& connection, const CliOptions& options, const Console& console,
                      const SettingsRecord& record = StartRecord);
    ControllerSession(const ControllerSession&) = delete;
    ControllerSession& operator=(const ControllerSession&) = delete;

    /// Get Data to its end: nothing when it ended in "Data Received", else the exit status
    /// (LinkFailed, or Interrupted after cancelling the exchange on Ctrl-C or SIGTERM).
    std::optional<ExitCode> get();
    /// Send Data of what the controls show, to its end: nothing when it ended in "Data Sent".
    std::optional<ExitCode> send();

    /// The document's record: the last one received, or the one sent.
    const SettingsRecord& record() const { return record_; }
    /// What the window's controls would show; send() sends these.
    ShownSettings& controls() { return host_.controls(); }

private:
    std::optional<ExitCode> run(void (SettingsExchange::*start)(), const char* success);

    SettingsRecord record_;
    CliHost host_;
    LinkRun link_;
    SettingsExchange exchange_;
};

/// Opens the connection the command line chose and runs Get Data over it; once that ended in
/// "Data Received", answers what `then` answers for the session. Otherwise the exit status of
/// what failed: the connection (a usage error, told on `err`) or the exchange.
ExitCode withReceivedRecord(const CliOptions& options, const Console& console,
                            const std::function<ExitCode(ControllerSession&)>& then);

} // namespace kestrun::cli
