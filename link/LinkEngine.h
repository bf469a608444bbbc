#pragma once
// The link engine: the bridge connection, the two transmit operations and the 5 ms tick that
// turns the bridge's byte stream into the exchanges' events. It owns no clock: its surroundings
// call LinkTick every 5 ms (the window's timer, the command-line loop, or a test step by step).

#include "link/BridgeLibrary.h"
#include "link/LinkHost.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun {

/// The exchange in progress. No other value is ever set.
enum class LinkState : uint8_t {
    Idle = 0,
    GetHeader1 = 1,     ///< Get Data: waiting for 0xA5
    GetHeader2 = 2,     ///< Get Data: waiting for 0x5A
    GetRecord = 3,      ///< Get Data: collecting the record and its check byte
    SendAck = 5,        ///< Send Data: waiting for the acknowledgement
    WaitBootLoader = 9, ///< upgrade: waiting for the boot loader's ';'
    Erasing = 10,       ///< upgrade: the controller erases its flash
    Uploading = 12,     ///< upgrade: one line per acknowledgement
    Finishing1 = 13,    ///< upgrade: first tick after "Z\n\r"
    Finishing2 = 14,    ///< upgrade: second tick after "Z\n\r"
};

/// Tick counts of the exchanges (one tick is 5 ms of the LinkTimer).
inline constexpr uint32_t AnswerTicks = 1000;    ///< for an answer, and between data of a reply
inline constexpr uint32_t EraseTicks = 2000;     ///< for the first data after the erase begins
inline constexpr uint32_t WakeRepeatTicks = 200; ///< between two boot-loader requests

/// Device notices (the window system's values, kept so notices read the same everywhere).
inline constexpr uint32_t DeviceArrival = 0x8000;
inline constexpr uint32_t DeviceRemoveComplete = 0x8004;
inline constexpr uint32_t DeviceTypeInterface = 5;

/// A device notice: which kind of device, and its path ("/dev/hidraw3").
struct DeviceNotice {
    uint32_t deviceType = DeviceTypeInterface;
    std::string name;
};

/// Status texts of the link, each written once.
namespace LinkText {
inline constexpr const char* Connected = "Connected";
inline constexpr const char* Disconnected = "Disconnected";
/// The bridge is there but another Kestrun process owns it.
inline constexpr const char* InUse = "In use";
inline constexpr const char* NoResponse = "No Response from Device";
inline constexpr const char* StatusIdle = "---";
inline constexpr const char* TransmitFailed = "Failed to transmit : %s";
inline constexpr const char* AppName = "Kestrun";
inline constexpr const char* NotConnected =
    "Please connect the USB cable,\n and provide power to the head controller.";
inline constexpr const char* NotConnectedCaption = "Controller is not connected";
} // namespace LinkText

/// The part of the state machine that one kind of exchange owns.
class ExchangeHandler {
public:
    virtual ~ExchangeHandler() = default;
    /// One received byte while LinkState is `state` (a state the handler was registered for).
    virtual void onByte(LinkState state, uint8_t byte) = 0;
    /// The tick step of `state`, for states registered with their own tick step.
    virtual void onTick(LinkState state) { (void)state; }
    /// Every end of an exchange (EndExchange), whatever ended it.
    virtual void onExchangeEnded() {}
};

class LinkEngine {
public:
    LinkEngine(BridgeLibrary& bridge, LinkHost& host);
    LinkEngine(const LinkEngine&) = delete;
    LinkEngine& operator=(const LinkEngine&) = delete;

    /// Hands the bytes of `state` to `handler`. With `ownTick` the handler also runs the
    /// state's tick step; otherwise the step is the engine's countdown.
    void setHandler(LinkState state, ExchangeHandler* handler, bool ownTick = false);

    // --- start-up and shutdown -----------------------------------------------------------------
    /// The link's initial state, before any control is built: BridgeOpen 0, LinkState 0,
    /// ResponseTimeout 1000.
    void reset();
    /// Closes the bridge if it is open (after the timer was stopped and the device monitor
    /// dropped by the surroundings).
    void shutdown();

