// loopback: with the bridge's TX wired to its RX (a jumper on the bridge, a loopback plug on a
// serial cable), sends pseudo-random blocks and checks that the same bytes come back in order.
// It tells a bad cable or bridge from a silent controller before anyone blames the controller.

#include "cli/CliText.h"
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "settings/SettingsRecord.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace kestrun::cli {
namespace {

using Clock = std::chrono::steady_clock;

// A jumper returns a byte within a tick or two: a second without any is a lost byte.
constexpr uint32_t QuietTicks = 200;

std::string hexByte(uint8_t b) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

struct BlockResult {
    uint32_t wrong = 0;  ///< bytes missing, altered or extra
    std::string problem; ///< where it first went wrong, or empty
    double roundTripMs = 0;
};

// What came back against what was sent: the first place they part, and how many bytes are off.
BlockResult compare(uint32_t block, const std::vector<uint8_t>& sent,
                    const std::vector<uint8_t>& back) {
    BlockResult result;
    const std::size_t common = std::min(sent.size(), back.size());
    const auto parted = std::mismatch(sent.begin(), sent.begin() + common, back.begin());
    const auto at = static_cast<std::size_t>(parted.first - sent.begin());
    // Bytes lost on the way: what came back goes on as sent once the gap is passed.
    if (back.size() < sent.size() && std::equal(back.begin() + at, back.end(),
                                                sent.begin() + at + (sent.size() - back.size()))) {
        result.wrong = static_cast<uint32_t>(sent.size() - back.size());
        result.problem = fillIn(CliText::LoopbackLost,
                                {std::to_string(block + 1), std::to_string(at + 1),
                                 std::to_string(back.size()), std::to_string(sent.size())});
        return result;
    }
    for (std::size_t i = 0; i < common; ++i) {
        if (sent[i] != back[i]) {
            ++result.wrong;
            if (result.problem.empty()) {
                result.problem = fillIn(CliText::LoopbackAltered,
                                        {std::to_string(block + 1), std::to_string(i + 1),
                                         hexByte(sent[i]), hexByte(back[i])});
            }
        }
    }
    if (back.size() != sent.size()) {
        result.wrong += static_cast<uint32_t>(std::max(sent.size(), back.size()) - common);
        if (result.problem.empty()) {
            result.problem = fillIn(CliText::LoopbackCount,
                                    {std::to_string(block + 1), std::to_string(back.size()),
                                     std::to_string(sent.size())});
        }
    }
    return result;
}

} // namespace

ExitCode runLoopback(const CliOptions& options, const Console& console) {
    std::string problem;
    const std::unique_ptr<Connection> connection = Connection::open(options, problem);
    if (!connection) {
        return connectionProblem(problem, console);
    }
    SettingsRecord record = StartRecord;
    CliHost host(console.err, console.errTerminal, record);
    LinkRun link(*connection, host, options.verbose);
    link.connect();
    LinkEngine& engine = link.engine();
    if (!engine.bridgeOpen()) {
        engine.ShowNotConnected();
        return ExitCode::LinkFailed;
    }
    BridgeLibrary& bridge = connection->bridge();
    const BridgeHandle handle = engine.bridgeHandle();
    const auto period = connection->tickPeriod();

    std::mt19937 random(13); // the same blocks every run, so two runs compare
    uint64_t sentBytes = 0;
    uint64_t wrongBytes = 0;
    double totalMs = 0;
    double slowestMs = 0;
    for (uint32_t block = 0; block < options.count; ++block) {
        // Up to one tick's read of the link, every byte value in turn.
        std::vector<uint8_t> sent(1 + random() % ReadRequestLength);
        for (uint8_t& b : sent) {
            b = static_cast<uint8_t>(random());
        }
        if (!engine.TransmitText(
                std::string_view(reinterpret_cast<const char*>(sent.data()), sent.size()))) {
            return ExitCode::LinkFailed; // "Failed to transmit : ..." is on standard error
        }
        const Clock::time_point start = Clock::now();
        Clock::time_point last = start;
        std::vector<uint8_t> back;
        std::array<uint8_t, ReadBufferSize> buffer{};
        Clock::time_point deadline = start;
        for (uint32_t quiet = 0; back.size() < sent.size() && quiet < QuietTicks;) {
            deadline += period;
            std::this_thread::sleep_until(deadline);
            if (interruptSignal() != 0) {
                host.printLine(CliText::Cancelled);
                return ExitCode::Interrupted;
            }
            uint32_t n = 0;
            const BridgeStatus status =
                bridge.HidUart_Read(handle, buffer.data(), ReadRequestLength, &n);
            n = std::min(n, ReadRequestLength);
            if ((status == BridgeStatusCode::Success || status == BridgeStatusCode::ReadTimedOut) &&
                n > 0) {
                back.insert(back.end(), buffer.begin(), buffer.begin() + n);
                last = Clock::now();
                quiet = 0;
            } else {
                ++quiet;
            }
        }
        BlockResult result = compare(block, sent, back);
        result.roundTripMs = std::chrono::duration<double, std::milli>(last - start).count();
        if (!result.problem.empty()) {
            host.printLine(result.problem);
        }
        sentBytes += sent.size();
        wrongBytes += result.wrong;
        totalMs += result.roundTripMs;
        slowestMs = std::max(slowestMs, result.roundTripMs);
    }
    char summary[200];
    std::snprintf(summary, sizeof summary, CliText::LoopbackSummary, options.count,
                  static_cast<unsigned long long>(sentBytes),
                  static_cast<unsigned long long>(wrongBytes), totalMs / options.count, slowestMs);
    std::fprintf(console.out, "%s\n", summary);
    std::fflush(console.out);
    return wrongBytes == 0 ? ExitCode::Success : ExitCode::LinkFailed;
}

} // namespace kestrun::cli
