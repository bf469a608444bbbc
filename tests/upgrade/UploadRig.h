#pragma once
// The upgrade wired to a bridge (the scripted one, or the simulated controller) and the recording
// host, with a scratch folder for upgrade files. Writes read as the bytes that went out, one
// string per write.

#include "link/LinkEngine.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScriptedBridge.h"
#include "upgrade/CodeUpload.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrun::test {

using Writes = std::vector<std::string>;
inline const std::string Ack(1, '\0');  // erase finished, or line taken
inline const std::string Done = "\x01"; // the end record has been programmed

inline bool operator==(const Message& a, const Message& b) {
    return a.text == b.text && a.caption == b.caption && a.icon == b.icon;
}

/// A folder of its own, removed afterwards.
struct ScratchFolder {
    std::filesystem::path path = [] {
        std::string name = std::filesystem::temp_directory_path() / "kestrun-upgrade-XXXXXX";
        return ::mkdtemp(name.data()) != nullptr ? name
                                                 : throw std::runtime_error("mkdtemp " + name);
    }();
    ScratchFolder() = default;
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() { std::filesystem::remove_all(path); }

    /// Writes `bytes` to `name` (which may include a subfolder) and answers the full path.
    std::string write(const std::string& name, const std::string& bytes) const {
        const std::filesystem::path p = path / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
        return p.string();
    }
};

template <class Bridge = ScriptedBridge>
struct UploadRig {
    Bridge bridge;
    RecordingHost host;
    LinkEngine engine{bridge, host};
    CodeUpload upload{engine};
    ScratchFolder folder;

    UploadRig() { engine.ConnectBridge(); }

    /// Selects an upgrade file, then gives it `content`: the upload sends whatever the file holds
    /// when the erase ends, beyond what the check on selection looked at.
    void choose(const std::string& content) {
        const std::string path = folder.write("fw.hex", ":00");
        upload.SelectUpgradeFile(path);
        ASSERT_EQ(upload.upgradePath(), path);
        folder.write("fw.hex", content);
    }
    /// One tick that brings `bytes` (none: an empty read).
    void tick(const std::string& bytes = {}) {
        if (!bytes.empty()) {
            bridge.queueRead(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        }
        engine.LinkTick();
    }
    /// Idle ticks: `ticks` of them, or fewer once the link's state is `until`; answers the count.
    int idle(int ticks, int until = -1) {
        int done = 0;
        for (; done < ticks && state() != until; ++done) {
            engine.LinkTick();
        }
        return done;
    }
    /// "Start", then one tick for each of `reads`.
    void start(const Writes& reads) {
        upload.StartUpgrade();
        for (const auto& bytes : reads) {
            tick(bytes);
        }
    }
    /// "Start", the boot loader's ';', then the end of the erase: the first line goes out.
    void startThroughErase() { start({";", Ack}); }
    /// The writes since the last call, each as its bytes.
    Writes writes() {
        Writes out;
        for (const auto& w : bridge.takeWrites()) {
            out.emplace_back(w.begin(), w.end());
        }
        return out;
    }
    int state() const { return static_cast<int>(engine.linkState()); }
};

} // namespace kestrun::test
