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

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrun::stress {

/// Sits between the link and the simulated bridge. It can drop everything the controller sends
/// (a dead receive line), put bytes of its own at the head of the next read, or right after a
/// chosen byte when that byte arrives. Everything else goes straight through.
class FaultyBridge : public BridgeLibrary {
public:
    explicit FaultyBridge(sim::SimBridge& inner) : inner_(inner) {}

    /// Reads bring nothing from now on (status "Read timed out", count 0).
    bool silent = false;
    /// Bytes that come first in the next read.
    std::vector<uint8_t> garbageNext;
    /// Bytes that follow `garbageTrigger` in the read that brings it (once).
    std::vector<uint8_t> garbageAfter;
    std::optional<uint8_t> garbageTrigger;
    /// Called with the bytes of every read that brings some, before the link sees them.
    std::function<void(std::span<const uint8_t>)> tap;

    BridgeStatus HidUart_GetNumDevices(uint32_t* n, uint16_t vid, uint16_t pid) override {
        return inner_.HidUart_GetNumDevices(n, vid, pid);
    }
    BridgeStatus HidUart_GetString(uint32_t index, uint16_t vid, uint16_t pid, char* text,
                                   uint32_t options) override {
        return inner_.HidUart_GetString(index, vid, pid, text, options);
    }
    BridgeStatus HidUart_Open(BridgeHandle* device, uint32_t index, uint16_t vid,
                              uint16_t pid) override {
        pending_.clear();
        return inner_.HidUart_Open(device, index, vid, pid);
    }
    BridgeStatus HidUart_SetTimeouts(BridgeHandle device, uint32_t readTimeout,
                                     uint32_t writeTimeout) override {
        return inner_.HidUart_SetTimeouts(device, readTimeout, writeTimeout);
    }
    BridgeStatus HidUart_Read(BridgeHandle device, uint8_t* buffer, uint32_t numBytesToRead,
                              uint32_t* numBytesRead) override;
    BridgeStatus HidUart_Write(BridgeHandle device, const uint8_t* buffer, uint32_t count,
                               uint32_t* written) override {
        return inner_.HidUart_Write(device, buffer, count, written);
    }
    BridgeStatus HidUart_GetOpenedString(BridgeHandle device, char* text,
                                         uint32_t options) override {
        return inner_.HidUart_GetOpenedString(device, text, options);
    }
    BridgeStatus HidUart_Close(BridgeHandle device) override {
        pending_.clear();
        return inner_.HidUart_Close(device);
    }

private:
    sim::SimBridge& inner_;
    std::deque<uint8_t> pending_; ///< bytes beyond what one read may hand over
    std::vector<uint8_t> scratch_ = std::vector<uint8_t>(ReadBufferSize);
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
        if (engine != nullptr && engine->inTick()) {
            ++boxesInTick;
        }
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
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    /// Writes `bytes` to `name` (created or replaced) and answers the full path.
    std::string write(const std::string& name, std::span<const uint8_t> bytes) const;
    std::string write(const std::string& name, const std::string& text) const;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

/// An upgrade image and the Intel HEX text that carries it: 16 data bytes a line from address
/// 0, each line ending in CR LF, the end-of-file record last.
struct HexImage {
    std::vector<uint8_t> image;
    std::string text;
    std::size_t lines = 0;      ///< record lines, the end record included
    std::size_t lineLength = 0; ///< bytes of each data line, CR LF included
};
HexImage makeHexImage(std::size_t dataLines, uint32_t seed);

/// Everything in one place, started up as the window starts the link.
struct StressRig {
    sim::SimBridge sim;
    FaultyBridge bridge{sim};
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
    /// Hands the device notices the simulated bridge has queued to the link, as the window's
    /// device monitor does.
    void deliverNotices() {
        for (const DeviceChange& change : sim.takeNotices()) {
            engine.HandleDeviceChange(change.eventType, &change.notice);
        }
    }
    /// Ticks until `done` holds, at most `limit` ticks; answers whether it held.
    bool tickUntil(const std::function<bool()>& done, int limit);
};

/// Open file descriptors of this process (a file the link forgot to close shows here).
int openDescriptors();

/// The bytes of a file, or nothing when it cannot be read.
std::optional<std::vector<uint8_t>> fileBytes(const std::filesystem::path& path);

} // namespace kestrun::stress
