#pragma once
// The whole link (engine, settings exchange, code upload) against the simulated controller,
// through a bridge that a test can disturb on purpose, with a scratch folder for upgrade and
// settings files. Shared by the fault matrix and the soak.

#include "link/LinkEngine.h"
#include "link/SettingsExchange.h"
#include "sim/SimBootLoader.h"
#include "sim/SimBridge.h"
#include "tests/support/RecordingHost.h"
#include "upgrade/CodeUpload.h"
#include "upgrade/IntelHex.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace kestrun::stress {

namespace fs = std::filesystem;

/// The simulated bridge with a line that can be disturbed: it can drop everything the
/// controller sends (a dead receive line), put bytes of its own at the head of the next read,
/// or right after a chosen byte when that byte arrives.
class FaultyBridge : public sim::SimBridge {
public:
    bool silent = false;               ///< reads bring nothing from now on
    std::vector<uint8_t> garbageNext;  ///< bytes that come first in the next read
    std::vector<uint8_t> garbageAfter; ///< bytes that follow `garbageTrigger` (once)
    std::optional<uint8_t> garbageTrigger;
    /// Called with the bytes of every read that brings some, before the link sees them.
    std::function<void(std::span<const uint8_t>)> tap;

    BridgeStatus HidUart_Read(BridgeHandle device, uint8_t* buffer, uint32_t numBytesToRead,
                              uint32_t* numBytesRead) override {
        // The controller's bytes leave room for ours, so nothing has to wait for the next read.
        const uint32_t room = std::min<uint32_t>(numBytesToRead, ReadBufferSize);
        const std::size_t own = garbageNext.size() + (garbageTrigger ? garbageAfter.size() : 0);
        std::vector<uint8_t> line(room);
        uint32_t got = 0;
        const BridgeStatus status = SimBridge::HidUart_Read(
            device, line.data(), room - static_cast<uint32_t>(std::min<std::size_t>(own, room)),
            &got);
        *numBytesRead = 0;
        if (status != BridgeStatusCode::Success && status != BridgeStatusCode::ReadTimedOut) {
            return status;
        }
        if (silent) {
            return BridgeStatusCode::ReadTimedOut;
        }
        line.resize(std::min(got, room));
        line.insert(line.begin(), garbageNext.begin(), garbageNext.end());
        garbageNext.clear();
        const auto trigger =
            garbageTrigger ? std::find(line.begin(), line.end(), *garbageTrigger) : line.end();
        if (trigger != line.end()) {
            line.insert(trigger + 1, garbageAfter.begin(), garbageAfter.end());
            garbageTrigger.reset();
        }
        std::copy(line.begin(), line.end(), buffer);
        *numBytesRead = static_cast<uint32_t>(line.size());
        if (tap && !line.empty()) {
            tap(line);
        }
        return line.size() == numBytesToRead ? BridgeStatusCode::Success
                                             : BridgeStatusCode::ReadTimedOut;
    }
};

/// The recording host, with a hook where the upgrade posts its "finished" notice (the only
/// moment the link is in state 13) and a count of boxes that a tick tried to open.
class StressHost : public test::RecordingHost {
public:
    void postUpgradeFinished() override {
        RecordingHost::postUpgradeFinished();
        if (onUpgradeFinished) {
            onUpgradeFinished();
        }
    }
    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        boxesInTick += engine != nullptr && engine->inTick();
        RecordingHost::showMessage(text, caption, icon);
    }

    std::function<void()> onUpgradeFinished;
    const LinkEngine* engine = nullptr;
    int boxesInTick = 0;
};

/// A folder of its own, removed with everything in it afterwards. Its path holds no '.', so a
/// file's name decides the dot rule of the upgrade file check.
class ScratchFolder {
public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        path_ = fs::temp_directory_path() /
                ("kestrun-stress-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        // A test may have taken the rights away from a subfolder; give them back to clean up.
        for (auto it = fs::recursive_directory_iterator(path_, ignored);
             it != fs::recursive_directory_iterator(); it.increment(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;

    /// Writes `bytes` to `name` (created or replaced) and answers the full path.
    std::string write(const std::string& name, std::string_view bytes) const {
        const fs::path file = path_ / name;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

/// An upgrade image and the Intel HEX text that carries it: 16 data bytes a line from address
/// 0, each line ending in CR LF, the end-of-file record last.
struct HexImage {
    std::vector<uint8_t> image;
    std::string text;
    std::size_t lineLength = 0; ///< bytes of each data line, CR LF included
};
inline HexImage makeHexImage(std::size_t dataLines, uint32_t seed) {
    HexImage hex;
    uint32_t state = seed;
    for (std::size_t line = 0; line < dataLines; ++line) {
        std::array<uint8_t, 16> data{};
        for (uint8_t& b : data) {
            state = state * 1103515245u + 12345u;
            b = static_cast<uint8_t>(state >> 16);
        }
        hex.image.insert(hex.image.end(), data.begin(), data.end());
        const std::string text = formatHexRecord(0x00, static_cast<uint16_t>(line * 16), data);
        hex.text += text + "\r\n";
        hex.lineLength = text.size() + 2;
    }
    hex.text += formatHexRecord(0x01, 0, {}) + "\r\n";
    return hex;
}

/// Everything in one place, started up as the window starts the link.
struct StressRig {
    FaultyBridge bridge;
    StressHost host;
    LinkEngine engine{bridge, host};
    SettingsExchange exchange{engine, host.record};
    CodeUpload upload{engine};

    StressRig() {
        host.engine = &engine;
        engine.reset();
        engine.ConnectBridge();
    }
    void tick() { engine.LinkTick(); }
    uint8_t state() const { return static_cast<uint8_t>(engine.linkState()); }
    sim::SimController& controller() { return bridge.controller(); }
    /// Hands the device notices the simulated bridge has queued to the link, as the window's
    /// device monitor does.
    void deliverNotices() {
        for (const DeviceChange& change : bridge.takeNotices()) {
            engine.HandleDeviceChange(change.eventType, &change.notice);
        }
    }
    /// Ticks until `done` holds, at most `limit` ticks; answers whether it held.
    bool tickUntil(const std::function<bool()>& done, int limit) {
        for (int i = 0; i < limit && !done(); ++i) {
            tick();
        }
        return done();
    }
};

/// Open file descriptors of this process (a file the link forgot to close shows here).
inline int openDescriptors() {
    const fs::directory_iterator fds("/proc/self/fd");
    return static_cast<int>(std::distance(fs::begin(fds), fs::end(fds)));
}

/// The bytes of a file, or nothing when it cannot be read.
inline std::optional<std::string> fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return in ? std::optional(bytes.str()) : std::nullopt;
}

} // namespace kestrun::stress
