// Every state of the link against every fault: the link ends idle, shows the text its state's
// failure calls for, leaves the upgrade file closed and the bar at 0, and loses nothing (the
// document's record, the previous settings file, the chosen upgrade file).
//
// The controller is the simulated one, sending one byte a tick so that every state of an
// exchange lasts at least a tick. A fault strikes right after the link has entered the state
// and lasts to the end of the case. Exceptions: a failing write is armed before the click for
// the states a click enters (1, 5, 9), whose only writes are the click's own; and state 13
// never outlasts the tick that entered it, so its faults strike inside that tick, at the moment
// the upgrade posts its "finished" notice.

#include "settings/SettingsFile.h"
#include "sim/SimBootLoader.h"
#include "sim/SimBridge.h"
#include "tests/support/Rig.h"
#include "tests/support/Unprivileged.h"

#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <sys/resource.h>

namespace kestrun::test {
namespace {

using namespace std::string_literals;

// The simulated bridge with a line that can be disturbed: it can drop everything the controller
// sends (a dead receive line), or put bytes of its own at the head of the next read or, with a
// trigger, right after that byte when it arrives.
class FaultyBridge : public sim::SimBridge {
public:
    bool silent = false;
    std::vector<uint8_t> garbage;
    std::optional<uint8_t> trigger;

