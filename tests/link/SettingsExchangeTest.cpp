// The settings exchange on the wire: the exact request bytes, each state's reaction to each kind
// of byte, replies whole or in pieces, and what the user sees at every end of an exchange.

#include "tests/link/LinkRig.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kestrun::test {
namespace {

constexpr const char* StartRecordFrame =
    "A5 5A 64 14 05 05 00 00 01 00 04 00 0C 00 04 00 08 00 0C 00 AB";

TEST(SettingsExchangeWire, GetDataWritesSemicolonGOneByteAPieceThenWaitsForHeader) {
    LinkRig rig;
    rig.exchange.GetData();
    EXPECT_EQ(rig.wire(), "3B 47");
    EXPECT_EQ(rig.bridge.writes.size(), 2u); // one write per byte
    EXPECT_EQ(rig.state(), 1);
    EXPECT_EQ(rig.engine.responseTimeout(), 1000u);
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST(SettingsExchangeWire, SendDataWritesTheStartRecordFrameInTwentyOneWrites) {
    LinkRig rig;
    rig.exchange.SendData();
    EXPECT_EQ(rig.wire(), StartRecordFrame);
    ASSERT_EQ(rig.bridge.writes.size(), 21u);
    for (const auto& write : rig.bridge.writes) {
        EXPECT_EQ(write.size(), 1u);
    }
    EXPECT_EQ(rig.state(), 5);
    EXPECT_EQ(rig.engine.responseTimeout(), 1000u);
}

TEST(SettingsExchangeWire, SendDataSendsWhatTheControlsShowNotTheLastRecordReceived) {
    LinkRig rig;
    rig.exchange.GetData();
    rig.tick(getReply(OtherRecord));
    ASSERT_EQ(rig.host.statusText, "Data Received");
    rig.bridge.takeWrites();

    // The user then edits the controls: speed 42, "Canon", "Level Low", both toggles on.
    rig.host.controls = startSettings();
    rig.host.controls.values[0] = 42;
    rig.host.controls.digitalConnection = 2;
    rig.host.controls.cameraTrigger = 2;
    rig.host.controls.oneWayCommunication = true;
    rig.host.controls.pressureJoystick = true;
    rig.exchange.SendData();
    EXPECT_EQ(rig.wire(), "A5 5A 2A 14 05 05 02 01 02 01 04 00 0C 00 04 00 08 00 0C 00 76");
}

// Each state's reaction to each kind of byte, one byte at a time.
TEST(SettingsExchangeStates, EachStateReactsToEachKindOfByte) {
    struct Case {
        const char* name;
        bool send;          // start with Send Data, else Get Data
        const char* prefix; // bytes that bring the exchange into the state under test
        uint8_t byte;       // the byte under test
        uint8_t stateAfter;
        const char* statusAfter;
    };
    const Case cases[] = {
        {"1: noise stays", false, "", 0x00, 1, "---"},
        {"1: second header byte first stays", false, "", 0x5A, 1, "---"},
        {"1: acknowledge byte stays", false, "", 0x01, 1, "---"},
        {"1: first header byte moves on", false, "", 0xA5, 2, "---"},
        {"2: noise stays, no fall back", false, "A5", 0x00, 2, "---"},
        {"2: repeated first header byte stays", false, "A5", 0xA5, 2, "---"},
        {"2: second header byte starts record", false, "A5", 0x5A, 3, "---"},
        {"3: header byte is record data", false, "A5 5A", 0xA5, 3, "---"},
        {"3: other header byte is record data", false, "A5 5A", 0x5A, 3, "---"},
        {"5: 01 is accepted", true, "", 0x01, 0, "Data Sent"},
        {"5: 00 is refused", true, "", 0x00, 0, "Transmit Error!"},
        {"5: header byte is refused", true, "", 0xA5, 0, "Transmit Error!"},
        {"5: FF is refused", true, "", 0xFF, 0, "Transmit Error!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkRig rig;
        c.send ? rig.exchange.SendData() : rig.exchange.GetData();
        for (uint8_t b : hexBytes(c.prefix)) {
            rig.tick({b});
        }
        rig.tick({c.byte});
        EXPECT_EQ(rig.state(), c.stateAfter);
        EXPECT_EQ(rig.host.statusText, c.statusAfter);
        EXPECT_EQ(rig.host.record, StartRecord);
    }
}

// A get reply gives the same result however the bridge splits it.
TEST(SettingsExchangeReply, AssembledAlikeWholeOrInPiecesDownToOneBytePerTick) {
    const std::vector<uint8_t> reply = getReply(OtherRecord);
    for (std::size_t piece : {std::size_t{21}, std::size_t{7}, std::size_t{2}, std::size_t{1}}) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        LinkRig rig;
        rig.exchange.GetData();
        int ticks = 0;
        for (std::size_t at = 0; at < reply.size(); at += piece) {
            const std::size_t end = std::min(reply.size(), at + piece);
            rig.tick(std::vector<uint8_t>(reply.begin() + static_cast<std::ptrdiff_t>(at),
                                          reply.begin() + static_cast<std::ptrdiff_t>(end)));
            ++ticks;
        }
        EXPECT_EQ(ticks, static_cast<int>((reply.size() + piece - 1) / piece));
        EXPECT_EQ(rig.host.statusText, "Data Received");
        EXPECT_EQ(rig.host.record, OtherRecord);
        EXPECT_EQ(rig.host.recordToControlsCalls, 1);
        EXPECT_EQ(rig.host.controls.values[0], 42); // speed shown from byte 0
        EXPECT_EQ(rig.state(), 0);
    }
}

TEST(SettingsExchangeReply, RecordsWithHeaderLikeBytesAndExtremeSums) {
    struct Case {
        const char* name;
        const char* reply; // everything the controller sends, header included
        SettingsRecord expected;
    };
    const Case cases[] = {
        {"all zero, sum 00", "A5 5A 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
         SettingsRecord{}},
        {"all FF, sum EE", "A5 5A FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF EE",
         [] {
             SettingsRecord r;
             r.fill(0xFF);
             return r;
         }()},
        {"record bytes equal to the header",
         "A5 5A A5 5A A5 5A 00 00 00 00 00 00 00 00 00 00 00 00 00 00 FE",
         SettingsRecord{0xA5, 0x5A, 0xA5, 0x5A}},
        {"junk before the header",
         "00 FF 3B 01 A5 5A 64 14 05 05 00 00 01 00 04 00 0C 00 04 00 08 00 0C 00 AB", StartRecord},
        {"A5 00 5A header", "A5 00 5A 2A 63 01 64 02 01 03 01 00 00 0F FF 01 99 07 FF 0A 3D EE",
         OtherRecord},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkRig rig;
        rig.host.record = StartRecord;
        rig.host.record[0] = 0x33; // so that a StartRecord reply is a change too
        rig.exchange.GetData();
        rig.tick(hexBytes(c.reply));
        EXPECT_EQ(rig.host.statusText, "Data Received");
        EXPECT_EQ(rig.host.record, c.expected);
        EXPECT_EQ(rig.state(), 0);
    }
}

TEST(SettingsExchangeReply, WrongCheckByteLeavesRecordAndControlsAsTheyWere) {
    LinkRig rig;
    rig.host.controls.values[1] = 77; // an uncommitted edit on screen
    const ShownSettings before = rig.host.controls;
    rig.exchange.GetData();
    std::vector<uint8_t> reply = getReply(OtherRecord);
    reply.back() ^= 0x01;
    rig.tick(reply);
    EXPECT_EQ(rig.host.statusText, "Data Receive Error!");
    EXPECT_EQ(rig.host.record, StartRecord);
    EXPECT_EQ(rig.host.recordToControlsCalls, 0);
    EXPECT_EQ(rig.host.controls.values, before.values);
    EXPECT_EQ(rig.state(), 0);
}

TEST(SettingsExchangeReply, BytesAfterTheEndOfAnExchangeAreDropped) {
    LinkRig rig;
    rig.exchange.GetData();
    // A second, different reply in the same read must not be taken as a new exchange.
    std::vector<uint8_t> bytes = getReply(OtherRecord);
    std::vector<uint8_t> second = getReply(StartRecord);
    bytes.insert(bytes.end(), second.begin(), second.end());
    rig.tick(bytes);
    EXPECT_EQ(rig.host.record, OtherRecord);
    EXPECT_EQ(rig.host.recordToControlsCalls, 1);
    EXPECT_EQ(rig.host.events,
              (std::vector<std::string>{"connection \"Connected\"", "status \"Data Received\""}));

    // A stray byte before the acknowledgement decides the outcome; the real one is dropped.
    rig.exchange.SendData();
    rig.tick(hexBytes("00 01"));
    EXPECT_EQ(rig.host.statusText, "Transmit Error!");
    EXPECT_EQ(rig.state(), 0);
}

TEST(SettingsExchangeReply, BytesWhileIdleAreDropped) {
    LinkRig rig;
    rig.tick(getReply(OtherRecord));
    rig.tick(hexBytes("01"));
    EXPECT_EQ(rig.host.record, StartRecord);
    EXPECT_EQ(rig.host.events, std::vector<std::string>{"connection \"Connected\""});
}

// The countdown: "No Response from Device" on exactly the 1000th tick without bytes.
TEST(SettingsExchangeTimeout, NoResponseOnExactlyTheThousandthIdleTick) {
    for (bool send : {false, true}) {
        SCOPED_TRACE(send ? "Send Data" : "Get Data");
        LinkRig rig;
        send ? rig.exchange.SendData() : rig.exchange.GetData();
        rig.host.progress = 99;
        rig.idleTicks(999);
        EXPECT_EQ(rig.host.statusText, "---");
        EXPECT_EQ(rig.state(), send ? 5 : 1);
        EXPECT_EQ(rig.engine.responseTimeout(), 1u);
        rig.idleTicks(1);
        EXPECT_EQ(rig.host.statusText, "No Response from Device");
        EXPECT_EQ(rig.host.upgradeStatusText, "");
        EXPECT_EQ(rig.state(), 0);
        EXPECT_EQ(rig.engine.responseTimeout(), 0u);
        EXPECT_EQ(rig.host.progress, 0);
        // Nothing more happens afterwards, and a new exchange starts afresh.
        rig.idleTicks(5000);
        EXPECT_EQ(rig.host.events.size(), 2u);
        rig.bridge.takeWrites();
        rig.exchange.GetData();
        EXPECT_EQ(rig.wire(), "3B 47");
        rig.tick(getReply(OtherRecord));
        EXPECT_EQ(rig.host.statusText, "Data Received");
    }
}

TEST(SettingsExchangeTimeout, StrayByteRestartsTheCountSoItEndsNineHundredNinetyNineTicksLater) {
    LinkRig rig;
    rig.exchange.GetData();
    rig.idleTicks(899);
    rig.tick(hexBytes("00")); // tick 900
    EXPECT_EQ(rig.engine.responseTimeout(), 999u);
    rig.idleTicks(998);
    EXPECT_EQ(rig.state(), 1);
    rig.idleTicks(1); // tick 1899
    EXPECT_EQ(rig.host.statusText, "No Response from Device");
    EXPECT_EQ(rig.state(), 0);
}

TEST(SettingsExchangeTimeout, ReplyCutAfterTenRecordBytesEndsAfterNineHundredNinetyNineTicks) {
    LinkRig rig;
    rig.exchange.GetData();
    std::vector<uint8_t> reply = getReply(OtherRecord);
    reply.resize(2 + 10);
    rig.tick(reply);
    EXPECT_EQ(rig.exchange.receiveCount(), 8);
    rig.idleTicks(998);
    EXPECT_EQ(rig.state(), 3);
    rig.idleTicks(1);
    EXPECT_EQ(rig.host.statusText, "No Response from Device");
    EXPECT_EQ(rig.host.record, StartRecord);
}

TEST(SettingsExchangeCancel, CancelDuringGetDataShowsDashesAndDropsTheLateReply) {
    LinkRig rig;
    rig.exchange.GetData();
    rig.tick(hexBytes("A5 5A 01 02"));
    rig.host.statusText = "something";
    rig.engine.CancelExchange();
    EXPECT_EQ(rig.host.statusText, "---");
    EXPECT_EQ(rig.state(), 0);
    EXPECT_EQ(rig.engine.responseTimeout(), 0u);
    EXPECT_EQ(rig.wire(), "3B 47"); // Cancel sends nothing

    rig.tick(getReply(OtherRecord));
    EXPECT_EQ(rig.host.record, StartRecord);
    EXPECT_EQ(rig.host.statusText, "---");
    rig.idleTicks(1500);
    EXPECT_EQ(rig.host.statusText, "---"); // no countdown left running

    // A new Get Data runs a whole exchange again, header first.
    rig.exchange.GetData();
    rig.tick(recordAndSum(OtherRecord));
    EXPECT_EQ(rig.state(), 1);
    rig.tick(getReply(OtherRecord));
    EXPECT_EQ(rig.host.record, OtherRecord);
}

TEST(SettingsExchangeGuard, ClosedBridgeShowsTheNotConnectedBoxAndSendsNothing) {
    for (bool send : {false, true}) {
        LinkRig rig(/*connect=*/false);
        send ? rig.exchange.SendData() : rig.exchange.GetData();
        ASSERT_EQ(rig.host.messages.size(), 1u);
        EXPECT_EQ(rig.host.messages[0].text,
                  "Please connect the USB cable,\n and provide power to the head controller.");
        EXPECT_EQ(rig.host.messages[0].caption, "Controller is not connected");
        EXPECT_EQ(rig.host.messages[0].icon, MessageIcon::Error);
        EXPECT_TRUE(rig.bridge.writes.empty());
        EXPECT_EQ(rig.state(), 0);
    }
}

TEST(SettingsExchangeGuard, CommandsWhilePendingLeaveThePendingExchangeAlone) {
    LinkRig rig;
    rig.exchange.GetData();
    rig.idleTicks(10);
    rig.exchange.GetData();
    rig.exchange.SendData();
    EXPECT_EQ(rig.wire(), "3B 47");
    EXPECT_EQ(rig.state(), 1);
    EXPECT_EQ(rig.engine.responseTimeout(), 990u);
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST(SettingsExchangeFailures, EachFailedByteOutsideATickBringsItsOwnBoxAndTheRestIsStillSent) {
    LinkRig rig;
    rig.bridge.writeFailureAt = {{2, BridgeStatusCode::WriteTimedOut},
                                 {5, BridgeStatusCode::DeviceIoFailed}};
    rig.exchange.SendData(); // writes 0..20: the header, then record bytes 0 and 3 fail
    ASSERT_EQ(rig.host.messages.size(), 2u);
    EXPECT_EQ(rig.host.messages[0].text, "Failed to transmit : Write timed out");
    EXPECT_EQ(rig.host.messages[1].text, "Failed to transmit : Device I/O failed");
    for (const Message& m : rig.host.messages) {
        EXPECT_EQ(m.caption, "Kestrun");
        EXPECT_EQ(m.icon, MessageIcon::Exclamation);
    }
    EXPECT_EQ(rig.wire(), "A5 5A 14 05 00 00 01 00 04 00 0C 00 04 00 08 00 0C 00 AB");
    EXPECT_EQ(rig.state(), 5); // still waits: the answer or the countdown ends it
}

TEST(SettingsExchangeFailures, GetDataWithEveryWriteFailingStillWaitsForTheAnswer) {
    LinkRig rig;
    rig.bridge.writeFailure = BridgeStatusCode::WriteError;
    rig.exchange.GetData();
    EXPECT_EQ(rig.host.messages.size(), 2u);
    EXPECT_EQ(rig.state(), 1);
    rig.idleTicks(1000);
    EXPECT_EQ(rig.host.statusText, "No Response from Device");
    EXPECT_EQ(rig.host.messages.size(), 2u); // the countdown brings no box
}

} // namespace
} // namespace kestrun::test
