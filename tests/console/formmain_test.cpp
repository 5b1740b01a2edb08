#include "console/formmain.h"

#include "console/formcaldata.h"
#include "console/formcontrolset.h"
#include "console/formcontrolview.h"
#include "console/scanprogressview.h"
#include "console/screenfit.h"
#include "kestrunesystem.h"
#include "remote/remoteserver.h"
#include "resources/artwork.h"
#include "resources/consolewidgets.h"
#include "session/instrumentsession.h"
#include "session/statuscolour.h"
#include "setup/setuprederedirada.h"
#include "sim/virtualinstrument.h"
#include "support/tempprogramfolder.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

// Processes events until cond holds or timeoutMs (monotonic) have passed.
bool WaitUntil(const std::function<bool()> &cond, int timeoutMs = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!cond()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // An empty Ports/ folder: the port search sees no serial port of this machine.
        ASSERT_TRUE(QDir().mkpath(folder.filePath(QStringLiteral("Ports"))));
    }

    void WriteSettings(const QByteArray &content) {
        QFile file(folder.filePath(QStringLiteral("RedeRedirada.ini")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QByteArray SettingsOnDisk() const {
        QFile file(folder.filePath(QStringLiteral("RedeRedirada.ini")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void Open() {
        app = std::make_unique<TKestruneSystem>();
        form = &app->Window();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    }

    template <typename T = QWidget> T *Find(const char *name, QWidget *in = nullptr) const {
        QWidget *root = in ? in : form;
        auto *w = root->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QWidget *Panel(const char *name) const { return Find(name); }
    QWidget *MainDock() const {
        return form->findChild<QWidget *>(QStringLiteral("Panel_Main"), Qt::FindDirectChildrenOnly);
    }

    void Click(const char *name) { QTest::mouseClick(Find(name), Qt::LeftButton); }

    // Drags the opacity knob by dx pixels and returns the window's opacity out of 255.
    int DragKnob(int dx) {
        QWidget *knob = Find("Image_Slide_Button");
        const QPoint grab(14, 14);
        const int before = knob->x();
        QTest::mousePress(knob, Qt::LeftButton, {}, grab);
        QTest::mouseMove(knob, grab + QPoint(dx, 0));
        // The knob has moved under the mouse: release where the mouse now is.
        QTest::mouseRelease(knob, Qt::LeftButton, {}, grab + QPoint(dx - (knob->x() - before), 0));
        return qRound(form->windowOpacity() * 255);
    }

    void ExpectMode(int tab, int mainHeight, bool viewVisible) {
        for (int i = 1; i <= 3; ++i) {
            const QByteArray on = "Image_Tab" + QByteArray::number(i) + "_On";
            const QByteArray off = "Image_Tab" + QByteArray::number(i) + "_Off";
            EXPECT_EQ(Find(on.constData())->isVisible(), i == tab + 1) << on.constData();
            EXPECT_EQ(Find(off.constData())->isVisible(), i != tab + 1) << off.constData();
        }
        EXPECT_EQ(Panel("Form_ControlSet")->isVisible(), tab == 0);
        EXPECT_EQ(Panel("Form_ControlScan")->isVisible(), tab == 1);
        EXPECT_EQ(Panel("Form_ControlHelp")->isVisible(), tab == 2);
        EXPECT_EQ(Panel("Form_ControlView")->isVisible(), viewVisible);
        EXPECT_EQ(Panel("Panel_View")->isVisible(), viewVisible);
        EXPECT_EQ(MainDock()->height(), mainHeight);
    }

    // The simulator (model F612, 400.0-800.0 nm) as COM1 with the program's copy of its table,
    // found by a connection attempt of the window's session without the settling wait.
    void MakeReady() {
        ksim::InstrumentProfile profile;
        profile.timing = ksim::Timing::fast();
        sim = std::make_unique<ksim::VirtualInstrument>(profile);
        ASSERT_TRUE(sim->setLink(folder.filePath(QStringLiteral("Ports/COM1"))));
        ASSERT_TRUE(sim->plug());
        QString error;
        ASSERT_FALSE(
            sim->calTable()
                ->write(folder.filePath(QStringLiteral("Cal")), sim->calTable()->keptName(), &error)
                .isEmpty());
        form->Session().SetSettleRounds(0);
        form->Session().Action_DeviceOpen();
        ASSERT_TRUE(form->Session().IsDeviceReady() && !form->Session().IsOperationBusy());
    }

    TempProgramFolder folder;
    std::unique_ptr<ksim::VirtualInstrument> sim;
    // The program as main() builds it; form is its window.
    std::unique_ptr<TKestruneSystem> app;
    TForm_Main *form = nullptr;
};

TEST_F(MainWindowTest, OpensAsTheBorderlessConsoleCentredInsideTheScreen) {
    Open();
    EXPECT_EQ(form->windowTitle(), "Kestrune v1.0");
    EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(form->size(), QSize(910, 624));
    // Centred where it fits (the offscreen screen is 800 pixels wide), never left or above it.
    const QRect available = form->screen()->availableGeometry();
    EXPECT_EQ(form->geometry().center().y(), available.center().y());
    EXPECT_EQ(form->x(), std::max(available.left(), available.center().x() - 910 / 2 + 1));
    EXPECT_EQ(Panel("Panel_Title")->geometry(), QRect(0, 0, 910, 60));
    EXPECT_EQ(Panel("Panel_TabControl")->geometry(), QRect(0, 64, 910, 48));
    EXPECT_EQ(MainDock()->geometry(), QRect(0, 112, 910, 242));
    EXPECT_EQ(Panel("Panel_View")->geometry(), QRect(0, 368, 910, 170));
    EXPECT_EQ(Panel("Panel_Message")->geometry(), QRect(0, 554, 910, 70));
    EXPECT_EQ(Find("Image_Slide_Button")->geometry(), QRect(638, 9, 29, 29));
    EXPECT_EQ(qRound(form->windowOpacity() * 255), 255);
    auto *message = Find<QLabel>("Label_Message");
    EXPECT_EQ(message->geometry(), QRect(64, 20, 704, 28));
    EXPECT_EQ(message->text(), "Please wait...");
    EXPECT_EQ(message->palette().color(QPalette::WindowText), QColor(0xa4, 0xa4, 0xa4));
    EXPECT_EQ(message->font().pixelSize(), 21);
    EXPECT_EQ(form->SelectedMode(), 0);
    ExpectMode(0, 242, true);
    // Every panel docks at its dock's top left with its own size.
    EXPECT_EQ(Panel("Form_ControlSet")->geometry(), QRect(0, 0, 910, 242));
    EXPECT_EQ(Panel("Form_ControlHelp")->geometry(), QRect(0, 0, 910, 426));
    EXPECT_EQ(Panel("Form_ControlView")->geometry(), QRect(0, 0, 910, 170));
}

TEST_F(MainWindowTest, EveryPictureIsDrawnAtTheSizeOfItsPlace) {
    Open();
    const auto pictures = form->findChildren<QLabel *>();
    int checked = 0;
    for (const QLabel *picture : pictures) {
        if (!picture->objectName().startsWith(QLatin1String("Image_")) ||
            picture->hasScaledContents())
            continue;
        ASSERT_FALSE(picture->pixmap().isNull()) << qPrintable(picture->objectName());
        EXPECT_EQ(picture->pixmap().size(), picture->size()) << qPrintable(picture->objectName());
        ++checked;
    }
    EXPECT_EQ(checked, 59);
}

TEST(ArtworkTest, EveryPictureHasASharpCopyAtTwiceItsSize) {
    int checked = 0;
    for (QDirIterator it(QStringLiteral(":/art")); it.hasNext();) {
        const QString name = QFileInfo(it.next()).completeBaseName();
        if (name.endsWith(QLatin1String("@2x")))
            continue;
        const QPixmap plain = ArtworkPixmap(name, 1.0);
        const QPixmap sharp = ArtworkPixmap(name, 2.0);
        EXPECT_EQ(plain.devicePixelRatio(), 1.0) << qPrintable(name);
        EXPECT_EQ(sharp.devicePixelRatio(), 2.0) << qPrintable(name);
        EXPECT_EQ(sharp.size(), plain.size() * 2) << qPrintable(name);
        EXPECT_EQ(sharp.deviceIndependentSize().toSize(), plain.size()) << qPrintable(name);
        ++checked;
    }
    EXPECT_EQ(checked, 61);
}

TEST(ScanTimeLeftTest, CountsTheDwellsAndTheMovesSeenSoFar) {
    TScanProgress progress;
    progress.Total = 4;
    progress.DwellMs = 1000;
    EXPECT_EQ(ScanTimeLeftMs(progress, 0, 0), 4000); // no move seen yet: the dwells alone
    // Two moves of 500 ms and one dwell lay behind; 300 ms of the second dwell have passed.
    progress.Moved = 2;
    EXPECT_EQ(ScanTimeLeftMs(progress, 2000, 300), 700 + 2 * 1500);
    progress.Moved = 4;
    EXPECT_EQ(ScanTimeLeftMs(progress, 5000, 1500), 0);
}

// A screen smaller than the window (1280 x 900 at scale 2) keeps the title bar reachable.
TEST(WindowPlacementTest, ShrinksOnlyWhatDoesNotFitAndKeepsItsProportions) {
    EXPECT_EQ(ShrinkToFit(QSize(1920, 1080), QSize(910, 624)), 1.0);
    EXPECT_DOUBLE_EQ(ShrinkToFit(QSize(640, 450), QSize(910, 624)), 640.0 / 910.0);
    EXPECT_DOUBLE_EQ(ShrinkToFit(QSize(1000, 450), QSize(910, 624)), 450.0 / 624.0);
    EXPECT_DOUBLE_EQ(ShrinkToFit(QSize(600, 1000), QSize(910, 624)), 600.0 / 910.0);
    EXPECT_EQ(ShrinkToFit(QSize(), QSize(910, 624)), 1.0);
}

// Also run on a 1280 x 900 screen at QT_SCALE_FACTOR=2 (console_small_screen), where the
// console is larger than the screen until it shrinks.
TEST_F(MainWindowTest, EveryControlLiesInsideTheScreenAndTheMappingWindowFitsToo) {
    WriteSettings("[Info]\nType=Kestrune v1\n[Device]\nDebugMode=1\n");
    Open();
    const QRect available = form->screen()->availableGeometry();
    EXPECT_TRUE(available.contains(form->frameGeometry())) << form->frameGeometry().width();
    EXPECT_EQ(form->size(), QSize(910, 624)); // proportions kept: only the screen's scale moves
    for (const char *name : {"Image_Title_Button2", "Key_Button4", "Label_Message"}) {
        QWidget *control = Find(name);
        const QRect onScreen(control->mapToGlobal(QPoint(0, 0)), control->size());
        EXPECT_TRUE(available.contains(onScreen)) << name;
    }
    QTest::mouseDClick(Find("Image_Message_Base"), Qt::LeftButton);
    auto *mapping = form->findChild<TForm_CalData *>();
    ASSERT_NE(mapping, nullptr);
    EXPECT_LE(mapping->minimumWidth(), available.width());
    EXPECT_LE(mapping->width(), available.width());
    QTest::keyClick(mapping, Qt::Key_Escape);
    EXPECT_TRUE(WaitUntil([&] { return form->findChild<TForm_CalData *>() == nullptr; }));
}

TEST(WindowPlacementTest, OpensCentredButNeverAboveOrLeftOfTheAvailableArea) {
    const QSize window(910, 624);
    EXPECT_EQ(TForm_Main::StartPosition(QRect(0, 0, 640, 450), window), QPoint(0, 0));
    EXPECT_EQ(TForm_Main::StartPosition(QRect(0, 28, 640, 422), window), QPoint(0, 28));
    EXPECT_EQ(TForm_Main::StartPosition(QRect(1280, 0, 640, 900), window), QPoint(1280, 138));
    EXPECT_EQ(TForm_Main::StartPosition(QRect(0, 0, 1920, 1080), window), QPoint(505, 228));
}

// Offscreen, like an X server without a window manager, refuses the system move.
TEST_F(MainWindowTest, TheTitleBarDragsTheWindowWhenTheSystemMoveIsRefused) {
    Open();
    QWidget *title = Find("Image_Title_Base");
    const QPoint start = form->pos();
    QTest::mousePress(title, Qt::LeftButton, {}, QPoint(100, 30));
    QTest::mouseMove(title, QPoint(140, 50));
    EXPECT_EQ(form->pos(), start + QPoint(40, 20));
    QTest::mouseRelease(title, Qt::LeftButton, {}, QPoint(100, 30));
    QTest::mouseMove(title, QPoint(160, 60));
    EXPECT_EQ(form->pos(), start + QPoint(40, 20));
}

TEST_F(MainWindowTest, TabsSwitchPanelsAndTheDockHeight) {
    Open();
    Click("Image_Tab2_Off");
    EXPECT_EQ(form->SelectedMode(), 1);
    ExpectMode(1, 242, true);
    Click("Image_Tab3_Off");
    EXPECT_EQ(form->SelectedMode(), 2);
    ExpectMode(2, 426, false);
    Click("Image_Tab1_Off");
    EXPECT_EQ(form->SelectedMode(), 0);
    ExpectMode(0, 242, true);
    Click("Image_Tab1_On"); // the lit picture takes the click too
    ExpectMode(0, 242, true);
}

TEST_F(MainWindowTest, AModeOutsideTheTabsShowsHelp) {
    Open();
    form->SwitchToTab(7);
    ExpectMode(2, 426, false);
}

// A remote request that arrives while a Reset homes switches the tab (the lock then refuses the
// request); the Reset's button is released where it was pressed.
TEST_F(MainWindowTest, AResetIsReleasedOnThePanelThatShowedItPressed) {
    Open();
    MakeReady();
    Click("Image_Tab2_Off");
    QWidget *scan = Panel("Form_ControlScan");
    bool switched = false;
    QObject::connect(&form->Session(), &TInstrumentSession::StatusMessage, form,
                     [&](const QString &text) {
                         if (switched || !text.startsWith(QLatin1String("Restarting")))
                             return;
                         switched = true;
                         EXPECT_TRUE(Find("Image_Button3_On", scan)->isVisible());
                         form->ShowRemoteSetBand(0, QStringLiteral("600"), QStringLiteral("5"));
                     });
    form->Session().Reset(TRequester::Remote);
    ASSERT_TRUE(switched);
    EXPECT_EQ(form->SelectedMode(), 0);
    EXPECT_FALSE(Find("Image_Button3_On", scan)->isVisibleTo(scan));
    EXPECT_TRUE(Find("Image_Button3_Off", scan)->isVisibleTo(scan));
}

TEST_F(MainWindowTest, TabsAndTheCloseButtonDoNothingWhileTheLockIsHeld) {
    Open();
    MakeReady();
    ASSERT_TRUE(form->Session().BeginOperation());
    Click("Image_Tab2_Off");
    Click("Image_Tab3_Off");
    EXPECT_EQ(form->SelectedMode(), 0);
    ExpectMode(0, 242, true);
    Click("Image_Title_Button2");
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->IsShuttingDown());

    ASSERT_TRUE(form->Session().EndOperation());
    Click("Image_Tab2_Off");
    EXPECT_EQ(form->SelectedMode(), 1);
    Click("Image_Title_Button2");
    EXPECT_TRUE(form->IsShuttingDown());
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainWindowTest, PanelsShowTheProductLineRedUntilTheInstrumentIsReady) {
    Open();
    for (const char *panel : {"Form_ControlSet", "Form_ControlScan"}) {
        auto *label = Find<QLabel>("Label_Product", Panel(panel));
        EXPECT_EQ(label->text(), "No Device");
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0xff, 0x00, 0x00));
    }
    MakeReady();
    form->Action_UpdateUI();
    for (const char *panel : {"Form_ControlSet", "Form_ControlScan"}) {
        auto *label = Find<QLabel>("Label_Product", Panel(panel));
        EXPECT_EQ(label->text(), "KESTRUNE-612 ( 400.0 nm - 800.0 nm )");
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0xa4, 0xa4, 0xa4));
    }
}

TEST_F(MainWindowTest, KnobDragSetsOpacityBetweenItsStops) {
    Open();
    QWidget *knob = Find("Image_Slide_Button");
    EXPECT_EQ(DragKnob(-20), 2 * (618 - 512) + 3);
    EXPECT_EQ(knob->x(), 618);
    EXPECT_EQ(DragKnob(-300), 127); // held at the left stop, never less
    EXPECT_EQ(knob->x(), 574);
    // The groove is lit up to the knob's centre and empty beyond it.
    EXPECT_EQ(Find("Panel_Slide_Rest")->geometry(), QRect(574 + 14, 21, 658 - 588, 5));
    EXPECT_EQ(DragKnob(+300), 255);
    EXPECT_EQ(knob->x(), 638);
}

TEST_F(MainWindowTest, StatusMessageShowsTextAndColourAtOnce) {
    Open();
    form->ShowStatusMessage(QStringLiteral("ERRDV03 : Reset failure."), StatusColour::Red);
    auto *message = Find<QLabel>("Label_Message");
    EXPECT_EQ(message->text(), "ERRDV03 : Reset failure.");
    EXPECT_EQ(message->palette().color(QPalette::WindowText), StatusColour::Red);
    const QImage shown = message->grab().toImage();
    bool red = false;
    for (int x = 0; x < shown.width() && !red; ++x)
        for (int y = 0; y < shown.height() && !red; ++y)
            red = shown.pixelColor(x, y).red() > 200 && shown.pixelColor(x, y).green() < 60;
    EXPECT_TRUE(red);
}

TEST_F(MainWindowTest, SetPanelStartsInCWLModeWithEmptyLimitedEdits) {
    Open();
    QWidget *set = Panel("Form_ControlSet");
    for (const char *shown : {"Image_Button1_On", "Image_Button2_Off", "Image_Edit1_Mode1",
                              "Image_Edit2_Mode1", "Image_Button3_Off", "Image_Button4_Off"})
        EXPECT_TRUE(Find(shown, set)->isVisible()) << shown;
    for (const char *hidden :
         {"Image_Button1_Off", "Image_Button2_On", "Image_Edit1_Mode2", "Image_Edit2_Mode2",
          "Image_Button3_On", "Image_Button4_On", "Label_Remote"})
        EXPECT_FALSE(Find(hidden, set)->isVisible()) << hidden;

    auto *edit1 = Find<QLineEdit>("Edit1", set);
    auto *edit2 = Find<QLineEdit>("Edit2", set);
    EXPECT_EQ(edit1->geometry(), QRect(268, 160, 144, 48));
    EXPECT_EQ(edit2->geometry(), QRect(450, 160, 144, 48));
    EXPECT_EQ(edit1->font().pixelSize(), 37);
    EXPECT_EQ(edit1->palette().color(QPalette::Base), QColor(0x23, 0x23, 0x23));
    EXPECT_TRUE(edit1->text().isEmpty());

    edit1->setFocus();
    QTest::keyClicks(edit1, QStringLiteral("600.05"));
    EXPECT_EQ(edit1->text(), "600.0"); // at most five characters typed
    QTest::keyClick(edit1, Qt::Key_Tab);
    EXPECT_TRUE(edit2->hasFocus());
    EXPECT_FALSE(edit2->hasSelectedText());
    QTest::keyClicks(edit2, QStringLiteral("5.0"));
    EXPECT_EQ(edit2->text(), "5.0");

    // A program may put in more than an operator may type; typing then adds nothing.
    edit1->setText(QStringLiteral("580.00"));
    EXPECT_EQ(edit1->text(), "580.00");
    edit1->setFocus();
    QTest::keyClick(edit1, Qt::Key_1);
    EXPECT_EQ(edit1->text(), "580.00");
    QTest::keyClick(edit1, Qt::Key_Backspace);
    EXPECT_EQ(edit1->text(), "580.0");
}

TEST_F(MainWindowTest, ScanPanelHasFiveEditsInTabOrder) {
    Open();
    Click("Image_Tab2_Off");
    QWidget *scan = Panel("Form_ControlScan");
    const int lefts[] = {68, 188, 308, 428, 548};
    for (int i = 0; i < 5; ++i) {
        const QByteArray name = "Edit" + QByteArray::number(i + 1);
        auto *edit = Find<QLineEdit>(name.constData(), scan);
        EXPECT_EQ(edit->geometry(), QRect(lefts[i], 164, 96, 48));
        EXPECT_EQ(edit->font().pixelSize(), 32);
        EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(0x22, 0x22, 0x22));
    }
    auto *edit1 = Find<QLineEdit>("Edit1", scan);
    edit1->setFocus();
    for (int i = 2; i <= 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("Edit%1").arg(i));
    }
    EXPECT_TRUE(Find("Image_Button3_Off", scan)->isVisible());
    EXPECT_FALSE(Find("Image_Button4_On", scan)->isVisible());
    EXPECT_FALSE(Find("Label_Remote", scan)->isVisible());
}

