#pragma once
// The window program's command line: an optional settings file opened at start, and the choice
// of what the link talks to (the bridge on USB, a serial port, or the simulated controller).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace kestrun {

/// The serial port's speed when --baud does not name one.
inline constexpr uint32_t DefaultBaudRate = 115200;

struct CommandLine {
    QString settingsFile;         ///< opened at start; empty: a new document
    int settingsFileArgument = 0; ///< its index among the arguments (0: none)
    QByteArray settingsFileBytes; ///< its name as the system gave it (main fills it in)
    bool simulate = false;        ///< attach the simulated controller instead of a bridge
    QString port;                 ///< a serial device instead of the USB bridge; empty: USB
    uint32_t baud = DefaultBaudRate;
    QString screenshot; ///< render the window to this PNG and exit
    bool help = false;  ///< print the usage and exit
};

struct CommandLineResult {
    std::optional<CommandLine> options; ///< set when the arguments made sense
    QString error;                      ///< else why not, in one line
};

/// Reads `arguments` (the program name first, as QCoreApplication::arguments() gives them).
CommandLineResult parseCommandLine(const QStringList& arguments);

/// What --help prints.
QString usageText();

} // namespace kestrun
