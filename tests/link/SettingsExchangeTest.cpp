// The settings exchange on the wire: the exact request bytes, the countdown's exact tick, and
// what the user sees at every end of an exchange.

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

// Each state's reaction to each kind of byte, the check byte (a header byte taken as record data,
// A5 00 5A, a sum that wraps, the header left out of the sum), bytes after the end of an
// exchange, and a reply in pieces are the link fuzz target's: its seeds play each of them and
// its model of the exchange, written apart from the link, says tick by tick what must follow.
// Here: an error leaves the controls (and any edit not yet committed) alone.
TEST(SettingsExchangeReply, AWrongCheckByteLeavesRecordAndControls) {
    Rig<> rig;
    rig.exchange.GetData();
    rig.tick("A5 5A " + hexText(OtherRecord) + " EF");
    EXPECT_EQ(rig.host.statusText, "Data Receive Error!");
    EXPECT_EQ(rig.host.record, StartRecord);
    EXPECT_EQ(rig.host.recordToControlsCalls, 0);
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
