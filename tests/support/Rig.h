#pragma once
// One rig for every core test: the link engine with the settings exchange and the code upload,
// as the window wires them, over any bridge (the scripted fake, the simulated controller, a
// disturbed line) and the recording host, stepped tick by tick. Also a scratch folder and hex
// helpers, so that a test reads like a wire transcript ("3B 47" is what the link wrote).

#include "link/DeviceMonitor.h"
#include "link/SettingsExchange.h"
#include "settings/SettingsFields.h"
#include "tests/support/ScriptedBridge.h"
#include "upgrade/CodeUpload.h"
#include "upgrade/IntelHex.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <random>
#include <span>
#include <sstream>
#include <stdexcept>

namespace kestrun::test {

namespace fs = std::filesystem;

struct Message {
    std::string text;
    std::string caption;
    MessageIcon icon;
    bool operator==(const Message&) const = default;
};

/// A link host that records everything the link shows, in order, so a test can read what the
/// user would have seen. Messages are recorded, never shown; one that a tick tried to open is
/// counted, since a box must never open inside a tick.
class RecordingHost : public LinkHost {
public:
    void setStatusText(const std::string& text) override {
        statusText = text;
        events.push_back("status \"" + text + "\"");
    }
    void setUpgradeStatusText(const std::string& text) override {
        upgradeStatusText = text;
        events.push_back("upgrade status \"" + text + "\"");
    }
    void setConnectionText(const std::string& text) override {
        connectionText = text;
        events.push_back("connection \"" + text + "\"");
    }
    void setUpgradeProgress(int position) override { progress = position; }
    void setUpgradeFileText(const std::string& text) override { upgradeFileText = text; }
    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        boxesInTick += engine != nullptr && engine->inTick();
        messages.push_back({text, caption, icon});
        events.push_back("message \"" + text + "\"");
    }
    // The controls are modelled as the window's shown settings, through the same functions
    // the window's binding uses.
    void recordToControls() override {
        controls = shownFromRecord(record);
        ++recordToControlsCalls;
    }
    void controlsToRecord() override { record = recordFromShown(controls); }
    void postUpgradeFinished() override {
        ++upgradeFinishedNotices;
        if (onUpgradeFinished) {
            onUpgradeFinished();
        }
    }

    SettingsRecord record = StartRecord; ///< the document's record
    ShownSettings controls = startSettings();
    std::string statusText = "---";
    std::string upgradeStatusText;
    std::string connectionText = "Disconnected";
    std::string upgradeFileText;
    int progress = 0;
    std::vector<Message> messages;
    std::vector<std::string> events;
    int recordToControlsCalls = 0;
    int upgradeFinishedNotices = 0;
    std::function<void()> onUpgradeFinished; ///< runs where the notice is posted
    const LinkEngine* engine = nullptr;      ///< set: boxes opened inside its tick are counted
    int boxesInTick = 0;
};

/// "A5 5A 01" -> {0xA5, 0x5A, 0x01}: two digits a byte, one space between bytes.
inline std::vector<uint8_t> hexBytes(std::string_view text) {
    std::vector<uint8_t> out;
    for (std::size_t at = 0; at + 1 < text.size(); at += 3) {
        out.push_back(
            static_cast<uint8_t>(std::stoul(std::string(text.substr(at, 2)), nullptr, 16)));
    }
    return out;
}

/// {0xA5, 0x5A} -> "A5 5A".
inline std::string hexText(std::span<const uint8_t> bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        out += std::string(out.empty() ? "" : " ") + digits[b >> 4] + digits[b & 0x0F];
    }
    return out;
}

/// A full get reply (or send frame) as hex text: A5 5A, the record, the sum of its bytes modulo
/// 256, summed here and not by the product's own function.
inline std::string getReply(const SettingsRecord& record) {
    const auto sum = static_cast<uint8_t>(std::accumulate(record.begin(), record.end(), 0));
    return "A5 5A " + hexText(record) + " " + hexText(std::span(&sum, 1));
}

/// A record that differs from the start record in every byte that matters (its sum is EE).
// clang-format off
inline constexpr SettingsRecord OtherRecord = {0x2A, 0x63, 0x01, 0x64, 0x02, 0x01, 0x03, 0x01,
    0x00, 0x00, 0x0F, 0xFF, 0x01, 0x99, 0x07, 0xFF, 0x0A, 0x3D};
// clang-format on

