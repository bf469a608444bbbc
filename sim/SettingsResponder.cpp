#include "sim/SettingsResponder.h"

#include <algorithm>
#include <vector>

namespace kestrun::sim {

void SettingsResponder::onByte(uint8_t byte) {
    switch (phase_) {
    case Phase::AfterSemicolon:
        if (byte == GetRequest2) {
            phase_ = Phase::Idle;
            answerGet();
            return;
        }
        break; // not a request after all: the byte may start something else
    case Phase::AfterHeader1:
        if (byte == Header2) {
            phase_ = Phase::Record;
            received_ = 0;
            return;
        }
        break;
    case Phase::Record:
        incoming_[received_++] = byte;
        if (received_ == incoming_.size()) {
            phase_ = Phase::CheckByte;
        }
        return;
    case Phase::CheckByte:
        phase_ = Phase::Idle;
        finishSendFrame(byte);
        return;
    case Phase::Idle:
        break;
    }
    // Idle, or a frame start that did not continue: look for the start of a frame.
    if (byte == GetRequest1) {
        phase_ = Phase::AfterSemicolon;
    } else if (byte == Header1) {
        phase_ = Phase::AfterHeader1;
    } else {
        phase_ = Phase::Idle;
    }
}

void SettingsResponder::answerGet() {
    ++controller_.getRequests_;
    const ControllerOptions& options = controller_.options_;
    std::vector<uint8_t> reply(options.junkBeforeReply);
    reply.push_back(Header1);
    reply.push_back(Header2);
    reply.insert(reply.end(), controller_.record_.begin(), controller_.record_.end());
    uint8_t check = recordSum(controller_.record_);
    if (options.corruptCheckByte) {
        check = static_cast<uint8_t>(check + 1);
    }
    reply.push_back(check);
    if (options.cutReplyAfter) {
        // Cut counts from the header: junk in front is not part of the reply.
        std::size_t keep = options.junkBeforeReply.size() + *options.cutReplyAfter;
        reply.resize(std::min(reply.size(), keep));
    }
    controller_.send(reply, options.replyDelayTicks);
}

void SettingsResponder::finishSendFrame(uint8_t checkByte) {
    const ControllerOptions& options = controller_.options_;
    bool good = checkByte == recordSum(incoming_);
    if (good) {
        controller_.record_ = incoming_;
        ++controller_.sendFramesStored_;
    } else {
        ++controller_.sendFramesRefused_;
    }
    const uint8_t answer = good && !options.refuseSends ? Accepted : Refused;
    controller_.send(std::span<const uint8_t>(&answer, 1), options.replyDelayTicks);
}

} // namespace kestrun::sim
