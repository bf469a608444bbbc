#include "sim/SimBootLoader.h"

#include "sim/SettingsResponder.h"
#include "upgrade/IntelHex.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace kestrun::sim {
namespace {

// After a settings frame's header come the record and its check byte: data, never a request.
constexpr std::size_t FrameDataLength = RecordSize + 1;

constexpr std::string_view WakeRequest = "\x1b"
                                         "P";
constexpr std::string_view WakeRepeat = "033P";
constexpr std::string_view CloseCommand = "Z\n\r";
// More than any record holds; a longer line is refused as a whole.
constexpr std::size_t MaxLineLength = 600;

bool endsWith(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail.data(), tail.size()) == 0;
}

} // namespace

SimBootLoader::SimBootLoader(SimController& controller) : controller_(controller) {}

bool SimBootLoader::wakeUpRequested(uint8_t byte) {
    if (phase_ == Phase::Asleep) {
        // Let a settings frame pass whole: its record may hold the bytes of a request.
        if (settingsFrameLeft_ > 0) {
            --settingsFrameLeft_;
            return false;
        }
        if (afterHeader1_ && byte == SettingsResponder::Header2) {
            afterHeader1_ = false;
            settingsFrameLeft_ = FrameDataLength;
            recent_.clear();
            return false;
        }
        afterHeader1_ = byte == SettingsResponder::Header1;
    }
    recent_.push_back(static_cast<char>(byte));
    if (recent_.size() > WakeRepeat.size()) {
        recent_.erase(recent_.begin());
    }
    if (endsWith(recent_, WakeRequest) || endsWith(recent_, WakeRepeat)) {
        recent_.clear();
        ++wakeUps_;
        return true;
    }
    return false;
}

void SimBootLoader::onByte(uint8_t byte) {
    const bool wakeUp = wakeUpRequested(byte);
    switch (phase_) {
    case Phase::Asleep:
        if (wakeUp && wakeUps_ > options_.ignoreWakeUps) {
            wake();
        }
        break;
    case Phase::Erasing:
        break; // a repeated request that crossed the ';' on the wire
    case Phase::Lines:
    case Phase::AwaitClose:
        if (wakeUp) {
            // A new start after an abandoned upgrade: the whole sequence again.
            wake();
        } else if (phase_ == Phase::Lines) {
            takeLineByte(byte);
        } else if (endsWith(recent_, CloseCommand)) {
            phase_ = Phase::Asleep;
            recent_.clear();
            ++programmingsClosed_;
            controller_.claim(nullptr);
        }
        break;
    }
}

void SimBootLoader::wake() {
    controller_.claim(this);
    phase_ = Phase::Erasing;
    ++erases_;
    flash_.assign(options_.flashSize, 0xFF);
    erasePosition_ = 0;
    eraseWait_ = options_.answerDelayTicks + options_.eraseStepTicks;
    line_.clear();
    lineTooLong_ = false;
    afterLineFeed_ = false;
    linesSeen_ = 0;
    base_ = 0;
    silent_ = false;
    answer(Ready);
}

void SimBootLoader::onTick() {
    if (phase_ != Phase::Erasing) {
        return;
    }
    if (options_.eraseStallsAfter && erasePosition_ >= *options_.eraseStallsAfter) {
        return;
    }
    if (eraseWait_ > 0) {
        --eraseWait_;
        return;
    }
    eraseWait_ = options_.eraseStepTicks;
    uint8_t report = LineTaken;
    if (erasePosition_ < options_.eraseProgress.size()) {
        report = options_.eraseProgress[erasePosition_++];
    } else {
        phase_ = Phase::Lines;
    }
    controller_.send(std::span<const uint8_t>(&report, 1));
}

void SimBootLoader::onLinkLost() {
    line_.clear();
    lineTooLong_ = false;
    afterLineFeed_ = false;
    recent_.clear();
    settingsFrameLeft_ = 0;
    afterHeader1_ = false;
}

void SimBootLoader::takeLineByte(uint8_t byte) {
    if (std::exchange(afterLineFeed_, false) && byte == '\r') {
        return;
    }
    if (byte == '\n') {
        afterLineFeed_ = true;
        takeLine();
        return;
    }
    if (line_.size() < MaxLineLength) {
        line_.push_back(static_cast<char>(byte));
    } else {
        lineTooLong_ = true;
    }
}

void SimBootLoader::takeLine() {
    std::string line = std::exchange(line_, {});
    const bool tooLong = std::exchange(lineTooLong_, false);
    ++linesSeen_;
    if (options_.silentAfterLines && linesSeen_ > *options_.silentAfterLines) {
        silent_ = true;
    }
    if (silent_) {
        return;
    }
    const bool forcedBad = options_.badLine && *options_.badLine == linesSeen_;
    const uint8_t reply = forcedBad || tooLong ? options_.badLineAnswer : program(line);
    if (reply == LineTaken) {
        ++linesTaken_;
    } else if (reply == ProgrammingDone) {
        phase_ = Phase::AwaitClose;
    } else {
        ++linesRefused_;
    }
    answer(reply);
}

uint8_t SimBootLoader::program(const std::string& line) {
    auto record = parseHexRecord(line);
    if (!record) {
        return options_.badLineAnswer;
    }
    const std::vector<uint8_t>& data = record->data;
    switch (record->type) {
    case HexRecordType::Data: {
        const uint64_t start = uint64_t{base_} + record->address;
        if (start < options_.flashBase ||
            start - options_.flashBase + data.size() > flash_.size()) {
            return options_.badLineAnswer;
        }
        std::copy(data.begin(), data.end(),
                  flash_.begin() + static_cast<std::ptrdiff_t>(start - options_.flashBase));
        return LineTaken;
    }
    case HexRecordType::ExtendedSegmentAddress:
        base_ = static_cast<uint32_t>(data[0] << 8 | data[1]) << 4;
        return LineTaken;
    case HexRecordType::ExtendedLinearAddress:
        base_ = static_cast<uint32_t>(data[0] << 8 | data[1]) << 16;
        return LineTaken;
    case HexRecordType::EndOfFile:
        return ProgrammingDone;
    default:
        return LineTaken; // a start address: nothing to program
    }
}

void SimBootLoader::answer(uint8_t byte) {
    if (!silent_) {
        controller_.send(std::span<const uint8_t>(&byte, 1), options_.answerDelayTicks);
    }
}

} // namespace kestrun::sim
