#pragma once
// The settings exchange: "Get Data" fetches the controller's 18-byte record, "Send Data" writes
// the record the controls show. Requests are written byte by byte through the link; the reply
// is taken apart by the byte handlers of link states 1, 2, 3 and 5, one byte per call.
//
//   get request   > 3B 47
//   get reply     < A5 5A <18 record bytes> <sum of the record bytes mod 256>
//   send frame    > A5 5A <18 record bytes> <sum>
//   acknowledge   < 01 (accepted; any other byte is a refusal)

#include "link/LinkEngine.h"
#include "settings/SettingsRecord.h"

#include <cstdint>

namespace kestrun {

/// Status texts of the settings exchange, each written once.
namespace ExchangeText {
inline constexpr const char* DataReceived = "Data Received";
inline constexpr const char* DataReceiveError = "Data Receive Error!";
inline constexpr const char* DataSent = "Data Sent";
inline constexpr const char* TransmitError = "Transmit Error!";
} // namespace ExchangeText

/// Bytes of the settings frames.
namespace ExchangeByte {
inline constexpr uint8_t GetRequest1 = 0x3B; // ';'
inline constexpr uint8_t GetRequest2 = 0x47; // 'G'
inline constexpr uint8_t Header1 = 0xA5;
inline constexpr uint8_t Header2 = 0x5A;
inline constexpr uint8_t Accepted = 0x01;
} // namespace ExchangeByte

class SettingsExchange : public ExchangeHandler {
public:
    /// Registers the handler of states 1, 2, 3 and 5 with `engine`. `record` is the document's
    /// record: the one a good get reply overwrites and the one Send Data sends; both must
    /// outlive the exchange.
    SettingsExchange(LinkEngine& engine, SettingsRecord& record);

    /// "Get Data": with the bridge open and the link idle, writes 3B 47 and waits for the
    /// reply in state 1. With the bridge closed, the "Controller is not connected" box; while
    /// another exchange is pending, nothing.
    void GetData();
    /// "Send Data": the same guard; then fills the record from the controls and writes it as a
    /// send frame, one byte per write (21 writes), and waits for the acknowledgement in state 5.
    void SendData();

    void onByte(LinkState state, uint8_t byte) override;

    /// Record bytes of the reply still expected (18 right after the header).
    uint8_t receiveCount() const { return receiveCount_; }

private:
    bool guard();
    void onHeader1(uint8_t byte);
    void onHeader2(uint8_t byte);
    void onRecordByte(uint8_t byte);
    void onAcknowledge(uint8_t byte);

    LinkEngine& engine_;
    SettingsRecord& record_;
    SettingsRecord receiveBuffer_{}; ///< reaches record_ only with a matching check byte
    uint8_t receiveCount_ = 0;       ///< record bytes still expected
    uint8_t receiveSum_ = 0;         ///< running sum of the record bytes, modulo 256
};

} // namespace kestrun