quint16 FreeTcpPort();

class MainWindowKeyboardTest : public MainWindowTest {
protected:
    void OpenActive() {
        Open();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    }
    QString Focused() const {
        return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
    }
    QString Message() const { return Find<QLabel>("Label_Message")->text(); }
    void Press(int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
    }
};

TEST_F(MainWindowKeyboardTest, TabVisitsEveryControlInReadingOrderAndSelectsTheBoxes) {
    OpenActive();
    QWidget *set = Panel("Form_ControlSet");
    Find<QLineEdit>("Edit1", set)->setText(QStringLiteral("600.0"));
    Find("Key_Tab1")->setFocus(Qt::TabFocusReason);
    const QStringList order{"Key_Tab1",    "Key_Tab2",    "Key_Tab3", "Key_Tab4",
                            "Key_Button1", "Key_Button2", "Edit1",    "Edit2",
                            "Key_Button3", "Key_Button4", "Key_Tab1"};
    QStringList seen{Focused()};
    for (int i = 1; i < order.size(); ++i) {
        Press(Qt::Key_Tab);
        seen << Focused();
    }
    EXPECT_EQ(seen, order);
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(Focused(), "Key_Button4");
    // The focused button draws its frame; the others draw nothing over their pictures.
    const QImage focused = Find("Key_Button4", set)->grab().toImage();
    const QImage other = Find("Key_Button3", set)->grab().toImage();
    EXPECT_EQ(focused.pixelColor(1, focused.height() / 2), QColor(0x2f, 0x9c, 0xff));
    EXPECT_NE(other.pixelColor(1, other.height() / 2), QColor(0x2f, 0x9c, 0xff));

    // A box reached by the keyboard offers its text for replacing; a click still empties it.
    for (int i = 0; i < 3; ++i)
        Press(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(Focused(), "Edit1");
    auto *edit1 = Find<QLineEdit>("Edit1", set);
    EXPECT_EQ(edit1->selectedText(), "600.0");
    QTest::keyClicks(edit1, QStringLiteral("55"));
    EXPECT_EQ(edit1->text(), "55");
    QTest::mouseClick(edit1, Qt::LeftButton);
    EXPECT_EQ(edit1->text(), "");

    // Every control a screen reader reaches has a name and says what it does.
    for (const QString &name : order) {
        const QWidget *control = Find(name.toLatin1().constData());
        EXPECT_FALSE(control->accessibleName().isEmpty()) << qPrintable(name);
        EXPECT_FALSE(control->toolTip().isEmpty()) << qPrintable(name);
    }
}

TEST_F(MainWindowKeyboardTest, EnterGoesSpaceClicksEscapeStopsAndTabsWaitForTheScan) {
    OpenActive();
    MakeReady();
    form->Action_UpdateUI();
    QWidget *set = Panel("Form_ControlSet");
    EXPECT_EQ(Find("Edit1", set)->toolTip(), "CWL: 400.0 to 800.0 nm in steps of 0.5 nm");
    auto *edit1 = Find<QLineEdit>("Edit1", set);
    edit1->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(edit1, QStringLiteral("600.0"));
    Press(Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("5"));
    Press(Qt::Key_Return);
    EXPECT_EQ(Message(), "Successfully changed wavelength and FWHM.");
    ASSERT_TRUE(form->Session().CurrentBand().has_value());
    EXPECT_DOUBLE_EQ(form->Session().CurrentBand()->CWL, 600.0);

    Find("Key_Button2", set)->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Space);
    EXPECT_EQ(Find("Edit1", set)->accessibleName(), "SW");
    EXPECT_TRUE(Find("Image_Button2_On", set)->isVisible());

    Press(Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(form->SelectedMode(), 1);
    QWidget *scan = Panel("Form_ControlScan");
    const char *plan[] = {"580.0", "610.0", "5.0", "10.0", "60.0"};
    for (int i = 0; i < 5; ++i)
        Find<QLineEdit>(QByteArray("Edit" + QByteArray::number(i + 1)).constData(), scan)
            ->setText(QString::fromLatin1(plan[i]));
    Find("Edit5", scan)->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Enter);
    EXPECT_EQ(Message(), "Scanning...");
    // The scan's progress shows under the message, which stays as it is.
    auto *progress = Find<TForm_ScanProgress>("Form_ScanProgress");
    EXPECT_TRUE(WaitUntil([&] { return progress->Caption().startsWith("Point 1 of 4 "); }));
    EXPECT_TRUE(progress->isVisible());
    EXPECT_TRUE(progress->Caption().contains("CWL 580.0 nm, FWHM 5.0 nm"))
        << qPrintable(progress->Caption());
    EXPECT_EQ(Message(), "Scanning...");
    // The tabs refuse the keyboard as they refuse the mouse while the scan holds the lock.
    Press(Qt::Key_1, Qt::ControlModifier);
    Find("Key_Tab3")->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Space);
    EXPECT_EQ(form->SelectedMode(), 1);
    Press(Qt::Key_Escape);
    EXPECT_TRUE(WaitUntil([&] { return Message() == "Scan aborted."; }));
    EXPECT_FALSE(form->Session().IsOperationBusy());
    EXPECT_FALSE(progress->isVisible());
    Press(Qt::Key_Space);
    EXPECT_EQ(form->SelectedMode(), 2);
}

