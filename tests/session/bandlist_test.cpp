// The band list: its file (written whole after a change, read at start, kept aside when it cannot
// be read), and runs through it in the session on the simulator: one move at a time in a stepped
// run, the end by the last point, a stop or the link's loss, and the record.

#include "session/sessionrig.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

constexpr int EventCeilingMs = 20000;
const QByteArray Header = "cwl_nm,fwhm_nm,dwell_s\r\n";

QByteArray ReadAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

TEST(BandListFileTest, ChangesAreWrittenWholeAndReadBackAtStart) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("BandList.csv"));
    {
        TBandList list(path);
        ASSERT_TRUE(list.Load()); // no file yet: an empty list
        EXPECT_EQ(list.Count(), 0);
        ASSERT_TRUE(list.Append({600.0, 5.0, 1.0}));
        ASSERT_TRUE(list.Append({610.0, 3.0, 0.5}));
        ASSERT_TRUE(list.Insert(0, {580.5, 2.0, 600.0}));
        ASSERT_TRUE(list.Replace(2, {611.0, 3.0, 0.1}));
        ASSERT_TRUE(list.Remove(1));
        EXPECT_FALSE(list.Remove(2));
        EXPECT_FALSE(list.Insert(3, {600.0, 5.0, 1.0}));
        const QByteArray expected = Header + "580.5,2.0,600.0\r\n611.0,3.0,0.1\r\n";
        EXPECT_TRUE(QTest::qWaitFor([&] { return ReadAll(path) == expected; }, EventCeilingMs));
        list.Clear();
        ASSERT_TRUE(list.Append({601.0, 5.0, 2.0})); // still due when the list goes
    }
    TBandList again(path);
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.Entries(), (QList<TBandListEntry>{{601.0, 5.0, 2.0}}));
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".bad")));
}

TEST(BandListFileTest, AFileThatCannotBeReadGivesAnEmptyListAndIsKeptAside) {
    QByteArray tooMany = Header;
    for (int i = 0; i <= TBandList::MaxEntries; ++i)
        tooMany += "600.0,5.0,1.0\r\n";
    const QList<QByteArray> damaged{
        "cwl,fwhm,dwell\r\n600.0,5.0,1.0\r\n",
        Header + "600.0,5.0\r\n",
        Header + "600.0,five,1.0\r\n",
        Header + "600.0,5.0,1.0,\r\n",
        Header + "600.0,5.0,inf\r\n",
        Header + QByteArray(100000, '6') + ",5.0,1.0\r\n",
        tooMany,
    };
    for (const QByteArray &bytes : damaged) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("BandList.csv"));
        ASSERT_TRUE(WriteAll(path, bytes));
        TBandList list(path);
        EXPECT_FALSE(list.Load()) << bytes.left(60).constData();
        EXPECT_EQ(list.Count(), 0);
        EXPECT_FALSE(QFile::exists(path));
        EXPECT_EQ(ReadAll(path + QStringLiteral(".bad")), bytes);
    }
}

class BandListRunTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.Start()); }

    TInstrumentSession &session() { return *rig.session; }
    // Replies in the order the session gave them.
    TOutcomeHandler Collect() {
        return [this](const TOperationOutcome &outcome) {
            replies.append(outcome.Reply + ' ' + outcome.ErrorCode + ' ' + outcome.ErrorText);
        };
    }
    QList<QStringList> RecordRows() const {
        const QString folder = rig.folder.filePath(QStringLiteral("Scans/"));
        const QStringList files = QDir(folder).entryList({QStringLiteral("List *.csv")});
        EXPECT_EQ(files.size(), 1);
        QList<QStringList> rows;
        for (const QByteArray &line : ReadAll(folder + files.value(0)).split('\n'))
            if (!line.isEmpty())
                rows.append(QString::fromLatin1(line.chopped(1)).split(QLatin1Char(',')));
        return rows;
    }

    SessionRig rig;
    QByteArrayList replies;
};

// The refusals before a run are the end-to-end test's; here, the ends that leave nothing held.
TEST_F(BandListRunTest, AStopBeforeTheFirstMoveOrALostLinkEndsARunAndFreesTheLock) {
    QSignalSpy ended(&session(), &TInstrumentSession::ScanEnded);
    session().BandList().Assign({{600.0, 5.0, 600.0}});
    session().RunBandList(TRequester::Remote, QStringLiteral("3"), false, Collect());
    session().StopScan(TRequester::Remote, Collect()); // before the first move
    EXPECT_EQ(replies, (QByteArrayList{"RUNLIST OK  ", "STOP OK  "}));
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended.at(0).at(0).value<TOperationOutcome>().ErrorText, "Band list aborted.");
    EXPECT_EQ(RecordRows().value(1).join(','), "0,,,,,,,,,,,aborted");

    session().RunBandList(TRequester::Remote, QStringLiteral("1"), true, Collect());
    ASSERT_TRUE(session().IsBandListStepped());
    session().Action_DeviceClose();
    ASSERT_EQ(ended.count(), 2);
    EXPECT_EQ(ended.at(1).at(0).value<TOperationOutcome>().Reply, "LIST FAIL");
    EXPECT_FALSE(session().IsScanning());
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_FALSE(session().ScanProgress());
}

// The console's Next can be clicked while the previous move waits for the instrument.
TEST_F(BandListRunTest, AStepMovesOnlyWhenAskedAndOneMoveAtATime) {
    QSignalSpy ended(&session(), &TInstrumentSession::ScanEnded);
    session().BandList().Assign({{600.0, 5.0, 0.1}, {601.0, 5.0, 0.1}});
    session().RunBandList(TRequester::Operator, QStringLiteral("1"), true, Collect());
    ASSERT_EQ(replies, QByteArrayList{"STEPLIST OK  "});
    EXPECT_TRUE(session().IsBandListStepped());
    EXPECT_EQ(session().CurrentBand()->CWL, 600.0);

    QTimer::singleShot(0, &session(),
                       [this] { session().NextBandListPoint(TRequester::Operator, Collect()); });
    session().NextBandListPoint(TRequester::Operator, Collect());
    EXPECT_EQ(replies.mid(1),
              (QByteArrayList{"NEXT FAIL NONE Band list is moving.", "NEXT OK 2  "}));
    EXPECT_EQ(session().CurrentBand()->CWL, 601.0);
    EXPECT_EQ(rig.RequestLines().filter(QStringLiteral("GO 3")).size(), 2);

    session().SetRemoteControlled(true);
    session().NextBandListPoint(TRequester::Operator, Collect());
    EXPECT_EQ(replies.size(), 3) << "the operator waits while a client drives";
    session().SetRemoteControlled(false);
    session().NextBandListPoint(TRequester::Operator, Collect());
    EXPECT_EQ(replies.last(), "NEXT END  ");
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended.at(0).at(0).value<TOperationOutcome>().Reply, "LIST SUCCESS");
    EXPECT_FALSE(session().IsScanning());
    EXPECT_FALSE(session().IsOperationBusy());
    session().NextBandListPoint(TRequester::Operator, Collect());
    EXPECT_EQ(replies.last(), "NEXT FAIL NONE No stepped run.");

    const QList<QStringList> rows = RecordRows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].join(','),
              "point,cycle,entry,cwl_nm,fwhm_nm,pos1,pos2,pos3,sent,confirmed,dwell_ms,outcome");
    EXPECT_EQ(rows[1].mid(0, 5).join(','), "1,1,1,600.0,5.0");
    EXPECT_EQ(rows[2].mid(0, 5).join(','), "2,1,2,601.0,5.0");
    EXPECT_EQ(rows[2].last(), "success");
}

} // namespace
