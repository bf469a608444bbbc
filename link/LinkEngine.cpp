#include "link/LinkEngine.h"

#include <algorithm>
#include <cctype>

namespace kestrun {
namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A string from the library, cut at its terminator and never read past the buffer.
std::string deviceString(const std::array<char, DeviceStringLength>& buffer) {
    auto end = std::find(buffer.begin(), buffer.end(), '\0');
    return std::string(buffer.begin(), end);
}

} // namespace

LinkEngine::LinkEngine(BridgeLibrary& bridge, LinkHost& host) : bridge_(bridge), host_(host) {}

void LinkEngine::setHandler(LinkState state, ExchangeHandler* handler, bool ownTick) {
    slots_[static_cast<uint8_t>(state)] = Slot{handler, ownTick};
    if (handler != nullptr &&
        std::find(handlers_.begin(), handlers_.end(), handler) == handlers_.end()) {
        handlers_.push_back(handler);
    }
}

void LinkEngine::reset() {
    bridgeOpen_ = false;
    linkState_ = LinkState::Idle;
    idleBytesUnread_ = true;
    responseTimeout_ = AnswerTicks;
}

void LinkEngine::shutdown() {
    if (bridgeOpen_) {
        bridgeOpen_ = false;
        bridge_.HidUart_Close(bridgeHandle_);
        bridgeHandle_ = nullptr;
    }
}

void LinkEngine::ConnectBridge() {
    if (bridgeOpen_) {
        return;
    }
    uint32_t count = 0;
    if (bridge_.HidUart_GetNumDevices(&count, 0, 0) != BridgeStatusCode::Success) {
        count = 0;
    }
    for (uint32_t index = 0; index < count; ++index) {
        std::array<char, DeviceStringLength> product{};
        if (bridge_.HidUart_GetString(index, 0, 0, product.data(), BridgeStringOption::Product) !=
            BridgeStatusCode::Success) {
            continue;
        }
        product.back() = '\0';
        if (deviceString(product).find("CP2110") == std::string::npos) {
            continue;
        }
        // A second match would leave the first handle behind: close it before opening again,
        // so that exactly one handle is ever held.
        if (bridgeOpen_) {
            bridgeOpen_ = false;
            bridge_.HidUart_Close(bridgeHandle_);
        }
        BridgeHandle handle = nullptr;
        if (bridge_.HidUart_Open(&handle, index, 0, 0) != BridgeStatusCode::Success) {
            bridgeOpen_ = false;
            bridgeHandle_ = nullptr;
            const BridgeLibrary::OpenProblem problem = bridge_.lastOpenProblem();
            openProblem_ = problem.text;
            host_.setConnectionText(problem.inUse ? LinkText::InUse : LinkText::Disconnected);
            continue;
        }
        openProblem_.clear();
        bridgeHandle_ = handle;
        bridge_.HidUart_SetTimeouts(bridgeHandle_, 0, 2000);
        bridgeOpen_ = true;
        host_.setConnectionText(LinkText::Connected);
    }
}

bool LinkEngine::HandleDeviceChange(uint32_t eventType, const DeviceNotice* notice) {
    if ((eventType != DeviceArrival && eventType != DeviceRemoveComplete) || notice == nullptr ||
        notice->deviceType != DeviceTypeInterface) {
        return true;
    }
    if (eventType == DeviceArrival) {
        ConnectBridge();
        return true;
    }
    if (!bridgeOpen_) {
        return true;
    }
    std::array<char, DeviceStringLength> path{};
    if (bridge_.HidUart_GetOpenedString(bridgeHandle_, path.data(), BridgeStringOption::Path) !=
        BridgeStatusCode::Success) {
        return true;
    }
    path.back() = '\0';
    if (equalIgnoringCase(deviceString(path), notice->name)) {
        bridgeOpen_ = false;
        bridge_.HidUart_Close(bridgeHandle_);
        bridgeHandle_ = nullptr;
        host_.setConnectionText(LinkText::Disconnected);
    }
    return true;
}

void LinkEngine::ShowNotConnected() {
    host_.showMessage(openProblem_.empty() ? std::string(LinkText::NotConnected) : openProblem_,
                      LinkText::NotConnectedCaption, MessageIcon::Error);
}

void LinkEngine::setLinkState(LinkState state) {
    const bool wasIdle = isIdle();
    linkState_ = state;
    if (wasIdle != isIdle()) {
        idleBytesUnread_ = isIdle();
        host_.setLinkPending(!isIdle());
    }
}