TEST_F(MainWindowKeyboardTest, ARemoteClientTakesTheKeyboardAway) {
    const quint16 port = FreeTcpPort();
    WriteSettings("[Info]\nType=Kestrune v1\n[Remote]\nPortNum=" + QByteArray::number(port) + "\n");
    OpenActive();
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(WaitUntil([&] { return form->Session().IsRemoteControlled(); }));
    Find("Key_Tab2")->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Space);
    Press(Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(form->SelectedMode(), 0);
    QWidget *set = Panel("Form_ControlSet");
    for (const char *name :
         {"Key_Button1", "Key_Button2", "Edit1", "Edit2", "Key_Button3", "Key_Button4"})
        EXPECT_FALSE(Find(name, set)->isEnabled()) << name;
    Press(Qt::Key_Tab);
    EXPECT_TRUE(Focused().startsWith(QLatin1String("Key_Tab")));
}

// A port that nothing listens on right now.
quint16 FreeTcpPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

TEST_F(MainWindowTest, ARemoteClientLocksThePanelsAndIsAnsweredUntilItLeaves) {
    const quint16 port = FreeTcpPort();
    WriteSettings("[Info]\nType=Kestrune v1\n[Remote]\nPortNum=" + QByteArray::number(port) + "\n");
    Open();
    form->SwitchToTab(2);
    auto *set = qobject_cast<TForm_ControlSet *>(Panel("Form_ControlSet"));
    ASSERT_NE(set, nullptr);
    QWidget *scan = Panel("Form_ControlScan");
    EXPECT_FALSE(form->Session().IsRemoteControlled());

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(WaitUntil([&] { return form->Session().IsRemoteControlled(); }));
    EXPECT_FALSE(Find("Label_Remote", set)->isHidden());
    EXPECT_FALSE(Find("Label_Remote", scan)->isHidden());
    auto *edit1 = Find<QLineEdit>("Edit1", set);
    EXPECT_FALSE(edit1->isEnabled());
    EXPECT_FALSE(Find("Image_Button4_Off", set)->isEnabled());

    const auto ask = [&](const QByteArray &line) {
        client.write(line + "\r");
        QByteArray reply;
        EXPECT_TRUE(WaitUntil([&] {
            reply += client.readAll();
            return reply.endsWith('\r');
        }));
        return reply;
    };
    EXPECT_EQ(ask("VER"), "Kestrune v1.0\r");
    // No instrument: the SET panel refuses and the dispatcher has switched to the SET tab.
    EXPECT_EQ(ask("SETC 600.0 5.0"), "SETC FAIL\r");
    EXPECT_EQ(form->SelectedMode(), 0);
    EXPECT_EQ(ask("ECODE"), "NONE\r");
    EXPECT_EQ(ask("ETEXT"), "Device not ready. Please connect Kestrune.\r");
    EXPECT_EQ(app->RemoteServer().RemoteReply().ErrorCode, "NONE");

    client.disconnectFromHost();
    ASSERT_TRUE(WaitUntil([&] { return !form->Session().IsRemoteControlled(); }));
    EXPECT_TRUE(Find("Label_Remote", set)->isHidden());
    EXPECT_TRUE(edit1->isEnabled());
}

