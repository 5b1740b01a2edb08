#include "remotetestsupport.h"

#include <QCoreApplication>
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
    EXPECT_FALSE(Host.Calls.contains("SET Go"));
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
    Host.SetPanel.OnGo = [&] {
        client->Send("VER\r");
        // The second line waits in the served socket while this command still runs.
        EXPECT_TRUE(WaitUntil([&] { return ServedSocket(Server)->bytesAvailable() > 0; }));
        Host.SetRemoteReply("SETC OK", "", "");
    };
    client->Send("SETC 600.0 5.0\r");
    EXPECT_EQ(client->ReadReply(), std::optional<QByteArray>("SETC OK"));
    EXPECT_EQ(client->ReadReply(), std::optional<QByteArray>(Version));
}

// A scan outcome that the check timer reports just after a reply went out waits for the next
// empty line.
TEST_F(TRemoteServerFixture, OutcomeReportedRightAfterAReplyIsKept) {
    auto client = ConnectServed();
    Host.ScanPanel.OnScan = [&] {
        Host.ScanPanel.Scanning = true;
        Host.SetRemoteReply("SCAN OK", "", "");
        QTimer::singleShot(0, [&] { Host.ScanPanel.ReportSuccess(); });
    };
    EXPECT_EQ(client->Ask("SCAN 580 610 5 10 1"), std::optional<QByteArray>("SCAN OK"));
    EXPECT_EQ(client->Ask(""), std::optional<QByteArray>("SCAN SUCCESS"));
    EXPECT_EQ(client->Ask(""), std::optional<QByteArray>(""));
}

// ---- One client at a time. ----

TEST_F(TRemoteServerFixture, SecondClientIsClosedAndTheIdleFirstKeepsRemoteMode) {
    auto first = ConnectServed();
    TTestClient second;
    ASSERT_TRUE(second.Connect(Server.ServerPort()));
    second.Send("VER\r");
    EXPECT_TRUE(second.WaitDisconnected());
    EXPECT_TRUE(second.Pending().isEmpty());
    EXPECT_TRUE(WaitUntil([&] { return Server.RemoteClientCount() == 1; }));
    EXPECT_TRUE(Server.IsRemoteMode());
    EXPECT_EQ(Host.Calls, QStringList({"SET Enable", "SCAN Enable"}));
    EXPECT_EQ(first->Ask("VER"), std::optional<QByteArray>(Version));
}

TEST_F(TRemoteServerFixture, ServedClientLeavingEndsRemoteMode) {
    auto client = ConnectServed();
    EXPECT_TRUE(Host.SetPanel.RemoteEnabled && Host.ScanPanel.RemoteEnabled);
    client->Close();
    ASSERT_TRUE(WaitUntil([&] { return !Server.IsRemoteMode(); }));
    EXPECT_EQ(Server.RemoteClientCount(), 0);
    EXPECT_EQ(Host.Calls,
              QStringList({"SET Enable", "SCAN Enable", "SET Disable", "SCAN Disable"}));
    EXPECT_EQ(Host.ScanPanel.StopCount, 0);
}

TEST_F(TRemoteServerFixture, NextClientStartsWithAnEmptyBuffer) {
    auto first = ConnectServed();
    first->Send("XX");
    first->Close();
    ASSERT_TRUE(WaitUntil([&] { return !Server.IsRemoteMode(); }));
    auto second = ConnectServed();
    EXPECT_EQ(second->Ask("VER"), std::optional<QByteArray>(Version));
}

TEST_F(TRemoteServerFixture, ServedClientLeavingDuringAScanStopsIt) {
    auto client = ConnectServed();
    ASSERT_EQ(client->Ask("SCAN 580 610 5 10 1"), std::optional<QByteArray>("SCAN OK"));
    Host.Calls.clear();
    client->Close();
    ASSERT_TRUE(WaitUntil([&] { return !Server.IsRemoteMode(); }));
    EXPECT_FALSE(Host.ScanPanel.Scanning);
    EXPECT_EQ(Host.Calls, QStringList({"SCAN Stop", "SET Disable", "SCAN Disable"}));
}

