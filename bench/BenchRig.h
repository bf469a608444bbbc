#pragma once
// The link with the settings exchange and the upload against the simulated controller, a host
// that only keeps what the user would see, and an upgrade file of a given number of lines.

#include "link/LinkEngine.h"
#include "link/SettingsExchange.h"
#include "settings/SettingsRecord.h"
#include "sim/SimBootLoader.h"
#include "sim/SimBridge.h"
#include "upgrade/CodeUpload.h"

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
    auto line = [](uint8_t type, uint16_t address, const uint8_t* data, std::size_t n) {
        uint8_t sum = static_cast<uint8_t>(n + (address >> 8) + (address & 0xFF) + type);
        char text[64];
        int at = std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<unsigned>(n),
                               static_cast<unsigned>(address), static_cast<unsigned>(type));
        for (std::size_t i = 0; i < n; ++i) {
            at += std::snprintf(text + at, sizeof text - static_cast<std::size_t>(at), "%02X",
                                data[i]);
            sum = static_cast<uint8_t>(sum + data[i]);
        }
        std::snprintf(text + at, sizeof text - static_cast<std::size_t>(at), "%02X\r\n",
                      static_cast<uint8_t>(0x100 - sum));
        return std::string(text);
    };
    std::string hex;
    uint8_t data[16];
    for (std::size_t i = 0; i < dataLines; ++i) {
        for (std::size_t j = 0; j < 16; ++j) {
            data[j] = static_cast<uint8_t>(i * 16 + j);
        }
        hex += line(0x00, static_cast<uint16_t>(i * 16), data, 16);
    }
    hex += line(0x01, 0, data, 0);
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("kestrun-bench-" + std::to_string(dataLines) + ".hex");
    std::ofstream(path, std::ios::binary) << hex;
    return path.string();
}

} // namespace kestrun::bench
