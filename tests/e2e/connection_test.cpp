// The instrument's port over two runs: found by the search, lost in the middle of a scan and
// found again, written back at the close, and tried first at the next start.

#include "e2echecks.h"

#include <QDir>
#include <QFile>

#include <cstdio>

using namespace e2e;

namespace {

// The texts of the "Open" entries of a log, in order.
QStringList Opens(const QStringList &lines) {
    QStringList opens;
    for (const QString &line : lines) {
        const QString text = LogText(line);
        if (text.startsWith(QLatin1String("Open ")))
            opens << text;
    }
    return opens;
}

} // namespace

TEST(Connection, SearchUnplugInAScanReplugCloseRestartOnTheStoredPortAndCloseInAScan) {
    ProgramFolder folder;
    Simulator instrument;
    quint16 port = 0;
    // The stored port is empty; the instrument sits on COM3.
    ASSERT_TRUE(PrepareFolder(folder, instrument, 3, &port));

    {
        SCOPED_TRACE("the search goes from the stored port to the instrument's");
        Program program;
        ASSERT_TRUE(program.start(folder));
        RemoteClient client;
        ASSERT_TRUE(client.connectTo(port));
        ASSERT_TRUE(WaitUntilReady(folder, client));
        const QStringList opens = Opens(folder.logLines());
        ASSERT_GE(opens.size(), 2);
        EXPECT_EQ(opens.first(), QStringLiteral("Open Fail"));
        EXPECT_EQ(opens.last(), QStringLiteral("Open <COM3,38400> Success"));

        SCOPED_TRACE("unplugged during a scan: the scan fails");
        const int gosBefore = instrument.records(ksim::RequestKind::Go).size();
        EXPECT_EQ(Printable(client.ask("SCAN 580.0 640.0 5.0 10.0 1.0")), "SCAN OK\\r");
        ASSERT_TRUE(instrument.waitForRequest(ksim::RequestKind::Go, gosBefore));
        EXPECT_TRUE(instrument.control("unplug").startsWith("OK"));
        const std::optional<QByteArray> outcome = client.askUntil(
            "", [](const QByteArray &r) { return r != "\r"; }, 30000);
        EXPECT_EQ(Printable(outcome), "SCAN FAIL\\r");
        EXPECT_EQ(Printable(client.ask("ECODE")), "ERRDV05\\r");
        EXPECT_EQ(Printable(client.ask("ETEXT")), "Scan failure.\\r");
        EXPECT_EQ(Printable(client.ask("STATE")), "IDLE\\r");
        EXPECT_EQ(instrument.records(ksim::RequestKind::Go).size(), gosBefore + 1);

        SCOPED_TRACE("plugged in again: the next link test closes the link, the search finds it");
        const int homes = CountLogLines(folder, HomeSuccess);
        EXPECT_TRUE(instrument.control("plug").startsWith("OK"));
        QElapsedTimer replug;
        replug.start();
        // The link test fails on the dead line: no outcome, an empty reply.
        EXPECT_EQ(Printable(client.ask("SETC 600.0 5.0")), "\\r");
        ASSERT_TRUE(WaitUntilReady(folder, client, homes));
        std::printf("[ timing   ] ready again %lld ms after the re-plug\n",
                    static_cast<long long>(replug.elapsed()));
        EXPECT_EQ(Opens(folder.logLines()).last(), QStringLiteral("Open <COM3,38400> Success"));

        client.close();
        ExpectCleanEnd(program);
        EXPECT_TRUE(SettingsLines(folder).contains("PortName=COM3"))
            << folder.settingsText().constData();
        EXPECT_TRUE(SettingsLines(folder).contains("PortNum=" + QByteArray::number(port)));
        EXPECT_TRUE(SettingsLines(folder).contains("DebugMode=1"));
    }

    {
        SCOPED_TRACE("restart: the stored port is tried at the first tick");
        const int homes = CountLogLines(folder, HomeSuccess);
        const int ids = instrument.records(ksim::RequestKind::Identify).size();
        Program program;
        ASSERT_TRUE(program.start(folder));
        ASSERT_TRUE(instrument.waitForRequest(ksim::RequestKind::Identify, ids));
        const qint64 identifiedMs = program.msSinceStart();
        RemoteClient client;
        ASSERT_TRUE(client.connectTo(port));
        ASSERT_TRUE(WaitUntilReady(folder, client, homes));
        const qint64 readyMs = program.msSinceStart();
        std::printf("[ timing   ] restart: identified after %lld ms, ready after %lld ms\n",
                    static_cast<long long>(identifiedMs), static_cast<long long>(readyMs));
        EXPECT_GE(readyMs, 5000); // the settling wait
        const QStringList files = folder.logFiles();
        ASSERT_EQ(files.size(), 2);
        EXPECT_EQ(Opens(LogLinesOf(files.last())),
                  QStringList{QStringLiteral("Open <COM3,38400> Success")});

        SCOPED_TRACE("closed by the system in a scan, with the client still connected");
        const int gosBefore = instrument.records(ksim::RequestKind::Go).size();
        EXPECT_EQ(Printable(client.ask("SCAN 580.0 640.0 5.0 10.0 1.0")), "SCAN OK\\r");
        ASSERT_TRUE(instrument.waitForRequest(ksim::RequestKind::Go, gosBefore));
        ExpectCleanEnd(program);
        EXPECT_TRUE(client.waitClosedByServer());
        EXPECT_TRUE(SettingsLines(folder).contains("PortName=COM3"));
        // The system's close ended the scan as an abort, not as an instrument failure.
        const QDir scans(folder.filePath(QStringLiteral("Scans")));
        const QStringList records =
            scans.entryList({QStringLiteral("Scan *.csv")}, QDir::Files, QDir::Name);
        ASSERT_FALSE(records.isEmpty());
        QFile record(scans.filePath(records.last()));
        ASSERT_TRUE(record.open(QIODevice::ReadOnly));
        EXPECT_TRUE(record.readAll().trimmed().endsWith(",aborted"));
    }
}
