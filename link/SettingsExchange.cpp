#include "link/SettingsExchange.h"

#include <array>

namespace kestrun {

SettingsExchange::SettingsExchange(LinkEngine& engine, SettingsRecord& record)
    : engine_(engine), record_(record) {
    for (LinkState state :
         {LinkState::GetHeader1, LinkState::GetHeader2, LinkState::GetRecord, LinkState::SendAck}) {
        engine_.setHandler(state, this);
    }
}

bool SettingsExchange::guard() {
    if (!engine_.bridgeOpen()) {
        engine_.ShowNotConnected();
        return false;
    }
    // A pending exchange is left alone; the click has only cleared the status line.
    return engine_.isIdle();
}

void SettingsExchange::GetData() {
    if (!guard()) {
        return;
    }
    engine_.TransmitByte(ExchangeByte::GetRequest1);
    engine_.TransmitByte(ExchangeByte::GetRequest2);
    // The state is set only after the request is written: a tick that runs while a failure box
    // is up must still find the link idle.
    engine_.setResponseTimeout(AnswerTicks);
    engine_.setLinkState(LinkState::GetHeader1);
}

void SettingsExchange::SendData() {
    if (!guard()) {
        return;
    }
    engine_.host().controlsToRecord();
    // Written from a copy: a box shown for a failed byte runs ticks and notices, and nothing
    // they do may change the frame half way.
    const SettingsRecord frame = record_;
    engine_.TransmitByte(ExchangeByte::Header1);
    engine_.TransmitByte(ExchangeByte::Header2);
    for (uint8_t byte : frame) {
        engine_.TransmitByte(byte);
    }
    engine_.TransmitByte(recordSum(frame));
    engine_.setResponseTimeout(AnswerTicks);
    engine_.setLinkState(LinkState::SendAck);
}

void SettingsExchange::onByte(LinkState state, uint8_t byte) {
    using ByteStep = void (SettingsExchange::*)(uint8_t);
    struct Row {
        LinkState state;
        ByteStep step;
    };
    static constexpr std::array<Row, 4> steps = {{
        {LinkState::GetHeader1, &SettingsExchange::onHeader1},
        {LinkState::GetHeader2, &SettingsExchange::onHeader2},
        {LinkState::GetRecord, &SettingsExchange::onRecordByte},
        {LinkState::SendAck, &SettingsExchange::onAcknowledge},
    }};
    for (const Row& row : steps) {
        if (row.state == state) {
            (this->*row.step)(byte);
            return;
        }
    }
}

void SettingsExchange::onHeader1(uint8_t byte) {
    // Anything before the header is noise and is skipped.
    if (byte == ExchangeByte::Header1) {
        engine_.setLinkState(LinkState::GetHeader2);
    }
}

void SettingsExchange::onHeader2(uint8_t byte) {
    // Once the first header byte is seen, everything up to the second is skipped: the wait
    // does not fall back to the first header byte.
    if (byte == ExchangeByte::Header2) {
        receiveSum_ = 0;
        receiveCount_ = static_cast<uint8_t>(RecordSize);
        engine_.setLinkState(LinkState::GetRecord);
    }
}

void SettingsExchange::onRecordByte(uint8_t byte) {
    if (receiveCount_ > 0) {
        const std::size_t position = RecordSize - receiveCount_;
        receiveBuffer_[position] = byte;
        receiveSum_ = static_cast<uint8_t>(receiveSum_ + byte);
        --receiveCount_;
        return;
    }
    // The check byte decides whether the record reaches the document.
    if (byte == receiveSum_) {
        engine_.host().setStatusText(ExchangeText::DataReceived);
        record_ = receiveBuffer_;
        engine_.host().recordToControls();
    } else {
        engine_.host().setStatusText(ExchangeText::DataReceiveError);
    }
    engine_.setLinkState(LinkState::Idle);
}

void SettingsExchange::onAcknowledge(uint8_t byte) {
    engine_.host().setStatusText(byte == ExchangeByte::Accepted ? ExchangeText::DataSent
                                                                : ExchangeText::TransmitError);
    engine_.setLinkState(LinkState::Idle);
}

} // namespace kestrun
