// A long operation that a timer starts while the server handles a line (the search for the
// instrument, a scan's move) must not hold the client's later replies back until it ends.

#include "remotetestsupport.h"

#include "core/eventwait.h"

namespace {

using RemoteResponsiveness = TRemoteServerFixture;

// The operation runs until the reply to a line sent behind the one that started it has come: run
// inside the handler, it would hold that reply back, and its wait would run out.
TEST_F(RemoteResponsiveness, AnOperationPostedInsideALineLetsTheNextLinesBeAnswered) {
    const std::unique_ptr<TTestClient> client = ConnectServed();
    QObject context;
    bool ran = false;
    bool laterReplyCame = false;
    const auto laterReplyIn = [&] {
        return (client->Pending() + client->Raw().peek(64)).contains("Kestrune v1.0\r");
    };
    AtPress(TOperation::SetBand, [&] {
        // Posted, as a timer's tick or a scan worker's step is: the first round of events that
        // the handler runs after this reply delivers it.
        QMetaObject::invokeMethod(
            &context,
            [&] {
                RunOutsideHandlers(&context, [&] {
                    ran = true;
                    laterReplyCame = WaitWithEvents(200, 50, laterReplyIn);
                });
            },
            Qt::QueuedConnection);
    });
    client->Send("SETC 600.0 5.0\rVER\r");
    EXPECT_EQ(client->ReadReply(), QByteArray("SETC OK"));
    ASSERT_TRUE(WaitUntil([&] { return ran; }, 20000));
    EXPECT_TRUE(laterReplyCame);
    EXPECT_EQ(client->ReadReply(), QByteArray("Kestrune v1.0"));
    EXPECT_EQ(client->Ask("VER"), QByteArray("Kestrune v1.0"));
}

} // namespace
