// The connection workflow of the main window against simulated instruments on pseudo-terminals
// linked as Ports/COMn of a temporary program folder. The search tick (1 s) and the settling
// wait (5 s) are the real ones, so each test pays them as few times as it can.

#include "console/formmain.h"

#include "console/formcontrolview.h"
#include "device/devicerederedirada.h"
#include "kestrunesystem.h"
#include "session/instrumentsession.h"
#include "session/statuscolour.h"
#include "setup/setuprederedirada.h"
#include "sim/controlcommand.h"
#include "sim/virtualinstrument.h"
#include "support/pseudoterminal.h"
#include "support/scriptedpeer.h"
#include "support/tempprogramfolder.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

// Readable failure output for the texts compared below.
void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}
void PrintTo(const QByteArray &bytes, std::ostream *os) {
    *os << '"' << bytes.toStdString() << '"';
}

namespace {

using ksim::MonotonicMs;

const QString Searching = QStringLiteral("Searching device...");
const QString Found = QStringLiteral("Device found. Please wait...");
const QString ReadingInfo = QStringLiteral("Reading device infomation...");
const QString ReadingCalData = QStringLiteral("Reading calibration data...");
const QString Ready = QStringLiteral("Device ready.");
const QString NotFound = QStringLiteral("ERRDV01 : Device not found. Please connect Kestrune.");
const QString LinkLost = QStringLiteral("ERRDV02 : Communication error. Connection lost.");
const QString InfoFailure = QStringLiteral("ERRDV06 : Device might be problem.");

struct Shown {
    QString text;
    QColor colour;
    qint64 ms;
};

// Records each new text of the message bar as it is painted, starting with the one it shows
// now: ShowStatusMessage repaints at once, so every message that reaches the screen passes here.
// Runs `action` once, `delayMs` after a text first shows.
class MessageRecorder : public QObject {
public:
    explicit MessageRecorder(QLabel *label) : label_(label) {
        shown.push_back(
            {label->text(), label->palette().color(QPalette::WindowText), MonotonicMs()});
        label->installEventFilter(this);
    }

    void OnFirst(const QString &text, int delayMs, std::function<void()> action) {
        trigger_ = text;
        delayMs_ = delayMs;
        action_ = std::move(action);
    }
    bool Seen(const QString &text, int from = 0) const { return IndexOf(text, from) >= 0; }
    int IndexOf(const QString &text, int from = 0) const {
        for (int i = from; i < int(shown.size()); ++i)
            if (shown[i].text == text)
                return i;
        return -1;
    }
    QStringList Texts(int from = 0) const {
        QStringList texts;
        for (int i = from; i < int(shown.size()); ++i)
            texts.append(shown[i].text);
        return texts;
    }

    std::vector<Shown> shown;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() != QEvent::Paint)
            return false;
        const QColor colour = label_->palette().color(QPalette::WindowText);
        if (shown.empty() || shown.back().text != label_->text() || shown.back().colour != colour) {
            shown.push_back({label_->text(), colour, MonotonicMs()});
            if (action_ && label_->text() == trigger_)
                QTimer::singleShot(delayMs_, label_, std::exchange(action_, nullptr));
        }
        return false;
    }

private:
    QLabel *label_;
    QString trigger_;
    int delayMs_ = 0;
    std::function<void()> action_;
};

// The operator's pick in the calibration-file dialog.
class ScriptedCalDialog : public ICalFileDialog {
public:
    QString Execute(const TCalFileDialogSetup &setup) override {
        titles.append(setup.Title);
        return pick;
    }
    QString pick;
    QStringList titles;
};

QList<QByteArray> Requests(const ksim::VirtualInstrument &sim, int from = 0) {
    QList<QByteArray> texts;
    for (int i = from; i < sim.records().size(); ++i)
        texts.append(sim.records()[i].text);
    return texts;
}

class ConnectionTest : public ::testing::Test {
protected:
    void TearDown() override {
        app.reset();
        if (holder.state() != QProcess::NotRunning) {
            holder.kill();
            holder.waitForFinished(5000);
        }
    }