TEST_F(MainWindowTest, APortInUseLeavesTheProgramLocal) {
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::Any, 0));
    WriteSettings("[Info]\nType=Kestrune v1\n[Remote]\nPortNum=" +
                  QByteArray::number(other.serverPort()) + "\n");
    Open();
    EXPECT_FALSE(form->Session().IsRemoteControlled());
    EXPECT_EQ(Find<QLabel>("Label_Message")->text(), QStringLiteral("Please wait..."));
}

TEST_F(MainWindowTest, DoubleClickOnTheMessageBarDoesNothingWithoutDebugMode) {
    Open();
    QTest::mouseDClick(Find("Image_Message_Base"), Qt::LeftButton, {}, QPoint(400, 35));
    EXPECT_EQ(form->findChild<TForm_CalData *>(), nullptr);
}

TEST_F(MainWindowTest, DoubleClickOnTheMessageBarOpensOneMappingDataWindow) {
    WriteSettings("[Info]\nType=Kestrune v1\n[Device]\nDebugMode=1\n");
    Open();
    QWidget *bar = Find("Image_Message_Base");
    QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(400, 35));
    auto *first = form->findChild<TForm_CalData *>();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(30, 35));
    EXPECT_EQ(form->findChildren<TForm_CalData *>().size(), 1);
    EXPECT_EQ(form->findChild<TForm_CalData *>(), first);

    QPointer<TForm_CalData> closed(first);
    first->close();
    ASSERT_TRUE(WaitUntil([&] { return closed.isNull(); }));
    QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(400, 35));
    EXPECT_NE(form->findChild<TForm_CalData *>(), nullptr);
}

