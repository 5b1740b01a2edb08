// The read-back replies on a session that stands on the simulator, with no server in between: what
// each word answers as the session's state changes. The whole program is read back end to end in
// e2e/readback_test.cpp.

#include "remote/remotereadback.h"

#include "remotetestsupport.h" // readable failure output
#include "session/sessionrig.h"
#include "sim/controlcommand.h"

#include <gtest/gtest.h>

namespace {

QByteArray Ask(const TInstrumentSession &session, const char *request) {
    return ReadBackReply(session, QString::fromLatin1(request).split(QLatin1Char(' ')))
        .value_or("<none>");
}

// A homing that does not end well leaves the axes anywhere: the band of the move before it is
// gone.
TEST(ReadBackTest, AHomingThatFailsLeavesNoBand) {
    SessionRig rig;
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(rig.session->GoToSetPoint(600.0, 5.0));
    EXPECT_EQ(Ask(*rig.session, "GETC"), "600.0 5.0");
    EXPECT_EQ(Ask(*rig.session, "GETR"), "597.5 602.5");
    rig.sim->unplug();
    EXPECT_FALSE(rig.session->HomeAll());
    ASSERT_TRUE(rig.session->IsDeviceReady()); // only a failed link test closes the link
    EXPECT_EQ(Ask(*rig.session, "GETC"), "NONE");
    EXPECT_EQ(Ask(*rig.session, "GETR"), "NONE");
}

// A start-up that ends without the table or without the instrument's information is over all the
// same: a client that waits for DEVICE to leave STARTING must not wait for ever.
TEST(ReadBackTest, AStartUpThatEndsShortIsNoLongerStarting) {
    SessionRig rig;
    ASSERT_TRUE(rig.Start(SessionRig::FastProfile(), false)); // no copy of the table
    EXPECT_EQ(Ask(*rig.session, "DEVICE"), "READY F612 AX0000000017 400.0-800.0");
    EXPECT_EQ(Ask(*rig.session, "LIMITS"), "NONE");

    rig.session->Action_DeviceClose();
    EXPECT_EQ(Ask(*rig.session, "DEVICE"), "SEARCHING");
    ASSERT_TRUE(ksim::ExecuteControlCommand(*rig.sim, QStringLiteral("info 0 none"))
                    .reply.startsWith(QLatin1String("OK")));
    rig.session->Action_DeviceOpen();
    ASSERT_TRUE(rig.session->IsDeviceReady());
    ASSERT_FALSE(rig.session->IsInfoValid());
    EXPECT_TRUE(Ask(*rig.session, "DEVICE").startsWith("READY"));
}

// PROGRESS counts the points moved to: 0 from the scan's start to its first confirmed move, with
// the first point's band.
TEST(ReadBackTest, ProgressCountsConfirmedMovesFromZero) {
    SessionRig rig;
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(Ask(*rig.session, "PROGRESS"), "IDLE");
    rig.session->BeginScan(3, 600.0, 5.0, 100);
    EXPECT_EQ(Ask(*rig.session, "PROGRESS"), "0 3 600.0 5.0");
    ASSERT_TRUE(rig.session->GoToSetPoint(600.0, 5.0));
    EXPECT_EQ(Ask(*rig.session, "PROGRESS"), "1 3 600.0 5.0");
    ASSERT_TRUE(rig.session->GoToSetPoint(600.5, 5.0));
    EXPECT_EQ(Ask(*rig.session, "PROGRESS"), "2 3 600.5 5.0");
    rig.session->EndScan(TScanOutcome::Aborted);
    EXPECT_EQ(Ask(*rig.session, "PROGRESS"), "IDLE");
}

} // namespace
