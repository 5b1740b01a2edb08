#include "platform/portprobe.h"

#include "ioctlrecorder.h"
#include "platform/serialcomport.h"
#include "support/pseudoterminal.h"
#include "support/tempprogramfolder.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class PortProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const PseudoTerminal *terminal : {&free2_, &free10_, &heldHere_, &heldElsewhere_})
            ASSERT_TRUE(terminal->isValid());
        ASSERT_TRUE(folder_.linkPort(2, free2_.slavePath()));
        ASSERT_TRUE(folder_.linkPort(10, free10_.slavePath()));
        ASSERT_TRUE(folder_.linkPort(5, folder_.filePath(QStringLiteral("unplugged"))));
        ASSERT_TRUE(folder_.linkPort(7, heldHere_.slavePath()));
        ASSERT_TRUE(folder_.linkPort(8, heldElsewhere_.slavePath()));
    }
    void TearDown() override {
        if (holder_.state() != QProcess::NotRunning) {
            holder_.kill();
            holder_.waitForFinished(5000);
        }
    }

    TempProgramFolder folder_;
    PseudoTerminal free2_, free10_, heldHere_, heldElsewhere_;
    QProcess holder_;
};

TEST_F(PortProbeTest, ListsEveryPortThatOpensInAscendingOrder) {
    EXPECT_EQ(ProbeComPorts(), (QStringList{"COM2", "COM7", "COM8", "COM10"}));
}

TEST_F(PortProbeTest, PortsHeldOpenAreNeitherListedNorTouched) {
    TSerialComPort owner; // another user in this program, with QSerialPort's lock
    owner.SetPort(QStringLiteral("COM7"));
    ASSERT_TRUE(owner.Open());
    holder_.setStandardInputFile(heldElsewhere_.slavePath()); // another program
    // The holder keeps only its standard input: the test's own terminals must not leak into it.
    holder_.setChildProcessModifier([] { ::closefrom(3); });
    holder_.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(holder_.waitForStarted(10000));

    StartRecordingTerminalCalls();
    const QStringList ports = ProbeComPorts();
    const QList<TerminalCall> calls = StopRecordingTerminalCalls();

    EXPECT_EQ(ports, (QStringList{"COM2", "COM10"}));
    for (const TerminalCall &call : calls) {
        EXPECT_NE(call.device, heldHere_.slavePath()) << "request " << call.request;
        EXPECT_NE(call.device, heldElsewhere_.slavePath()) << "request " << call.request;
    }
    EXPECT_TRUE(owner.Connected());
}

// A simulator keeps its own pseudo-terminal's slave open so that the device stays valid; the
// port is still free for a program to use.
TEST_F(PortProbeTest, PseudoTerminalHeldOnlyByItsOwnMasterIsListed) {
    const char *script = "import os, pty, sys\n"
                         "master, slave = pty.openpty()\n"
                         "print(os.ttyname(slave), flush=True)\n"
                         "sys.stdin.read()\n";
    holder_.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral("-c"), QString::fromLatin1(script)});
    ASSERT_TRUE(holder_.waitForStarted(10000));
    ASSERT_TRUE(holder_.waitForReadyRead(10000));
    const QString device = QString::fromLocal8Bit(holder_.readLine()).trimmed();
    ASSERT_TRUE(device.startsWith(QStringLiteral("/dev/pts/")));
    ASSERT_TRUE(folder_.linkPort(12, device));

    EXPECT_TRUE(ProbeComPorts().contains(QStringLiteral("COM12")));
}

TEST_F(PortProbeTest, ProbedPortsAreFreeAgainAfterwards) {
    ASSERT_FALSE(ProbeComPorts().isEmpty());
    TSerialComPort port;
    port.SetPort(QStringLiteral("COM2"));
    EXPECT_TRUE(port.Open());
}

} // namespace