TEST_F(MainWindowTest, CloseArrivingInsideANestedWaitDestroysNothingUntilTheWindowGoes) {
    Open();
    bool waitEnded = false;
    QString shownAfter;
    // A wait like the connection workflow's settling wait, with the close arriving inside it.
    QTimer::singleShot(0, form, [&] {
        QTimer::singleShot(50, form, [&] { form->close(); });
        QElapsedTimer clock;
        clock.start();
        while (!form->IsShuttingDown() && clock.elapsed() < 10000) {
            QThread::msleep(10);
            QCoreApplication::processEvents();
        }
        // The code after the wait still finds every object of the window.
        form->ShowStatusMessage(QStringLiteral("after"), StatusColour::Silver);
        form->findChild<TForm_ControlView *>()->ShowRange(390.0, 810.0);
        form->Action_UpdateUI();
        shownAfter = Find<QLabel>("Label_Message")->text();
        waitEnded = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return waitEnded; }));
    EXPECT_TRUE(form->IsShuttingDown());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(shownAfter, "after");
    app.reset();
    EXPECT_TRUE(SettingsOnDisk().contains("[ComPort]"));
}

TEST_F(MainWindowTest, SettingsAreWrittenBackOnlyAtTheClose) {
    Open();
    EXPECT_TRUE(SettingsOnDisk().isEmpty()); // created empty, defaults only in memory
    app->Settings().PortName = QStringLiteral("COM4");
    Click("Image_Title_Button2");
    EXPECT_TRUE(form->IsShuttingDown());
    EXPECT_TRUE(SettingsOnDisk().isEmpty()); // the settings object lives until destruction
    app.reset();
    const QByteArray written = SettingsOnDisk();
    EXPECT_TRUE(written.contains("Type=Kestrune v1"));
    EXPECT_TRUE(written.contains("PortName=COM4"));
}

