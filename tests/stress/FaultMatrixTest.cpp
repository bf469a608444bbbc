// Every state of the link against every fault: the link ends idle, shows the text its state's
// failure calls for, leaves the upgrade file closed and the bar at 0, and loses nothing (the
// document's record, the previous settings file, the chosen upgrade file).
//
// The controller is the simulated one, sending one byte a tick so that every state of an
// exchange lasts at least a tick. A fault strikes right after the link has entered the state
// and lasts to the end of the case. Exceptions, both in the table: a failing write is armed
// before the click for the states a click enters (1, 5, 9), whose only writes are the click's
// own; and state 13 never outlasts the tick that entered it, so its faults strike inside that
// tick, at the moment the upgrade posts its "finished" notice.

#include "tests/stress/FaultMatrix.h"
#include "tests/stress/SaveFaults.h"
#include "tests/stress/StressRig.h"

#include "settings/SettingsFields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

namespace kestrun::stress {
namespace {

namespace fs = std::filesystem;

// Bytes that mean nothing to any state: no header byte, no ';', no 0x00, no 0x01.
const std::vector<uint8_t> Garbage = {0xFF, 0x13, 0x80, 0x7E, 0x02};

constexpr SettingsRecord ControllerRecord = {0x33, 0x44, 0x07, 0x09, 0x02, 0x01, 0x03, 0x01, 0x02,
                                             0x00, 0x0A, 0x00, 0x03, 0x00, 0x07, 0x00, 0x0D, 0x00};
constexpr SettingsRecord SendRecord = {0x50, 0x10, 0x02, 0x03, 0x03, 0x00, 0x02, 0x01, 0x01,
                                       0x00, 0x0E, 0x00, 0x05, 0x00, 0x09, 0x00, 0x0F, 0x00};
constexpr SettingsRecord OldSettingsFile = {0x11, 0x22, 0x03, 0x04, 0x01, 0x01, 0x00, 0x00, 0x00,
                                            0x10, 0x00, 0x20, 0x00, 0x30, 0x00, 0x40, 0x00, 0x50};
constexpr std::size_t DataLines = 400;

bool isSettingsState(uint8_t state) {
    return state < 9;
}

// The text the case must end with, on the status line of its state.
std::string endText(const Cell& cell) {
    switch (cell.end) {
    case E::DataReceived:
        return ExchangeText::DataReceived;
    case E::DataReceiveError:
        return ExchangeText::DataReceiveError;
    case E::DataSent:
        return ExchangeText::DataSent;
    case E::TransmitError:
        return ExchangeText::TransmitError;
    case E::NoResponse:
        return LinkText::NoResponse;
    case E::CommunicationsError:
        return UpgradeText::CommunicationsError;
    case E::FileError:
        return UpgradeText::FileError;
    case E::UpgradeComplete:
    case E::CancelledWhileWaiting:
    case E::NotRun:
        return "";
    }
    return "?";
}

struct Case {
    const Cell& cell;
    ScratchFolder folder;
    HexImage hex = makeHexImage(DataLines, 7);
    std::string hexPath = folder.write("fw.hex", hex.text);
    std::string settingsPath = folder.write("head.set", OldSettingsFile);
    std::string lockedPath = folder.write("locked/head.set", OldSettingsFile);
    std::optional<SaveAttempt> save;
    StressRig rig;
    bool reached = false;
    bool ended = false;

    explicit Case(const Cell& c) : cell(c) {}

    void inject() {
        switch (cell.fault) {
        case F::BridgeRemoved:
            rig.sim.remove();
            break;
        case F::WritesFail:
            rig.sim.options().writeFailure = BridgeStatusCode::WriteError;
            break;
        case F::ReadsFail:
            rig.sim.options().readFailure = BridgeStatusCode::ReadError;
            break;
        case F::Silence:
            rig.bridge.silent = true;
            break;
        case F::Garbage:
            if (cell.state != 13) { // armed at the start for 13 (see reach)
                rig.bridge.garbageNext = Garbage;
            }
            break;
        case F::FileDeleted:
            fs::remove(hexPath);
            break;
        case F::FileTruncated:
            // Two whole lines and a piece of the third.
            fs::resize_file(hexPath, 2 * hex.lineLength + 10);
            break;
        case F::DiskFull:
            save = saveOnFullDisk(settingsPath, rig.host.record);
            break;
        case F::NoRights:
            save = saveWithoutRights(folder.path() / "locked", lockedPath, rig.host.record);
            break;
        }
    }