// A controller's late or unasked bytes that came while no tick ran: read and dropped, as the
// idle state drops them, so they never reach the exchange about to start. The bound keeps a
// device that never stops talking from holding the command.
void LinkEngine::dropIdleBytes() {
    constexpr int MaxReads = 32;
    for (int i = 0; i < MaxReads; ++i) {
        uint32_t count = 0;
        const BridgeStatus status =
            bridge_.HidUart_Read(bridgeHandle_, readBuffer_.data(), ReadRequestLength, &count);
        if ((status != BridgeStatusCode::Success && status != BridgeStatusCode::ReadTimedOut) ||
            count == 0) {
            break;
        }
    }
}

bool LinkEngine::writeBytes(const uint8_t* bytes, uint32_t count) {
    BridgeStatus status = BridgeStatusCode::InvalidHandle;
    if (bridgeOpen_ && isIdle() && idleBytesUnread_) {
        idleBytesUnread_ = false;
        dropIdleBytes();
    }
    if (bridgeOpen_) {
        uint32_t written = 0;
        status = bridge_.HidUart_Write(bridgeHandle_, bytes, count, &written);
    }
    if (status != BridgeStatusCode::Success) {
        ReportTransmitFailure(status);
        return false;
    }
    return true;
}

void LinkEngine::TransmitByte(uint8_t byte) {
    uint8_t cell = byte;
    writeBytes(&cell, 1);
}

bool LinkEngine::TransmitText(std::string_view text) {
    if (text.size() > MaxTextLength) {
        // TransmitBuffer holds 255 characters and the zero byte: a longer text is refused as a
        // failed write rather than overrunning it.
        ReportTransmitFailure(BridgeStatusCode::InvalidRequestLength);
        return false;
    }
    std::copy(text.begin(), text.end(), transmitBuffer_.begin());
    transmitBuffer_[text.size()] = 0;
    return writeBytes(transmitBuffer_.data(), static_cast<uint32_t>(text.size()));
}

bool LinkEngine::TransmitText(std::u16string_view text) {
    std::string narrow(text.size(), '\0');
    std::transform(text.begin(), text.end(), narrow.begin(),
                   [](char16_t c) { return static_cast<char>(c & 0xFF); });
    return TransmitText(std::string_view(narrow));
}

void LinkEngine::ReportTransmitFailure(BridgeStatus status) {
    if (inTick_) {
        return;
    }
    std::string text = LinkText::TransmitFailed;
    text.replace(text.find("%s"), 2, BridgeStatusText(status));
    host_.showMessage(text, LinkText::AppName, MessageIcon::Exclamation);
}

void LinkEngine::LinkTick() {
    inTick_ = true;
    uint32_t count = 0;
    bool gotBytes = false;
    if (bridgeOpen_) {
        BridgeStatus status =
            bridge_.HidUart_Read(bridgeHandle_, readBuffer_.data(), ReadRequestLength, &count);
        gotBytes =
            (status == BridgeStatusCode::Success || status == BridgeStatusCode::ReadTimedOut) &&
            count >= 1;
        // Never trust the library's count beyond what was asked for.
        count = std::min(count, ReadRequestLength);
    }
    if (gotBytes) {
        responseTimeout_ = AnswerTicks;
        for (uint32_t i = 0; i < count; ++i) {
            const Slot& slot = slots_[static_cast<uint8_t>(linkState_)];
            if (slot.handler != nullptr) {
                slot.handler->onByte(linkState_, readBuffer_[i]);
            }
        }
    }
    const Slot& slot = slots_[static_cast<uint8_t>(linkState_)];
    if (slot.handler != nullptr && slot.ownTick) {
        slot.handler->onTick(linkState_);
    } else if (!isIdle() && slot.handler != nullptr) {
        countdown();
    }
    inTick_ = false;
}

void LinkEngine::countdown() {
    if (responseTimeout_ == 0) {
        return;
    }
    if (--responseTimeout_ == 0) {
        showExchangeStatus(LinkText::NoResponse);
        EndExchange();
    }
}

void LinkEngine::showExchangeStatus(const std::string& text) {
    if (static_cast<uint8_t>(linkState_) < 9) {
        host_.setStatusText(text);
    } else {
        host_.setUpgradeStatusText(text);
    }
}

void LinkEngine::EndExchange() {
    setLinkState(LinkState::Idle);
    responseTimeout_ = 0;
    host_.setUpgradeProgress(0);
    for (ExchangeHandler* handler : handlers_) {
        handler->onExchangeEnded();
    }
}

void LinkEngine::CancelExchange() {
    if (static_cast<uint8_t>(linkState_) >= 9) {
        host_.setUpgradeStatusText("");
    } else {
        host_.setStatusText(LinkText::StatusIdle);
    }
    EndExchange();
}

} // namespace kestrun