    BridgeStatus HidUart_Read(BridgeHandle device, uint8_t* buffer, uint32_t numBytesToRead,
                              uint32_t* numBytesRead) override {
        // The controller's bytes leave room for ours, so nothing has to wait for the next read.
        std::vector<uint8_t> line(numBytesToRead);
        uint32_t got = 0;
        const BridgeStatus status = SimBridge::HidUart_Read(
            device, line.data(), numBytesToRead - static_cast<uint32_t>(garbage.size()), &got);
        *numBytesRead = 0;
        if (status != BridgeStatusCode::Success && status != BridgeStatusCode::ReadTimedOut) {
            return status;
        }
        line.resize(silent ? 0 : got);
        auto at = line.begin();
        if (trigger && (at = std::find(line.begin(), line.end(), *trigger)) != line.end()) {
            ++at;
            trigger.reset();
        }
        if (!trigger) {
            line.insert(at, garbage.begin(), garbage.end());
            garbage.clear();
        }
        std::copy(line.begin(), line.end(), buffer);
        *numBytesRead = static_cast<uint32_t>(line.size());
        return line.size() == numBytesToRead ? BridgeStatusCode::Success
                                             : BridgeStatusCode::ReadTimedOut;
    }
};

// The matrix as data: each state of the link against each fault, and how the case must end.
// clang-format off
enum class Fault { Removed, Writes, Reads, Silence, Garbage, Deleted, Truncated, DiskFull, NoRights };
constexpr std::array<const char*, 9> FaultNames = {
    "bridge removed", "writes failing", "reads failing", "silence", "garbage bytes",
    "upgrade file deleted", "upgrade file truncated", "save on a full disk",
    "save without rights to the file or its folder"};

// How a case ends, as the user sees it. Waiting: state 9 waits for the boot loader without
// limit, so the user cancels; NotRun: the case has no meaning.
enum class End { Received, BadSum, Sent, Refused, NoReply, Complete, CommError, Waiting, NotRun };
// The text each end leaves on its status line (a finished or cancelled upgrade clears its line).
constexpr const char* EndTexts[] = {
    ExchangeText::DataReceived, ExchangeText::DataReceiveError, ExchangeText::DataSent,
    ExchangeText::TransmitError, LinkText::NoResponse, "", UpgradeText::CommunicationsError, "",
    ""};

struct Row {
    uint8_t state;
    std::array<End, FaultNames.size()> ends; ///< by Fault
    int writeBoxes; ///< "Failed to transmit" boxes the user sees when writes fail
};

using enum End;
constexpr Row Matrix[] = {
    // Ends by fault: removed, writes, reads, silence, garbage, deleted, truncated, disk full,
    // no rights.
    // Settings exchanges never read the upgrade file, and a save does not touch them. Garbage
    // before a header is skipped; taken as record bytes it fails the sum; in 5 the first byte
    // decides. Failing writes lose the get request (2 boxes) or the 21-byte frame (21 boxes);
    // once the reply comes (2, 3) nothing is written any more.
    {1, {NoReply, NoReply, NoReply, NoReply, Received, Received, Received, Received, Received}, 2},
    {2, {NoReply, Received, NoReply, NoReply, Received, Received, Received, Received, Received}, 0},
    {3, {NoReply, Received, NoReply, NoReply, BadSum, Received, Received, Received, Received}, 0},
    {5, {NoReply, NoReply, NoReply, NoReply, Refused, Sent, Sent, Sent, Sent}, 21},
    // 9 waits without limit, and other bytes only restart the wait. ESC 'P' fails with a box,
    // "033P" silently. The file was read and checked at "Start": deleting or cutting it from
    // then on changes nothing the controller is given.
    {9, {Waiting, Waiting, Waiting, Waiting, Complete, Complete, Complete, Complete, Complete}, 1},
    // 10, 12: a failing write loses the next line silently. Garbage is erase progress in 10 and
    // an error in 12.
    {10, {NoReply, NoReply, NoReply, NoReply, Complete, Complete, Complete, Complete, Complete}, 0},
    {12, {NoReply, NoReply, NoReply, NoReply, CommError, Complete, Complete, Complete, Complete}, 0},
    // 13 lasts only inside the tick that entered it ("Z\n\r" sent, the notice posted): nothing
    // more is read or written, bytes after 0x01 in the same read are dropped, and a save (a
    // command, run between ticks) cannot meet it. 14 takes no bytes and writes nothing.
    {13, {Complete, Complete, Complete, Complete, Complete, Complete, Complete, NotRun, NotRun}, 0},
    {14, {Complete, Complete, Complete, Complete, Complete, Complete, Complete, Complete, Complete}, 0},
};
// clang-format on

// Bytes that mean nothing to any state: no header byte, no ';', no 0x00, no 0x01.
const std::vector<uint8_t> Garbage = {0xFF, 0x13, 0x80, 0x7E, 0x02};

constexpr SettingsRecord SendRecord = {0x50, 0x10, 0x02, 0x03, 0x03, 0x00, 0x02, 0x01, 0x01,
                                       0x00, 0x0E, 0x00, 0x05, 0x00, 0x09, 0x00, 0x0F, 0x00};
const std::string OldSettingsFile = "\x11\x22\x03\x04\x01\x01\x00\x00\x00"
                                    "\x10\x00\x20\x00\x30\x00\x40\x00\x50"s;

// Saving where it cannot succeed, made real on any machine the tests run on. A full disk: no
// test can count on mounting a small file system, so the process's file-size limit is lowered
// to 8 bytes for the save; the temporary file takes 8 bytes of the record and the next write
// fails (EFBIG), the short write a full disk gives.
SettingsFileError saveOnFullDisk(const std::string& path, const SettingsRecord& record) {
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit tight{.rlim_cur = 8, .rlim_max = old.rlim_max};
    // Beyond the limit the kernel also raises SIGXFSZ, which would end the test process.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    ::setrlimit(RLIMIT_FSIZE, &tight);
    const SettingsFileError error = saveSettingsFile(path, record).error;
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    return error;
}

// A file and its folder without the write right, saved without root's rights.
SettingsFileError saveWithoutRights(const fs::path& folder, const std::string& path,
                                    const SettingsRecord& record) {
    const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(folder, write, fs::perm_options::remove);
    fs::permissions(path, write, fs::perm_options::remove);
    const auto error = static_cast<SettingsFileError>(
        runUnprivileged([&] { return static_cast<int>(saveSettingsFile(path, record).error); }));
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
    return error;
}

// All that is in `folder`, its subfolders too: a failed save must leave no temporary file behind.
std::set<std::string> entriesOf(const fs::path& folder) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        names.insert(fs::relative(entry.path(), folder).generic_string());
    }
    return names;
}

