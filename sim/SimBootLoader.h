#pragma once
// The simulated controller's boot loader. Asleep it only listens: the settings protocol has
// the UART. A wake-up request (ESC 'P' or "033P") wakes it; it claims the UART, answers ';',
// erases its flash while reporting progress bytes 0x01-0xFF over a few ticks, then 0x00. From
// then on it takes one Intel HEX line at a time, each followed by LF CR, programs the line's
// data into the simulated flash and answers 0x00; the end-of-file record is answered with 0x01.
// "Z\n\r" closes the programming and hands the UART back to the settings protocol.

#include "sim/SimController.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::sim {

/// How the boot loader behaves; the defaults are a healthy one that answers each line two
/// ticks after it arrives.
struct BootLoaderOptions {
    /// Wake-up requests that go unanswered before one is answered.
    uint32_t ignoreWakeUps = 0;
    /// Ticks between the request and each answer (';' and line answers). 0 answers at once:
    /// the answer is read on the tick after the line was written, one line a tick.
    uint32_t answerDelayTicks = 1;
    /// The erase progress reported after ';', one byte every eraseStepTicks, then 0x00.
    std::vector<uint8_t> eraseProgress = {0x40, 0x80, 0xC0, 0xFF};
    uint32_t eraseStepTicks = 2;
    /// The erase stalls after reporting this many progress bytes (0: nothing after ';').
    std::optional<std::size_t> eraseStallsAfter;
    /// The answer to a line that is not a good record, or that falls outside the flash.
    uint8_t badLineAnswer = 0x15;
    /// This line (1-based, counted from the erase) is answered as bad whatever it holds.
    std::optional<std::size_t> badLine;
    /// The boot loader falls silent after answering this many lines.
    std::optional<std::size_t> silentAfterLines;
    /// The simulated flash: its first address and its size in bytes.
    uint32_t flashBase = 0;
    std::size_t flashSize = 256 * 1024;
};

class SimBootLoader : public SimProtocol {
public:
    /// A boot loader for `controller`; the controller attaches it behind its settings protocol.
    explicit SimBootLoader(SimController& controller);

    BootLoaderOptions& options() { return options_; }

    void onByte(uint8_t byte) override;
    void onTick() override;
    void onLinkLost() override;

    /// Awake: it holds the UART (from the answered wake-up until "Z\n\r").
    bool awake() const { return phase_ != Phase::Asleep; }
    /// The flash, options().flashSize bytes from options().flashBase; 0xFF where erased.
    const std::vector<uint8_t>& flash() const { return flash_; }
    /// Wake-up requests seen, erases begun, lines taken (answered 0x00), lines refused, and
    /// programmings closed with "Z\n\r".
    uint32_t wakeUps() const { return wakeUps_; }
    uint32_t erases() const { return erases_; }
    uint32_t linesTaken() const { return linesTaken_; }
    uint32_t linesRefused() const { return linesRefused_; }
    uint32_t programmingsClosed() const { return programmingsClosed_; }

    static constexpr uint8_t Ready = ';';
    static constexpr uint8_t LineTaken = 0x00;
    static constexpr uint8_t ProgrammingDone = 0x01;

private:
    enum class Phase { Asleep, Erasing, Lines, AwaitClose };

    bool wakeUpRequested(uint8_t byte);
    void wake();
    void takeLineByte(uint8_t byte);
    void takeLine();
    uint8_t program(const std::string& line);
    void answer(uint8_t byte);

    SimController& controller_;
    BootLoaderOptions options_;
    Phase phase_ = Phase::Asleep;
    std::vector<uint8_t> flash_;
    std::string recent_;                ///< the last bytes from the host, for wake-up requests
    std::size_t settingsFrameLeft_ = 0; ///< bytes of a settings frame still to pass by
    bool afterHeader1_ = false;
    std::size_t erasePosition_ = 0;
    uint32_t eraseWait_ = 0;
    std::string line_;
    bool lineTooLong_ = false;
    bool afterLineFeed_ = false;
    std::size_t linesSeen_ = 0;
    uint32_t base_ = 0;
    bool silent_ = false;
    uint32_t wakeUps_ = 0;
    uint32_t erases_ = 0;
    uint32_t linesTaken_ = 0;
    uint32_t linesRefused_ = 0;
    uint32_t programmingsClosed_ = 0;
};

} // namespace kestrun::sim
