// One run of the program with the instrument on its stored port, driven by remote clients: the
// protocol's example exchange, the command set, a scan to its end, a second client, the
// communication log and the lab-automation example. One start-up serves them all.

#include "e2echecks.h"

#include <QProcess>
#include <QRegularExpression>

#include <cstdio>

using namespace e2e;

namespace {

struct Exchange {
    QByteArray request;
    QByteArray reply; // with its CR
};

void ExpectExchanges(RemoteClient &client, const QList<Exchange> &exchanges) {
    for (const Exchange &e : exchanges) {
        const std::optional<QByteArray> reply = client.ask(e.request);
        EXPECT_EQ(Printable(reply), Printable(e.reply)) << "request: " << e.request.constData();
    }
}

// Request records made after the first `from`.
QList<ksim::RequestRecord> Since(const QList<ksim::RequestRecord> &records, int from) {
    return records.mid(from);
}

// Log texts from the start-up's identification to its homing, in order, as the connection
// workflow sends them.
void ExpectStartUpInLog(const ProgramFolder &folder) {
    const QStringList wanted{QStringLiteral("Set TimeOut <500>"),
                             QStringLiteral("Open <COM1,38400> Success"),
                             QStringLiteral("Send Command <?>"),
                             QStringLiteral("Command <DEVICE> Success : Quilm FM Ver1.0"),
                             QStringLiteral("Set TimeOut <1000>"),
                             QStringLiteral("Command <INFO> Success : Read INFO1=F612"),
                             QStringLiteral("Command <INFO> Success : Read INFO2=AX0000000017"),
                             QStringLiteral("Command <INFO> Success : Read INFO3=563.5-645.0"),
                             QStringLiteral("Send Command <POS 3>"),
                             QStringLiteral("Send Command <BKEN 0>"),
                             QStringLiteral("Command <BKEN> Success : OFF"),
                             QStringLiteral("Send Command <HOME 3>"),
                             HomeSuccess};
    int next = 0;
    for (const QString &line : folder.logLines()) {
        if (next < wanted.size() && LogText(line) == wanted[next])
            ++next;
    }
    EXPECT_EQ(next, wanted.size())
        << "missing from the log, in this order: " << wanted.value(next).toStdString();
}

// The entries of the last successful position read, from its buffer clear to its result, must
// be exactly these: the reply arrives in one piece, without bytes to skip.
void ExpectPositionReadInLog(const ProgramFolder &folder, const QByteArray &positions) {
    const QStringList lines = folder.logLines();
    for (const QString &line : lines)
        ASSERT_FALSE(LogText(line).isEmpty())
            << "line without its time stamp: " << line.toStdString();
    QByteArray slashed = positions;
    slashed.replace(' ', '/');
    const QString result =
        QStringLiteral("Command <POS> Success : ") + QString::fromLatin1(slashed);
    int end = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (LogText(lines[i]) == result)
            end = i;
    }
    ASSERT_GE(end, 6) << "no position read of " << positions.constData();
    const QByteArray reply = "POS 3 " + positions + '\r';
    const QString data = QStringLiteral(" #") + HexData(reply) + QLatin1Char('#');
    QStringList texts;
    for (int i = end - 6; i <= end; ++i)
        texts << LogText(lines[i]);
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Clear Buffer Success"),
                                  QStringLiteral("Send Command <POS 3>"),
                                  QStringLiteral("Wait Response Start"),
                                  QStringLiteral("OnRxChar (%1)").arg(reply.size()) + data,
                                  QStringLiteral("RxBuffer (%1)").arg(reply.size()) + data,
                                  QStringLiteral("Wait Response End"), result}));
}

bool PythonHasPyVisa(QString *why) {
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"), QStringLiteral("import pyvisa, pyvisa_py")});
    if (!probe.waitForFinished(60000) || probe.exitStatus() != QProcess::NormalExit ||
        probe.exitCode() != 0) {
        *why = QStringLiteral("/usr/bin/python3 lacks PyVISA or its pure-Python backend: ") +
               QString::fromLocal8Bit(probe.readAllStandardError());
        return false;
    }
    return true;
}

} // namespace

