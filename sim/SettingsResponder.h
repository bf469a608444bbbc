#pragma once
// The controller firmware's settings protocol: ";G" asks for the record, which is answered with
// A5 5A, the 18 record bytes and their sum; a frame A5 5A, record, sum stores the record when
// the sum is right and is acknowledged with 0x01, else refused with 0x00. Bytes that start
// neither are ignored, as the firmware ignores line noise.

#include "sim/SimController.h"

#include <array>
#include <cstdint>

namespace kestrun::sim {

class SettingsResponder : public SimProtocol {
public:
    explicit SettingsResponder(SimController& controller) : controller_(controller) {}

    void onByte(uint8_t byte) override;
    void onLinkLost() override { phase_ = Phase::Idle; }

    /// The get request and the two header bytes of a settings frame.
    static constexpr uint8_t GetRequest1 = 0x3B; // ';'
    static constexpr uint8_t GetRequest2 = 0x47; // 'G'
    static constexpr uint8_t Header1 = 0xA5;
    static constexpr uint8_t Header2 = 0x5A;
    static constexpr uint8_t Accepted = 0x01;
    static constexpr uint8_t Refused = 0x00;

private:
    enum class Phase { Idle, AfterSemicolon, AfterHeader1, Record, CheckByte };

    void answerGet();
    void finishSendFrame(uint8_t checkByte);

    SimController& controller_;
    Phase phase_ = Phase::Idle;
    SettingsRecord incoming_{};
    std::size_t received_ = 0;
};

} // namespace kestrun::sim
