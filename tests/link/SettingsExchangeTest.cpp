// The settings exchange on the wire: the exact request bytes, each state's reaction to each kind
// of byte, replies whole or in pieces, the countdown's exact tick, and what the user sees at
// every end of an exchange.

#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace kestrun::test {
namespace {

TEST(SettingsExchangeWire, OneByteAWriteAndSendDataSendsWhatTheControlsShow) {
    Rig<> rig;
    rig.exchange.GetData();
    EXPECT_EQ(rig.wire(), "3B 47");
    EXPECT_EQ(rig.bridge.writes.size(), 2u);
    EXPECT_EQ(rig.state(), 1);
    EXPECT_EQ(rig.engine.responseTimeout(), 1000u);
    rig.tick(getReply(OtherRecord));
    ASSERT_EQ(rig.host.statusText, "Data Received");
    rig.bridge.takeWrites();

    // The frame carries the controls (start values, edited), not the record last received.
    rig.host.controls = startSettings();
    rig.host.controls.values[0] = 42;
    rig.host.controls.digitalConnection = 2;
    rig.host.controls.pressureJoystick = true;
    rig.exchange.SendData();
    EXPECT_EQ(rig.wire(), "A5 5A 2A 14 05 05 02 00 01 01 04 00 0C 00 04 00 08 00 0C 00 74");
    EXPECT_EQ(rig.bridge.writes.size(), 21u);
    EXPECT_EQ(rig.state(), 5);
    EXPECT_EQ(rig.engine.responseTimeout(), 1000u);
}

TEST(SettingsExchangeStates, EachStateReactsToEachKindOfByte) {
    const struct {
        const char* name; // starts with the state under test; 5 is entered by Send Data
        const char* prefix;
        const char* byte;
        uint8_t stateAfter;
        const char* statusAfter;
    } cases[] = {
        {"1: noise stays", "", "00", 1, "---"},
        {"1: second header byte first stays", "", "5A", 1, "---"},
        {"1: first header byte moves on", "", "A5", 2, "---"},
        {"2: noise stays, no fall back", "A5", "00", 2, "---"},
        {"2: repeated first header byte stays", "A5", "A5", 2, "---"},
        {"2: second header byte starts record", "A5", "5A", 3, "---"},
        {"3: header byte is record data", "A5 5A", "A5", 3, "---"},
        {"5: 01 is accepted", "", "01", 0, "Data Sent"},
        {"5: 00 is refused", "", "00", 0, "Transmit Error!"},
        {"5: header byte is refused", "", "A5", 0, "Transmit Error!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig<> rig;
        c.name[0] == '5' ? rig.exchange.SendData() : rig.exchange.GetData();
        rig.tick(c.prefix);
        rig.tick(c.byte);
        EXPECT_EQ(rig.state(), c.stateAfter);
        EXPECT_EQ(rig.host.statusText, c.statusAfter);
        EXPECT_EQ(rig.host.record, StartRecord);
    }
}

// A reply in pieces over many ticks is the simulated controller's end-to-end test (3 bytes every
// other tick) and the CP2110 driver's (one byte a report), and the link fuzz target's.
TEST(SettingsExchangeReply, TheCheckByteDecidesWhetherTheRecordIsTaken) {
    SettingsRecord before = StartRecord;
    before[0] = 0x33; // so that a start record reply is a change too
    SettingsRecord allFF, headerLike = {0xA5, 0x5A, 0xA5, 0x5A};
    allFF.fill(0xFF);
    const std::string other = hexText(OtherRecord), error = "Data Receive Error!";
    const struct {
        const char* name;
        std::string reply; // everything the controller sends, header included
        SettingsRecord recordAfter;
        std::string status = "Data Received";
    } cases[] = {
        {"junk before the header", "00 FF 3B 01 " + getReply(StartRecord), StartRecord},
        {"A5 00 5A header", "A5 00 5A " + other + " EE", OtherRecord},
        {"record bytes equal to the header", getReply(headerLike), headerLike},
        {"all FF, the sum wraps", "A5 5A " + hexText(allFF) + " EE", allFF},
        {"wrong check byte", "A5 5A " + other + " EF", before, error},
        {"header counted in the sum", "A5 5A " + other + " ED", before, error},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig<> rig;
        rig.host.record = before;
        rig.exchange.GetData();
        rig.tick(c.reply);
        EXPECT_EQ(rig.host.statusText, c.status);
        EXPECT_EQ(rig.host.record, c.recordAfter);
        // The controls (and any uncommitted edit on them) are left alone after an error.
        EXPECT_EQ(rig.host.recordToControlsCalls, c.status == error ? 0 : 1);
        EXPECT_EQ(rig.state(), 0);
    }
}

TEST(SettingsExchangeReply, BytesAfterTheEndOfAnExchangeOrWhileIdleAreDropped) {
    Rig<> rig;
    rig.tick(getReply(OtherRecord) + " 01");
    EXPECT_EQ(rig.host.record, StartRecord);

    // A second, different reply in the same read must not be taken as a new exchange.
    rig.exchange.GetData();
    rig.tick(getReply(OtherRecord) + " " + getReply(StartRecord));
    EXPECT_EQ(rig.host.record, OtherRecord);
    EXPECT_EQ(rig.host.recordToControlsCalls, 1);

    // A stray byte before the acknowledgement decides the outcome; the real one is dropped.
    rig.exchange.SendData();
    rig.tick("00 01");
    EXPECT_EQ(rig.host.statusText, "Transmit Error!");
    EXPECT_EQ(rig.state(), 0);
}

// The window ticks the link only while an exchange is pending. Whatever the controller sent
// while idle (here a whole get reply for another record, and a stray acknowledgement) must never
// reach the next exchange, which must then see exactly what it sees with ticks that never stop:
// the same transcript, on the same ticks.
TEST(SettingsExchangeIdle, BytesFromWhileIdleNeverReachAnExchangeTicksRunningOrNot) {
    const std::string stray[] = {getReply(OtherRecord), "01"};
    const struct {
        const char* name;
        bool send;
        std::vector<std::string> reads; // one a tick, from the command on
    } cases[] = {
        {"Get Data in two pieces", false, {"", "A5 5A", getReply(StartRecord).substr(6)}},
        {"Send Data acknowledged", true, {"", "", "01"}},
        {"Get Data unanswered", false, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> transcripts;
        std::vector<int> ticks;
        for (const bool ticksWhileIdle : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (ticksWhileIdle ? ", ticks run" : ", no ticks"));
            Rig<> rig;
            for (const std::string& bytes : stray) {
                rig.bridge.queueRead(hexBytes(bytes));
            }
            if (ticksWhileIdle) {
                rig.idleTicks(5);
            }
            c.send ? rig.exchange.SendData() : rig.exchange.GetData();
            for (const std::string& bytes : c.reads) {
                rig.tick(bytes);
            }
            ticks.push_back(static_cast<int>(c.reads.size()) + rig.runExchange());
            EXPECT_EQ(rig.host.record, StartRecord);
            std::string transcript;
            for (const auto& event : rig.host.events) {
                transcript += event + "\n";
            }
            transcripts.push_back(transcript);
        }
        EXPECT_EQ(transcripts[0], transcripts[1]) << c.name;
        EXPECT_EQ(ticks[0], ticks[1]) << c.name;
        EXPECT_EQ(ticks[0], c.reads.empty() ? 1000 : 3) << c.name;
    }
}

// The countdown restarts at 1000 on every tick that brings bytes and counts down on every tick;
// "No Response from Device" comes on the tick that reaches zero, not one earlier or later.
TEST(SettingsExchangeTimeout, NoResponseOnExactlyTheTickTheCountdownRunsOut) {
    const struct {
        const char* name;
        uint8_t stateBefore; // 5 is entered by Send Data, the others by Get Data
        int bytesOnTick;
        const char* bytes;
        int lastTick;
    } cases[] = {
        {"Get Data, silence", 1, 0, "", 1000},
        {"Send Data, silence", 5, 0, "", 1000},
        {"stray byte at tick 900", 1, 900, "00", 1899},
        {"reply cut after ten record bytes", 3, 1, "A5 5A 2A 63 01 64 02 01 03 01 00 00", 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig<> rig;
        c.stateBefore == 5 ? rig.exchange.SendData() : rig.exchange.GetData();
        rig.host.progress = 99;
        for (int t = 1; t < c.lastTick; ++t) {
            rig.tick(t == c.bytesOnTick ? c.bytes : "");
        }
        EXPECT_EQ(rig.host.statusText, "---");
        EXPECT_EQ(rig.state(), c.stateBefore);
        rig.tick();
        EXPECT_EQ(rig.host.statusText, "No Response from Device");
        EXPECT_EQ(rig.host.upgradeStatusText, "");
        EXPECT_EQ(rig.state(), 0);
        EXPECT_EQ(rig.host.progress, 0);
        EXPECT_EQ(rig.host.record, StartRecord);
        const std::size_t events = rig.host.events.size();
        rig.idleTicks(2000);
        EXPECT_EQ(rig.host.events.size(), events); // the countdown does not run on
    }
}

TEST(SettingsExchangeCancel, CancelDuringGetDataShowsDashesAndDropsTheLateReply) {
    Rig<> rig;
    rig.exchange.GetData();
    rig.tick("A5 5A 01 02");
    rig.host.statusText = "something";
    rig.engine.CancelExchange();
    EXPECT_EQ(rig.host.statusText, "---");
    EXPECT_EQ(rig.state(), 0);
    EXPECT_EQ(rig.wire(), "3B 47"); // Cancel sends nothing

    rig.tick(getReply(OtherRecord));
    rig.idleTicks(1500);
    EXPECT_EQ(rig.host.record, StartRecord);
    EXPECT_EQ(rig.host.statusText, "---"); // no countdown left running

    // The half-received record is not carried into the next Get Data.
    rig.exchange.GetData();
    rig.tick(getReply(OtherRecord));
    EXPECT_EQ(rig.host.record, OtherRecord);
}

TEST(SettingsExchangeGuard, NotConnectedBoxAndCommandsWhilePendingLeaveItAlone) {
    for (bool send : {false, true}) {
        Rig<> rig(/*connect=*/false);
        send ? rig.exchange.SendData() : rig.exchange.GetData();
        EXPECT_EQ(rig.host.messages,
                  (std::vector<Message>{{"Please connect the USB cable,\n and provide power to "
                                         "the head controller.",
                                         "Controller is not connected", MessageIcon::Error}}));
        EXPECT_TRUE(rig.bridge.writes.empty());
        EXPECT_EQ(rig.state(), 0);
    }
    Rig<> rig;
    rig.exchange.GetData();
    rig.idleTicks(10);
    rig.exchange.GetData();
    rig.exchange.SendData();
    EXPECT_EQ(rig.wire(), "3B 47");
    EXPECT_EQ(rig.state(), 1);
    EXPECT_EQ(rig.engine.responseTimeout(), 990u);
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST(SettingsExchangeFailures, EachFailedByteBringsItsOwnBoxAndTheExchangeStillWaits) {
    Rig<> rig;
    rig.bridge.writeFailureAt = {{2, BridgeStatusCode::WriteTimedOut},
                                 {5, BridgeStatusCode::DeviceIoFailed}};
    rig.exchange.SendData(); // writes 0..20: record bytes 0 and 3 fail
    const auto box = [](const char* status) {
        return Message{std::string("Failed to transmit : ") + status, "Kestrun",
                       MessageIcon::Exclamation};
    };
    EXPECT_EQ(rig.host.messages,
              (std::vector<Message>{box("Write timed out"), box("Device I/O failed")}));
    EXPECT_EQ(rig.wire(), "A5 5A 14 05 00 00 01 00 04 00 0C 00 04 00 08 00 0C 00 AB");
    EXPECT_EQ(rig.state(), 5); // the answer or the countdown ends it
    rig.idleTicks(1000);
    EXPECT_EQ(rig.host.statusText, "No Response from Device");
    EXPECT_EQ(rig.host.messages.size(), 2u); // the countdown brings no box
}

} // namespace
} // namespace kestrun::test
