// The session on the simulator, without a window: the lock, the product line, the information
// reads, the operations and the current band. The search and the start-up with their real timings
// are covered through the main window (console/formmain_connection_test.cpp).

#include "session/sessionrig.h"

#include "caldata/caldata.h"
#include "device/devicerederedirada.h"
#include "session/statuscolour.h"
#include "sim/controlcommand.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

const QString InfoFailure = QStringLiteral("ERRDV06 : Device might be problem.");

void Control(ksim::VirtualInstrument &sim, const QString &line) {
    EXPECT_TRUE(ksim::ExecuteControlCommand(sim, line).reply.startsWith(QLatin1String("OK")))
        << line.toStdString();
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.Start()); }

    TInstrumentSession &session() { return *rig.session; }
    ksim::VirtualInstrument &sim() { return *rig.sim; }
    // The message texts the session reported while `action` ran.
    template <typename F> QStringList MessagesDuring(F action) {
        QSignalSpy spy(rig.session.get(), &TInstrumentSession::StatusMessage);
        action();
        QStringList texts;
        for (const QList<QVariant> &message : spy)
            texts.append(message.at(0).toString());
        return texts;
    }

    SessionRig rig;
};

TEST_F(SessionTest, TheLockNeedsAReadyInstrumentAndClosingTheLinkGivesItBack) {
    EXPECT_FALSE(session().EndOperation());
    EXPECT_TRUE(session().BeginOperation());
    EXPECT_FALSE(session().BeginOperation());
    EXPECT_TRUE(session().EndOperation());
    EXPECT_FALSE(session().EndOperation());

    ASSERT_TRUE(session().BeginOperation());
    QSignalSpy closed(rig.session.get(), &TInstrumentSession::LinkClosed);
    session().Action_DeviceClose();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(session().IsOperationBusy());
    EXPECT_FALSE(session().IsDeviceReady());
    EXPECT_FALSE(session().CalData().Loaded);
    EXPECT_FALSE(session().EndOperation());
    EXPECT_FALSE(session().BeginOperation());
    EXPECT_FALSE(session().HomeAll());
    EXPECT_FALSE(session().SetBken(false));
    EXPECT_FALSE(session().ReadPositions()); // no port is open
    EXPECT_TRUE(rig.RequestLines().isEmpty());
}

TEST_F(SessionTest, OperationsNeedAReadyInstrumentExceptThePositionRead) {
    // The state of an attempt before the identification: the link open, no instrument ready.
    session().Action_DeviceClose();
    ASSERT_TRUE(session().Device().OpenPort(QStringLiteral("COM1")));
    EXPECT_FALSE(session().HomeAll());
    EXPECT_FALSE(session().SetBken(true));
    EXPECT_FALSE(session().GoToSetPoint(600.0, 5.0));
    EXPECT_TRUE(rig.RequestLines().isEmpty());
    EXPECT_TRUE(session().ReadPositions());
    EXPECT_EQ(rig.RequestLines(), QStringList{"POS 3"});
}

TEST_F(SessionTest, PortListIsSortedAsTextWithoutDuplicatesAndRebuiltByAClose) {
    EXPECT_EQ(session().PortList(), QStringList{"COM1"});
    for (const char *name : {"COM3", "COM10", "com3", "COM7", "COM1"})
        session().AddToPortList(QString::fromLatin1(name));
    EXPECT_EQ(session().PortList(), (QStringList{"COM1", "COM10", "COM3", "COM7"}));
    // Closing rebuilds the list from the ports that exist: the simulator's COM1 only.
    session().Action_DeviceClose();
    EXPECT_EQ(session().PortList(), QStringList{"COM1"});
    EXPECT_EQ(session().PortIndex(), 0);
}

struct ProductCase {
    const char *Name;
    const char *Model;     // INFO 0 as the instrument answers, "none" for no answer
    const char *RangeText; // INFO 2
    const char *Label;
};

class ProductLabelTest : public SessionTest, public ::testing::WithParamInterface<ProductCase> {};

// The product line is made of what the instrument says of itself; the search finds it anew.
TEST_P(ProductLabelTest, ComesFromTheModelAndTheRange) {
    const ProductCase &c = GetParam();
    session().Action_DeviceClose();
    EXPECT_EQ(session().GetProductLabel(), "No Device");
    Control(sim(), QStringLiteral("info 0 ") + QString::fromLatin1(c.Model));
    Control(sim(), QStringLiteral("info 2 ") + QString::fromLatin1(c.RangeText));
    session().Action_DeviceOpen();
    ASSERT_TRUE(session().IsDeviceReady());
    EXPECT_EQ(session().GetProductLabel(), QString::fromLatin1(c.Label));
}

