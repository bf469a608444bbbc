#pragma once
// Test aids of --simulate, the same for the window and the command-line tool: the simulated
// controller can be told from the environment how to misbehave and what record it holds, so
// either program can be driven into every failure without hardware. Read only with --simulate;
// a real bridge ignores them.
//
//   KESTRUN_SIM_FAULT=silence,split      faults, comma-separated, some with "=N"
//   KESTRUN_SIM_RECORD=6414050500...     the controller's record, 36 hex digits
//   KESTRUN_SIM_TICK_MS=0                the tick period in ms (0-1000; 0: no pause between ticks)

#include "sim/SimBridge.h"

#include <chrono>
#include <optional>
#include <string>

namespace kestrun::sim {

/// What the simulated bridge and controller are set up with.
struct SimSetup {
    std::string faults;                      ///< KESTRUN_SIM_FAULT
    std::optional<std::string> record;       ///< KESTRUN_SIM_RECORD
    std::optional<std::string> tickPeriodMs; ///< KESTRUN_SIM_TICK_MS
};

/// The three variables from the process environment.
SimSetup simSetupFromEnvironment();

/// Applies `setup` to `bridge` and sets `tickPeriod`. Answers an empty string, or the reason
/// the setup makes no sense (an unknown fault, a bad number): a usage error.
std::string applySimSetup(const SimSetup& setup, SimBridge& bridge,
                          std::chrono::nanoseconds& tickPeriod);

/// The list of faults with one line of explanation each, for --help.
std::string simFaultHelp();

} // namespace kestrun::sim
