#include "console/formcontrolscan.h"

#include "caldata/caldata.h"
#include "core/numbers.h"
#include "resources/consolewidgets.h"

#include <QCoreApplication>
#include <QShortcut>

#include <array>

namespace {
const QColor EditBackground{0x22, 0x22, 0x22};
constexpr int EditTypingLimit = 5;
constexpr std::array<int, TForm_ControlScan::EditCount> CapLefts{56, 176, 296, 416, 536};
} // namespace

TForm_ControlScan::TForm_ControlScan(TInstrumentSession &session, QWidget *parent)
    : TForm_ControlPanel(session, QStringLiteral("Form_ControlScan"), QStringLiteral("scan"),
                         QRect(674, 88, 75, 135), QRect(756, 88, 101, 135), parent) {
    for (int i = 0; i < EditCount; ++i) {
        const QString n = QString::number(i + 1);
        Image_Edit[i] =
            new TPicture(Panel_Main, QStringLiteral("Image_Edit") + n,
                         QStringLiteral("scan_edit") + n, QRect(CapLefts[i], 88, 119, 135));
    }
    // The edits after all the caps, so that none of them lies under the next cap.
    for (int i = 0; i < EditCount; ++i) {
        Edit[i] = new TLimitedEdit(Panel_Main, QStringLiteral("Edit") + QString::number(i + 1),
                                   QRect(CapLefts[i] + 12, 164, 96, 48), 32, EditBackground,
                                   EditTypingLimit);
        if (i > 0)
            QWidget::setTabOrder(Edit[i - 1], Edit[i]);
        TLimitedEdit *edit = Edit[i];
        connect(edit, &TLimitedEdit::Click, this, [this, edit] { EditClick(edit); });
    }
    QWidget::setTabOrder(Edit[EditCount - 1], Key_Button3);
    QWidget::setTabOrder(Key_Button3, Key_Button4);
    Image_Button4_Stop =
        new TPicture(Panel_Main, QStringLiteral("Image_Button4_Stop"),
                     QStringLiteral("scan_button4_stop"), QRect(756, 88, 101, 135));
    Image_Button4_Stop->setToolTip(QStringLiteral("Stops the scan (Space or Escape)"));
    Image_Button4_Stop->hide();
    connect(Image_Button4_Stop, &TPicture::Click, this, &TForm_ControlScan::Image_Button4Click);
    // The keyboard's Go lies over every picture of its place.
    Key_Button4->raise();
    AddEntryControls({Image_Button4_Stop});
    GoOnEnter({Edit[0], Edit[1], Edit[2], Edit[3], Edit[4]});
    AddEntryControls({Edit[0], Edit[1], Edit[2], Edit[3], Edit[4]});
    // Escape stops a running scan the way Go does; in remote mode the client decides.
    auto *stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this, [this] {
        if (Session.IsScanning() && !Session.IsRemoteControlled())
            Image_Button4Click();
    });

    connect(&Session, &TInstrumentSession::ScanProgressChanged, this,
            &TForm_ControlScan::ShowScanRunning);
    FormCreate();
}

void TForm_ControlScan::FormCreate() {
    for (TLimitedEdit *edit : Edit)
        edit->clear();
    Action_Button3_Up();
    Action_Button4_Up();
    Action_RemoteControl_Disable();
    Action_UpdateUI();
    ShownRunning = true; // draws the idle state once
    ShowScanRunning();
}

void TForm_ControlScan::ShowScanRunning() {
    const bool running = Session.IsScanning();
    if (running == ShownRunning)
        return;
    ShownRunning = running;
    for (TLimitedEdit *edit : Edit)
        edit->setReadOnly(running);
    Image_Button4_Stop->setVisible(running);
    if (running)
        Image_Button4_Stop->raise();
    Key_Button4->raise();
    Key_Button4->setAccessibleName(running ? QStringLiteral("Stop") : QStringLiteral("Go"));
    Key_Button4->setToolTip(running ? QStringLiteral("Stops the scan (Space or Escape)")
                                    : QStringLiteral("Starts the scan (Space, or Enter in a box)"));
}

QWidget *TForm_ControlScan::FirstBox() const {
    return Edit[0];
}

void TForm_ControlScan::Action_UpdateUI() {
    TForm_ControlPanel::Action_UpdateUI();
    DescribeEdits();
    QCoreApplication::processEvents();
}

void TForm_ControlScan::DescribeEdits() {
    const TCalData &table = Session.CalData();
    const QString cw = CentreText();
    const struct {
        const char *name;
        QString toolTip;
    } boxes[EditCount] = {
        {"START", QStringLiteral("Centre wavelength of the first point: ") + cw},
        {"END", QStringLiteral("Centre wavelength of the last point: ") + cw},
        {"FWHM", QStringLiteral("Width of every band: ") + WidthsText()},
        {"STEP", table.Loaded ? QStringLiteral("Distance between points: a whole multiple of ") +
                                    FormatFloat(QStringLiteral("0.0"), table.GetCWStep()) +
                                    QStringLiteral(" nm, the table's CW interval")
                              : QStringLiteral("Distance between points: no calibration table "
                                               "loaded")},
        {"Time delay", QStringLiteral("Dwell at each point: 0.1 to 600 s")},
    };
    for (int i = 0; i < EditCount; ++i) {
        Edit[i]->setAccessibleName(QString::fromLatin1(boxes[i].name));
        Edit[i]->setToolTip(boxes[i].toolTip);
    }
}

// A click empties the box, ready for a new value; the running plan stays.
void TForm_ControlScan::EditClick(TLimitedEdit *edit) {
    if (!edit->isReadOnly())
        edit->clear();
}

void TForm_ControlScan::ShowRemoteParameters(const TScanPlanTexts &texts) {
    const std::array<const QString *, EditCount> boxes{&texts.START, &texts.END, &texts.FWHM,
                                                       &texts.STEP, &texts.TimeDelay};
    for (int i = 0; i < EditCount; ++i)
        Edit[i]->setText(*boxes[i]);
    QCoreApplication::processEvents();
}

// Go stops a running scan; the session's check timer reports the abort.
void TForm_ControlScan::Image_Button4Click() {
    if (Session.IsScanning())
        Session.StopScan(TRequester::Operator);
    else
        Session.StartScan(TRequester::Operator, PlanTexts());
}

TScanPlanTexts TForm_ControlScan::PlanTexts() const {
    return {Edit[0]->text(), Edit[1]->text(), Edit[2]->text(), Edit[3]->text(), Edit[4]->text()};
}
