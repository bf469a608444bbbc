#pragma once
// The settings exchange as the user must see it, worked out from the received bytes alone and
// written apart from the link's own handlers: a get reply is skipped up to A5, then up to 5A,
// then 18 record bytes and their sum; an acknowledgement is decided by its first byte. Shared
// by the link's fuzz target and the soak.

#include "link/LinkEngine.h"
#include "link/SettingsExchange.h"

#include <cstdint>
#include <optional>

namespace kestrun::model {

class ExchangeModel {
public:
    /// An exchange begins: 1 waits for a get reply, 5 for an acknowledgement.
    void start(uint8_t state) { state_ = state; }
    void stop() { state_ = 0; }
    uint8_t state() const { return state_; }

    /// One received byte; answers the status text when the exchange ends on it. A good get
    /// reply leaves its record in `received`.
    std::optional<const char*> take(uint8_t b) {
        switch (state_) {
        case 1:
            state_ = b == 0xA5 ? 2 : 1;
            return std::nullopt;
        case 2:
            if (b == 0x5A) {
                state_ = 3;
                have_ = 0;
                sum_ = 0;
            }
            return std::nullopt;
        case 3:
            if (have_ < RecordSize) {
                record_[have_++] = b;
                sum_ = static_cast<uint8_t>(sum_ + b);
                return std::nullopt;
            }
            state_ = 0;
            if (b != sum_) {
                return ExchangeText::DataReceiveError;
            }
            received = record_;
            return ExchangeText::DataReceived;
        case 5:
            state_ = 0;
            return b == 0x01 ? ExchangeText::DataSent : ExchangeText::TransmitError;
        default:
            return std::nullopt;
        }
    }

    std::optional<SettingsRecord> received;

private:
    uint8_t state_ = 0;
    SettingsRecord record_{};
    std::size_t have_ = 0;
    uint8_t sum_ = 0;
};

} // namespace kestrun::model