    void WriteSettings(const char *portName) {
        QFile file(folder.filePath(QStringLiteral("RedeRedirada.ini")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("[Info]\nType=Kestrune v1\n[ComPort]\nPortName=") + portName + "\n");
    }
    QByteArray SettingsOnDisk() const {
        QFile file(folder.filePath(QStringLiteral("RedeRedirada.ini")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A simulated instrument, quick to answer, that appears as COMn.
    ksim::VirtualInstrument &Instrument(int n, const QByteArray &identification = {}) {
        ksim::InstrumentProfile profile;
        profile.timing = ksim::Timing::fast();
        if (!identification.isEmpty())
            profile.identification = identification;
        sims.push_back(std::make_unique<ksim::VirtualInstrument>(profile));
        ksim::VirtualInstrument &sim = *sims.back();
        EXPECT_TRUE(sim.setLink(folder.filePath(QStringLiteral("Ports/COM%1").arg(n))));
        EXPECT_TRUE(sim.plug());
        return sim;
    }
    static void Control(ksim::VirtualInstrument &sim, const char *line) {
        EXPECT_TRUE(ksim::ExecuteControlCommand(sim, QString::fromLatin1(line))
                        .reply.startsWith(QLatin1String("OK")))
            << line;
    }
    // The program's own copy in Cal/, so the import asks no one.
    void InstallCalCopy(const ksim::VirtualInstrument &sim) {
        QString error;
        ASSERT_FALSE(
            sim.calTable()
                ->write(folder.filePath(QStringLiteral("Cal")), sim.calTable()->keptName(), &error)
                .isEmpty())
            << qPrintable(error);
    }

    void Open() {
        started = MonotonicMs();
        app = std::make_unique<TKestruneSystem>();
        form = &app->Window();
        form->SetCalFileDialog(&dialog);
        // Connected after the window's own handler, so it runs once the tick has returned. It
        // keeps to the label: a tick can still come inside the close that the window's
        // destruction runs, when `form` no longer points to a window.
        QLabel *const message = Message();
        QObject::connect(&form->Session().SearchTimer(), &QTimer::timeout, message,
                         [this, message] {
                             tickEnds.push_back(MonotonicMs());
                             tickTexts.append(message->text());
                         });
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        messages = std::make_unique<MessageRecorder>(message);
    }

    QLabel *Message() const { return form->findChild<QLabel *>(QStringLiteral("Label_Message")); }
    QString ViewLabel(const char *name) const {
        return form->findChild<QLabel *>(QString::fromLatin1(name))->text();
    }
    bool WaitForMessage(const QString &text, int from = 0, int timeoutMs = 20000) {
        return WaitUntil([&] { return messages->Seen(text, from); }, timeoutMs);
    }
    // What a panel does when its link test fails.
    void PlayLinkTest() {
        if (!form->Session().ReadPositions()) {
            form->ShowStatusMessage(LinkLost, StatusColour::Red);
            form->Session().Action_DeviceClose();
        }
    }
    static void Figure(const char *what, qint64 ms) {
        std::cout << "[ figure   ] " << what << ": " << ms << " ms" << std::endl;
    }

    TempProgramFolder folder;
    std::vector<std::unique_ptr<ksim::VirtualInstrument>> sims;
    PseudoTerminal heldPort;
    QProcess holder;
    ScriptedCalDialog dialog;
    qint64 started = 0;
    std::vector<qint64> tickEnds;
    QStringList tickTexts;
    // The program as main() builds it; form is its window.
    std::unique_ptr<TKestruneSystem> app;
    TForm_Main *form = nullptr;
    std::unique_ptr<MessageRecorder> messages;
};

TEST_F(ConnectionTest, StoredPortIsFoundOnTheFirstTickAndALostLinkIsFoundAgainAfterAReplug) {
    // A new user: no settings file, so the stored port is the default COM1.
    ksim::VirtualInstrument &sim = Instrument(1);
    ksim::VirtualInstrument &silent = Instrument(2);
    Control(silent, "noreply on");
    QString error;
    dialog.pick = sim.calTable()->write(folder.filePath(QStringLiteral("shipped")),
                                        sim.calTable()->fileName(QDate(2019, 3, 1)), &error);
    ASSERT_FALSE(dialog.pick.isEmpty()) << qPrintable(error);
    Open();

    // During the start-up the lock holds: the close button and the tabs do nothing.
    bool stillOpen = false;
    messages->OnFirst(Found, 300, [&] {
        QTest::mouseClick(form->findChild<QWidget *>(QStringLiteral("Image_Title_Button2")),
                          Qt::LeftButton);
        QTest::mouseClick(form->findChild<QWidget *>(QStringLiteral("Image_Tab2_Off")),
                          Qt::LeftButton);
        stillOpen = form->isVisible() && !form->IsShuttingDown() && form->SelectedMode() == 0 &&
                    form->Session().IsOperationBusy();
    });
    ASSERT_TRUE(WaitForMessage(Ready));
    const qint64 ready = messages->shown[messages->IndexOf(Ready)].ms;
    Figure("start to Device ready. on the stored port", ready - started);

    EXPECT_EQ(messages->Texts(1),
              (QStringList{Searching, Found, ReadingInfo, ReadingCalData, Ready}));
    EXPECT_EQ(messages->shown[1].colour, StatusColour::Silver);
    EXPECT_EQ(messages->shown.back().colour, StatusColour::Lime);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(Requests(sim),
              (QList<QByteArray>{"?", "INFO 0", "INFO 1", "INFO 2", "POS 3", "BKEN 0", "HOME 3"}));
    // The first tick, a second after the start, tries the stored port without a port search.
    const qint64 asked = sim.records()[0].monotonicMs;
    EXPECT_GE(asked - started, 950);
    EXPECT_EQ(form->Session().PortList(), QStringList{"COM1"});
    EXPECT_TRUE(silent.records().isEmpty());
    // The settling wait lies between the identification and the first information item.
    const qint64 settled = sim.records()[1].monotonicMs - asked;
    EXPECT_GE(settled, 5000);

    EXPECT_TRUE(form->Session().IsDeviceReady());
    EXPECT_TRUE(form->Session().IsInfoValid());
    EXPECT_FALSE(form->Session().IsOperationBusy());
    EXPECT_TRUE(form->Session().CalData().Loaded);
    EXPECT_EQ(form->Session().CalData().Model, "F612");
    EXPECT_EQ(form->Session().CalData().Serial, "AX0000000017");
    EXPECT_EQ(form->Session().RangeText(), "400.0-800.0");
    EXPECT_EQ(form->Session().RangeMin(), 400.0);
    EXPECT_EQ(form->Session().RangeMax(), 800.0);
    EXPECT_EQ(app->Settings().PortName, "COM1");
    EXPECT_EQ(form->Session().Device().replyTimeOut(), app->Settings().TimeOut);
    EXPECT_EQ(ViewLabel("Label_RangeMin"), "390.0");
    EXPECT_EQ(ViewLabel("Label_RangeMax"), "810.0");
    EXPECT_EQ(form->Session().GetProductLabel(), "KESTRUNE-612 ( 400.0 nm - 800.0 nm )");
    EXPECT_TRUE(form->Session().SearchTimer().isActive());
    // The operator picked the shipped file once; the program keeps its copy.
    EXPECT_EQ(dialog.titles, QStringList{"Please Select Kestrune Calibration Data File, And Click "
                                         "OK. (F612/AX0000000017)"});
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("Cal/F612_AX0000000017.csv"))));

    // Unplugged: the next operation finds the link lost, and the search resumes.
    const int beforeUnplug = int(messages->shown.size());
    const qint64 unplugged = MonotonicMs();
    sim.unplug();
    PlayLinkTest();
    EXPECT_EQ(messages->shown.back().text, LinkLost);
    EXPECT_EQ(messages->shown.back().colour, StatusColour::Red);
    EXPECT_FALSE(form->Session().IsDeviceReady());
    EXPECT_EQ(form->Session().PortList(), QStringList{"COM2"});
    EXPECT_EQ(form->Session().PortIndex(), 0);
    EXPECT_TRUE(ViewLabel("Label_RangeMin").isEmpty());
    ASSERT_TRUE(WaitForMessage(Searching, beforeUnplug));
    Figure("unplug to the search resuming",
           messages->shown[messages->IndexOf(Searching, beforeUnplug)].ms - unplugged);
    ASSERT_TRUE(WaitUntil([&] { return !silent.records().isEmpty(); }));

    // Plugged in again: found on its port again, the copy in Cal/ loaded without asking.
    sim.clearRecords();
    const int beforePlug = int(messages->shown.size());
    const qint64 plugged = MonotonicMs();
    ASSERT_TRUE(sim.plug());
    ASSERT_TRUE(WaitForMessage(Ready, beforePlug));
    Figure("re-plug to Device ready.",
           messages->shown[messages->IndexOf(Ready, beforePlug)].ms - plugged);
    EXPECT_EQ(Requests(sim).size(), 7);
    EXPECT_EQ(dialog.titles.size(), 1);
    EXPECT_TRUE(form->Session().CalData().Loaded);

    form->close();
    app.reset();
    EXPECT_TRUE(SettingsOnDisk().contains("PortName=COM1"));
}

// Every wait processes events, so the operator can click while an exchange waits for its reply.
// Those clicks must neither send on top of it nor start an operation inside it.
TEST_F(ConnectionTest, ClicksDuringAnExchangePutNothingOnTheLineAndStartNothing) {
    ksim::VirtualInstrument &sim = Instrument(1);
    InstallCalCopy(sim);
    Open();
    ASSERT_TRUE(WaitForMessage(Ready));
    Control(sim, "timing homing 800");
    sim.clearRecords();
    QWidget *set = form->findChild<QWidget *>(QStringLiteral("Form_ControlSet"));
    ASSERT_NE(set, nullptr);
    bool clicked = false;
    QTimer::singleShot(250, form, [&] {
        for (const char *name : {"Image_Button4_Off", "Image_Button3_Off"})
            QTest::mouseClick(set->findChild<QWidget *>(QString::fromLatin1(name)), Qt::LeftButton);
        clicked = true;
    });
    const int before = int(messages->shown.size());
    EXPECT_TRUE(form->Session().HomeAll());
    EXPECT_TRUE(clicked);
    EXPECT_EQ(Requests(sim), QList<QByteArray>{"HOME 3"});
    EXPECT_EQ(messages->Texts(before), QStringList{});
    EXPECT_FALSE(form->Session().IsOperationBusy());

    // A tick that falls due as the window goes runs inside its close, and starts nothing.
    sim.clearRecords();
    const size_t ticks = tickEnds.size();
    form->Session().SearchTimer().start(0);
    app.reset();
    EXPECT_EQ(tickEnds.size(), ticks + 1);
    EXPECT_TRUE(sim.records().isEmpty());
}

TEST_F(ConnectionTest, SearchTriesPortsInTextOrderPassingOverForeignAndHeldPorts) {
    WriteSettings("COM7"); // no such port any more
    ksim::VirtualInstrument &foreign = Instrument(1, "Quilm FM Ver1.1");
    ksim::VirtualInstrument &mute = Instrument(10);
    Control(mute, "noreply on");
    ksim::VirtualInstrument &sim = Instrument(3, "Quilm FM Ver1.0 build 7");
    Control(sim, "info 2 400-800"); // seven characters: the range cannot be read
    InstallCalCopy(sim);
    // Another program holds COM2.
    ASSERT_TRUE(folder.linkPort(2, heldPort.slavePath()));
    holder.setStandardInputFile(heldPort.slavePath());
    holder.setChildProcessModifier([] { ::closefrom(3); });
    holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(holder.waitForStarted(10000));
    Open();

    ASSERT_TRUE(WaitUntil([&] { return form->Session().IsDeviceReady(); }, 20000));
    EXPECT_EQ(form->Session().PortList(), (QStringList{"COM1", "COM10", "COM3"}));
    ASSERT_EQ(foreign.records().size(), 1);
    ASSERT_EQ(mute.records().size(), 1);
    const qint64 first = foreign.records()[0].monotonicMs;
    const qint64 second = mute.records()[0].monotonicMs;
    const qint64 third = sim.records()[0].monotonicMs;
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_GE(first - started, 1900); // the stored COM7 had the first tick
    EXPECT_TRUE(heldPort.readAvailable().isEmpty());

    // Found, but its range is unreadable: ERRDV06, no homing, no "Device ready.".
    ASSERT_TRUE(WaitUntil([&] { return !form->Session().IsOperationBusy(); }, 20000));
    const int found = messages->IndexOf(Found);
    ASSERT_GE(found, 0);
    EXPECT_EQ(messages->Texts(found),
              (QStringList{Found, ReadingInfo, InfoFailure, ReadingCalData, InfoFailure}));
    EXPECT_EQ(messages->shown.back().colour, StatusColour::Red);
    EXPECT_EQ(Requests(sim),
              (QList<QByteArray>{"?", "INFO 0", "INFO 1", "INFO 2", "POS 3", "BKEN 0"}));
    EXPECT_TRUE(form->Session().IsDeviceReady());
    EXPECT_FALSE(form->Session().IsInfoValid());
    EXPECT_FALSE(form->Session().CalData().Loaded);
    EXPECT_EQ(form->Session().RangeText(), "400-800");
    EXPECT_EQ(form->Session().RangeMin(), -1.0);
    EXPECT_EQ(form->Session().CalData().GetMinCW(), 0.0);
    EXPECT_TRUE(dialog.titles.isEmpty());
    EXPECT_EQ(app->Settings().PortName, "COM3");

    // The link stays open and the ticks go on without another attempt.
    const size_t ticks = tickEnds.size();
    ASSERT_TRUE(WaitUntil([&] { return tickEnds.size() >= ticks + 2; }));
    EXPECT_EQ(foreign.records().size() + mute.records().size() + sim.records().size(), 8);
    EXPECT_EQ(Message()->text(), InfoFailure);

    form->close();
    app.reset();
    EXPECT_TRUE(SettingsOnDisk().contains("PortName=COM3"));
}

TEST_F(ConnectionTest, WithoutAnyPortEveryTickShowsERRDV01UntilAPortAppears) {
    ASSERT_TRUE(QDir().mkpath(folder.filePath(QStringLiteral("Ports"))));
    Open();
    ASSERT_TRUE(WaitUntil([&] { return tickEnds.size() >= 4; }));
    // The first tick tries the stored port; every later one finds no port at all.
    EXPECT_EQ(tickTexts, (QStringList{Searching, NotFound, NotFound, NotFound}));
    EXPECT_EQ(messages->Texts(1), (QStringList{Searching, NotFound}));
    EXPECT_EQ(messages->shown.back().colour, StatusColour::Red);
    for (size_t i = 1; i < tickEnds.size(); ++i) {
        EXPECT_GE(tickEnds[i] - tickEnds[i - 1], 950) << i;
    }
    EXPECT_FALSE(form->Session().IsDeviceReady());

    // The list is rebuilt at every tick, so a port that appears is tried at the next one.
    ksim::VirtualInstrument &sim = Instrument(9);
    Control(sim, "noreply on");
    ASSERT_TRUE(WaitUntil([&] { return !sim.records().isEmpty(); }));
    EXPECT_EQ(form->Session().PortList(), QStringList{"COM9"});
    EXPECT_EQ(Message()->text(), Searching);
}

TEST_F(ConnectionTest, LinkLostDuringTheStartUpEndsTheAttemptAndTheSearchGoesOn) {
    WriteSettings("COM5");
    ksim::VirtualInstrument &sim = Instrument(1);
    InstallCalCopy(sim);
    Open();
    // A panel's link test fails in the middle of the settling wait.
    bool played = false;
    messages->OnFirst(Found, 300, [&] {
        sim.unplug();
        PlayLinkTest();
        played = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return played; }, 20000));
    const int lost = messages->IndexOf(LinkLost);
    ASSERT_GE(lost, 0);
    ASSERT_TRUE(WaitForMessage(NotFound, lost));
    // The attempt stopped where it was: nothing read, nothing stored, ERRDV02 stood until the
    // next tick found no port.
    EXPECT_EQ(messages->Texts(lost), (QStringList{LinkLost, NotFound}));
    EXPECT_EQ(Requests(sim), QList<QByteArray>{"?"});
    EXPECT_EQ(app->Settings().PortName, "COM5");
    EXPECT_FALSE(form->Session().IsDeviceReady());
    EXPECT_FALSE(form->Session().IsOperationBusy());
    EXPECT_TRUE(form->Session().SearchTimer().isActive());
}