TEST(RemoteSession, ExampleExchangeCommandSetScanSecondClientLogAndLabClient) {
    ProgramFolder folder;
    Simulator instrument;
    quint16 port = 0;
    ASSERT_TRUE(PrepareFolder(folder, instrument, 1, &port));
    Program program;
    ASSERT_TRUE(program.start(folder));
    RemoteClient client;
    ASSERT_TRUE(client.connectTo(port));
    EXPECT_EQ(Printable(client.ask("VER")), "Kestrune v1.0\\r");
    ASSERT_TRUE(WaitUntilReady(folder, client));
    ExpectStartUpInLog(folder);

    {
        SCOPED_TRACE("the protocol's example exchange, byte for byte");
        ExpectExchanges(client, {{"VER", "Kestrune v1.0\r"},
                                 {"STATE", "IDLE\r"},
                                 {"SCAN 500.0 610.0 5.0 10.0 1.0", "SCAN FAIL\r"},
                                 {"ECODE", "ERRSC06\r"},
                                 {"ETEXT", "Out of range. Please set [START] \xA1\xC3 563.5\r"},
                                 {"ECLEAR", "OK\r"},
                                 {"ECODE", "\r"},
                                 {"SCAN 580.0 610.0 5.0 10.0 1.0", "SCAN OK\r"},
                                 {"STATE", "SCAN\r"},
                                 {"STOP", "STOP OK\r"},
                                 {"STATE", "IDLE\r"},
                                 {"scan 580 610 5 10 1", "UNKNOWN COMMAND\r"}});
    }

    {
        SCOPED_TRACE("moves, refusals and the last outcome");
        const int gosBefore = instrument.records(ksim::RequestKind::Go).size();
        ExpectExchanges(client, {{"SETC 500.0 5.0", "SETC FAIL\r"},
                                 {"ECODE", "ERRSE03\r"},
                                 {"ETEXT", "Out of range. Please set [CWL] \xA1\xC3 563.5\r"},
                                 {"SETC 700.0 5.0", "SETC FAIL\r"},
                                 {"ETEXT", "Out of range. Please set [CWL] \xA1\xC2 645.0\r"},
                                 {"SETC 600.3 5.0", "SETC FAIL\r"},
                                 {"ECODE", "ERRSE07\r"},
                                 {"SETR 640.0 590.0", "SETR FAIL\r"},
                                 {"ECODE", "ERRSE15\r"},
                                 {"ETEXT", "Out of range. Please set ([LW]-[SW]) \xA1\xC3 2.0\r"},
                                 {"SETC 600.0 5.0", "SETC OK\r"},
                                 {"ECODE", "\r"},
                                 {"ETEXT", "\r"},
                                 {"SETR 590.0 620.0", "SETR OK\r"},
                                 {"  SETC,\"590.0\", 10", "SETC OK\r"},
                                 {"SETC 600.0 5.0,", "UNKNOWN COMMAND\r"},
                                 {"VER 1", "UNKNOWN COMMAND\r"},
                                 {"ECODE", "NONE\r"},
                                 {"ETEXT", "Unknown Command.\r"},
                                 {"STOP", "STOP FAIL\r"},
                                 {"ETEXT", "No Scan.\r"},
                                 {"SCAN 580.0 610.0 5.0 0.7 1.0", "SCAN FAIL\r"},
                                 {"ECODE", "ERRSC13\r"},
                                 {"SCAN 610.0 580.0 5.0 10.0 700", "SCAN FAIL\r"},
                                 {"ETEXT", "Out of range. Please set [TimeDelay] \xA1\xC2 600.0\r"},
                                 {"RESET", "RESET OK\r"},
                                 {"ECODE", "\r"}});
        // Only the accepted moves reached the instrument, each to its table cell.
        QStringList cells;
        for (const ksim::RequestRecord &r :
             Since(instrument.records(ksim::RequestKind::Go), gosBefore))
            cells << r.check;
        EXPECT_EQ(cells,
                  (QStringList{QStringLiteral("cell=600.0/5.0"), QStringLiteral("cell=605.0/30.0"),
                               QStringLiteral("cell=590.0/10.0")}));
        const QList<ksim::RequestRecord> all = instrument.records();
        ASSERT_FALSE(all.isEmpty());
        EXPECT_EQ(all.last().kind, ksim::RequestKind::Home);
    }

    {
        SCOPED_TRACE("a scan to its end, polled with empty lines");
        const int gosBefore = instrument.records(ksim::RequestKind::Go).size();
        ExpectExchanges(client, {{"SCAN 580.0 600.0 5.0 10.0 0.5", "SCAN OK\r"},
                                 {"STATE", "SCAN\r"},
                                 {"SCAN 580.0 600.0 5.0 10.0 0.5", "SCAN FAIL\r"},
                                 {"ETEXT", "Now Scanning.\r"},
                                 {"SETC 600.0 5.0", "SETC FAIL\r"},
                                 {"RESET", "RESET FAIL\r"},
                                 {"ECODE", "NONE\r"}});
        const std::optional<QByteArray> outcome = client.askUntil(
            "", [](const QByteArray &r) { return r != "\r"; }, 30000);
        EXPECT_EQ(Printable(outcome), "SCAN SUCCESS\\r");
        ExpectExchanges(client, {{"ECODE", "NONE\r"},
                                 {"ETEXT", "Scan successful.\r"},
                                 {"", "\r"},
                                 {"STATE", "IDLE\r"},
                                 {"ECODE", "\r"}});

        const QList<ksim::RequestRecord> gos =
            Since(instrument.records(ksim::RequestKind::Go), gosBefore);
        QStringList cells;
        for (const ksim::RequestRecord &r : gos)
            cells << r.check;
        EXPECT_EQ(cells,
                  (QStringList{QStringLiteral("cell=580.0/5.0"), QStringLiteral("cell=590.0/5.0"),
                               QStringLiteral("cell=600.0/5.0")}));
        // Each point is held at least the dwell; how much longer is a figure for bench/. The
        // simulator sees each GO when it arrives, so a GO that lingered on a loaded machine's
        // line makes the next spacing look a little shorter than the program's own.
        constexpr qint64 LineJitterMs = 20;
        for (int i = 1; i < gos.size(); ++i) {
            const qint64 spacing = gos[i].monotonicMs - gos[i - 1].monotonicMs;
            EXPECT_GE(spacing, 500 - LineJitterMs) << "point " << i;
            std::printf("[ dwell    ] point %d after %lld ms (dwell 500 ms)\n", i,
                        static_cast<long long>(spacing));
        }
    }

    {
        SCOPED_TRACE("a second client is closed at once; the first goes on");
        RemoteClient second;
        ASSERT_TRUE(second.connectTo(port));
        EXPECT_TRUE(second.waitClosedByServer());
        EXPECT_TRUE(second.received().isEmpty());
        EXPECT_TRUE(client.isConnected());
        ExpectExchanges(client, {{"VER", "Kestrune v1.0\r"}, {"STATE", "IDLE\r"}});
    }

    {
        SCOPED_TRACE("a client that leaves in a scan stops it");
        const int gosBefore = instrument.records(ksim::RequestKind::Go).size();
        EXPECT_EQ(Printable(client.ask("SCAN 580.0 640.0 5.0 10.0 1.0")), "SCAN OK\\r");
        ASSERT_TRUE(instrument.waitForRequest(ksim::RequestKind::Go, gosBefore));
        client.close();
        // Until the stop is through, a new connection is turned away as a second client.
        ASSERT_TRUE(WaitUntil(
            [&] {
                return client.connectTo(port) && client.ask("VER") == QByteArray("Kestrune v1.0\r");
            },
            15000));
        EXPECT_EQ(Printable(client.ask("STATE")), "IDLE\\r");
        // No further point after a whole dwell.
        const int gosAtStop = instrument.records(ksim::RequestKind::Go).size();
        WaitUntil([] { return false; }, 1500);
        EXPECT_EQ(instrument.records(ksim::RequestKind::Go).size(), gosAtStop);
    }

    {
        SCOPED_TRACE("the communication log of a position read");
        // A reset's link test reads back the positions of the move before it.
        ExpectExchanges(client, {{"SETC 600.0 5.0", "SETC OK\r"}});
        const QByteArray status600 = instrument.control("status");
        const QRegularExpressionMatch at600 =
            QRegularExpression(QStringLiteral(" positions=(\\d+),(\\d+),(\\d+) "))
                .match(QString::fromLatin1(status600));
        ASSERT_TRUE(at600.hasMatch()) << status600.constData();
        ExpectExchanges(client, {{"RESET", "RESET OK\r"}});
        ExpectPositionReadInLog(folder,
                                QStringLiteral("%1 %2 %3")
                                    .arg(at600.captured(1), at600.captured(2), at600.captured(3))
                                    .toLatin1());
        const QStringList files = folder.logFiles();
        ASSERT_EQ(files.size(), 1);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("/Log/Log \\d{8}-\\d{6}\\.ini$"))
                        .match(files.first())
                        .hasMatch())
            << files.first().toStdString();
    }

    QString noPyVisa;
    if (PythonHasPyVisa(&noPyVisa)) {
        SCOPED_TRACE("the lab-automation example against the program");
        client.close();
        QProcess script;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PYTHONIOENCODING"), QStringLiteral("utf-8"));
        script.setProcessEnvironment(environment);
        script.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral(KESTRUNE_EXAMPLE_CLIENT), QStringLiteral("--port"),
                      QString::number(port), QStringLiteral("--band"), QStringLiteral("590.0"),
                      QStringLiteral("10.0"), QStringLiteral("--scan"), QStringLiteral("600.0"),
                      QStringLiteral("590.0"), QStringLiteral("3.0"), QStringLiteral("5.0"),
                      QStringLiteral("0.3"), QStringLiteral("--scan-timeout"),
                      QStringLiteral("60")});
        ASSERT_TRUE(script.waitForFinished(90000));
        const QString output = QString::fromUtf8(script.readAllStandardOutput());
        EXPECT_EQ(script.exitCode(), 0)
            << output.toStdString() << script.readAllStandardError().constData();
        EXPECT_TRUE(output.contains(QStringLiteral("< Kestrune v1.0\n"))) << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("< SETC OK\n"))) << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("scan ended: NONE : Scan successful.")))
            << output.toStdString();
        // The client's disconnect ended remote mode; the next client is served.
        ASSERT_TRUE(client.connectTo(port));
        ExpectExchanges(client, {{"VER", "Kestrune v1.0\r"}});
    }

    // Every move of the session, the example client's included, went to a cell of the table.
    for (const ksim::RequestRecord &r : instrument.records(ksim::RequestKind::Go))
        EXPECT_TRUE(r.check.startsWith(QLatin1String("cell="))) << r.text.constData();

    client.close();
    ExpectCleanEnd(program);
    EXPECT_TRUE(SettingsLines(folder).contains("PortName=COM1"));
    if (!noPyVisa.isEmpty())
        GTEST_SKIP() << "everything but the lab-automation example ran; " << noPyVisa.toStdString();
}
