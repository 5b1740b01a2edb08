#include "remotetestsupport.h"

#include "session/scanrun.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>

namespace {

const QByteArray Version = "Kestrune v1.0";

// The served connection as the server holds it.
QTcpSocket *ServedSocket(TRemoteServer &server) {
    for (QTcpSocket *socket : server.findChildren<QTcpSocket *>())
        if (socket->state() == QAbstractSocket::ConnectedState)
            return socket;
    return nullptr;
}

// ---- Framing: whatever the packets, each complete line gets one reply, in order. ----

struct TFramingCase {
    const char *Name;
    QList<QByteArray> Packets;
    QList<QByteArray> Replies;
};

void PrintTo(const TFramingCase &c, std::ostream *os) {
    *os << c.Name;
}

class RemoteFraming : public TRemoteServerFixture,
                      public ::testing::WithParamInterface<TFramingCase> {};

TEST_P(RemoteFraming, AnswersEveryCompleteLineOnceInOrder) {
    auto client = ConnectServed();
    for (const QByteArray &packet : GetParam().Packets) {
        client->Send(packet);
        QCoreApplication::processEvents();
    }
    // A closing VER proves that no line got a second reply or one it should not have.
    client->Send("VER\r");
    QList<QByteArray> expected = GetParam().Replies;
    expected << Version;
    QList<QByteArray> replies;
    for (int i = 0; i < expected.size(); ++i) {
        const auto reply = client->ReadReply();
        ASSERT_TRUE(reply.has_value()) << "reply " << i << " missing";
        replies << *reply;
    }
    EXPECT_EQ(replies, expected);
    EXPECT_TRUE(client->Pending().isEmpty());
}

QList<QByteArray> OneBytePackets(const QByteArray &bytes) {
    QList<QByteArray> packets;
    for (char c : bytes)
        packets << QByteArray(1, c);
    return packets;
}

QByteArray EveryByteButCr() {
    QByteArray bytes;
    for (int b = 255; b >= 0; --b)
        if (b != '\r')
            bytes.append(char(b));
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Packets, RemoteFraming,
    ::testing::Values(
        TFramingCase{"WholeLine", {"STATE\r"}, {"IDLE"}},
        TFramingCase{"SplitLine", {"ST", "ATE\r"}, {"IDLE"}},
        TFramingCase{"OneBytePerPacket", OneBytePackets("STATE\r"), {"IDLE"}},
        TFramingCase{"CrLfLineEnds", {"STATE\r\n", "ECLEAR\r\n"}, {"IDLE", "OK"}},
        TFramingCase{"TwoLinesInOnePacket", {"STATE\rECLEAR\r"}, {"IDLE", "OK"}},
        TFramingCase{
            "LinesAcrossPackets", {"STATE\rECL", "EAR\rST", "ATE\r"}, {"IDLE", "OK", "IDLE"}},
        TFramingCase{"LoneCr", {"\r"}, {""}}, TFramingCase{"TwoLoneCrs", {"\r\r"}, {"", ""}},
        TFramingCase{"BlanksOnly", {" \t \r"}, {"UNKNOWN COMMAND"}},
        TFramingCase{"LfIsNoTerminator", {"VER\n", "STATE\n", "\r"}, {"UNKNOWN COMMAND"}},
        TFramingCase{"NulEndsTheLineText", {QByteArray("STATE\0 1 2\r", 11)}, {"IDLE"}},
        TFramingCase{"NulFirst", {QByteArray("\0STATE\r", 7)}, {"UNKNOWN COMMAND"}},
        TFramingCase{"BinaryGarbage", {EveryByteButCr(), "\r"}, {"UNKNOWN COMMAND"}}),
    [](const auto &info) { return std::string(info.param.Name); });

// ---- Lines longer than the buffer keep their last 1023 bytes before the CR. ----

struct TLongLineCase {
    const char *Name;
    int Padding;    // bytes of 'A' in front
    int Blanks;     // blanks between them and the command
    int PacketSize; // 0: one write
    QByteArray Reply;
};

void PrintTo(const TLongLineCase &c, std::ostream *os) {
    *os << c.Name;
}

class RemoteLongLine : public TRemoteServerFixture,
                       public ::testing::WithParamInterface<TLongLineCase> {};

TEST_P(RemoteLongLine, KeepsTheNewestBytesAndLosesNoLaterLine) {
    const TLongLineCase &c = GetParam();
    const QByteArray bytes =
        QByteArray(c.Padding, 'A') + QByteArray(c.Blanks, ' ') + "SETC 600.0 5.0\rSTATE\r";
    auto client = ConnectServed();
    const int step = c.PacketSize > 0 ? c.PacketSize : int(bytes.size());
    for (int at = 0; at < bytes.size(); at += step) {
        client->Send(bytes.mid(at, step));
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(client->ReadReply(), std::optional<QByteArray>(c.Reply));
    EXPECT_EQ(client->ReadReply(), std::optional<QByteArray>("IDLE"));
}

// "SETC 600.0 5.0" is 14 bytes. A line of 1023 bytes ending in it is kept whole; of a longer one
// exactly 1023 bytes are kept, so one byte of padding more shows up as a fourth field.
INSTANTIATE_TEST_SUITE_P(
    Lengths, RemoteLongLine,
    ::testing::Values(
        TLongLineCase{"LongestLineKeptWhole", 0, 1023 - 14, 0, "SETC OK"},
        TLongLineCase{"TenThousandBytesOneWrite", 10000 - 1023, 1023 - 14, 0, "SETC OK"},
        TLongLineCase{"TenThousandBytesSmallPackets", 10000 - 1023, 1023 - 14, 100, "SETC OK"},
        TLongLineCase{"TenThousandBytesLargePackets", 10000 - 1023, 1023 - 14, 1500, "SETC OK"},
        TLongLineCase{"OneByteOfPaddingKept", 10000 - 1022, 1022 - 14, 0, "UNKNOWN COMMAND"},
        TLongLineCase{"OneByteOfPaddingKeptSmallPackets", 10000 - 1022, 1022 - 14, 100,
                      "UNKNOWN COMMAND"}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST_F(TRemoteServerFixture, LineOfExactly1024BytesLosesItsFirstByte) {
    auto client = ConnectServed();
    client->Send("SETC 600.0 5.0" + QByteArray(1024 - 14, ' ') + "\r");
    EXPECT_EQ(client->ReadReply(), std::optional<QByteArray>("UNKNOWN COMMAND"));
    EXPECT_TRUE(Requests.isEmpty());
    EXPECT_TRUE(rig.RequestLines().isEmpty());
}

// ---- No command is left waiting. ----

TEST_F(TRemoteServerFixture, BurstOfCommandsIsAnsweredInOrder) {
    const QList<QByteArray> lines{"VER", "STATE", "XYZ", "ECODE", "ECLEAR", "ECODE"};
    const QList<QByteArray> answers{Version, "IDLE", "UNKNOWN COMMAND", "NONE", "OK", ""};
    QByteArray burst;
    QList<QByteArray> expected;
    for (int i = 0; i < 400; ++i) {
        burst += lines.at(i % lines.size()) + '\r';
        expected << answers.at(i % answers.size());
    }
    ASSERT_GT(burst.size(), TRemoteServer::RemoteBufferSize);
    auto client = ConnectServed();
    client->Send(burst);
    QList<QByteArray> replies;
    for (int i = 0; i < expected.size(); ++i) {
        const auto reply = client->ReadReply();
        ASSERT_TRUE(reply.has_value()) << "reply " << i << " missing";
        replies << *reply;
    }
    EXPECT_EQ(replies, expected);
}

// The client sends its next command from inside its read handler and lets events run, so the
// command reaches the server while that is still letting events run after the previous reply.
TEST_F(TRemoteServerFixture, ClientSendingOnEachReplyNeverWaits) {
    auto client = ConnectServed();
    QTcpSocket &socket = client->Raw();
    QByteArray received;
    int replies = 0;
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] {
        received += socket.readAll();
        while (received.contains('\r')) {
            received.remove(0, received.indexOf('\r') + 1);
            if (++replies < 300) {
                socket.write(replies % 2 ? "STATE\r" : "VER\r");
                socket.flush();
                QCoreApplication::processEvents();
            }
        }
    });
    socket.write("VER\r");
    EXPECT_TRUE(WaitUntil([&] { return replies == 300; })) << replies << " replies";
}

TEST_F(TRemoteServerFixture, CommandSentDuringAnotherIsAnsweredAfterIt) {
    auto client = ConnectServed();
    AtPress(TOperation::SetBand, [&] {
        client->Send("VER\r");
        // The second line waits in the served socket while this command still runs.
        EXPECT_TRUE(WaitUntil([&] { return ServedSocket(Server())->bytesAvailable() > 0; }));
    });
    client->Send("SETC 600.0 5.0\r");
    EXPECT_EQ(client->ReadReply(), std::optional<QByteArray>("SETC OK"));
    EXPECT_EQ(client->ReadReply(), std::optional<QByteArray>(Version));
}

// A scan's end that the check timer reports in the events the server runs right after a reply
// waits for the next empty line, instead of being wiped with the reply sent.
TEST_F(TRemoteServerFixture, OutcomeReportedRightAfterAReplyIsKept) {
    auto client = ConnectServed();
    QTimer &check = Session().ScanRun().CheckTimer();
    AtMessage("Scanning...", [&] {
        Session().ScanRun().RequestAbort();
        check.start(0); // the abort is reported at the first round of events
    });
    QObject::connect(rig.session.get(), &TInstrumentSession::ScanEnded,
                     [&] { check.setInterval(TScanRun::CheckScanIntervalMs); });
    EXPECT_EQ(client->Ask(LongScan), std::optional<QByteArray>("SCAN OK"));
    EXPECT_FALSE(Session().IsScanning());
    EXPECT_EQ(client->Ask(""), std::optional<QByteArray>("SCAN ABORT"));
    EXPECT_EQ(client->Ask(""), std::optional<QByteArray>(""));
}

// ---- One client at a time. ----

TEST_F(TRemoteServerFixture, SecondClientIsClosedAndTheIdleFirstKeepsRemoteMode) {
    QSignalSpy remote(rig.session.get(), &TInstrumentSession::RemoteControlChanged);
    auto first = ConnectServed();
    TTestClient second;
    ASSERT_TRUE(second.Connect(Server().ServerPort()));
    second.Send("VER\r");
    EXPECT_TRUE(second.WaitDisconnected());
    EXPECT_TRUE(second.Pending().isEmpty());
    EXPECT_TRUE(WaitUntil([&] { return Server().RemoteClientCount() == 1; }));
    EXPECT_TRUE(Server().IsRemoteMode());
    EXPECT_TRUE(Session().IsRemoteControlled());
    EXPECT_EQ(remote.count(), 1);
    EXPECT_EQ(first->Ask("VER"), std::optional<QByteArray>(Version));
}

// The next client starts with an empty buffer: the departed one's partial line is gone.
TEST_F(TRemoteServerFixture, ServedClientLeavingEndsRemoteMode) {
    auto first = ConnectServed();
    EXPECT_TRUE(Session().IsRemoteControlled());
    first->Send("XX");
    first->Close();
    ASSERT_TRUE(WaitUntil([&] { return !Server().IsRemoteMode(); }));
    EXPECT_EQ(Server().RemoteClientCount(), 0);
    EXPECT_FALSE(Session().IsRemoteControlled());
    auto second = ConnectServed();
    EXPECT_EQ(second->Ask("VER"), std::optional<QByteArray>(Version));
    EXPECT_TRUE(Requests.isEmpty());
}

TEST_F(TRemoteServerFixture, ServedClientLeavingDuringAScanStopsIt) {
    auto client = ConnectServed();
    QSignalSpy ended(rig.session.get(), &TInstrumentSession::ScanEnded);
    ASSERT_EQ(client->Ask(LongScan), std::optional<QByteArray>("SCAN OK"));
    client->Close();
    ASSERT_TRUE(WaitUntil([&] { return !Server().IsRemoteMode(); }));
    EXPECT_FALSE(Session().IsScanning());
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended[0][0].value<TOperationOutcome>().Reply, "SCAN ABORT");
    EXPECT_FALSE(Session().IsRemoteControlled());
}

TEST_F(TRemoteServerFixture, ThousandsOfConnectionsLeaveAConsistentState) {
    int ends = 0;
    int begins = 0;
    QObject::connect(rig.session.get(), &TInstrumentSession::RemoteControlChanged,
                     [&](bool on) { ++(on ? begins : ends); });
    for (int i = 0; i < 2000; ++i) {
        TTestClient client;
        ASSERT_TRUE(client.Connect(Server().ServerPort()));
        switch (i % 4) {
        case 0:
            ASSERT_TRUE(WaitUntil([&] { return Server().IsRemoteMode(); }));
            ASSERT_EQ(client.Ask("VER"), std::optional<QByteArray>(Version));
            break;
        case 1:
            client.Send("ST"); // a partial line that the next client must not inherit
            break;
        case 2: {
            ASSERT_TRUE(WaitUntil([&] { return Server().IsRemoteMode(); }));
            TTestClient rejected;
            ASSERT_TRUE(rejected.Connect(Server().ServerPort()));
            ASSERT_TRUE(rejected.WaitDisconnected());
            break;
        }
        default:
            break; // gone before the server may even have seen it
        }
        client.Close();
        // Every cycle's client is served once, even one that left before it was accepted.
        ASSERT_TRUE(WaitUntil([&] { return ends == i + 1 && Server().RemoteClientCount() == 0; }))
            << "cycle " << i;
    }
    EXPECT_EQ(begins, 2000);
    EXPECT_FALSE(Server().IsRemoteMode());
    EXPECT_FALSE(Session().IsRemoteControlled());
    auto last = ConnectServed();
    EXPECT_EQ(last->Ask("STATE"), std::optional<QByteArray>("IDLE"));
}

// ---- The connection going away while a command runs. ----

TEST_F(TRemoteServerFixture, ClientLeavingInsideACommandGetsNoReply) {
    auto client = ConnectServed();
    AtPress(TOperation::SetBand, [&] {
        client->Close();
        EXPECT_TRUE(WaitUntil([&] { return !Server().IsRemoteMode(); }));
    });
    client->Send("SETC 600.0 5.0\r");
    ASSERT_TRUE(WaitUntil([&] { return !Session().IsOperationBusy() && Session().CurrentBand(); }));
    EXPECT_EQ(Server().RemoteReply().ReplyText, QByteArray());
    auto next = ConnectServed();
    EXPECT_EQ(next->Ask(""), std::optional<QByteArray>("")); // the dropped reply stays dropped
    EXPECT_EQ(next->Ask("VER"), std::optional<QByteArray>(Version));
}

TEST_F(TRemoteServerFixture, ScanStartedAfterItsClientLeftIsStopped) {
    auto client = ConnectServed();
    QSignalSpy ended(rig.session.get(), &TInstrumentSession::ScanEnded);
    AtPress(TOperation::Scan, [&] {
        client->Close(); // gone before the session has started the scan
        EXPECT_TRUE(WaitUntil([&] { return !Server().IsRemoteMode(); }));
        EXPECT_FALSE(Session().IsScanning());
    });
    client->Send(QByteArray(LongScan) + '\r');
    ASSERT_TRUE(WaitUntil([&] { return ended.count() == 1; }));
    EXPECT_FALSE(Session().IsScanning());
    EXPECT_EQ(ended[0][0].value<TOperationOutcome>().Reply, "SCAN ABORT");
    auto next = ConnectServed();
    EXPECT_EQ(next->Ask("STATE"), std::optional<QByteArray>("IDLE"));
}

// The client leaves while STOP waits for the check timer: the disconnect's own stop runs inside
// that wait, and the scan ends once. The check timer is held until the server sees the client go.
TEST_F(TRemoteServerFixture, ClientLeavingDuringStopWaitStopsTheScanOnce) {
    auto client = ConnectServed();
    ASSERT_EQ(client->Ask(LongScan), std::optional<QByteArray>("SCAN OK"));
    QTimer &check = Session().ScanRun().CheckTimer();
    QTcpSocket *served = ServedSocket(Server());
    ASSERT_NE(served, nullptr);
    QObject::connect(served, &QTcpSocket::stateChanged, &check, [&] { check.start(); });
    QObject::connect(&Server(), &TRemoteServer::StopRequested, [&] {
        check.stop();
        QTimer::singleShot(0, [&] { client->Close(); });
    });
    QList<int> clientsAtEnd;
    QObject::connect(rig.session.get(), &TInstrumentSession::ScanEnded,
                     [&] { clientsAtEnd << Server().RemoteClientCount(); });
    client->Send("STOP\r");
    ASSERT_TRUE(WaitUntil([&] { return !Server().IsRemoteMode(); }));
    EXPECT_EQ(clientsAtEnd, QList<int>{0}); // ended by the disconnect's stop, inside STOP's
    EXPECT_FALSE(Session().IsScanning());
    auto next = ConnectServed();
    EXPECT_EQ(next->Ask("STATE"), std::optional<QByteArray>("IDLE"));
    EXPECT_EQ(clientsAtEnd.size(), 1);
}

TEST_F(TRemoteServerFixture, NewClientIsServedWhileTheOldCommandStillRuns) {
    auto first = ConnectServed();
    std::unique_ptr<TTestClient> second;
    AtPress(TOperation::SetBand, [&] {
        first->Close();
        EXPECT_TRUE(WaitUntil([&] { return !Server().IsRemoteMode(); }));
        second = ConnectServed();
        EXPECT_EQ(second->Ask("VER"), std::optional<QByteArray>(Version));
    });
    first->Send("SETC 600.0 5.0\r");
    ASSERT_TRUE(WaitUntil([&] { return second != nullptr && !Session().IsOperationBusy(); }));
    EXPECT_EQ(second->Ask("STATE"), std::optional<QByteArray>("IDLE"));
    EXPECT_EQ(second->Ask(""), std::optional<QByteArray>(""));
    EXPECT_TRUE(Server().IsRemoteMode());
    EXPECT_TRUE(Session().IsRemoteControlled());
    EXPECT_EQ(Server().RemoteClientCount(), 1);
}

TEST_F(TRemoteServerFixture, StopInsideACommandSendsNothing) {
    auto client = ConnectServed();
    AtPress(TOperation::SetBand, [&] {
        Server().Action_RemoteServerStop();
        EXPECT_TRUE(client->WaitDisconnected());
    });
    client->Send("SETC 600.0 5.0\r");
    ASSERT_TRUE(WaitUntil([&] { return !Server().IsListening() && !Session().IsOperationBusy(); }));
    EXPECT_TRUE(client->Pending().isEmpty());
    EXPECT_FALSE(Server().IsRemoteMode());
    EXPECT_FALSE(Session().IsRemoteControlled());
    EXPECT_EQ(Server().RemoteClientCount(), 0);
}

// ---- Start and stop. ----

// A stopped server leaves a running scan alone; a port in use leaves the program local.
TEST_F(TRemoteServerFixture, StopClosesTheClientAndStartServesAgain) {
    auto client = ConnectServed();
    ASSERT_EQ(client->Ask(LongScan), std::optional<QByteArray>("SCAN OK"));
    const quint16 port = Server().ServerPort();
    Server().Action_RemoteServerStart(port == 65535 ? 1 : port + 1); // already listening
    EXPECT_EQ(Server().ServerPort(), port);
    Server().Action_RemoteServerStop();
    EXPECT_FALSE(Server().IsListening());
    EXPECT_FALSE(Server().IsRemoteMode());
    EXPECT_FALSE(Session().IsRemoteControlled());
    EXPECT_TRUE(client->WaitDisconnected());

    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::Any, 0));
    Server().Action_RemoteServerStart(other.serverPort());
    EXPECT_FALSE(Server().IsListening());
    EXPECT_FALSE(Server().IsRemoteMode());
    other.close();
    Server().Action_RemoteServerStart(0);
    ASSERT_TRUE(Server().IsListening());
    auto next = ConnectServed();
    EXPECT_EQ(next->Ask("STATE"), std::optional<QByteArray>("SCAN"));
}

} // namespace