// Where the window's close arrives in an attempt; the last is the repaint of "Device ready.".
enum class CloseAt { Settling, IdentificationReply, InformationReply, HomingReply, ReadyMessage };

class CloseDuringAttemptTest : public ConnectionTest,
                               public ::testing::WithParamInterface<CloseAt> {};

TEST_P(CloseDuringAttemptTest, EndsTheAttemptAtOnceAndExitsCleanly) {
    ksim::VirtualInstrument &sim = Instrument(1);
    InstallCalCopy(sim);
    Open();
    qint64 closeStarted = 0;
    qint64 closeReturned = 0;
    int requestsAtClose = 0;
    QString textAtClose;
    const auto closeWindow = [&] {
        closeStarted = MonotonicMs();
        requestsAtClose = sim.totalRequests();
        textAtClose = Message()->text();
        form->close();
        closeReturned = MonotonicMs();
        // Marks the port list the window's own close left, to see the tick's late close.
        form->Session().AddToPortList(QStringLiteral("COM99"));
    };
    if (GetParam() == CloseAt::Settling) {
        messages->OnFirst(Found, 300, closeWindow);
    } else if (GetParam() == CloseAt::ReadyMessage) {
        messages->OnFirst(Ready, 0, closeWindow);
    } else {
        const QByteArray request = GetParam() == CloseAt::IdentificationReply ? "?"
                                   : GetParam() == CloseAt::InformationReply  ? "INFO 1"
                                                                              : "HOME 3";
        QObject::connect(&sim, &ksim::VirtualInstrument::requestReceived, form,
                         [&, request](const ksim::RequestRecord &record) {
                             if (record.text == request)
                                 QTimer::singleShot(0, form, closeWindow);
                         });
    }
    ASSERT_TRUE(WaitUntil([&] { return closeReturned > 0 && !tickEnds.empty(); }, 30000));
    // The attempt has ended without another word to the instrument.
    EXPECT_EQ(sim.totalRequests(), requestsAtClose);
    EXPECT_EQ(Message()->text(), textAtClose);
    EXPECT_EQ(messages->Seen(Ready), GetParam() == CloseAt::ReadyMessage);
    EXPECT_TRUE(form->IsShuttingDown());
    EXPECT_FALSE(form->Session().IsDeviceReady());
    EXPECT_FALSE(form->Session().IsOperationBusy());
    EXPECT_FALSE(form->Session().Device().isOpen());
    EXPECT_FALSE(form->Session().SearchTimer().isActive());
    EXPECT_FALSE(form->Session().PortList().contains("COM99")); // the tick closed once more
    EXPECT_GE(closeReturned - closeStarted, 1900);

    // Objects go only now. Whatever is still pending (a late reply, a port released later)
    // runs after them and must find nothing of the window.
    app.reset();
    EXPECT_TRUE(SettingsOnDisk().contains("[ComPort]"));
    WaitUntil([] { return false; }, 200);
}

std::string CloseAtName(const ::testing::TestParamInfo<CloseAt> &info) {
    static const char *const names[] = {"Settling", "IdentificationReply", "InformationReply",
                                        "HomingReply", "ReadyMessage"};
    return names[int(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Waits, CloseDuringAttemptTest,
                         ::testing::Values(CloseAt::Settling, CloseAt::IdentificationReply,
                                           CloseAt::InformationReply, CloseAt::HomingReply,
                                           CloseAt::ReadyMessage),
                         CloseAtName);

} // namespace