struct Case {
    const int descriptorsBefore = openDescriptors();
    const Row& row;
    const Fault fault;
    const uint8_t state = row.state;
    const End end = row.ends[static_cast<std::size_t>(fault)];
    Rig<FaultyBridge> rig;
    HexImage hex = makeHexImage(400, 7);
    std::string hexPath = rig.folder.write("fw.hex", hex.text);
    std::string settingsPath = rig.folder.write("head.set", OldSettingsFile);
    std::string lockedPath = rig.folder.write("locked/head.set", OldSettingsFile);
    std::optional<SettingsFileError> save;

    Case(const Row& r, Fault f) : row(r), fault(f) {
        rig.bridge.controller().setRecord(OtherRecord);
        rig.bridge.controller().options().shaping.maxBytesPerTick = 1;
        rig.upload.SelectUpgradeFile(hexPath);
    }

    void inject() {
        const std::function<void()> faults[] = {
            [&] { rig.bridge.remove(); },
            [&] { rig.bridge.options().writeFailure = BridgeStatusCode::WriteError; },
            [&] { rig.bridge.options().readFailure = BridgeStatusCode::ReadError; },
            [&] { rig.bridge.silent = true; },
            [&] { // 13 arms it with a trigger at the start (see run)
                rig.bridge.garbage = state == 13 ? std::vector<uint8_t>{} : Garbage;
            },
            [&] { fs::remove(hexPath); },
            [&] { fs::resize_file(hexPath, 2 * hex.lineLength + 10); }, // 2 lines and a piece
            [&] { save = saveOnFullDisk(settingsPath, rig.host.record); },
            [&] {
                save = saveWithoutRights(rig.folder.path() / "locked", lockedPath, rig.host.record);
            },
        };
        faults[static_cast<std::size_t>(fault)]();
    }

    // Brings the link into the case's state, lets the fault strike there and runs the case out.
    void run() {
        const bool armedBeforeClick =
            fault == Fault::Writes && (state == 1 || state == 5 || state == 9);
        if (armedBeforeClick) {
            inject();
        }
        if (state == 13) {
            rig.host.onUpgradeFinished = [this] {
                EXPECT_EQ(rig.state(), 13);
                inject();
            };
            if (fault == Fault::Garbage) {
                rig.bridge.garbage = Garbage;
                rig.bridge.trigger = BootLoaderWire::ProgrammingDone;
            }
        }
        rig.host.controls = shownFromRecord(SendRecord);
        state <= 3   ? rig.exchange.GetData()
        : state == 5 ? rig.exchange.SendData()
                     : rig.upload.StartUpgrade();
        // Into the state, and well into 10 and 12: the bar has moved, two lines have gone out.
        const auto inState = [&] {
            const bool underWay = state == 10   ? rig.host.progress > 0
                                  : state == 12 ? rig.upload.upgradeBytesRead() > 2 * hex.lineLength
                                                : true;
            return state == 13 ? rig.host.upgradeFinishedNotices > 0
                               : rig.state() == state && underWay;
        };
        ASSERT_GE(rig.ticksUntil(inState, 5000), 0);
        for (int i = 0; state == 3 && i < 4; ++i) {
            rig.tick();
        }
        ASSERT_EQ(rig.state(), state == 13 ? 14 : state);
        if (!armedBeforeClick && state != 13) {
            inject();
        }
        rig.deliverNotices();
        if (end == Waiting) {
            for (int i = 0; i < 3000; ++i) {
                rig.tick();
                ASSERT_EQ(rig.state(), 9) << "tick " << i;
            }
            EXPECT_EQ(rig.host.upgradeStatusText, UpgradeText::Waiting);
            rig.host.setStatusText(LinkText::StatusIdle); // the click clears the status first
            rig.upload.CancelExchange();
        } else {
            ASSERT_GE(rig.ticksUntil([&] { return rig.engine.isIdle(); }, 6000), 0);
        }
        for (int i = 0; i < 20; ++i) { // whatever still arrives falls on an idle link
            rig.tick();
        }
        checkEnd();
    }

