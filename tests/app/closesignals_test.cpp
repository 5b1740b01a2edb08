#include "closesignals.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>

// A signal that comes before the window is up waits in the pipe; once enabled, each turn of the
// event loop that finds signals waiting asks for one close, however many arrived.
TEST(CloseSignals, TermAndIntBecomeCloseRequestsOnTheEventLoop) {
    TCloseSignals closeSignals;
    QSignalSpy requests(&closeSignals, &TCloseSignals::CloseRequested);
    ASSERT_EQ(::raise(SIGTERM), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(requests.count(), 0);

    closeSignals.Enable();
    ASSERT_TRUE(requests.wait(10000));
    EXPECT_EQ(requests.count(), 1);

    ASSERT_EQ(::raise(SIGINT), 0);
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(requests.wait(10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(requests.count(), 2);
}