/// A folder of its own, made on first use and removed with everything in it afterwards (rights
/// a test took away are given back first). Its path holds no '.', so a file's own name decides
/// the dot rule of the upgrade file check.
class ScratchFolder {
public:
    ~ScratchFolder() {
        std::error_code ignored;
        for (auto it = fs::recursive_directory_iterator(path_, ignored);
             it != fs::recursive_directory_iterator(); it.increment(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const {
        for (int tries = 0; path_.empty(); ++tries) {
            static std::random_device random;
            const fs::path name =
                fs::temp_directory_path() / ("kestrun-test-" + std::to_string(random()));
            if (fs::create_directory(name)) {
                fs::permissions(name, fs::perms::owner_all);
                path_ = name;
            } else if (tries == 100) {
                throw std::runtime_error("no scratch folder free beside " + name.string());
            }
        }
        return path_;
    }
    /// Writes `bytes` to `name` (which may include a subfolder, created or replaced) and answers
    /// the full path.
    std::string write(const std::string& name, std::string_view bytes) const {
        const fs::path file = path() / name;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }

private:
    mutable fs::path path_;
};

/// The bytes of a file, or nothing when it cannot be read.
inline std::optional<std::string> fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return in ? std::optional(bytes.str()) : std::nullopt;
}

/// Open files of this process: its descriptors under /proc on Linux, its handles on Windows.
/// A file the link or the upload forgot to close shows as one more.
int openDescriptors();

/// An upgrade image and the Intel HEX text that carries it: 16 pseudo-random data bytes a line
/// from address 0, each line ending in CR LF, the end-of-file record last.
struct HexImage {
    std::vector<uint8_t> image;
    std::string text;
    std::size_t lineLength = 0; ///< bytes of each data line, CR LF included
};
inline HexImage makeHexImage(std::size_t dataLines, uint32_t seed) {
    HexImage hex;
    for (std::size_t line = 0; line < dataLines; ++line) {
        std::array<uint8_t, 16> data{};
        for (uint8_t& b : data) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<uint8_t>(seed >> 16);
        }
        hex.image.insert(hex.image.end(), data.begin(), data.end());
        const std::string text = formatHexRecord(0x00, static_cast<uint16_t>(line * 16), data);
        hex.text += text + "\r\n";
        hex.lineLength = text.size() + 2;
    }
    hex.text += formatHexRecord(0x01, 0, {}) + "\r\n";
    return hex;
}

using Writes = std::vector<std::string>;
/// The boot loader's answers, as hex text: awake, erase finished or line taken, programmed.
inline const std::string Ready = "3B", Ack = "00", Done = "01";

/// Start-up as the window does it (initial state, then the connection) over any bridge.
template <class Bridge = ScriptedBridge>
struct Rig {
    Bridge bridge;
    RecordingHost host;
    LinkEngine engine{bridge, host};
    SettingsExchange exchange{engine, host.record};
    CodeUpload upload{engine};
    ScratchFolder folder;

    /// Started up over a bridge made from `args` (a driver takes its device, say).
    template <class... Args>
    explicit Rig(bool connect = true, Args&&... args) : bridge(std::forward<Args>(args)...) {
        host.engine = &engine;
        engine.reset();
        if (connect) {
            engine.ConnectBridge();
        }
    }
    void tick() { engine.LinkTick(); }
    /// One tick whose read brings these bytes (scripted bridge only).
    void tick(std::string_view hex) {
        if (!hex.empty()) {
            bridge.queueRead(hexBytes(hex));
        }
        engine.LinkTick();
    }
    /// Ticks until `done` holds, at most `limit` of them; answers the ticks taken (-1: it never
    /// held).
    int ticksUntil(const std::function<bool()>& done, int limit) {
        int ticks = 0;
        for (; ticks < limit && !done(); ++ticks) {
            engine.LinkTick();
        }
        return done() ? ticks : -1;
    }
    void idleTicks(int count) {
        ticksUntil([] { return false; }, count);
    }
    /// Ticks until the link is idle again (at most `limit`); answers the ticks taken (-1: never).
    int runExchange(int limit = 5000) {
        return ticksUntil([this] { return engine.isIdle(); }, limit);
    }
    uint8_t state() const { return static_cast<uint8_t>(engine.linkState()); }

    /// All bytes written so far, as hex text (scripted bridge only).
    std::string wire() const { return hexText(bridge.wire()); }
    /// The writes since the last call, each as its bytes (scripted bridge only).
    Writes writes() {
        Writes out;
        for (const auto& w : bridge.takeWrites()) {
            out.emplace_back(w.begin(), w.end());
        }
        return out;
    }
    /// Selects an upgrade file, then gives it `content`: "Start" reads and checks whatever the
    /// file holds by then, beyond what the check on selection looked at.
    std::string choose(const std::string& content) {
        upload.SelectUpgradeFile(folder.write("fw.hex", ":00"));
        return folder.write("fw.hex", content);
    }
    /// "Start", then one tick for each of `reads` (hex text).
    void start(const Writes& reads) {
        upload.StartUpgrade();
        for (const auto& hex : reads) {
            tick(hex);
        }
    }
    /// Hands the device notices the simulated bridge has queued to the link, as the window's
    /// device monitor does.
    void deliverNotices() {
        for (const auto& change : bridge.takeNotices()) {
            engine.HandleDeviceChange(change.eventType, &change.notice);
        }
    }
};

} // namespace kestrun::test
