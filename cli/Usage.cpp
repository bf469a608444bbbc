#include "cli/CliOptions.h"
#include "cli/CliText.h"
#include "sim/SimSetup.h"

namespace kestrun::cli {

std::string usageText() {
    std::string text =
        R"(Usage: kestrun-cli [--simulate | --port DEVICE [--baud N]] [--verbose] COMMAND ...

Sets up the camera head controller from a terminal: the same link, the same
5 ms ticks and the same messages as the Kestrun window. Without --simulate or
--port the controller is reached through the CP2110 USB bridge, and the bridge
being plugged in or pulled out is followed while a command runs.

Bridge:
  --simulate          talk to the simulated controller (no hardware needed)
  --port DEVICE       talk through a serial port instead of the USB bridge: a
                      USB-UART cable on the controller's UART, or the
                      pseudo-terminal of a firmware emulator
  --baud N            the UART's rate, of the serial port or of the USB
                      bridge (default 115200, the controller's rate)
  --verbose           also tell whether the bridge was found, and at the end
                      how many 5 ms ticks the command ran and the time taken
  --version           print the version and exit
  -h, --help          print this text and exit

Commands:
  devices             list every HID device the bridge layer sees, one a line:
                      index, path, USB vendor:product ids, product string,
                      and "bridge" for the CP2110 (its product string
                      contains "CP2110"). Says so when a bridge is there but
                      this user may not open it, or when a device has the
                      bridge's ids (10c4:ea80) but not its name.
  loopback [--count N]
                      with the bridge's TX wired to its RX (a jumper on the
                      bridge, a loopback plug on the cable), send N blocks of
                      pseudo-random bytes (default 16) and check that the
                      same bytes come back in order: bytes sent, wrong or
                      missing, and the round trip. Exit status 0 when all came
                      back. Tells a bad cable or bridge from a silent
                      controller.
  get [-o FILE] [--json]
                      Get Data: fetch the controller's settings record and
                      print it as the window shows it. -o FILE also saves it:
                      in the readable JSON form when FILE ends in .json, else
                      as an 18-byte settings file (the old file is replaced
                      only once the new one is complete).
  send FILE           Send Data: load a settings file and send the record the
                      window would send after opening it, then wait for the
                      controller's acknowledgement.
  show FILE [--json]  print a settings file as the window would show it; no
                      controller needed.
  diff FILE [FILE2] [--json]
                      Get Data, then list every setting that shows otherwise
                      in FILE, as Zoom Setup / Speed: 100 (controller) -> 80
                      (file). With FILE2, compares the two files (file1,
                      file2) without a controller. Exit status 0 when alike,
                      4 when they differ.
  set [--dry-run] NAME=VALUE...
                      Get Data, change the named settings, Send Data, then Get
                      Data again to confirm the controller holds what was sent,
                      and print each change (Zoom Setup / Speed: 100 -> 80).
                      NAME is a record name (any case), VALUE as the window
                      shows it: 80, 2.50, Fujinon, "Level Low", on, off. A value
                      the window cannot show is refused before anything is
                      sent. --dry-run prints the changes and the record it
                      would send, and sends nothing.
  convert IN OUT      write settings file IN as OUT: the JSON form when OUT
                      ends in .json, else the 18 bytes the window would send.
  upgrade FILE [--force]
                      upgrade the controller's firmware from an Intel HEX
                      file. The file is chosen as "Select file" does, then
                      checked in full (every record's length, type and
                      checksum, and the end-of-file record); a file that fails
                      is not sent unless --force. Shows a progress bar on a
                      terminal and plain percentages otherwise. Waits for the
                      boot loader until it answers or the command is stopped
                      (Ctrl-C cancels the upgrade).
  check-hex FILE      only the full check of an Intel HEX file, with a
                      summary: records, data bytes and address range.

--json prints one object: "raw", the record as hex digits, then each field
under its record name (ZoomSpeed, ZoomSmoothing, PanDeadband, TiltDeadband,
DigitalConnection, OneWayCommunication, CameraTrigger, PressureJoystick,
FocusRangeLow, FocusRangeHigh, ZoomRangeLow, ZoomRangeCenter, ZoomRangeHigh):
numbers for whole numbers, strings with two decimals for the ranges, the
checked button's caption (or null) for the radio groups, true or false for
the toggles. Saved to a file, this is the readable settings file: send, show,
diff and convert take it as well as the 18-byte file (told apart by content).
It must hold every field once and nothing else ("raw" is only for reference),
each a value the window can show; a file that does not is refused, naming the
field.

Data goes to standard output; status lines, messages and progress go to
standard error.

Exit status:
  0    success
  1    the controller or the link failed (not connected, "No Response from
       Device", "Data Receive Error!", "Transmit Error!", "Communications
       Error", "File Error"), or no usable bridge was found (devices)
  2    the command line makes no sense (set: a name or value no setting takes)
  3    a file problem: unreadable, not a settings file, not a valid hex file,
       or the settings file could not be saved
  4    diff: the settings differ
  130  stopped by Ctrl-C or SIGTERM (the exchange was cancelled)

Test aids, read only with --simulate:
  KESTRUN_SIM_FAULT=F[,F...]   make the simulated controller misbehave:
)";
    text += sim::simFaultHelp();
    text += R"(  KESTRUN_SIM_RECORD=HEX      the simulated controller's record (36 hex digits)
  KESTRUN_SIM_TICK_MS=N       the tick period in ms (default 5; 0 runs the ticks
                              back to back, so a timeout takes no real time)
)";
    return text;
}

std::string versionText() {
    return std::string(CliText::Program) + " " + KESTRUN_VERSION + "\n" + CliText::Rights + "\n";
}

} // namespace kestrun::cli
