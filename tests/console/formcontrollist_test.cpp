// The LIST tab on the session and the simulator: the table the operator edits by keyboard and the
// rule each row breaks, loading and saving a list file, the remote lock-out and a client's
// change shown at once; the runs started, stepped and stopped from the keyboard.

#include "console/formcontrollist.h"

#include "session/sessionrig.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int EventCeilingMs = 20000;

struct ScriptedFiles : IBandListFileDialog {
    QString Open, Save;
    QString OpenPath() override { return Open; }
    QString SavePath() override { return Save; }
};

class ListPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.Start());
        panel = std::make_unique<TForm_ControlList>(*rig.session, nullptr, &files);
        panel->show();
        panel->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get()));
    }

    TInstrumentSession &session() { return *rig.session; }
    QTableView &table() { return *panel->Table(); }
    QString Cell(int row, int column) {
        return table().model()->index(row, column).data().toString();
    }
    template <typename T> T *Child(const char *name) {
        return panel->findChild<T *>(QString::fromLatin1(name));
    }
    // Typing into the current cell opens its editor with the first key; Enter commits it.
    void Type(const char *text) {
        QTest::keyClick(&table(), text[0]);
        QTest::keyClicks(QApplication::focusWidget(), text + 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate commits through a posted call
    }
    void Press(const char *keyButton, Qt::Key key = Qt::Key_Space) {
        QWidget *button = Child<QWidget>(keyButton);
        button->setFocus();
        QTest::keyClick(button, key);
    }

    SessionRig rig;
    ScriptedFiles files;
    std::unique_ptr<TForm_ControlList> panel;
};

TEST_F(ListPanelTest, TheOperatorEditsTheTableByKeyboardAndSeesEachRowsRule) {
    session().BandList().Assign({{600.0, 5.0, 1.0}, {-1.0, 5.0, 1.0}});
    ASSERT_EQ(table().model()->rowCount(), 2);
    EXPECT_EQ(Cell(0, 3), "");
    EXPECT_EQ(Cell(1, 3), "ERRSE01 : [CWL] value is invalid.");

    table().setFocus();
    table().setCurrentIndex(table().model()->index(1, 0));
    Type("601");
    EXPECT_EQ(session().BandList().Entries().at(1), (TBandListEntry{601.0, 5.0, 1.0}));
    EXPECT_EQ(Cell(1, 3), "");
    table().setCurrentIndex(table().model()->index(1, 2));
    Type("0");
    EXPECT_EQ(Cell(1, 3).left(7), "ERRSC14");

    table().setCurrentIndex(table().model()->index(0, 0));
    QTest::keyClick(&table(), Qt::Key_Insert);
    EXPECT_EQ(session().BandList().Entries(),
              (QList<TBandListEntry>{{600.0, 5.0, 1.0}, {600.0, 5.0, 1.0}, {601.0, 5.0, 0.0}}));
    EXPECT_EQ(table().currentIndex().row(), 1);
    QTest::keyClick(&table(), Qt::Key_Delete);
    EXPECT_EQ(session().BandList().Count(), 2);

    QTemporaryDir dir;
    files.Save = dir.filePath(QStringLiteral("saved.csv"));
    Press("Key_Save");
    QFile saved(files.Save);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "cwl_nm,fwhm_nm,dwell_s\r\n600.0,5.0,1.0\r\n601.0,5.0,0.0\r\n");
    files.Open = dir.filePath(QStringLiteral("missing.csv"));
    Press("Key_Load");
    EXPECT_EQ(session().BandList().Count(), 2) << "a file that cannot be read changes nothing";
    session().BandList().Clear();
    files.Open = files.Save;
    Press("Key_Load");
    EXPECT_EQ(table().model()->rowCount(), 2);

    session().SetRemoteControlled(true);
    for (const char *control : {"Grid_BandList", "Key_Add", "Key_Load", "Key_Button5"})
        EXPECT_FALSE(Child<QWidget>(control)->isEnabled()) << control;
    session().BandList().Append({610.0, 3.0, 0.5}); // a client's LISTADD
    EXPECT_EQ(Cell(2, 0), "610.0");
    session().SetRemoteControlled(false);
    EXPECT_TRUE(Child<QWidget>("Grid_BandList")->isEnabled());
}

TEST_F(ListPanelTest, StepGoesOnWithSpaceAndEnterAndEscapeOrGoStopsARun) {
    QSignalSpy ended(&session(), &TInstrumentSession::ScanEnded);
    session().BandList().Assign({{600.0, 5.0, 0.1}, {601.0, 5.0, 0.1}, {602.0, 5.0, 0.1}});
    Press("Key_Button5");
    ASSERT_TRUE(session().IsBandListStepped());
    EXPECT_TRUE(Child<QWidget>("Image_Button5_On")->isVisible());
    EXPECT_FALSE(Child<QWidget>("Key_Add")->isEnabled());
    EXPECT_FALSE(table().model()->flags(table().model()->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_EQ(session().CurrentBand()->CWL, 600.0);
    ASSERT_EQ(QApplication::focusWidget(), Child<QWidget>("Key_Button6"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(session().CurrentBand()->CWL, 601.0);
    table().setFocus();
    QTest::keyClick(&table(), Qt::Key_Return);
    EXPECT_EQ(session().CurrentBand()->CWL, 602.0);
    QTest::keyClick(&table(), Qt::Key_Escape);
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended.at(0).at(0).value<TOperationOutcome>().Reply, "LIST ABORT");
    EXPECT_FALSE(Child<QWidget>("Image_Button5_On")->isVisible());
    EXPECT_TRUE(Child<QWidget>("Key_Add")->isEnabled());

    auto *cycles = Child<QLineEdit>("Edit_Cycles");
    cycles->setText(QStringLiteral("2"));
    cycles->setFocus();
    QTest::keyClick(cycles, Qt::Key_Return); // Enter in the box is Go
    ASSERT_TRUE(session().IsBandListRunning());
    EXPECT_FALSE(session().IsBandListStepped());
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 2; }, EventCeilingMs));
    EXPECT_EQ(ended.at(1).at(0).value<TOperationOutcome>().Reply, "LIST SUCCESS");
    EXPECT_EQ(rig.RequestLines().filter(QStringLiteral("GO 3")).size(), 3 + 6);
}

} // namespace