    // Brings the link into the case's state and lets the fault strike there.
    void reach() {
        const uint8_t target = cell.state;
        auto in = [&](uint8_t s) { return [this, s] { return rig.state() == s; }; };
        const bool armedBeforeClick =
            cell.fault == F::WritesFail && (target == 1 || target == 5 || target == 9);
        if (armedBeforeClick) {
            inject();
        }
        if (target <= 3) {
            rig.exchange.GetData();
            ASSERT_TRUE(rig.tickUntil(in(target), 50));
            if (target == 3) {
                for (int i = 0; i < 4; ++i) {
                    rig.tick();
                }
            }
        } else if (target == 5) {
            rig.host.controls = shownFromRecord(SendRecord);
            rig.exchange.SendData();
        } else {
            if (target == 13) {
                rig.host.onUpgradeFinished = [this] {
                    EXPECT_EQ(rig.state(), 13);
                    inject();
                };
                if (cell.fault == F::Garbage) {
                    rig.bridge.garbageAfter = Garbage;
                    rig.bridge.garbageTrigger = BootLoaderWire::ProgrammingDone;
                }
            }
            rig.upload.StartUpgrade();
            if (target == 10) {
                ASSERT_TRUE(rig.tickUntil(in(10), 50));
                ASSERT_TRUE(rig.tickUntil([&] { return rig.host.progress > 0; }, 50));
            } else if (target == 12) {
                ASSERT_TRUE(rig.tickUntil(in(12), 100));
                ASSERT_TRUE(rig.tickUntil(
                    [&] { return rig.upload.upgradeBytesRead() > 2 * hex.lineLength; }, 50));
            } else if (target == 13) {
                ASSERT_TRUE(
                    rig.tickUntil([&] { return rig.host.upgradeFinishedNotices > 0; }, 5000));
            } else if (target == 14) {
                ASSERT_TRUE(rig.tickUntil(in(14), 5000));
            }
        }
        ASSERT_EQ(rig.state(), target == 13 ? 14 : target);
        if (!armedBeforeClick && target != 13) {
            inject();
        }
        rig.deliverNotices();
        reached = true;
    }

