// The record of a scan as the session writes it from the SCAN panel's start and end and its own
// moves: the rows, the outcome on the last one, a scan that never moved, the dwells, the rows on
// disk while the scan runs, and a folder or a disk that cannot be written, which costs the record
// and never the scan.

#include "session/sessionrig.h"

#include "device/devicerederedirada.h"
#include "session/statuscolour.h"
#include "sim/controlcommand.h"
#include "support/scriptedpeer.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

const QString RecordFailure = QStringLiteral("Scan record cannot be written.");

class ScanRecordTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.Start()); }

    TInstrumentSession &session() { return *rig.session; }
    QStringList RecordFiles() const {
        return QDir(rig.folder.filePath(QStringLiteral("Scans"))).entryList(QDir::Files);
    }
    // The rows of the only record, each split at its commas.
    QList<QStringList> Rows() const {
        const QStringList files = RecordFiles();
        EXPECT_EQ(files.size(), 1);
        QFile file(rig.folder.filePath(QStringLiteral("Scans/")) + files.value(0));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        QList<QStringList> rows;
        for (const QByteArray &line : file.readAll().split('\n'))
            if (!line.isEmpty())
                rows.append(QString::fromLatin1(line.chopped(1)).split(QLatin1Char(',')));
        return rows;
    }

    SessionRig rig;
};

TEST_F(ScanRecordTest, EveryPointIsARowAndTheLastCarriesTheOutcome) {
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
    session().BeginScan(3, 600.0, 5.0, 100);
    ASSERT_TRUE(session().GoToSetPoint(600.0, 5.0));
    ASSERT_TRUE(session().GoToSetPoint(600.5, 5.0));
    session().Device().SetTimeOut(200);
    ASSERT_TRUE(ksim::ExecuteControlCommand(*rig.sim, QStringLiteral("noreply 1"))
                    .reply.startsWith(QLatin1String("OK")));
    EXPECT_FALSE(session().GoToSetPoint(601.0, 5.0));
    session().EndScan(TScanOutcome::Failed);

    const QStringList files = RecordFiles();
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files[0].startsWith(QStringLiteral("Scan ") + before.toString("yyyyMMdd-")));
    const QList<QStringList> rows = Rows();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0].join(','),
              "point,cwl_nm,fwhm_nm,pos1,pos2,pos3,sent,confirmed,dwell_ms,outcome");
    const QStringList go = rig.GoLineFor("600.5", "5.0").split(' ');
    EXPECT_EQ(rows[2].mid(0, 6), (QStringList{"2", "600.5", "5.0"} + go.mid(2)));
    for (int r = 1; r <= 2; ++r) {
        ASSERT_EQ(rows[r].size(), 10);
        const QDateTime sent = QDateTime::fromString(rows[r][6], Qt::ISODateWithMs);
        const QDateTime confirmed = QDateTime::fromString(rows[r][7], Qt::ISODateWithMs);
        EXPECT_TRUE(sent.isValid() && sent >= before && confirmed >= sent)
            << rows[r][6].toStdString();
        EXPECT_GE(rows[r][8].toInt(), 0);
        EXPECT_EQ(rows[r][9], "");
    }
    EXPECT_EQ(rows[3].mid(0, 3), (QStringList{"3", "601.0", "5.0"}));
    EXPECT_EQ(rows[3].mid(7), (QStringList{"", "", "failure ERRDV05"}));

    // A scan that ends before its first move: one row with point 0. Its own file, however close
    // to the first it starts.
    session().BeginScan(3, 600.0, 5.0, 100);
    session().EndScan(TScanOutcome::Aborted);
    const QStringList both = RecordFiles();
    ASSERT_EQ(both.size(), 2);
    QFile second(rig.folder.filePath(QStringLiteral("Scans/")) + both[1]);
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    EXPECT_TRUE(second.readAll().endsWith("\r\n0,,,,,,,,,aborted\r\n"));
}