// The system's close (SIGTERM, SIGINT) calls close(): it is not held back by the lock.
TEST_F(MainWindowTest, TheCloseTakesItsNormalCourseEvenWhileTheLockIsHeld) {
    Open();
    MakeReady();
    ASSERT_TRUE(form->Session().BeginOperation());
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->IsShuttingDown());
    EXPECT_FALSE(form->Session().IsOperationBusy()); // the link was closed on the way
    app.reset();
    EXPECT_TRUE(SettingsOnDisk().contains("[ComPort]"));
}

// The window system's close (Alt+F4, a logout) in a scan: the operator ended the scan, so it
// ends as an abort before the link goes, not as an instrument failure.
TEST_F(MainWindowTest, ACloseInAScanEndsItAsAnAbort) {
    Open();
    MakeReady();
    Click("Image_Tab2_Off");
    QWidget *scan = Panel("Form_ControlScan");
    const char *plan[] = {"560.0", "640.0", "10.0", "10.0", "30.0"};
    for (int i = 0; i < 5; ++i)
        Find<QLineEdit>(QByteArray("Edit" + QByteArray::number(i + 1)).constData(), scan)
            ->setText(QString::fromLatin1(plan[i]));
    QTest::mouseClick(Find("Image_Button4_Off", scan), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] {
        const auto progress = form->Session().ScanProgress();
        return progress && progress->Moved == 1;
    }));
    QStringList messages;
    QObject::connect(&form->Session(), &TInstrumentSession::StatusMessage, form,
                     [&](const QString &text) { messages << text; });
    form->close();
    EXPECT_EQ(messages, QStringList{"Scan aborted."});
    // The link closes on the way out; the last picture does not turn to "No Device".
    EXPECT_EQ(Find<QLabel>("Label_Product", scan)->text(), "KESTRUNE-612 ( 400.0 nm - 800.0 nm )");
    app.reset();
    const QDir scans(folder.filePath(QStringLiteral("Scans")));
    const QStringList records = scans.entryList({QStringLiteral("Scan *.csv")}, QDir::Files);
    ASSERT_EQ(records.size(), 1);
    QFile record(scans.filePath(records.first()));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_TRUE(record.readAll().trimmed().endsWith(",aborted"));
}

