#pragma once
// The upgrade wired to the scripted bridge and the recording host, with a scratch folder for
// upgrade files. Writes read as the bytes that went out, one string per write.

#include "link/LinkEngine.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScriptedBridge.h"
#include "upgrade/CodeUpload.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace kestrun::test {

/// A folder of its own for each test, removed afterwards. Its path holds no '.'.
class ScratchFolder {
public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("kestrun-upgrade-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    /// Writes `bytes` to `name` (which may include a subfolder) and answers the full path.
    std::string write(const std::string& name, const std::string& bytes) const {
        std::filesystem::path p = path_ / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
        return p.string();
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct UploadRig {
    ScriptedBridge bridge;
    RecordingHost host;
    LinkEngine engine{bridge, host};
    CodeUpload upload{engine};
    ScratchFolder folder;

    UploadRig() { engine.ConnectBridge(); }

    /// Selects an upgrade file, then gives it `content`: the upload sends whatever the file holds
    /// when the erase ends, beyond what the check on selection looked at.
    void choose(const std::string& content, const std::string& name = "fw.hex") {
        const std::string path = folder.write(name, ":00");
        upload.SelectUpgradeFile(path);
        ASSERT_EQ(upload.upgradePath(), path);
        folder.write(name, content);
    }
    /// One tick that brings `bytes` (none: an empty read).
    void tick(const std::string& bytes = {}) {
        if (!bytes.empty()) {
            bridge.queueRead(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        }
        engine.LinkTick();
    }
    void idle(int ticks) {
        for (int i = 0; i < ticks; ++i) {
            engine.LinkTick();
        }
    }
    /// "Start", the boot loader's ';', then the end of the erase: the first line goes out.
    void startThroughErase() {
        upload.StartUpgrade();
        tick(";");
        tick(std::string(1, '\0'));
    }
    /// The writes since the last call, each as its bytes.
    std::vector<std::string> writes() {
        std::vector<std::string> out;
        for (const auto& w : bridge.takeWrites()) {
            out.emplace_back(w.begin(), w.end());
        }
        return out;
    }
    int state() const { return static_cast<int>(engine.linkState()); }
};

inline const std::string Ack(1, '\0');
inline const std::string Done = "\x01";

} // namespace kestrun::test
