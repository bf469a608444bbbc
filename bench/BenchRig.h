#pragma once
// The link with the settings exchange and the upload against the simulated controller, a host
// that only keeps what the user would see, and an upgrade file of a given number of lines.

#include "link/LinkEngine.h"
#include "link/SettingsExchange.h"
#include "settings/SettingsRecord.h"
#include "sim/SimBootLoader.h"
#include "sim/SimBridge.h"
#include "upgrade/CodeUpload.h"
#include "upgrade/IntelHex.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace kestrun::bench {

class QuietHost : public LinkHost {
public:
    void setStatusText(const std::string& text) override { status = text; }
    void setUpgradeStatusText(const std::string& text) override { upgradeStatus = text; }
    void setConnectionText(const std::string&) override {}
    void setUpgradeProgress(int position) override { progress = position; }
    void setUpgradeFileText(const std::string&) override {}
    void showMessage(const std::string& text, const std::string&, MessageIcon) override {
        std::fprintf(stderr, "box: %s\n", text.c_str());
    }
    void recordToControls() override {}
    void controlsToRecord() override {}
    void postUpgradeFinished() override { ++finished; }

    SettingsRecord record = StartRecord;
    std::string status, upgradeStatus;
    int progress = 0;
    int finished = 0;
};

struct BenchRig {
    sim::SimBridge sim;
    QuietHost host;
    LinkEngine engine{sim, host};
    SettingsExchange exchange{engine, host.record};
    CodeUpload upload{engine};

    BenchRig() {
        engine.reset();
        engine.ConnectBridge();
    }
};

/// Writes an upgrade file of `dataLines` records of 16 bytes, and the end record, into the
/// system's temporary folder; answers its path.
inline std::string writeUpgradeFile(std::size_t dataLines) {
    std::string hex;
    std::array<uint8_t, 16> data{};
    for (std::size_t i = 0; i < dataLines; ++i) {
        for (std::size_t j = 0; j < data.size(); ++j) {
            data[j] = static_cast<uint8_t>(i * 16 + j);
        }
        hex += formatHexRecord(0x00, static_cast<uint16_t>(i * 16), data) + "\r\n";
    }
    hex += formatHexRecord(0x01, 0, {}) + "\r\n";
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("kestrun-bench-" + std::to_string(dataLines) + ".hex");
    std::ofstream(path, std::ios::binary) << hex;
    return path.string();
}

} // namespace kestrun::bench
