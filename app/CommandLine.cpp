#include "app/CommandLine.h"

namespace kestrun {

namespace {

/// Usage and the one-line complaints about the arguments, each written once.
namespace UsageText {
constexpr const char* Usage =
    "Usage: kestrun [options] [SETTINGS-FILE]\n"
    "Sets up the camera head controller.\n"
    "\n"
    "  SETTINGS-FILE        a settings file to open at start\n"
    "  --simulate           attach the simulated controller (no hardware needed); the\n"
    "                       KESTRUN_SIM_* test aids of kestrun-cli --help apply\n"
    "  --port DEVICE        talk to the controller through a serial port instead of the\n"
    "                       USB bridge\n"
    "  --baud N             the UART's speed, of the serial port or the USB bridge\n"
    "                       (default 115200)\n"
    "  --screenshot FILE    render the window to a PNG file and exit\n"
    "  --version            show the version and exit\n"
    "  -h, --help           show this text and exit\n";
constexpr const char* MissingValue = "%1 needs a value";
constexpr const char* UnknownOption = "unknown option %1";
constexpr const char* BadBaud = "--baud needs a whole number of bits per second, not \"%1\"";
constexpr const char* BaudWithSimulate = "--baud is not used with --simulate";
constexpr const char* SimulateAndPort = "--simulate and --port cannot be used together";
constexpr const char* TwoFiles = "only one settings file can be opened, not \"%1\" as well";
} // namespace UsageText

std::optional<uint32_t> parseBaud(const QString& text) {
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok || value == 0 || value > 4000000) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

} // namespace

CommandLineResult parseCommandLine(const QStringList& arguments) {
    CommandLine options;
    bool baudGiven = false;
    bool onlyFilesFollow = false;
    auto fail = [](const QString& error) { return CommandLineResult{std::nullopt, error}; };

    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        // "--name=value" and "--name value" both work for the options that take a value.
        QString name = argument;
        std::optional<QString> inlineValue;
        if (!onlyFilesFollow && argument.startsWith(QLatin1String("--"))) {
            const qsizetype equals = argument.indexOf(QLatin1Char('='));
            if (equals > 0) {
                name = argument.left(equals);
                inlineValue = argument.mid(equals + 1);
            }
        }
        auto value = [&]() -> std::optional<QString> {
            if (inlineValue) {
                return inlineValue;
            }
            if (i + 1 < arguments.size()) {
                return arguments[++i];
            }
            return std::nullopt;
        };

        if (onlyFilesFollow || !argument.startsWith(QLatin1Char('-')) || argument == "-") {
            if (!options.settingsFile.isEmpty()) {
                return fail(QString::fromLatin1(UsageText::TwoFiles).arg(argument));
            }
            options.settingsFile = argument;
            options.settingsFileArgument = static_cast<int>(i);
        } else if (argument == "--") {
            onlyFilesFollow = true;
        } else if (name == "-h" || name == "--help") {
            options.help = true;
        } else if (name == "--simulate" && !inlineValue) {
            options.simulate = true;
        } else if (name == "--port" || name == "--baud" || name == "--screenshot") {
            const std::optional<QString> given = value();
            if (!given || given->isEmpty()) {
                return fail(QString::fromLatin1(UsageText::MissingValue).arg(name));
            }
            if (name == "--port") {
                options.port = *given;
            } else if (name == "--screenshot") {
                options.screenshot = *given;
            } else {
                const std::optional<uint32_t> baud = parseBaud(*given);
                if (!baud) {
                    return fail(QString::fromLatin1(UsageText::BadBaud).arg(*given));
                }
                options.baud = *baud;
                baudGiven = true;
            }
        } else {
            return fail(QString::fromLatin1(UsageText::UnknownOption).arg(argument));
        }
    }

    if (options.help) {
        return {options, {}};
    }
    if (options.simulate && !options.port.isEmpty()) {
        return fail(QString::fromLatin1(UsageText::SimulateAndPort));
    }
    if (baudGiven && options.simulate) {
        return fail(QString::fromLatin1(UsageText::BaudWithSimulate));
    }
    return {options, {}};
}

QString usageText() {
    return QString::fromLatin1(UsageText::Usage);
}

} // namespace kestrun
