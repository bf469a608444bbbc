#pragma once
// A controller played by the test on a pseudo-terminal: kestrun-cli opens the terminal's far
// end with --port, and the test reads every byte the tool puts on the wire and writes the
// controller's answers, as a firmware emulator would.

#include "tests/cli/CliProcess.h"

#include <chrono>
#include <string>

namespace kestrun::clitest {

class PtyController {
public:
    PtyController();
    ~PtyController();
    PtyController(const PtyController&) = delete;
    PtyController& operator=(const PtyController&) = delete;

    /// The device to give kestrun-cli with --port.
    const std::string& port() const { return port_; }

    /// Reads from the wire until `count` bytes have come (or `timeout` passed), keeping the
    /// tool's own output flowing meanwhile. Answers what came, possibly fewer bytes.
    std::string expect(std::size_t count, CliProcess& tool,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20));
    /// Everything that has reached the wire and was not taken yet.
    std::string rest();
    /// Puts the controller's bytes on the wire.
    void answer(const std::string& bytes);
    /// The cable is pulled: the terminal hangs up for the tool.
    void hangUp();

private:
    int master_ = -1;
    int slave_ = -1; ///< held open so the terminal stays up between the tool's opens
    std::string port_;
    std::string pending_;
};

/// Bytes as "3B 47" for readable failure messages.
std::string hex(const std::string& bytes);

} // namespace kestrun::clitest