TEST_F(TRemoteServerFixture, ThousandsOfConnectionsLeaveAConsistentState) {
    for (int i = 0; i < 2000; ++i) {
        TTestClient client;
        ASSERT_TRUE(client.Connect(Server.ServerPort()));
        switch (i % 4) {
        case 0:
            ASSERT_TRUE(WaitUntil([&] { return Server.IsRemoteMode(); }));
            ASSERT_EQ(client.Ask("VER"), std::optional<QByteArray>(Version));
            break;
        case 1:
            client.Send("ST"); // a partial line that the next client must not inherit
            break;
        case 2: {
            ASSERT_TRUE(WaitUntil([&] { return Server.IsRemoteMode(); }));
            TTestClient rejected;
            ASSERT_TRUE(rejected.Connect(Server.ServerPort()));
            ASSERT_TRUE(rejected.WaitDisconnected());
            break;
        }
        default:
            break; // gone before the server may even have seen it
        }
        client.Close();
        // Every cycle's client is served once, even one that left before it was accepted.
        ASSERT_TRUE(WaitUntil([&] {
            return Host.ScanPanel.DisableCount == i + 1 && Server.RemoteClientCount() == 0;
        })) << "cycle "
            << i;
    }
    EXPECT_FALSE(Server.IsRemoteMode());
    EXPECT_EQ(Host.SetPanel.EnableCount, 2000);
    EXPECT_EQ(Host.SetPanel.DisableCount, 2000);
    EXPECT_EQ(Host.ScanPanel.EnableCount, 2000);
    EXPECT_FALSE(Host.SetPanel.RemoteEnabled);
    auto last = ConnectServed();
    EXPECT_EQ(last->Ask("STATE"), std::optional<QByteArray>("IDLE"));
}

// ---- The connection going away while a command runs. ----

TEST_F(TRemoteServerFixture, ClientLeavingInsideACommandGetsNoReply) {
    auto client = ConnectServed();
    Host.SetPanel.OnGo = [&] {
        client->Close();
        EXPECT_TRUE(WaitUntil([&] { return !Server.IsRemoteMode(); }));
        Host.SetRemoteReply("SETC OK", "", "");
    };
    client->Send("SETC 600.0 5.0\r");
    ASSERT_TRUE(WaitUntil([&] { return Host.Calls.contains("SCAN Disable"); }));
    EXPECT_EQ(Server.RemoteReply().ReplyText, QByteArray());
    auto next = ConnectServed();
    EXPECT_EQ(next->Ask(""), std::optional<QByteArray>("")); // the dropped reply stays dropped
    EXPECT_EQ(next->Ask("VER"), std::optional<QByteArray>(Version));
}

TEST_F(TRemoteServerFixture, ScanStartedAfterItsClientLeftIsStopped) {
    auto client = ConnectServed();
    Host.ScanPanel.OnScan = [&] {
        client->Close(); // gone before the panel has started the scan
        EXPECT_TRUE(WaitUntil([&] { return !Server.IsRemoteMode(); }));
        Host.ScanPanel.Scanning = true;
        Host.SetRemoteReply("SCAN OK", "", "");
    };
    Host.ScanPanel.OnStop = [&] { Host.ScanPanel.ReportAbort(); };
    client->Send("SCAN 580 610 5 10 1\r");
    ASSERT_TRUE(WaitUntil([&] { return Host.ScanPanel.StopCount == 1; }));
    EXPECT_FALSE(Host.ScanPanel.Scanning);
    auto next = ConnectServed();
    EXPECT_EQ(next->Ask("STATE"), std::optional<QByteArray>("IDLE"));
}

