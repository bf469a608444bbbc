#include "cli/ControllerSession.h"

#include "cli/CliText.h"

namespace kestrun::cli {

ControllerSession::ControllerSession(Connection& connection, const CliOptions& options,
                                     const Console& console, const SettingsRecord& record)
    : record_(record), host_(console.err, console.errTerminal, record_),
      link_(connection, host_, options.verbose), exchange_(link_.engine(), record_) {
    host_.recordToControls();
    link_.connect();
}

std::optional<ExitCode> ControllerSession::get() {
    return run(&SettingsExchange::GetData, ExchangeText::DataReceived);
}

std::optional<ExitCode> ControllerSession::send() {
    return run(&SettingsExchange::SendData, ExchangeText::DataSent);
}

std::optional<ExitCode> ControllerSession::run(void (SettingsExchange::*start)(),
                                               const char* success) {
    (exchange_.*start)();
    if (link_.runUntilIdle() == TickLoop::Outcome::Interrupted) {
        link_.engine().CancelExchange();
        host_.printLine(CliText::Cancelled);
        return ExitCode::Interrupted;
    }
    if (host_.statusText() != success) {
        return ExitCode::LinkFailed;
    }
    return std::nullopt;
}

} // namespace kestrun::cli