// While a scan runs its plan stays in the boxes, Go says Stop and a tab refuses with a flash;
// Ctrl+2 and Ctrl+1 put the keyboard into the first box of the tab they show.
TEST_F(MainWindowTest, AScanKeepsItsPlanInViewAndTheShortcutsLeadIntoTheBoxes) {
    Open();
    MakeReady();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    QTest::keyClick(form, Qt::Key_2, Qt::ControlModifier);
    QWidget *scan = Panel("Form_ControlScan");
    auto *start = Find<QLineEdit>("Edit1", scan);
    EXPECT_EQ(QApplication::focusWidget(), start);
    const char *plan[] = {"560.0", "640.0", "10.0", "10.0", "30.0"};
    for (int i = 0; i < 5; ++i)
        Find<QLineEdit>(QByteArray("Edit" + QByteArray::number(i + 1)).constData(), scan)
            ->setText(QString::fromLatin1(plan[i]));
    QTest::keyClick(start, Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([&] { return form->Session().IsScanning(); }));
    EXPECT_TRUE(start->isReadOnly());
    QTest::keyClicks(start, QStringLiteral("9"));
    QTest::mouseClick(start, Qt::LeftButton); // a click empties a box, but not the running plan
    EXPECT_EQ(start->text(), "560.0");
    EXPECT_TRUE(Find("Image_Button4_Stop", scan)->isVisible());
    EXPECT_EQ(Find("Key_Button4", scan)->toolTip(), "Stops the scan (Space or Escape)");

    QTest::keyClick(form, Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(form->SelectedMode(), 1);
    EXPECT_TRUE(IsFlashingRefusal(Find("Image_Tab1_Off")));
    EXPECT_TRUE(WaitUntil([&] { return !IsFlashingRefusal(Find("Image_Tab1_Off")); }));

    QTest::keyClick(start, Qt::Key_Escape);
    ASSERT_TRUE(WaitUntil([&] { return !form->Session().IsScanning(); }));
    EXPECT_FALSE(start->isReadOnly());
    EXPECT_FALSE(Find("Image_Button4_Stop", scan)->isVisible());
    QTest::keyClick(form, Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), Find("Edit1", Panel("Form_ControlSet")));
}

