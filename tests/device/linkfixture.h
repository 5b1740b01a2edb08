#pragma once

#include "device/devicerederedirada.h"
#include "fakecomport.h"
#include "support/pseudoterminal.h"
#include "support/scriptedpeer.h"
#include "support/tempprogramfolder.h"

#include <QStringList>
#include <gtest/gtest.h>

// The log of a link, entry texts without their time stamps. Fails the test on a line that
// lacks the "[yymmdd-hhnnss] " stamp or the CR LF ending.
QStringList ReadLogTexts(const QString &path);

// A link with its log started in Log/ of a temporary program folder.
class LogFolderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(link_.StartLog(folder_.filePath(QStringLiteral("Log/")))); }
    QStringList LogTexts() const { return ReadLogTexts(link_.logFilePath()); }
    // The entries after the first `skip` ones.
    QStringList LogTextsFrom(int skip) const { return LogTexts().mid(skip); }

    TempProgramFolder folder_;
    TDevice_RedeRedirada link_;
};

// The link on a fake port, opened as COM3.
class FakePortTest : public LogFolderTest {
protected:
    void SetUp() override {
        LogFolderTest::SetUp();
        link_.SetPortFactory([state = state_] { return std::make_unique<FakeComPort>(state); });
    }
    FakeComPort *port() const { return state_->port; }

    std::shared_ptr<FakeComPort::State> state_ = std::make_shared<FakeComPort::State>();
};

// The link on COM3, a pseudo-terminal with a scripted instrument on the other side.
class PtyLinkTest : public LogFolderTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(terminal_.isValid());
        ASSERT_TRUE(folder_.linkPort(3, terminal_.slavePath()));
        LogFolderTest::SetUp();
    }
    // QSerialPort drops its lock file only after closing the device; closing the port while
    // the terminal still exists keeps a parallel test from getting the same terminal number
    // while the lock is still there.
    void TearDown() override { link_.ClosePort(); }
    void OpenLink() {
        ASSERT_TRUE(link_.OpenPort(QStringLiteral("COM3")));
        opened_ = int(LogTexts().size());
    }
    // Entries written since OpenLink().
    QStringList NewLogTexts() const { return LogTextsFrom(opened_); }
    // The sizes of the receive events logged since OpenLink().
    QList<int> RxEventSizes() const;

    PseudoTerminal terminal_;
    ScriptedPeer peer_{terminal_};
    int opened_ = 0;
};