    // --- connection ----------------------------------------------------------------------------
    /// Opens each attached device whose product string contains "CP2110" (exact letter case),
    /// in index order; the last open decides ConnectionText. Does nothing while a bridge is
    /// open, and changes nothing when no device matches.
    void ConnectBridge();
    /// Arrival runs ConnectBridge; removal closes the bridge when the notice names the open
    /// device's path (ignoring letter case). Always answers true.
    bool HandleDeviceChange(uint32_t eventType, const DeviceNotice* notice);

    /// The refusal of a command while no bridge is open: "Controller is not connected", with
    /// why the last open failed when the bridge said (the port and the system's reason, or the
    /// process that owns the bridge), else the advice to connect the cable.
    void ShowNotConnected();

    /// Writes one byte; a failure is reported (outside a tick) and the caller goes on.
    void TransmitByte(uint8_t byte);
    /// Writes the text's bytes in one write. A text longer than 255 characters is not sent and
    /// counts as a failed write. Answers true when the bridge accepted the bytes.
    bool TransmitText(std::string_view text);
    /// The same for a wide text: each character's low 8 bits go on the wire.
    bool TransmitText(std::u16string_view text);
    /// "Failed to transmit : %s" in a box, except inside a tick.
    void ReportTransmitFailure(BridgeStatus status);

    // --- engine --------------------------------------------------------------------------------
    /// One LinkTimer tick: read what the bridge has, hand each byte to the handler of the state
    /// current at that byte, then run the current state's tick step.
    void LinkTick();
    /// LinkState 0, ResponseTimeout 0, progress bar 0; tells every exchange that it ended.
    void EndExchange();
    /// "Cancel": ends whatever exchange is pending (empties UpgradeStatusText in the upgrade's
    /// states, else StatusText shows "---"), then EndExchange. Sends nothing.
    void CancelExchange();
    /// Shows `text` on the status line of the current state: StatusText below 9, else
    /// UpgradeStatusText.
    void showExchangeStatus(const std::string& text);

    // --- state ---------------------------------------------------------------------------------
    LinkState linkState() const { return linkState_; }
    /// Sets the state; leaving or reaching Idle is told to the host (setLinkPending).
    void setLinkState(LinkState state);
    bool isIdle() const { return linkState_ == LinkState::Idle; }
    uint32_t responseTimeout() const { return responseTimeout_; }
    void setResponseTimeout(uint32_t ticks) { responseTimeout_ = ticks; }
    bool bridgeOpen() const { return bridgeOpen_; }
    /// The open bridge's handle, for a check of the line that bypasses the exchanges (the
    /// command-line loopback); valid while bridgeOpen().
    BridgeHandle bridgeHandle() const { return bridgeHandle_; }
    bool inTick() const { return inTick_; }
    LinkHost& host() { return host_; }

    /// The largest text TransmitText sends (TransmitBuffer holds it and a zero byte).
    static constexpr std::size_t MaxTextLength = 255;

private:
    struct Slot {
        ExchangeHandler* handler = nullptr;
        bool ownTick = false;
    };

    void countdown();
    bool writeBytes(const uint8_t* bytes, uint32_t count);
    void dropIdleBytes();

    BridgeLibrary& bridge_;
    LinkHost& host_;
    std::array<Slot, 256> slots_{};
    std::vector<ExchangeHandler*> handlers_; // each registered handler once

    bool bridgeOpen_ = false;
    BridgeHandle bridgeHandle_ = nullptr;
    std::string openProblem_; // why the last open failed, when the bridge said
    // Set while idle: what the bridge delivered since the last exchange has not been read yet.
    bool idleBytesUnread_ = true;
    bool inTick_ = false;
    LinkState linkState_ = LinkState::Idle;
    uint32_t responseTimeout_ = AnswerTicks;

    std::array<uint8_t, ReadBufferSize> readBuffer_{};
    std::array<uint8_t, MaxTextLength + 1> transmitBuffer_{};
};

} // namespace kestrun