// Counts the close events that reach a widget.
class CloseCounter : public QObject {
public:
    int closes = 0;
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Close)
            ++closes;
        return false;
    }
};

TEST_F(MainWindowTest, ASecondCloseWhileClosingChangesNothing) {
    Open();
    CloseCounter counter;
    form->installEventFilter(&counter);
    bool sentWhileClosing = false;
    bool secondAccepted = true;
    // Fires inside the settling wait of the first close, as a close from the window system
    // would (QWidget::close() itself already refuses while the widget is closing).
    QTimer::singleShot(300, form, [&] {
        sentWhileClosing = form->IsShuttingDown() && form->isVisible();
        QCloseEvent second;
        QCoreApplication::sendEvent(form, &second);
        secondAccepted = second.isAccepted();
    });
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(sentWhileClosing);
    EXPECT_EQ(counter.closes, 2); // the second one arrived and was refused
    EXPECT_FALSE(secondAccepted);
    form->removeEventFilter(&counter);
    app.reset();
    EXPECT_TRUE(SettingsOnDisk().contains("[Remote]"));
}

TEST_F(MainWindowTest, RendersEachTabForTheRecord) {
    Open();
    MakeReady();
    form->Action_UpdateUI();
    const auto type = [this](QWidget *panel, const char *edit, const char *text) {
        auto *box = Find<QLineEdit>(edit, panel);
        box->setFocus();
        QTest::keyClicks(box, QString::fromLatin1(text));
    };
    type(Panel("Form_ControlSet"), "Edit1", "600.0");
    type(Panel("Form_ControlSet"), "Edit2", "5.0");
    const char *plan[] = {"580.0", "610.0", "5.0", "10.0", "10.0"};
    for (int i = 0; i < 5; ++i)
        type(Panel("Form_ControlScan"), QByteArray("Edit" + QByteArray::number(i + 1)).constData(),
             plan[i]);
    QApplication::focusWidget()->clearFocus();
    form->findChild<TForm_ControlView *>()->ShowSetPoint(560.0, 640.0, 600.0, 5.0, 597.5, 602.5);
    form->ShowStatusMessage(QStringLiteral("Successfully changed wavelength and FWHM."),
                            StatusColour::Lime);

    const QDir out(QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots"));
    ASSERT_TRUE(out.mkpath(QStringLiteral(".")));
    const struct {
        const char *tab, *file;
    } shots[] = {{"Image_Tab1_Off", "main-set.png"},
                 {"Image_Tab2_Off", "main-scan.png"},
                 {"Image_Tab3_Off", "main-help.png"},
                 {"Image_Tab4_Off", "main-list.png"}};
    for (const auto &shot : shots) {
        if (Find(shot.tab)->isVisible())
            Click(shot.tab);
        const QImage image = form->grab().toImage();
        EXPECT_EQ(image.size(), QSize(910, 624));
        EXPECT_TRUE(image.save(out.filePath(QString::fromLatin1(shot.file))));
    }
}

// Run also at QT_SCALE_FACTOR=2 (console_screenshots_2x); the files carry the scale.
TEST_F(MainWindowTest, RendersAScanInProgressAndTheMappingDataForTheRecord) {
    WriteSettings("[Info]\nType=Kestrune v1\n[Device]\nDebugMode=1\n");
    Open();
    MakeReady();
    form->Action_UpdateUI();
    Click("Image_Tab2_Off");
    QWidget *scan = Panel("Form_ControlScan");
    const char *plan[] = {"560.0", "640.0", "10.0", "10.0", "30.0"};
    for (int i = 0; i < 5; ++i)
        Find<QLineEdit>(QByteArray("Edit" + QByteArray::number(i + 1)).constData(), scan)
            ->setText(QString::fromLatin1(plan[i]));
    QTest::mouseClick(Find("Image_Button4_Off", scan), Qt::LeftButton);
    auto *progress = Find<TForm_ScanProgress>("Form_ScanProgress");
    ASSERT_TRUE(WaitUntil([&] {
        const auto now = form->Session().ScanProgress();
        return now && now->Moved == 1 && progress->Caption().startsWith("Point 1 of 9 ");
    }));

    const QString scale = QStringLiteral("@%1x").arg(form->devicePixelRatio());
    const QDir out(QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots"));
    ASSERT_TRUE(out.mkpath(QStringLiteral(".")));
    EXPECT_TRUE(form->grab().toImage().save(out.filePath("main-scanning" + scale + ".png")));

    QTest::mouseDClick(Find("Image_Message_Base"), Qt::LeftButton);
    auto *mapping = form->findChild<TForm_CalData *>();
    ASSERT_NE(mapping, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(mapping));
    EXPECT_TRUE(mapping->grab().toImage().save(out.filePath("mapping-data" + scale + ".png")));
    mapping->close();
}

} // namespace
