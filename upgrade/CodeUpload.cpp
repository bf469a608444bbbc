#include "upgrade/CodeUpload.h"

#include "upgrade/IntelHex.h"
#include "upgrade/ReadOnlyFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kestrun {
namespace {

constexpr int CR = 0x0D;
constexpr int LF = 0x0A;

bool isLetterOrDigit(int c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::size_t lastSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

std::string fileNameOf(const std::string& path) {
    std::size_t cut = lastSeparator(path);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

} // namespace

bool IsHexFile(const std::string& path) {
    std::size_t dot = path.find('.');
    if (dot == std::string::npos || dot < 2) {
        return false;
    }
    FileHandle file = openRegularFile(path);
    if (!file) {
        return false;
    }
    if (std::getc(file.get()) != ':') {
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        int c = std::getc(file.get());
        if (c == EOF || !isLetterOrDigit(c)) {
            return false;
        }
    }
    return true;
}

CodeUpload::CodeUpload(LinkEngine& engine) : engine_(engine), host_(engine.host()) {
    engine_.setHandler(LinkState::WaitBootLoader, this, true);
    engine_.setHandler(LinkState::Erasing, this);
    engine_.setHandler(LinkState::Uploading, this);
    engine_.setHandler(LinkState::Finishing1, this, true);
    engine_.setHandler(LinkState::Finishing2, this, true);
    lineBuffer_.reserve(LinkEngine::MaxTextLength);
}

void CodeUpload::SelectUpgradeFile(const std::string& chosenPath) {
    if (!canSelectFile() || chosenPath.empty()) {
        return;
    }
    std::string name = fileNameOf(chosenPath);
    if (!IsHexFile(chosenPath)) {
        // Built by concatenation: an in-place replace in the short text trips a false
        // -Wrestrict in optimised builds of GCC 12.
        const std::string_view pattern = UpgradeText::NotValidFile;
        const std::size_t at = pattern.find("%s");
        const std::string text =
            std::string(pattern.substr(0, at)) + name + std::string(pattern.substr(at + 2));
        host_.showMessage(text, UpgradeText::NotValidFileCaption, MessageIcon::None);
        return;
    }
    upgradePath_ = chosenPath;
    upgradeFileName_ = std::move(name);
    host_.setUpgradeFileText(upgradeFileName_);
}

std::string CodeUpload::dialogFolder() const {
    std::size_t cut = lastSeparator(upgradePath_);
    if (cut == std::string::npos) {
        return {};
    }
    return cut == 0 ? upgradePath_.substr(0, 1) : upgradePath_.substr(0, cut);
}

bool CodeUpload::refusedUnconnected() {
    if (engine_.bridgeOpen()) {
        return false;
    }
    engine_.ShowNotConnected();
    return true;
}

void CodeUpload::StartUpgrade() {
    if (refusedUnconnected()) {
        return;
    }
    if (upgradePath_.empty()) {
        host_.showMessage(UpgradeText::NoFileSelected, LinkText::AppName, MessageIcon::None);
        return;
    }
    if (!engine_.isIdle()) {
        return;
    }
    // The boot loader erases the flash before it takes the first line: a file that breaks off
    // half-way, or changes after this check, would leave the controller without firmware.
    UpgradeImage image = readUpgradeImage(upgradePath_);
    if (!image.check.ok) {
        std::string where = image.check.problem;
        if (image.check.line != 0) {
            where = "Line " + std::to_string(image.check.line) + ": " + where;
        } else if (!where.empty()) {
            where[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(where[0])));
        }
        std::string text = UpgradeText::CannotProgram;
        text.replace(text.rfind("%s"), 2, where);
        text.replace(text.find("%s"), 2, upgradeFileName_);
        host_.showMessage(text, UpgradeText::NotValidFileCaption, MessageIcon::Error);
        return;
    }
    StartUpgrade(std::move(image.bytes));
}

void CodeUpload::StartUpgrade(std::vector<uint8_t> image) {
    if (refusedUnconnected() || !engine_.isIdle()) {
        return;
    }
    image_ = std::move(image);
    holding_ = true;
    trailerStart_ = trailerStart(image_);
    // A failed write shows its box here (we are in a command) and the sequence goes on: the
    // repeated wake-up request in state 9 reaches the boot loader all the same.
    engine_.TransmitText(BootLoaderWire::Wake);
    engine_.setResponseTimeout(AnswerTicks);
    host_.setUpgradeStatusText(UpgradeText::Waiting);
    engine_.setLinkState(LinkState::WaitBootLoader);
}

void CodeUpload::onByte(LinkState state, uint8_t byte) {
    switch (state) {
    case LinkState::WaitBootLoader:
        if (byte == BootLoaderWire::Ready) {
            host_.setUpgradeStatusText(UpgradeText::Erasing);
            engine_.setResponseTimeout(EraseTicks);
            engine_.setLinkState(LinkState::Erasing);
        }
        break;
    case LinkState::Erasing:
        if (byte == BootLoaderWire::Done) {
            openUpgradeFile();
        } else {
            host_.setUpgradeProgress(byte);
        }
        break;
    case LinkState::Uploading:
        if (byte == BootLoaderWire::Done) {
            SendNextLine();
        } else if (byte == BootLoaderWire::ProgrammingDone) {
            // Taken only once the whole file has gone out; earlier it is not the end. Blank
            // lines and comments after the last line sent are not part of the firmware.
            if (bytesRead_ >= fileLength_ || restIsTrailer()) {
                finish();
            }
        } else {
            fail(UpgradeText::CommunicationsError);
        }
        break;
    default:
        break;
    }
}

void CodeUpload::onTick(LinkState state) {
    switch (state) {
    case LinkState::WaitBootLoader:
        // No time limit here: the boot loader may be woken long after "Start".
        if (engine_.responseTimeout() != 0) {
            engine_.setResponseTimeout(engine_.responseTimeout() - 1);
        } else {
            engine_.TransmitText(BootLoaderWire::WakeAgain);
            engine_.setResponseTimeout(WakeRepeatTicks);
        }
        break;
    case LinkState::Finishing1:
        engine_.setLinkState(LinkState::Finishing2);
        break;
    case LinkState::Finishing2:
        host_.setUpgradeStatusText("");
        engine_.EndExchange();
        break;
    default:
        break;
    }
}

void CodeUpload::openUpgradeFile() {
    // An empty file would leave the bar without a divisor (only a forced upload gets here with
    // one): it cannot be uploaded as it stands.
    if (image_.empty()) {
        fail(UpgradeText::FileError);
        return;
    }
    fileLength_ = static_cast<uint32_t>(std::min<std::size_t>(image_.size(), UINT32_MAX));
    bytesRead_ = 0;
    host_.setUpgradeProgress(0);
    host_.setUpgradeStatusText(UpgradeText::Uploading);
    engine_.setLinkState(LinkState::Uploading);
    SendNextLine();
}

int CodeUpload::readByte() {
    return image_[bytesRead_++];
}

void CodeUpload::SendNextLine() {
    lineBuffer_.clear();
    while (bytesRead_ < fileLength_) {
        const int byte = readByte();
        if (lineBuffer_.empty() && (byte == CR || byte == LF)) {
            continue;
        }
        if (isRecordChar(byte)) {
            // The line must fit the transmit buffer: a longer one is not a line the boot loader
            // can take, and cutting it would program something other than the file.
            if (lineBuffer_.size() == LinkEngine::MaxTextLength) {
                fail(UpgradeText::FileError);
                return;
            }
            lineBuffer_.push_back(static_cast<char>(byte));
            continue;
        }
        const bool lastByte = bytesRead_ == fileLength_;
        discardLineEnd(byte);
        // Once only blank lines and comments are left the file counts as consumed: they hold
        // nothing for the boot loader, and its 0x01 for the end record then finishes.
        if (restIsTrailer()) {
            bytesRead_ = fileLength_;
        }
        sendLine();
        if (!lastByte) {
            showBar();
        }
        return;
    }
    // The file has run out. A last line without its line end still goes out, so the end record
    // is not lost; after a complete last line nothing is left and the boot loader's 0x01 is due.
    if (!lineBuffer_.empty()) {
        sendLine();
    }
    showBar();
}

void CodeUpload::discardLineEnd(int endByte) {
    if (endByte == LF) {
        return;
    }
    if (endByte == CR) {
        // The LF of CR LF belongs to this line. After a lone CR the next line starts at once.
        if (bytesRead_ < fileLength_ && image_[bytesRead_] == LF) {
            ++bytesRead_;
        }
        return;
    }
    // A blank or a comment after the record: the rest of the line up to its CR or LF goes.
    while (bytesRead_ < fileLength_) {
        const int byte = readByte();
        if (byte == CR || byte == LF) {
            break;
        }
    }
}

void CodeUpload::sendLine() {
    // An empty line puts only its LF CR on the wire.
    if (!lineBuffer_.empty()) {
        engine_.TransmitText(lineBuffer_);
    }
    engine_.TransmitText(BootLoaderWire::LineEnd);
}

void CodeUpload::showBar() {
    if (fileLength_ == 0) {
        return;
    }
    // 64-bit, so files of 16 MiB and more still move the bar.
    uint64_t position = static_cast<uint64_t>(bytesRead_) * 256 / fileLength_;
    host_.setUpgradeProgress(static_cast<int>(std::min<uint64_t>(position, 255)));
}

void CodeUpload::release() {
    image_.clear();
    image_.shrink_to_fit();
    holding_ = false;
}

void CodeUpload::finish() {
    release();
    engine_.TransmitText(BootLoaderWire::Close);
    engine_.setLinkState(LinkState::Finishing1);
    host_.postUpgradeFinished();
    host_.setUpgradeStatusText("");
    host_.setUpgradeProgress(0);
}

void CodeUpload::fail(const char* text) {
    host_.setUpgradeStatusText(text);
    engine_.EndExchange();
}

} // namespace kestrun
