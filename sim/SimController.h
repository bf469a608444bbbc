#pragma once
// A simulated head controller: the firmware's settings memory and its answers on the UART,
// stepped by a clock that advances one tick each time the bridge is read (the link reads once
// per tick), so a test or a demo needs no real time at all.
//
// Bytes from the host are routed through a small dispatcher: every protocol the controller
// speaks is a SimProtocol. The settings protocol (Get Data, Send Data) is always attached; the
// boot loader attaches itself the same way and, once woken, claims the UART so that every byte
// goes to it alone. Protocols answer through send(), the controller's transmit queue, which the
// clock drains into the bridge tick by tick.

#include "settings/SettingsRecord.h"
#include "sim/SimOutput.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace kestrun::sim {

/// One protocol the controller speaks on its UART.
class SimProtocol {
public:
    virtual ~SimProtocol() = default;
    /// One byte from the host, routed to this protocol (see SimController::receive).
    virtual void onByte(uint8_t byte) = 0;
    /// Every tick of the simulated clock, before that tick's output goes to the bridge.
    virtual void onTick() {}
    /// The UART lost its partner (the bridge was pulled): forget any half-received frame.
    virtual void onLinkLost() {}
};

/// How the simulated controller behaves; the defaults are a healthy controller that answers on
/// the tick after the request.
struct ControllerOptions {
    /// Spreads everything the controller sends over ticks.
    OutputShaping shaping;
    /// Extra ticks before a settings answer (get reply or acknowledgement) starts.
    uint32_t replyDelayTicks = 0;
    /// Bytes sent before the header of each get reply (line noise, a stale answer).
    std::vector<uint8_t> junkBeforeReply;
    /// The get reply's check byte does not match its record.
    bool corruptCheckByte = false;
    /// Only this many bytes of each get reply (header included) are sent.
    std::optional<std::size_t> cutReplyAfter;
    /// The controller sends nothing at all (powered off, wrong baud rate).
    bool silent = false;
    /// Every send frame, even a good one, is refused with 0x00.
    bool refuseSends = false;
};

class SettingsResponder;
class SimBootLoader;

class SimController {
public:
    SimController();
    ~SimController();
    SimController(const SimController&) = delete;
    SimController& operator=(const SimController&) = delete;

    // --- routing of host bytes -----------------------------------------------------------------
    /// Adds a protocol behind those already attached (the settings protocol is first). The
    /// protocol must outlive its attachment.
    void attach(SimProtocol& protocol);
    /// Removes a protocol; releases the UART if it held it.
    void detach(SimProtocol& protocol);
    /// Gives the UART to `protocol` alone until it is released with nullptr.
    void claim(SimProtocol* protocol) { claimant_ = protocol; }
    SimProtocol* claimant() const { return claimant_; }
    /// Bytes written by the host, in order. Each goes to the claiming protocol if there is one,
    /// else to every attached protocol in attach order; a claim made by one byte applies from
    /// the next byte on.
    void receive(std::span<const uint8_t> bytes);

    // --- clock and output ----------------------------------------------------------------------
    /// One tick of the clock: every protocol's tick step, then the bytes due now move to the
    /// bridge (within the shaping limits).
    void tick();
    /// Ticks so far.
    uint64_t now() const { return now_; }
    /// Puts bytes on the UART towards the host, readable from tick now() + 1 + delayTicks on.
    /// Dropped while the controller is silent.
    void send(std::span<const uint8_t> bytes, uint32_t delayTicks = 0);
    /// Takes the bytes the ticks have handed to the bridge since the last call.
    std::vector<uint8_t> takeDelivered();
    /// Bytes still queued for later ticks.
    bool outputPending() const { return !output_.empty(); }
    /// The bridge was pulled: queued output is lost and every protocol forgets its half frame.
    void linkLost();

    // --- settings memory -----------------------------------------------------------------------
    const SettingsRecord& record() const { return record_; }
    void setRecord(const SettingsRecord& record) { record_ = record; }
    ControllerOptions& options() { return options_; }
    const ControllerOptions& options() const { return options_; }

    /// Get requests answered, send frames stored, send frames refused for a wrong sum.
    uint32_t getRequests() const { return getRequests_; }
    uint32_t sendFramesStored() const { return sendFramesStored_; }
    uint32_t sendFramesRefused() const { return sendFramesRefused_; }

    /// The boot loader, attached behind the settings protocol; asleep until woken.
    SimBootLoader& bootLoader() { return *bootLoader_; }

private:
    friend class SettingsResponder;

    SettingsRecord record_ = StartRecord;
    ControllerOptions options_;
    uint64_t now_ = 0;
    SimOutput output_;
    std::vector<uint8_t> delivered_;
    std::vector<SimProtocol*> protocols_;
    SimProtocol* claimant_ = nullptr;
    std::unique_ptr<SettingsResponder> settings_;
    std::unique_ptr<SimBootLoader> bootLoader_;
    uint32_t getRequests_ = 0;
    uint32_t sendFramesStored_ = 0;
    uint32_t sendFramesRefused_ = 0;
};

} // namespace kestrun::sim
