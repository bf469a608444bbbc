#include "sim/SimController.h"

#include "sim/SettingsResponder.h"
#include "sim/SimBootLoader.h"

#include <algorithm>
#include <utility>

namespace kestrun::sim {

SimController::SimController() : settings_(std::make_unique<SettingsResponder>(*this)) {
    protocols_.push_back(settings_.get());
    bootLoader_ = std::make_unique<SimBootLoader>(*this);
    protocols_.push_back(bootLoader_.get());
}

SimController::~SimController() = default;

void SimController::attach(SimProtocol& protocol) {
    if (std::find(protocols_.begin(), protocols_.end(), &protocol) == protocols_.end()) {
        protocols_.push_back(&protocol);
    }
}

void SimController::detach(SimProtocol& protocol) {
    std::erase(protocols_, &protocol);
    if (claimant_ == &protocol) {
        claimant_ = nullptr;
    }
}

void SimController::receive(std::span<const uint8_t> bytes) {
    for (uint8_t byte : bytes) {
        if (claimant_ != nullptr) {
            claimant_->onByte(byte);
            continue;
        }
        // A protocol may attach, detach or claim while handling a byte: walk a copy.
        const std::vector<SimProtocol*> listeners = protocols_;
        for (SimProtocol* protocol : listeners) {
            protocol->onByte(byte);
        }
    }
}

void SimController::tick() {
    ++now_;
    const std::vector<SimProtocol*> listeners = protocols_;
    for (SimProtocol* protocol : listeners) {
        protocol->onTick();
    }
    output_.deliver(now_, options_.shaping, delivered_);
}

void SimController::send(std::span<const uint8_t> bytes, uint32_t delayTicks) {
    if (options_.silent) {
        return;
    }
    output_.send(now_, bytes, delayTicks);
}

std::vector<uint8_t> SimController::takeDelivered() {
    return std::exchange(delivered_, {});
}

void SimController::linkLost() {
    output_.clear();
    delivered_.clear();
    for (SimProtocol* protocol : protocols_) {
        protocol->onLinkLost();
    }
}

} // namespace kestrun::sim
