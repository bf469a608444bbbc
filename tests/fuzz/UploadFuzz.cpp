// The upload's file reader on any file at all: any length, any bytes, lines of any length.
//
// Input: one byte n, then n acknowledgement selectors, then the file's contents, uploaded as
// they are, without the full check that "Start" would run on a chosen file (as a forced upload
// from the command line sends them). Each selector is answered on a tick of its own (0x00 line
// taken, 0x01 done, or the selector itself); afterwards the boot loader takes every line until
// the file is consumed and then says it is done.
//
// Checked: every write fits the transmit buffer; a line goes out as ':' and letters and digits
// only, always followed by its own LF CR, and the lines' characters appear in the file in that
// order; the bar stays within 0-255; the upload ends idle, with the file closed and the bar
// at 0, within a number of ticks bounded by the file's length.

#include "tests/fuzz/FuzzSupport.h"

#include <cctype>
#include <string_view>
#include <vector>

using namespace kestrun;
using namespace kestrun::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Script script(data, size);
    const std::span<const uint8_t> acks = script.take(script.byte());
    const std::span<const uint8_t> contents = script.rest();
    test::Rig<> rig;
    LinkEngine& engine = rig.engine;
    CodeUpload& upload = rig.upload;

    std::string sent; // the lines' characters, in the order they went out
    auto tick = [&](uint8_t answer) {
        rig.bridge.queueRead({answer});
        engine.LinkTick();
        FUZZ_CHECK(rig.host.progress >= 0 && rig.host.progress <= 255);
        FUZZ_CHECK(upload.upgradeBytesRead() <= upload.upgradeFileLength());
        bool lineOpen = false; // a line and its LF CR go out on the same tick
        for (const std::vector<uint8_t>& write : rig.bridge.takeWrites()) {
            FUZZ_CHECK(write.size() <= LinkEngine::MaxTextLength);
            const std::string_view w = asText(write);
            if (w == BootLoaderWire::LineEnd) {
                lineOpen = false;
                continue;
            }
            FUZZ_CHECK(!lineOpen); // nothing follows a line before its LF CR
            if (w != BootLoaderWire::Wake && w != BootLoaderWire::WakeAgain &&
                w != BootLoaderWire::Close) {
                for (uint8_t c : write) {
                    FUZZ_CHECK(c == ':' || (c < 0x80 && std::isalnum(c)));
                }
                sent.append(w);
                lineOpen = true;
            }
        }
        FUZZ_CHECK(!lineOpen);
    };

    upload.StartUpgrade(std::vector<uint8_t>(contents.begin(), contents.end())); // unchecked
    tick(BootLoaderWire::Ready);
    tick(BootLoaderWire::Done); // the erase ends: the first line goes out
    for (std::size_t i = 0; i < acks.size() && !engine.isIdle(); ++i) {
        tick(acks[i] % 4 < 2    ? BootLoaderWire::Done
             : acks[i] % 4 == 2 ? BootLoaderWire::ProgrammingDone
                                : acks[i]);
    }
    // A patient boot loader: each 0x00 consumes at least one byte of the file, so the file runs
    // out within its length; then 0x01 finishes, and two ticks bring the link back to idle.
    for (std::size_t guard = 0; !engine.isIdle() && guard <= contents.size() + 1; ++guard) {
        if (upload.upgradeBytesRead() < upload.upgradeFileLength()) {
            tick(BootLoaderWire::Done);
        } else {
            tick(BootLoaderWire::ProgrammingDone);
            engine.LinkTick();
            engine.LinkTick();
        }
    }

    FUZZ_CHECK(engine.isIdle() && !upload.upgradeFileOpen() && rig.host.progress == 0);
    FUZZ_CHECK(!contents.empty() || rig.host.upgradeStatusText == UpgradeText::FileError);
    std::size_t at = 0;
    for (uint8_t b : contents) {
        at += at < sent.size() && static_cast<uint8_t>(sent[at]) == b;
    }
    FUZZ_CHECK(at == sent.size());
    return 0;
}