TEST_F(TRemoteServerFixture, ClientLeavingDuringStopWaitStopsTheScanOnce) {
    auto client = ConnectServed();
    ASSERT_EQ(client->Ask("SCAN 580 610 5 10 1"), std::optional<QByteArray>("SCAN OK"));
    Host.ScanPanel.OnStop = [&] {
        if (Host.ScanPanel.StopCount == 2) { // the disconnect's stop, inside the command's
            Host.ScanPanel.ReportAbort();
            return;
        }
        client->Close();
        EXPECT_TRUE(WaitUntil([&] { return !Server.IsRemoteMode(); }));
        Host.SetRemoteReply("STOP OK", "", "");
    };
    client->Send("STOP\r");
    ASSERT_TRUE(WaitUntil([&] { return Host.Calls.contains("SCAN Disable"); }));
    EXPECT_EQ(Host.ScanPanel.StopCount, 2);
    EXPECT_FALSE(Host.ScanPanel.Scanning);
    EXPECT_EQ(Server.RemoteClientCount(), 0);
    auto next = ConnectServed();
    EXPECT_EQ(next->Ask("STATE"), std::optional<QByteArray>("IDLE"));
}

TEST_F(TRemoteServerFixture, NewClientIsServedWhileTheOldCommandStillRuns) {
    auto first = ConnectServed();
    std::unique_ptr<TTestClient> second;
    Host.SetPanel.OnGo = [&] {
        first->Close();
        EXPECT_TRUE(WaitUntil([&] { return !Server.IsRemoteMode(); }));
        second = ConnectServed();
        EXPECT_EQ(second->Ask("VER"), std::optional<QByteArray>(Version));
        Host.SetRemoteReply("SETC OK", "", "");
    };
    first->Send("SETC 600.0 5.0\r");
    ASSERT_TRUE(WaitUntil([&] { return second != nullptr; }));
    EXPECT_EQ(second->Ask("STATE"), std::optional<QByteArray>("IDLE"));
    EXPECT_EQ(second->Ask(""), std::optional<QByteArray>(""));
    EXPECT_TRUE(Server.IsRemoteMode());
    EXPECT_EQ(Server.RemoteClientCount(), 1);
}

TEST_F(TRemoteServerFixture, StopInsideACommandSendsNothing) {
    auto client = ConnectServed();
    Host.SetPanel.OnGo = [&] {
        Server.Action_RemoteServerStop();
        EXPECT_TRUE(client->WaitDisconnected());
        Host.SetRemoteReply("SETC OK", "", "");
    };
    client->Send("SETC 600.0 5.0\r");
    ASSERT_TRUE(WaitUntil([&] { return !Server.IsListening(); }));
    EXPECT_TRUE(client->Pending().isEmpty());
    EXPECT_FALSE(Server.IsRemoteMode());
    EXPECT_EQ(Server.RemoteClientCount(), 0);
}

// ---- Start and stop. ----

TEST_F(TRemoteServerFixture, StopClosesTheClientAndStartServesAgain) {
    auto client = ConnectServed();
    ASSERT_EQ(client->Ask("SCAN 580 610 5 10 1"), std::optional<QByteArray>("SCAN OK"));
    const quint16 port = Server.ServerPort();
    Server.Action_RemoteServerStart(port == 65535 ? 1 : port + 1); // already listening: no effect
    EXPECT_EQ(Server.ServerPort(), port);
    Host.Calls.clear();
    Server.Action_RemoteServerStop();
    EXPECT_FALSE(Server.IsListening());
    EXPECT_FALSE(Server.IsRemoteMode());
    EXPECT_TRUE(client->WaitDisconnected());
    QCoreApplication::processEvents();
    EXPECT_EQ(Host.Calls, QStringList({"SET Disable", "SCAN Disable"}));
    Server.Action_RemoteServerStart(0);
    ASSERT_TRUE(Server.IsListening());
    auto next = ConnectServed();
    EXPECT_EQ(next->Ask("STATE"), std::optional<QByteArray>("SCAN"));
}

TEST(RemoteServerStart, PortInUseLeavesTheProgramLocal) {
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::Any, 0));
    TFakeRemoteHost host;
    TRemoteServer server(host);
    host.Server = &server;
    server.Action_RemoteServerStart(other.serverPort());
    EXPECT_FALSE(server.IsListening());
    EXPECT_FALSE(server.IsRemoteMode());
    EXPECT_EQ(host.Calls, QStringList({"SET Disable", "SCAN Disable"}));
    const quint16 port = other.serverPort();
    other.close();
    server.Action_RemoteServerStart(port);
    EXPECT_TRUE(server.IsListening());
}

} // namespace