const char Unknown[] = "KESTRUNE (Unknown Model)";
INSTANTIATE_TEST_SUITE_P(
    Cases, ProductLabelTest,
    ::testing::Values(ProductCase{"Known", "F612", "400.0-800.0",
                                  "KESTRUNE-612 ( 400.0 nm - 800.0 nm )"},
                      ProductCase{"BothEndsInclusive", "F000", "100.0-950.0",
                                  "KESTRUNE-000 ( 100.0 nm - 950.0 nm )"},
                      ProductCase{"OtherLetter", "G612", "400.0-800.0", Unknown},
                      ProductCase{"SmallLetter", "f612", "400.0-800.0", Unknown},
                      ProductCase{"BelowTheScale", "F612", " 50.0-800.0", Unknown},
                      ProductCase{"AboveTheScale", "F612", "400.0-951.0", Unknown},
                      ProductCase{"Reversed", "F612", "800.0-400.0", Unknown},
                      ProductCase{"Empty", "F612", "600.0-600.0", Unknown},
                      ProductCase{"ShortModel", "F61", "400.0-800.0", Unknown},
                      ProductCase{"LongModel", "F6123", "400.0-800.0", Unknown},
                      ProductCase{"SignInModel", "F-12", "400.0-800.0", Unknown},
                      ProductCase{"LetterInModel", "F6X2", "400.0-800.0", Unknown},
                      ProductCase{"NoModel", "none", "400.0-800.0", Unknown},
                      ProductCase{"UnreadableRange", "F612", "400-800", Unknown}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST_F(SessionTest, RangeTextOfElevenCharactersGivesTheRange) {
    const struct {
        const char *text;
        double rangeMin, rangeMax;
        bool valid;
    } cases[] = {
        {"400.0-800.0", 400.0, 800.0, true}, {"400.0/800.0", 400.0, 800.0, true},
        {"40.25-80.75", 40.2, 80.8, true},   {"400-800", -1.0, -1.0, false},
        {"abcde-800.0", -1.0, 800.0, false}, {"-10.0-800.0", -10.0, 800.0, false},
    };
    for (const auto &c : cases) {
        Control(sim(), QStringLiteral("info 2 ") + QString::fromLatin1(c.text));
        const QStringList messages = MessagesDuring([&] { session().Action_DeviceUpdateInfo(); });
        EXPECT_EQ(session().RangeText(), c.text);
        EXPECT_EQ(session().RangeMin(), c.rangeMin) << c.text;
        EXPECT_EQ(session().RangeMax(), c.rangeMax) << c.text;
        EXPECT_EQ(session().IsInfoValid(), c.valid) << c.text;
        EXPECT_EQ(messages, c.valid ? QStringList{} : QStringList{InfoFailure}) << c.text;
    }
}

TEST_F(SessionTest, MissingInformationGivesERRDV06) {
    // A missing model code: the later items are not asked, the positions are.
    Control(sim(), QStringLiteral("info 0 none"));
    EXPECT_EQ(MessagesDuring([&] { session().Action_DeviceUpdateInfo(); }),
              QStringList{InfoFailure});
    EXPECT_FALSE(session().IsInfoValid());
    EXPECT_TRUE(session().CalData().Model.isEmpty());
    EXPECT_EQ(rig.RequestLines(), (QStringList{"INFO 0", "POS 3"}));

    // A serial number of the wrong length is read; the import is what refuses it.
    Control(sim(), QStringLiteral("reset"));
    Control(sim(), QStringLiteral("info 1 AX17"));
    session().Action_DeviceUpdateInfo();
    EXPECT_TRUE(session().IsInfoValid());
    EXPECT_EQ(session().CalData().Serial, "AX17");
    EXPECT_EQ(MessagesDuring([&] { session().Action_DeviceReadCalDataFromFile(); }),
              QStringList{InfoFailure});

    // The link goes after the three items: the position read fails.
    Control(sim(), QStringLiteral("reset"));
    Control(sim(), QStringLiteral("unplug-after 3"));
    EXPECT_EQ(MessagesDuring([&] { session().Action_DeviceUpdateInfo(); }),
              QStringList{InfoFailure});
    EXPECT_EQ(session().RangeMax(), 800.0);
    EXPECT_FALSE(session().IsInfoValid());
}

// The current band is the cell of the last move the instrument confirmed, and unknown whenever
// the position is: after homing, after a failed move, once the link is closed.
TEST_F(SessionTest, TheCurrentBandFollowsConfirmedMovesOnly) {
    EXPECT_FALSE(session().CurrentBand()); // homed by the start-up
    QSignalSpy refreshed(rig.session.get(), &TInstrumentSession::UpdateUIRequested);
    ASSERT_TRUE(session().GoToSetPoint(600.0, 5.0));
    EXPECT_EQ(refreshed.count(), 1);
    EXPECT_EQ(rig.RequestLines(), QStringList{rig.GoLineFor("600.0", "5.0")});
    ASSERT_TRUE(session().CurrentBand());
    EXPECT_EQ(session().CurrentBand()->CWL, 600.0);
    EXPECT_EQ(session().CurrentBand()->FWHM, 5.0);
    EXPECT_EQ(session().CurrentBand()->SW, 597.5);
    EXPECT_EQ(session().CurrentBand()->LW, 602.5);

    // No such cell: nothing moves, and the band stays.
    EXPECT_FALSE(session().GoToSetPoint(600.05, 5.0));
    EXPECT_EQ(session().CurrentBand()->CWL, 600.0);

    ASSERT_TRUE(session().GoToSetPoint(600.5, 5.0));
    ASSERT_TRUE(session().HomeAll());
    EXPECT_FALSE(session().CurrentBand());

    ASSERT_TRUE(session().GoToSetPoint(600.0, 5.0));
    session().Device().SetTimeOut(200);
    Control(sim(), QStringLiteral("noreply 1"));
    EXPECT_FALSE(session().GoToSetPoint(601.0, 5.0)); // unanswered: where it stands is unknown
    EXPECT_FALSE(session().CurrentBand());
    EXPECT_EQ(refreshed.count(), 4); // each confirmed move and the homing

    session().Action_DeviceClose();
    EXPECT_FALSE(session().GoToSetPoint(600.0, 5.0));
    EXPECT_FALSE(session().CurrentBand());
}

// The scan's progress: its start gives the first point, each confirmed move counts and carries
// its band into the progress and the current band, a failed one counts nothing, and the end
// clears it. Every change is signalled.
TEST_F(SessionTest, ScanProgressCountsConfirmedMovesBetweenStartAndEnd) {
    QSignalSpy changed(rig.session.get(), &TInstrumentSession::ScanProgressChanged);
    ASSERT_TRUE(session().GoToSetPoint(601.0, 5.0)); // a SET move, outside any scan
    EXPECT_FALSE(session().ScanProgress());
    EXPECT_EQ(changed.count(), 0);
    session().BeginScan(3, 600.0, 5.0, 1500);
    ASSERT_TRUE(session().ScanProgress());
    EXPECT_EQ(session().ScanProgress()->Moved, 0);
    EXPECT_EQ(session().ScanProgress()->Total, 3);
    EXPECT_EQ(session().ScanProgress()->Band.CWL, 600.0);
    EXPECT_EQ(session().ScanProgress()->Band.SW, 597.5);
    EXPECT_EQ(session().ScanProgress()->DwellMs, 1500);

    ASSERT_TRUE(session().GoToSetPoint(600.0, 5.0));
    ASSERT_TRUE(session().GoToSetPoint(600.5, 5.0));
    EXPECT_EQ(session().ScanProgress()->Moved, 2);
    EXPECT_EQ(session().ScanProgress()->Band.CWL, 600.5);
    EXPECT_EQ(session().ScanProgress()->Band.LW, 603.0);
    EXPECT_EQ(session().CurrentBand()->CWL, 600.5);
    session().Device().SetTimeOut(200);
    Control(sim(), QStringLiteral("noreply 1"));
    EXPECT_FALSE(session().GoToSetPoint(601.0, 5.0));
    EXPECT_EQ(session().ScanProgress()->Moved, 2);
    EXPECT_EQ(changed.count(), 3);

    session().EndScan(TScanOutcome::Failed);
    EXPECT_FALSE(session().ScanProgress());
    EXPECT_EQ(changed.count(), 4);
}

// A cell that cannot be reached ("x" in the file) holds values the link refuses to send.
TEST_F(SessionTest, AnUnreachableCellPutsNothingOnTheLine) {
    const TCalData &table = session().CalData();
    double cw = 0.0;
    double fwhm = 0.0;
    for (int r = 0; r < table.UsedRows() && cw == 0.0; ++r)
        for (int c = 0; c < table.UsedCols() && cw == 0.0; ++c)
            if (!table.Cells[r][c].Valid) {
                cw = table.CWValues[r];
                fwhm = table.FWHMValues[c];
            }
    ASSERT_NE(cw, 0.0) << "the simulator's table has unreachable cells";
    EXPECT_FALSE(session().GoToSetPoint(cw, fwhm));
    EXPECT_TRUE(rig.RequestLines().isEmpty());
    EXPECT_FALSE(session().CurrentBand());
}

} // namespace
