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

ExitCode withReceivedRecord(const CliOptions& options, const Console& console,
                            const std::function<ExitCode(ControllerSession&)>& then) {
    std::string problem;
    const std::unique_ptr<Connection> connection = Connection::open(options, problem);
    if (!connection) {
        return connectionProblem(problem, console);
    }
    ControllerSession controller(*connection, options, console);
    if (const std::optional<ExitCode> failed = controller.get()) {
        return *failed;
    }
    return then(controller);
}

} // namespace kestrun::cli