// A point's dwell runs from its confirmation to the move that leaves it: the first point is held
// here, the second is left at once, however long the scan has run by then.
TEST_F(ScanRecordTest, ADwellRunsFromThePointsConfirmation) {
    QElapsedTimer clock;
    clock.start();
    session().BeginScan(2, 600.0, 5.0, 100);
    ASSERT_TRUE(session().GoToSetPoint(600.0, 5.0));
    const qint64 firstConfirmed = clock.elapsed(); // the first point confirmed by now
    ASSERT_TRUE(WaitUntil([&] { return clock.elapsed() >= firstConfirmed + 400; }));
    const qint64 secondSent = clock.elapsed(); // the second not sent yet
    ASSERT_TRUE(session().GoToSetPoint(600.5, 5.0));
    session().EndScan(TScanOutcome::Succeeded);
    const qint64 ended = clock.elapsed();

    const QList<QStringList> rows = Rows();
    ASSERT_EQ(rows.size(), 3);
    // One millisecond either way: the record reads its own clock.
    EXPECT_GE(rows[1][8].toLongLong(), secondSent - firstConfirmed - 1);
    EXPECT_LE(rows[2][8].toLongLong(), ended - secondSent + 1);
}

// Each row reaches the disk as its point is left, so a crash costs only the point under way. A
// write that fails in the middle (the disk is full) ends the record there, said once, and the
// scan goes on.
TEST_F(ScanRecordTest, RowsReachTheDiskAsPointsAreLeftAndAFailedWriteEndsTheRecordOnly) {
    QSignalSpy messages(rig.session.get(), &TInstrumentSession::StatusMessage);
    session().BeginScan(4, 600.0, 5.0, 100);
    ASSERT_TRUE(session().GoToSetPoint(600.0, 5.0));
    ASSERT_TRUE(session().GoToSetPoint(600.5, 5.0));
    QList<QStringList> rows = Rows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[1].value(1), "600.0");

    // No file may grow from here: the row of the point left next cannot be written.
    const QString path = rig.folder.filePath(QStringLiteral("Scans/")) + RecordFiles().value(0);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit full{rlim_t(QFileInfo(path).size()), limit.rlim_max};
    {
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN); // a failed write, not a killed test
        const auto restore = qScopeGuard([&] {
            setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, oldHandler);
        });
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
        EXPECT_TRUE(session().GoToSetPoint(601.0, 5.0));
    }
    EXPECT_TRUE(session().GoToSetPoint(601.5, 5.0));
    session().EndScan(TScanOutcome::Succeeded);
    ASSERT_EQ(messages.count(), 1);
    EXPECT_EQ(messages[0][0].toString(), RecordFailure);
    rows = Rows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[1].value(1), "600.0");
}

// Scans/ is a file here, so no record can be made: the scan moves on, the message bar says so
// once in silver, and [Scan] Record=0 makes no record at all.
TEST_F(ScanRecordTest, AFolderThatCannotBeWrittenCostsTheRecordOnly) {
    QFile blocker(rig.folder.filePath(QStringLiteral("Scans")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSignalSpy messages(rig.session.get(), &TInstrumentSession::StatusMessage);
    session().BeginScan(2, 600.0, 5.0, 100);
    EXPECT_TRUE(session().GoToSetPoint(600.0, 5.0));
    EXPECT_TRUE(session().GoToSetPoint(600.5, 5.0));
    session().EndScan(TScanOutcome::Succeeded);
    ASSERT_EQ(messages.count(), 1);
    EXPECT_EQ(messages[0][0].toString(), RecordFailure);
    EXPECT_EQ(messages[0][1].value<QColor>(), StatusColour::Silver);

    ASSERT_TRUE(blocker.remove());
    rig.setup->ScanRecord = false;
    session().BeginScan(1, 600.0, 5.0, 100);
    EXPECT_TRUE(session().GoToSetPoint(600.0, 5.0));
    session().EndScan(TScanOutcome::Succeeded);
    EXPECT_FALSE(QFile::exists(rig.folder.filePath(QStringLiteral("Scans"))));
}

} // namespace