    void checkEnd() {
        const RecordingHost& host = rig.host;
        EXPECT_EQ(rig.state(), 0);
        EXPECT_EQ(state < 9 ? host.statusText : host.upgradeStatusText,
                  EndTexts[static_cast<std::size_t>(end)]);
        EXPECT_EQ(state < 9 ? host.upgradeStatusText : host.statusText,
                  state < 9 ? "" : LinkText::StatusIdle);
        EXPECT_EQ(host.upgradeFinishedNotices, end == Complete ? 1 : 0);
        EXPECT_FALSE(rig.upload.upgradeFileOpen());
        EXPECT_EQ(openDescriptors(), descriptorsBefore) << "a file was left open";
        EXPECT_EQ(host.progress, 0);
        EXPECT_EQ(host.boxesInTick, 0);
        const Message box{"Failed to transmit : Write error", "Kestrun", MessageIcon::Exclamation};
        EXPECT_EQ(host.messages, std::vector(fault == Fault::Writes ? row.writeBoxes : 0, box));
        const bool removed = fault == Fault::Removed;
        EXPECT_EQ(host.connectionText, removed ? LinkText::Disconnected : LinkText::Connected);
        EXPECT_EQ(rig.bridge.isOpen(), !removed) << "the bridge handle";

        // Nothing lost: the document's record, the settings files, the chosen upgrade file.
        SettingsRecord record = StartRecord;
        if (end == Received) {
            record = OtherRecord;
        } else if (state == 5) {
            record = recordFromShown(shownFromRecord(SendRecord));
            if (fault != Fault::Writes) {
                EXPECT_EQ(rig.bridge.controller().record(), record)
                    << "the controller lost the frame";
            }
        }
        EXPECT_EQ(host.record, record);
        EXPECT_EQ(fileBytes(settingsPath), OldSettingsFile);
        EXPECT_EQ(fileBytes(lockedPath), OldSettingsFile);
        std::set<std::string> files = {"fw.hex", "head.set", "locked", "locked/head.set"};
        if (fault == Fault::Deleted) {
            files.erase("fw.hex");
        }
        EXPECT_EQ(entriesOf(rig.folder.path()), files);
        EXPECT_EQ(rig.upload.upgradePath(), hexPath);
        EXPECT_EQ(host.upgradeFileText, "fw.hex");
        if (fault != Fault::Deleted && fault != Fault::Truncated) {
            EXPECT_EQ(fileBytes(hexPath), hex.text);
        }
        if (end == Complete) {
            const std::vector<uint8_t>& flash = rig.bridge.controller().bootLoader().flash();
            ASSERT_GE(flash.size(), hex.image.size());
            EXPECT_TRUE(std::equal(hex.image.begin(), hex.image.end(), flash.begin()))
                << "the controller's flash differs from the upgrade image";
        }
        if (save) {
            EXPECT_EQ(settingsFileMessage(*save, "f"), fault == Fault::NoRights
                                                           ? "Access to f was denied."
                                                           : "Failed to save document.");
        }
    }
};

TEST(FaultMatrix, EveryStateMeetsEveryFaultAndEndsIdleWithNothingLost) {
    for (const Row& row : Matrix) {
        for (std::size_t f = 0; f < FaultNames.size(); ++f) {
            SCOPED_TRACE("state " + std::to_string(row.state) + " / " + FaultNames[f]);
            if (row.ends[f] != NotRun) {
                Case(row, static_cast<Fault>(f)).run();
            }
        }
    }
}

} // namespace
} // namespace kestrun::test
