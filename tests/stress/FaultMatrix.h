#pragma once
// The fault matrix as data: each state of the link against each fault, and how the case must
// end. A note says why a fault changes nothing in a state, or why a case has no meaning there
// (such a case is listed and not run).

#include <cstdint>

namespace kestrun::stress {

enum class Fault {
    BridgeRemoved,
    WritesFail,
    ReadsFail,
    Silence,
    Garbage,
    FileDeleted,
    FileTruncated,
    DiskFull,
    NoRights,
};

inline const char* faultName(Fault fault) {
    switch (fault) {
    case Fault::BridgeRemoved:
        return "bridge removed";
    case Fault::WritesFail:
        return "writes failing";
    case Fault::ReadsFail:
        return "reads failing";
    case Fault::Silence:
        return "silence";
    case Fault::Garbage:
        return "garbage bytes";
    case Fault::FileDeleted:
        return "upgrade file deleted";
    case Fault::FileTruncated:
        return "upgrade file truncated";
    case Fault::DiskFull:
        return "save on a full disk";
    case Fault::NoRights:
        return "save into a folder without rights";
    }
    return "?";
}

// How a case ends, as the user sees it.
enum class End {
    DataReceived,
    DataReceiveError,
    DataSent,
    TransmitError,
    NoResponse,
    UpgradeComplete,
    CommunicationsError,
    FileError,
    CancelledWhileWaiting, // state 9 waits for the boot loader without limit; the user cancels
    NotRun,
};

struct Cell {
    uint8_t state;
    Fault fault;
    End end;
    int boxes;        // "Failed to transmit" boxes the user sees
    const char* note; // why the fault changes nothing, or why the case has no meaning
};

using F = Fault;
using E = End;

// clang-format off
inline constexpr Cell Matrix[] = {
    // 1: Get Data sent, waiting for 0xA5
    {1, F::BridgeRemoved, E::NoResponse, 0, nullptr},
    {1, F::WritesFail, E::NoResponse, 2, "the request never reaches the controller"},
    {1, F::ReadsFail, E::NoResponse, 0, nullptr},
    {1, F::Silence, E::NoResponse, 0, nullptr},
    {1, F::Garbage, E::DataReceived, 0, "bytes before the header are skipped"},
    {1, F::FileDeleted, E::DataReceived, 0, "harmless: a settings exchange never reads it"},
    {1, F::FileTruncated, E::DataReceived, 0, "harmless: a settings exchange never reads it"},
    {1, F::DiskFull, E::DataReceived, 0, "harmless to the exchange"},
    {1, F::NoRights, E::DataReceived, 0, "harmless to the exchange"},
    // 2: 0xA5 seen, waiting for 0x5A
    {2, F::BridgeRemoved, E::NoResponse, 0, nullptr},
    {2, F::WritesFail, E::DataReceived, 0, "harmless: nothing is written while the reply comes"},
    {2, F::ReadsFail, E::NoResponse, 0, nullptr},
    {2, F::Silence, E::NoResponse, 0, nullptr},
    {2, F::Garbage, E::DataReceived, 0, "bytes up to 0x5A are skipped"},
    {2, F::FileDeleted, E::DataReceived, 0, "harmless: a settings exchange never reads it"},
    {2, F::FileTruncated, E::DataReceived, 0, "harmless: a settings exchange never reads it"},
    {2, F::DiskFull, E::DataReceived, 0, "harmless to the exchange"},
    {2, F::NoRights, E::DataReceived, 0, "harmless to the exchange"},
    // 3: collecting the record
    {3, F::BridgeRemoved, E::NoResponse, 0, nullptr},
    {3, F::WritesFail, E::DataReceived, 0, "harmless: nothing is written while the reply comes"},
    {3, F::ReadsFail, E::NoResponse, 0, nullptr},
    {3, F::Silence, E::NoResponse, 0, nullptr},
    {3, F::Garbage, E::DataReceiveError, 0, "garbage taken as record bytes fails the check byte"},
    {3, F::FileDeleted, E::DataReceived, 0, "harmless: a settings exchange never reads it"},
    {3, F::FileTruncated, E::DataReceived, 0, "harmless: a settings exchange never reads it"},
    {3, F::DiskFull, E::DataReceived, 0, "harmless to the exchange"},
    {3, F::NoRights, E::DataReceived, 0, "harmless to the exchange"},
    // 5: send frame written, waiting for the acknowledgement
    {5, F::BridgeRemoved, E::NoResponse, 0, nullptr},
    {5, F::WritesFail, E::NoResponse, 21, "every byte of the frame fails"},
    {5, F::ReadsFail, E::NoResponse, 0, nullptr},
    {5, F::Silence, E::NoResponse, 0, nullptr},
    {5, F::Garbage, E::TransmitError, 0, "the first byte decides"},
    {5, F::FileDeleted, E::DataSent, 0, "harmless: a settings exchange never reads it"},
    {5, F::FileTruncated, E::DataSent, 0, "harmless: a settings exchange never reads it"},
    {5, F::DiskFull, E::DataSent, 0, "harmless to the exchange"},
    {5, F::NoRights, E::DataSent, 0, "harmless to the exchange"},
    // 9: waiting for the boot loader's ';' (no time limit)
    {9, F::BridgeRemoved, E::CancelledWhileWaiting, 0, nullptr},
    {9, F::WritesFail, E::CancelledWhileWaiting, 1, "ESC 'P' fails with a box, \"033P\" silently"},
    {9, F::ReadsFail, E::CancelledWhileWaiting, 0, nullptr},
    {9, F::Silence, E::CancelledWhileWaiting, 0, nullptr},
    {9, F::Garbage, E::UpgradeComplete, 0, "other bytes only restart the wait"},
    {9, F::FileDeleted, E::FileError, 0, "the open at the end of the erase fails"},
    {9, F::FileTruncated, E::CommunicationsError, 0, "the cut last line is refused"},
    {9, F::DiskFull, E::UpgradeComplete, 0, "harmless to the upgrade"},
    {9, F::NoRights, E::UpgradeComplete, 0, "harmless to the upgrade"},
    // 10: erasing
    {10, F::BridgeRemoved, E::NoResponse, 0, nullptr},
    {10, F::WritesFail, E::NoResponse, 0, "the first line is lost silently"},
    {10, F::ReadsFail, E::NoResponse, 0, nullptr},
    {10, F::Silence, E::NoResponse, 0, nullptr},
    {10, F::Garbage, E::UpgradeComplete, 0, "garbage is shown as erase progress"},
    {10, F::FileDeleted, E::FileError, 0, "the open at the end of the erase fails"},
    {10, F::FileTruncated, E::CommunicationsError, 0, "the cut last line is refused"},
    {10, F::DiskFull, E::UpgradeComplete, 0, "harmless to the upgrade"},
    {10, F::NoRights, E::UpgradeComplete, 0, "harmless to the upgrade"},
    // 12: uploading
    {12, F::BridgeRemoved, E::NoResponse, 0, nullptr},
    {12, F::WritesFail, E::NoResponse, 0, "the next line is lost silently"},
    {12, F::ReadsFail, E::NoResponse, 0, nullptr},
    {12, F::Silence, E::NoResponse, 0, nullptr},
    {12, F::Garbage, E::CommunicationsError, 0, nullptr},
    {12, F::FileDeleted, E::UpgradeComplete, 0, "harmless: the open file stays readable"},
    {12, F::FileTruncated, E::FileError, 0, "the file ends before its counted length"},
    {12, F::DiskFull, E::UpgradeComplete, 0, "harmless to the upgrade"},
    {12, F::NoRights, E::UpgradeComplete, 0, "harmless to the upgrade"},
    // 13: "Z\n\r" sent, the notice posted; lasts only inside the tick that entered it
    {13, F::BridgeRemoved, E::UpgradeComplete, 0, "harmless: nothing more is read or written"},
    {13, F::WritesFail, E::UpgradeComplete, 0, "harmless: nothing more is written"},
    {13, F::ReadsFail, E::UpgradeComplete, 0, "harmless: nothing more is read"},
    {13, F::Silence, E::UpgradeComplete, 0, "harmless: nothing more is read"},
    {13, F::Garbage, E::UpgradeComplete, 0, "bytes after 0x01 in the same read are dropped"},
    {13, F::FileDeleted, E::UpgradeComplete, 0, "harmless: the file is already closed"},
    {13, F::FileTruncated, E::UpgradeComplete, 0, "harmless: the file is already closed"},
    {13, F::DiskFull, E::NotRun, 0, "no meaning: a save is a command, and commands run "
                                    "between ticks, when the link has left state 13"},
    {13, F::NoRights, E::NotRun, 0, "no meaning: a save is a command, and commands run "
                                    "between ticks, when the link has left state 13"},
    // 14: one tick before idle
    {14, F::BridgeRemoved, E::UpgradeComplete, 0, "harmless: nothing more is read or written"},
    {14, F::WritesFail, E::UpgradeComplete, 0, "harmless: nothing more is written"},
    {14, F::ReadsFail, E::UpgradeComplete, 0, "harmless: nothing more is read"},
    {14, F::Silence, E::UpgradeComplete, 0, "harmless: nothing more is read"},
    {14, F::Garbage, E::UpgradeComplete, 0, "harmless: state 14 takes no bytes"},
    {14, F::FileDeleted, E::UpgradeComplete, 0, "harmless: the file is already closed"},
    {14, F::FileTruncated, E::UpgradeComplete, 0, "harmless: the file is already closed"},
    {14, F::DiskFull, E::UpgradeComplete, 0, "harmless to the upgrade"},
    {14, F::NoRights, E::UpgradeComplete, 0, "harmless to the upgrade"},
};
// clang-format on

} // namespace kestrun::stress
