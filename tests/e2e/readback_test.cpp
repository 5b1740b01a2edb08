// One run of the program read back by a lab client: the instrument's state through the start-up
// with requests sent in bursts, the read-back requests beside the commands, and a scan followed
// point by point.

#include "e2echecks.h"

#include <QDir>
#include <QFile>

using namespace e2e;

namespace {

// The replies to `line` asked in bursts until one starts with `last`, as runs of equal replies
// with their lengths. A burst of lines is sent at once and all its replies are taken before the
// next: while the program works through a burst, its events (the search's tick included) run
// inside its remote line handler, so the tick that finds the instrument lands there almost always.
// A start-up begun there must wait until the handler has returned, and the later bursts are then
// answered from inside its waits; begun inside, it would hold them all back to its end.
constexpr int Burst = 2000;
QList<std::pair<QByteArray, int>> PollInBursts(RemoteClient &client, const QByteArray &line,
                                               const QByteArray &last) {
    const QByteArray burst = QList<QByteArray>(Burst, line).join('\r');
    QList<std::pair<QByteArray, int>> runs;
    while (runs.isEmpty() || !runs.last().first.startsWith(last)) {
        client.send(burst);
        for (int i = 0; i < Burst; ++i) {
            const QByteArray reply = client.nextReply().value_or("<no reply>");
            if (!runs.isEmpty() && runs.last().first == reply)
                ++runs.last().second;
            else
                runs.append({reply, 1});
            if (reply == "<no reply>")
                return runs;
        }
    }
    return runs;
}

} // namespace

TEST(ReadBack, StartUpStatesMovesLimitsAndAScanFollowedPointByPoint) {
    ProgramFolder folder;
    Simulator instrument;
    quint16 port = 0;
    ASSERT_TRUE(PrepareFolder(folder, instrument, 1, &port));
    Program program;
    ASSERT_TRUE(program.start(folder));
    RemoteClient client;
    ASSERT_TRUE(client.connectTo(port));

    {
        SCOPED_TRACE("DEVICE in bursts from the start: answered all through the start-up");
        const QList<std::pair<QByteArray, int>> runs = PollInBursts(client, "DEVICE", "READY");
        std::string states;
        for (const auto &run : runs)
            states += Printable(run.first) + ' ';
        ASSERT_EQ(states, "SEARCHING\\r STARTING\\r READY F612 AX0000000017 563.5-645.0\\r ");
        // The start-up settles for 5 s in rounds of 100 ms; a burst is answered in one round.
        EXPECT_GE(runs[1].second, 10 * Burst);
    }
    ASSERT_TRUE(WaitUntilReady(folder, client));

    {
        SCOPED_TRACE("read-backs beside the commands; the last outcome stays");
        const QList<std::pair<QByteArray, QByteArray>> exchanges{
            {"GETC", "600.0 5.0\r"},
            {"GETR", "597.5 602.5\r"},
            {"SETC 500.0 5.0", "SETC FAIL\r"},
            {"GETC", "600.0 5.0\r"},
            {"LIMITS", "563.5 645.0 0.5 2.0 3.0 5.0 10.0 15.0 20.0 30.0 40.0\r"},
            {"LIMITS 5", "566.5 642.0\r"},
            {"LIMITS 5.04", "566.5 642.0\r"},
            {"LIMITS 7", "NONE\r"},
            {"LIMITS x", "NONE\r"},
            {"GETP 1", "UNKNOWN COMMAND\r"},
            {"ECLEAR", "OK\r"},
            {"SETC 500.0 5.0", "SETC FAIL\r"},
            {"GETP", "2695 3675 1117\r"}, // the cell of 600.0/5.0: the failed move sent nothing
            {"PROGRESS", "IDLE\r"},
            {"DEVICE", "READY F612 AX0000000017 563.5-645.0\r"},
            {QByteArray("GETC\0 1", 6), "600.0 5.0\r"}, // a NUL ends every request
            {"ECODE", "ERRSE03\r"},
            {"RESET", "RESET OK\r"},
            {"GETC", "NONE\r"},
            {"GETR", "NONE\r"},
            {"GETP", "0 0 0\r"}};
        for (const auto &[request, reply] : exchanges)
            EXPECT_EQ(Printable(client.ask(request)), Printable(reply)) << request.constData();
    }

    {
        SCOPED_TRACE("a scan followed with PROGRESS");
        ASSERT_EQ(Printable(client.ask("SCAN 580.0 590.0 5.0 5.0 0.5")), "SCAN OK\\r");
        const QList<QByteArray> walk{"0 3 580.0 5.0\r", "1 3 580.0 5.0\r", "2 3 585.0 5.0\r",
                                     "3 3 590.0 5.0\r", "IDLE\r"};
        int at = 0;
        for (;;) {
            const std::optional<QByteArray> reply = client.ask("PROGRESS");
            ASSERT_TRUE(reply);
            const int index = int(walk.indexOf(*reply));
            ASSERT_GE(index, at) << "out of the walk's order: " << Printable(reply);
            at = index;
            if (*reply == "IDLE\r")
                break;
        }
        // PROGRESS took the reply line of the outcome, but not the outcome.
        EXPECT_EQ(Printable(client.ask("ETEXT")), "Scan successful.\\r");
        EXPECT_EQ(Printable(client.ask("GETC")), "590.0 5.0\\r");

        const QStringList records =
            QDir(folder.filePath(QStringLiteral("Scans"))).entryList(QDir::Files);
        ASSERT_EQ(records.size(), 1);
        QFile record(folder.filePath(QStringLiteral("Scans/")) + records[0]);
        ASSERT_TRUE(record.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = record.readAll().split('\n');
        ASSERT_EQ(rows.size(), 5); // the header, three points and nothing after the last CR LF
        EXPECT_TRUE(rows[1].startsWith("1,580.0,5.0,"));
        EXPECT_TRUE(rows[3].startsWith("3,590.0,5.0,"));
        EXPECT_TRUE(rows[3].endsWith(",success\r")) << rows[3].constData();
    }
    ExpectCleanEnd(program);
}