    void runToEnd() {
        if (cell.end == E::CancelledWhileWaiting) {
            for (int i = 0; i < 3000; ++i) {
                rig.tick();
                ASSERT_EQ(rig.state(), 9) << "tick " << i;
            }
            EXPECT_EQ(rig.host.upgradeStatusText, UpgradeText::Waiting);
            rig.host.setStatusText(LinkText::StatusIdle); // the click clears the status first
            rig.upload.CancelExchange();
        } else {
            ASSERT_TRUE(rig.tickUntil([&] { return rig.engine.isIdle(); }, 6000));
        }
        // Whatever still arrives falls on an idle link.
        for (int i = 0; i < 20; ++i) {
            rig.tick();
        }
        ended = true;
    }
};

void checkEnd(Case& c, int descriptorsBefore) {
    const Cell& cell = c.cell;
    StressRig& rig = c.rig;
    test::RecordingHost& host = rig.host;
    EXPECT_EQ(rig.state(), 0);
    if (isSettingsState(cell.state)) {
        EXPECT_EQ(host.statusText, endText(cell));
        EXPECT_EQ(host.upgradeStatusText, "");
    } else {
        EXPECT_EQ(host.upgradeStatusText, endText(cell));
        EXPECT_EQ(host.statusText, LinkText::StatusIdle);
    }
    EXPECT_EQ(host.upgradeFinishedNotices, cell.end == E::UpgradeComplete ? 1 : 0);
    EXPECT_FALSE(rig.upload.upgradeFileOpen());
    EXPECT_EQ(openDescriptors(), descriptorsBefore) << "a file was left open";
    EXPECT_EQ(host.progress, 0);
    EXPECT_EQ(rig.host.boxesInTick, 0);
    ASSERT_EQ(static_cast<int>(host.messages.size()), cell.boxes);
    for (const test::Message& box : host.messages) {
        EXPECT_EQ(box.text, "Failed to transmit : Write error");
        EXPECT_EQ(box.caption, LinkText::AppName);
    }
    EXPECT_EQ(host.connectionText,
              cell.fault == F::BridgeRemoved ? LinkText::Disconnected : LinkText::Connected);
    EXPECT_EQ(rig.sim.isOpen(), cell.fault != F::BridgeRemoved) << "the bridge handle";

    // Nothing lost: the document's record, the settings files, the chosen upgrade file.
    SettingsRecord record = StartRecord;
    if (cell.end == E::DataReceived) {
        record = ControllerRecord;
    } else if (cell.state == 5) {
        record = recordFromShown(shownFromRecord(SendRecord));
        if (cell.fault != F::WritesFail) {
            EXPECT_EQ(rig.sim.controller().record(), record) << "the controller lost the frame";
        }
    }
    EXPECT_EQ(host.record, record);
    const std::vector<uint8_t> old(OldSettingsFile.begin(), OldSettingsFile.end());
    EXPECT_EQ(fileBytes(c.settingsPath), old);
    EXPECT_EQ(fileBytes(c.lockedPath), old);
    std::set<std::string> files = {"fw.hex", "head.set", "locked"};
    if (cell.fault == F::FileDeleted) {
        files.erase("fw.hex");
    }
    EXPECT_EQ(entriesOf(c.folder.path()), files);
    EXPECT_EQ(entriesOf(c.folder.path() / "locked"), std::set<std::string>{"head.set"});
    EXPECT_EQ(rig.upload.upgradePath(), c.hexPath);
    EXPECT_EQ(host.upgradeFileText, "fw.hex");
    if (cell.fault != F::FileDeleted && cell.fault != F::FileTruncated) {
        const std::vector<uint8_t> text(c.hex.text.begin(), c.hex.text.end());
        EXPECT_EQ(fileBytes(c.hexPath), text);
    }
    if (cell.end == E::UpgradeComplete) {
        const std::vector<uint8_t>& flash = rig.sim.controller().bootLoader().flash();
        ASSERT_GE(flash.size(), c.hex.image.size());
        EXPECT_TRUE(std::equal(c.hex.image.begin(), c.hex.image.end(), flash.begin()))
            << "the controller's flash differs from the upgrade image";
    }
    if (cell.fault == F::DiskFull || cell.fault == F::NoRights) {
        ASSERT_TRUE(c.save.has_value());
        SCOPED_TRACE(c.save->how);
        static std::set<std::string> told;
        if (told.insert(c.save->how).second) {
            std::printf("%s: %s\n", faultName(cell.fault), c.save->how.c_str());
        }
        EXPECT_EQ(c.save->result.error, SettingsFileError::FailedToSave);
        EXPECT_EQ(settingsFileMessage(c.save->result.error, c.settingsPath),
                  "Failed to save document.");
    }
}

TEST(FaultMatrix, EveryStateMeetsEveryFaultAndEndsIdleWithNothingLost) {
    // The truncation of an open file is only seen past what the file reader has buffered.
    {
        ScratchFolder probe;
        struct stat info {};
        ASSERT_EQ(::stat(probe.write("probe", std::string(1, 'x')).c_str(), &info), 0);
        ASSERT_GT(makeHexImage(DataLines, 7).text.size(),
                  2 * static_cast<std::size_t>(info.st_blksize));
    }
    int run = 0;
    int withoutMeaning = 0;
    for (const Cell& cell : Matrix) {
        SCOPED_TRACE("state " + std::to_string(cell.state) + " / " + faultName(cell.fault) +
                     (cell.note != nullptr ? std::string(" (") + cell.note + ")" : ""));
        if (cell.end == E::NotRun) {
            ++withoutMeaning;
            continue;
        }
        const int descriptorsBefore = openDescriptors();
        Case c(cell);
        c.rig.sim.controller().setRecord(ControllerRecord);
        c.rig.sim.controller().options().shaping.maxBytesPerTick = 1;
        c.rig.upload.SelectUpgradeFile(c.hexPath);
        ASSERT_EQ(c.rig.upload.upgradePath(), c.hexPath);
        c.reach();
        if (c.reached) {
            c.runToEnd();
        }
        if (c.ended) {
            checkEnd(c, descriptorsBefore);
        }
        ++run;
    }
    EXPECT_EQ(run + withoutMeaning, 81);
    std::printf("fault matrix: %d cases run, %d without meaning (see the table)\n", run,
                withoutMeaning);
}

} // namespace
} // namespace kestrun::stress
