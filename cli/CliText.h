#pragma once
// The command-line tool's own texts, each written once. Everything the controller, the link or
// the upgrade has to say comes from their own tables (LinkText, FileMessage, ...) unchanged.

namespace kestrun::cli::CliText {

inline constexpr const char* Program = "kestrun-cli";
inline constexpr const char* TryHelp = "Try 'kestrun-cli --help'.";
/// The notice of rights --version prints under the version (the About box's, with its licence).
inline constexpr const char* Rights =
    "Copyright (C) 2026 the Kestrun authors. All rights reserved.";
/// A settings file of zero bytes: the window would open it and change nothing.
inline constexpr const char* EmptySettingsFile = "%1 is empty: it holds no settings record.";
/// --verbose, when the link stops: ticks run and the time they took.
inline constexpr const char* TicksTaken = "%llu ticks, %.2f s";
/// get -o could not save: the file and the system's reason.
inline constexpr const char* SaveFailed = "%1: the settings could not be saved: %2";
/// The exchange was cancelled by SIGINT or SIGTERM.
inline constexpr const char* Cancelled = "Cancelled.";
/// The full check of an upgrade file failed: file, line, problem.
inline constexpr const char* HexLineProblem = "%1: line %2: %3";
inline constexpr const char* HexRefused =
    "The file was not sent: a damaged file must not reach an erased controller. Use --force to "
    "send it anyway.";
inline constexpr const char* HexForced = "Sending it anyway (--force).";
/// The summary of a good file.
inline constexpr const char* HexGood = "good Intel HEX";
inline constexpr const char* HexRecords = "records";
inline constexpr const char* HexDataBytes = "data bytes";
inline constexpr const char* HexAddressRange = "address range";
inline constexpr const char* HexNoData = "none (no data)";
inline constexpr const char* NoDevices = "No HID devices found.";
inline constexpr const char* NoBridge = "No CP2110 bridge among them.";
inline constexpr const char* NoAccess =
    "%1: the bridge is there but this user may not open it. Install the udev rule (README, "
    "\"Using the USB bridge as a normal user\"), then unplug and replug the bridge.";
inline constexpr const char* NoAccessPort =
    "%1: this user may not open the port. Add the user to the port's group (often \"dialout\") "
    "and log in again.";
inline constexpr const char* CannotOpen = "%1: the bridge cannot be opened: %2";
inline constexpr const char* UnnamedBridge =
    "%1: has the bridge's USB ids %2 but its product string does not contain \"CP2110\", so "
    "Kestrun will not open it.";
/// loopback: where a block first went wrong, and the summary of the run.
inline constexpr const char* LoopbackAltered = "block %1, byte %2: sent %3, came back %4";
inline constexpr const char* LoopbackCount = "block %1: %2 of %3 bytes came back";
inline constexpr const char* LoopbackLost = "block %1, byte %2: lost (%3 of %4 bytes came back)";
inline constexpr const char* LoopbackSummary =
    "%u blocks, %llu bytes sent, %llu wrong or missing; round trip %.1f ms on average, %.1f ms "
    "at most";
/// diff: one setting that shows differently: title, first value, its side, second, its side.
inline constexpr const char* Difference = "%1: %2 (%3) -> %4 (%5)";
/// set: one setting changed (title, old value, new value), and what --dry-run would send.
inline constexpr const char* Change = "%1: %2 -> %3";
inline constexpr const char* WouldSend = "Would send: %1";
/// set: the record read back after Send Data is not the one sent.
inline constexpr const char* NotConfirmed =
    "The controller does not hold what was sent: sent %1, holds %2.";
/// set: refusals before anything is sent.
inline constexpr const char* NotAssignment = "'%1' is not NAME=VALUE";
inline constexpr const char* UnknownSetting = "unknown setting '%1' (the settings are %2)";
inline constexpr const char* SettingTwice = "%1 is set twice";
inline constexpr const char* ValueRefused = "%1: '%2' is not %3";
/// A settings file in the JSON form that is refused, after the file's name and ": ".
inline constexpr const char* NotSettings = "not a settings file: %1";
inline constexpr const char* NoJsonObject = "it holds no JSON object";
inline constexpr const char* TooLong = "too long";
inline constexpr const char* FieldTwice = "field '%1' is given twice";
inline constexpr const char* UnknownField = "unknown field '%1'";
inline constexpr const char* MissingField = "missing field '%1'";
/// A field's value the window cannot show: name, value as written, the values it takes.
inline constexpr const char* FieldRefused = "%1: %2 is not %3";
inline constexpr const char* RawDigits = "36 hex digits";
inline constexpr const char* TrueOrFalse = "true or false";
/// Standard output could not be written in full; %1 is the system's reason.
inline constexpr const char* CannotWriteOutput = "kestrun-cli: cannot write standard output: %1";
inline constexpr const char* WriteError = "write error";

} // namespace kestrun::cli::CliText
