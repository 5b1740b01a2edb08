#include "platform/serialcomport.h"

#include "ioctlrecorder.h"
#include "support/pseudoterminal.h"
#include "support/scriptedpeer.h"
#include "support/tempprogramfolder.h"

#include <QCoreApplication>
#include <QList>
#include <gtest/gtest.h>

#include <sys/ioctl.h>

namespace {

// A port on COM3 linked to a fresh pseudo-terminal, with a reader that takes what each RxChar
// offers and remembers the event sizes.
class SerialComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(terminal_.isValid());
        ASSERT_TRUE(folder_.linkPort(3, terminal_.slavePath()));
        port_.SetPort(QStringLiteral("COM3"));
        port_.SetBaudRate(38400);
        QObject::connect(&port_, &TComPort::RxChar, &port_, [this](int count) {
            events_.append(count);
            QByteArray chunk(count, '\0');
            chunk.truncate(port_.Read(chunk.data(), count));
            received_.append(chunk);
        });
        QObject::connect(&port_, &TComPort::LineError, &port_,
                         [this](ComErrors errors) { errors_ |= errors; });
    }

    PseudoTerminal terminal_;
    TempProgramFolder folder_;
    TSerialComPort port_;
    QList<int> events_;
    QByteArray received_;
    ComErrors errors_;
};

TEST_F(SerialComPortTest, OpensThroughItsPortsEntryAndExchangesBytes) {
    ASSERT_TRUE(port_.Open());
    EXPECT_TRUE(port_.Connected());
    ASSERT_TRUE(port_.WriteStr(QStringLiteral("POS 3\r")));
    EXPECT_EQ(terminal_.readUntil('\r', 5000), QByteArray("POS 3\r"));
    ASSERT_TRUE(terminal_.write("POS 3 1 2 3\r"));
    EXPECT_TRUE(WaitUntil([this] { return received_.size() == 12; }));
    EXPECT_EQ(received_, QByteArray("POS 3 1 2 3\r"));
    port_.Close();
    EXPECT_FALSE(port_.Connected());
}

TEST_F(SerialComPortTest, OpeningDropsDtrAndRtsAndNeverRaisesThem) {
    StartRecordingTerminalCalls();
    const bool opened = port_.Open();
    port_.WriteStr(QStringLiteral("?\r"));
    port_.Close();
    const QList<TerminalCall> calls = StopRecordingTerminalCalls();
    ASSERT_TRUE(opened); // a pseudo-terminal refuses the modem-line request; the open stands
    bool dropped = false;
    for (const TerminalCall &call : calls) {
        if (call.device != terminal_.slavePath())
            continue;
        if (call.request == TIOCMBIC &&
            (call.modemLines & (TIOCM_DTR | TIOCM_RTS)) == (TIOCM_DTR | TIOCM_RTS))
            dropped = true;
        EXPECT_FALSE(call.request == TIOCMBIS && (call.modemLines & (TIOCM_DTR | TIOCM_RTS)));
        EXPECT_FALSE(call.request == TIOCMSET && (call.modemLines & (TIOCM_DTR | TIOCM_RTS)));
    }
    EXPECT_TRUE(dropped);
}

TEST_F(SerialComPortTest, WritesEachCharacterAsOneByte) {
    ASSERT_TRUE(port_.Open());
    ASSERT_TRUE(port_.WriteStr(QString::fromLatin1("\xB0\xFF\r")));
    EXPECT_EQ(terminal_.readUntil('\r', 5000), QByteArray("\xB0\xFF\r"));
}

TEST_F(SerialComPortTest, DeliversAtMost1024BytesPerEventAndLeavesNothingBehind) {
    ASSERT_TRUE(port_.Open());
    QByteArray burst;
    for (int i = 0; i < 3000; ++i)
        burst.append(char('A' + i % 26));
    ASSERT_TRUE(terminal_.write(burst));
    EXPECT_TRUE(WaitUntil([this] { return received_.size() >= 3000; }));
    EXPECT_EQ(received_, burst);
    for (const int count : events_) {
        EXPECT_GT(count, 0);
        EXPECT_LE(count, 1024);
    }
}

TEST_F(SerialComPortTest, BytesArrivingDuringAWriteWaitForTheEventLoop) {
    ASSERT_TRUE(port_.Open());
    ASSERT_TRUE(terminal_.write("early\r"));
    ASSERT_TRUE(port_.WriteStr(QStringLiteral("?\r")));
    EXPECT_TRUE(events_.isEmpty());
    EXPECT_TRUE(WaitUntil([this] { return received_ == "early\r"; }));
}

TEST_F(SerialComPortTest, ClearBufferDropsWaitingInput) {
    ASSERT_TRUE(port_.Open());
    ASSERT_TRUE(terminal_.write("stale bytes"));
    // Give the stale bytes time to reach the port; whether they had is not what is tested.
    QCoreApplication::processEvents();
    events_.clear();
    received_.clear();
    ASSERT_TRUE(port_.ClearBuffer(true, true));
    ASSERT_TRUE(terminal_.write("fresh\r"));
    EXPECT_TRUE(WaitUntil([this] { return received_.endsWith("fresh\r"); }));
    EXPECT_EQ(received_, QByteArray("fresh\r"));
}

TEST_F(SerialComPortTest, OpenFailsForAPortWithoutDeviceOrAlreadyInUse) {
    TSerialComPort unlinked;
    unlinked.SetPort(QStringLiteral("COM4"));
    EXPECT_FALSE(unlinked.Open());

    ASSERT_TRUE(port_.Open());
    TSerialComPort second;
    second.SetPort(QStringLiteral("COM3"));
    EXPECT_FALSE(second.Open());
    EXPECT_FALSE(second.Connected());
}

TEST_F(SerialComPortTest, UnpluggedDeviceReportsOneIoErrorAndWritesFail) {
    int errorEvents = 0;
    QObject::connect(&port_, &TComPort::LineError, &port_, [&errorEvents] { ++errorEvents; });
    ASSERT_TRUE(port_.Open());
    terminal_.closeMaster();
    EXPECT_TRUE(WaitUntil([this] { return errors_.testFlag(ceIO); }));
    EXPECT_EQ(errors_, ComErrors(ceIO));
    // Further turns of the event loop bring no more reports of the same loss.
    WaitUntil([] { return false; }, 300);
    EXPECT_EQ(errorEvents, 1);
    EXPECT_TRUE(port_.Connected()); // until its owner closes it
    EXPECT_FALSE(port_.WriteStr(QStringLiteral("POS 3\r")));
    EXPECT_FALSE(port_.ClearBuffer(true, true));
    port_.Close();
    EXPECT_FALSE(port_.Connected());
}

} // namespace
