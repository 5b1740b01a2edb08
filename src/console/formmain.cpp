#include "console/formmain.h"

#include "caldata/caldata.h"
#include "console/formcaldata.h"
#include "console/formcontrolhelp.h"
#include "console/formcontrollist.h"
#include "console/formcontrolscan.h"
#include "console/formcontrolset.h"
#include "console/formcontrolview.h"
#include "console/scanprogressview.h"
#include "console/screenfit.h"
#include "core/eventwait.h"
#include "resources/artwork.h"
#include "resources/consolewidgets.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QScreen>
#include <QShortcut>
#include <QWindow>

#include <algorithm>

namespace {

const QColor Background{0x16, 0x16, 0x16};
const QColor MessageText{0xa4, 0xa4, 0xa4};

constexpr int PanelMainHeight = 242;
constexpr int PanelMainHelpHeight = 426;
constexpr int KnobLeftStop = 574;
constexpr int KnobRightStop = 638;
constexpr int CloseSettleRoundMs = 100;
// The lit fill of the opacity groove in the window (slide_base at 560,10 draws it).
constexpr int GrooveTop = 21;
constexpr int GrooveHeight = 5;
constexpr int GrooveRight = 658;

int ModeShown(int mode) {
    return mode == 0 || mode == 1 || mode == 3 ? mode : 2;
}

} // namespace

TForm_Main::TForm_Main(TInstrumentSession &session, bool debugMode)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), InstrumentSession(session),
      DebugMode(debugMode) {
    CreateComponents();
    FormCreate();
}

TForm_Main::~TForm_Main() {
    // A window destroyed without having been closed still closes the normal way first.
    if (!IsShuttingDown())
        FormClose();
    DestroyOwnedObjects();
}

void TForm_Main::CreateComponents() {
    InstallInterfaceFonts();
    setObjectName(QStringLiteral("Form_Main"));
    setWindowTitle(QStringLiteral("Kestrune v1.0"));
    setWindowIcon(ArtworkPixmap(QStringLiteral("logo")));
    setFixedSize(910, 624);
    FitScreenToWindow(*this);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Background);
    setPalette(pal);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    setWindowOpacity(1.0);
    if (const QScreen *screen = this->screen())
        move(StartPosition(screen->availableGeometry(), size()));

    Panel_Title = NewPanel(this, QStringLiteral("Panel_Title"), QRect(0, 0, 910, 60), Background);
    Image_Title_Base = new TPicture(Panel_Title, QStringLiteral("Image_Title_Base"),
                                    QStringLiteral("title_base"), QRect(0, 0, 910, 60));
    Image_Title_Button1 = new TPicture(Panel_Title, QStringLiteral("Image_Title_Button1"),
                                       QStringLiteral("title_minimise"), QRect(776, 2, 40, 40));
    Image_Title_Button2 = new TPicture(Panel_Title, QStringLiteral("Image_Title_Button2"),
                                       QStringLiteral("title_close"), QRect(836, 2, 40, 40));
    Image_Slide_Base = new TPicture(Panel_Title, QStringLiteral("Image_Slide_Base"),
                                    QStringLiteral("slide_base"), QRect(560, 10, 120, 27));
    // The groove's lit fill ends at the knob: the part right of it shows the empty groove.
    Panel_Slide_Rest = NewPanel(Panel_Title, QStringLiteral("Panel_Slide_Rest"), QRect(),
                                QColor(0x0c, 0x0c, 0x0c));
    Panel_Slide_Rest->setAttribute(Qt::WA_TransparentForMouseEvents);
    Image_Slide_Button =
        new TPicture(Panel_Title, QStringLiteral("Image_Slide_Button"),
                     QStringLiteral("slide_button"), QRect(KnobRightStop, 9, 29, 29));
    ShowGrooveRest();

    Panel_TabControl =
        NewPanel(this, QStringLiteral("Panel_TabControl"), QRect(0, 64, 910, 48), Background);
    auto tab = [this](const char *name, const char *artwork, int left) {
        return new TPicture(Panel_TabControl, QString::fromLatin1(name),
                            QString::fromLatin1(artwork), QRect(left, 8, 140, 40));
    };
    Image_Tab1_On = tab("Image_Tab1_On", "tab_set_on", 32);
    Image_Tab1_Off = tab("Image_Tab1_Off", "tab_set_off", 32);
    Image_Tab2_On = tab("Image_Tab2_On", "tab_scan_on", 172);
    Image_Tab2_Off = tab("Image_Tab2_Off", "tab_scan_off", 172);
    Image_Tab3_On = tab("Image_Tab3_On", "tab_help_on", 312);
    Image_Tab3_Off = tab("Image_Tab3_Off", "tab_help_off", 312);
    Image_Tab4_On = tab("Image_Tab4_On", "tab_list_on", 452);
    Image_Tab4_Off = tab("Image_Tab4_Off", "tab_list_off", 452);
    const struct {
        const char *name, *caption, *toolTip;
    } keyTabs[] = {{"Key_Tab1", "SET", "One pass band (Ctrl+1)"},
                   {"Key_Tab2", "SCAN", "A series of pass bands (Ctrl+2)"},
                   {"Key_Tab3", "HELP", "How the tabs work (Ctrl+3)"},
                   {"Key_Tab4", "LIST", "Any list of pass bands, timed or stepped (Ctrl+4)"}};
    for (int mode = 0; mode < 4; ++mode) {
        auto *key = new TKeyButton(Panel_TabControl, QString::fromLatin1(keyTabs[mode].name),
                                   QRect(32 + 140 * mode, 8, 140, 40),
                                   QString::fromLatin1(keyTabs[mode].caption),
                                   QString::fromLatin1(keyTabs[mode].toolTip));
        connect(key, &TKeyButton::clicked, this, [this, mode] { KeyboardSelectTab(mode, false); });
        auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + mode)), this);
        connect(shortcut, &QShortcut::activated, this,
                [this, mode] { KeyboardSelectTab(mode, true); });
    }

    Panel_Main = NewPanel(this, QStringLiteral("Panel_Main"), QRect(0, 112, 910, PanelMainHeight),
                          Background);
    Panel_View = NewPanel(this, QStringLiteral("Panel_View"), QRect(0, 368, 910, 170), Background);

    Panel_Message =
        NewPanel(this, QStringLiteral("Panel_Message"), QRect(0, 554, 910, 70), Background);
    Image_Message_Base = new TPicture(Panel_Message, QStringLiteral("Image_Message_Base"),
                                      QStringLiteral("message_base"), QRect(0, 0, 910, 70));
    Label_Message = NewLabel(Panel_Message, QStringLiteral("Label_Message"), QRect(64, 20, 704, 28),
                             21, MessageText, Qt::black);
    Label_Message->setText(QStringLiteral("Please wait..."));
    // The whole bar takes the double click, the text included.
    Label_Message->setAttribute(Qt::WA_TransparentForMouseEvents);

    const struct {
        TPicture *picture;
        const char *name, *toolTip;
    } described[] = {
        {Image_Title_Base, "Title bar", "Drag to move the window"},
        {Image_Title_Button1, "Minimise", "Minimises the window"},
        {Image_Title_Button2, "Close", "Closes Kestrune; refused while an operation runs"},
        {Image_Slide_Button, "Opacity", "Drag left to dim the window, down to half opacity"},
        {Image_Message_Base, "Message bar", "What the last operation reported"},
    };
    for (const auto &item : described) {
        item.picture->setAccessibleName(QString::fromLatin1(item.name));
        item.picture->setToolTip(QString::fromLatin1(item.toolTip));
    }
    Label_Message->setAccessibleName(QStringLiteral("Message"));

    connect(Image_Title_Base, &TPicture::MouseDown, this, &TForm_Main::Image_Title_BaseMouseDown);
    connect(Image_Title_Base, &TPicture::MouseMove, this, &TForm_Main::Image_Title_BaseMouseMove);
    connect(Image_Title_Base, &TPicture::MouseUp, this, [this] { TitleDragging = false; });
    connect(Image_Title_Button1, &TPicture::Click, this, &TForm_Main::Image_Title_Button1Click);
    connect(Image_Title_Button2, &TPicture::Click, this, &TForm_Main::Image_Title_Button2Click);
    const TPicture *const tabs[] = {Image_Tab1_On, Image_Tab1_Off, Image_Tab2_On, Image_Tab2_Off,
                                    Image_Tab3_On, Image_Tab3_Off, Image_Tab4_On, Image_Tab4_Off};
    for (int i = 0; i < 8; ++i)
        connect(tabs[i], &TPicture::Click, this, [this, mode = i / 2] { SelectTab(mode); });
    connect(Image_Slide_Button, &TPicture::MouseDown, this,
            &TForm_Main::Image_Slide_ButtonMouseDown);
    connect(Image_Slide_Button, &TPicture::MouseMove, this,
            &TForm_Main::Image_Slide_ButtonMouseMove);
    connect(Image_Slide_Button, &TPicture::MouseUp, this, &TForm_Main::Image_Slide_ButtonMouseUp);
    connect(Image_Message_Base, &TPicture::DblClick, this, &TForm_Main::Image_Message_BaseDblClick);
}

// Creation, in this order: the panels and the position view, the drawing of what the session
// reports, the tab.
void TForm_Main::FormCreate() {
    InstrumentSession.SetCalFileDialog(&OpenDialog_CalData);
    Form_ControlSet = new TForm_ControlSet(InstrumentSession, Panel_Main);
    Form_ControlScan = new TForm_ControlScan(InstrumentSession, Panel_Main);
    Form_ControlHelp = new TForm_ControlHelp(Panel_Main);
    Form_ControlList = new TForm_ControlList(InstrumentSession, Panel_Main);
    Form_ControlView = new TForm_ControlView(Panel_View);
    // In the message frame's window, under the message.
    Form_ScanProgress = new TForm_ScanProgress(InstrumentSession, Panel_Message);
    Form_ScanProgress->setGeometry(52, 49, 728, 21);

    TInstrumentSession *session = &InstrumentSession;
    connect(session, &TInstrumentSession::StatusMessage, this, &TForm_Main::ShowStatusMessage);
    connect(session, &TInstrumentSession::UpdateUIRequested, this, &TForm_Main::Action_UpdateUI);
    connect(session, &TInstrumentSession::OperationPressed, this,
            &TForm_Main::ShowOperationPressed);
    connect(session, &TInstrumentSession::RangeReady, Form_ControlView,
            &TForm_ControlView::ShowRange);
    connect(session, &TInstrumentSession::SetPointShown, Form_ControlView,
            &TForm_ControlView::ShowSetPoint);
    connect(session, &TInstrumentSession::LinkClosed, Form_ControlView,
            &TForm_ControlView::ClearView);

    Action_ChangeMode();
    Action_UpdateUI();
}

void TForm_Main::closeEvent(QCloseEvent *event) {
    // A close that arrives while the window is closing (from inside the waits below, or from a
    // second signal) changes nothing; the close under way finishes the job.
    if (IsShuttingDown()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TForm_Main::FormClose() {
    // Whatever asked for the close (the window system, a logout, a signal), a running scan ends
    // as the operator's abort before its link goes, not as an instrument failure.
    InstrumentSession.AbortScanForClose();
    InstrumentSession.BeginShutdown();
    emit Closing();
    InstrumentSession.EndSearch();
    // Lets whatever the close set off run out: socket and serial events, and the waits that
    // were on the stack when the close came, which all return on the shutdown flag.
    if (CloseSettleRounds > 0)
        WaitWithEvents(CloseSettleRounds, CloseSettleRoundMs, [] { return false; });
}

// Destruction, in this order: the scan progress, the mapping data window, the position view and
// the panels (LIST, HELP, SCAN, SET); the session keeps no pointer into any of them.
void TForm_Main::DestroyOwnedObjects() {
    InstrumentSession.SetCalFileDialog(nullptr);
    delete Form_ScanProgress;
    Form_ScanProgress = nullptr;
    delete Form_CalData;
    delete Form_ControlView;
    Form_ControlView = nullptr;
    delete Form_ControlList;
    Form_ControlList = nullptr;
    delete Form_ControlHelp;
    Form_ControlHelp = nullptr;
    delete Form_ControlScan;
    Form_ControlScan = nullptr;
    delete Form_ControlSet;
    Form_ControlSet = nullptr;
}

void TForm_Main::ShowStatusMessage(const QString &text, const QColor &colour) {
    SetTextColour(Label_Message, colour);
    Label_Message->setText(text);
    Label_Message->repaint();
    QCoreApplication::processEvents();
}

void TForm_Main::SetCalFileDialog(ICalFileDialog *dialog) {
    InstrumentSession.SetCalFileDialog(dialog);
}

void TForm_Main::SwitchToTab(int mode) {
    Mode = mode;
    Action_ChangeMode();
    Action_UpdateUI();
}

void TForm_Main::ShowRemoteSetBand(int inputMode, const QString &first, const QString &second) {
    SwitchToTab(ConsoleTab::Set);
    Form_ControlSet->ShowRemoteParameters(inputMode, first, second);
}

void TForm_Main::ShowRemoteScan(const TScanPlanTexts &texts) {
    SwitchToTab(ConsoleTab::Scan);
    Form_ControlScan->ShowRemoteParameters(texts);
}

void TForm_Main::ShowRemoteReset() {
    if (Mode != ConsoleTab::Set && Mode != ConsoleTab::Scan)
        SwitchToTab(ConsoleTab::Set);
}

void TForm_Main::ShowRemoteStop() {
    SwitchToTab(ConsoleTab::Scan);
}

// A band-list run, the operator's or a client's, shows on the LIST tab. A remote request may
// switch the tab while a Reset runs (the lock refuses the request itself), so its release goes
// to the panel that showed it pressed.
void TForm_Main::ShowOperationPressed(TOperation operation, bool pressed) {
    if (operation == TOperation::BandList) {
        if (pressed && Mode != ConsoleTab::List)
            SwitchToTab(ConsoleTab::List);
        Form_ControlList->ShowRunPressed(pressed);
        return;
    }
    TForm_ControlPanel *panel = Form_ControlSet;
    if (operation == TOperation::Scan) {
        panel = Form_ControlScan;
    } else if (operation == TOperation::Reset && pressed) {
        if (Mode == ConsoleTab::Scan)
            panel = Form_ControlScan;
        else if (Mode == ConsoleTab::List)
            panel = Form_ControlList;
        ResetPanel = panel;
    } else if (operation == TOperation::Reset && ResetPanel) {
        panel = ResetPanel;
    }
    panel->ShowOperationPressed(operation, pressed);
}

// Both refresh what is shown from state that is already right, so a failure inside them (its
// repaint runs events) is passed over rather than ending the operation that asked for it.
void TForm_Main::Action_UpdateUI() {
    // Closing the link on the way out would show "No Device" in red for the last seconds.
    if (IsShuttingDown())
        return;
    try {
        const int mode = ModeShown(Mode);
        Image_Tab1_On->setVisible(mode == 0);
        Image_Tab1_Off->setVisible(mode != 0);
        Image_Tab2_On->setVisible(mode == 1);
        Image_Tab2_Off->setVisible(mode != 1);
        Image_Tab3_On->setVisible(mode == 2);
        Image_Tab3_Off->setVisible(mode != 2);
        Image_Tab4_On->setVisible(mode == 3);
        Image_Tab4_Off->setVisible(mode != 3);
        // The panels are gone once the window is being destroyed.
        if (Form_ControlSet)
            Form_ControlSet->Action_UpdateUI();
        if (Form_ControlScan)
            Form_ControlScan->Action_UpdateUI();
        if (Form_ControlList)
            Form_ControlList->Action_UpdateUI();
    } catch (...) {
    }
}

void TForm_Main::Action_ChangeMode() {
    try {
        const int mode = ModeShown(Mode);
        Form_ControlSet->setVisible(mode == 0);
        Form_ControlScan->setVisible(mode == 1);
        Form_ControlHelp->setVisible(mode == 2);
        Form_ControlList->setVisible(mode == 3);
        Form_ControlView->setVisible(mode != 2);
        Panel_Main->resize(Panel_Main->width(), mode == 2 ? PanelMainHelpHeight : PanelMainHeight);
        Panel_View->setVisible(mode != 2);
    } catch (...) {
    }
}

QPoint TForm_Main::StartPosition(const QRect &available, const QSize &size) {
    const QPoint centred = available.center() - QRect(QPoint(0, 0), size).center();
    return {std::max(centred.x(), available.left()), std::max(centred.y(), available.top())};
}

void TForm_Main::Image_Title_BaseMouseDown(const QPoint &pos) {
    QWindow *window = windowHandle();
    TitleDragging = window == nullptr || !window->startSystemMove();
    TitleGrab = pos;
}

// The title bar moves with the window, so the grab point comes back under the mouse.
void TForm_Main::Image_Title_BaseMouseMove(const QPoint &pos) {
    if (TitleDragging)
        move(this->pos() + pos - TitleGrab);
}

void TForm_Main::Image_Title_Button1Click() {
    showMinimized();
}

void TForm_Main::Image_Title_Button2Click() {
    if (IsShuttingDown())
        return;
    if (InstrumentSession.IsOperationBusy()) {
        FlashRefusal(Image_Title_Button2);
        return;
    }
    close();
}

bool TForm_Main::SelectTab(int mode) {
    if (InstrumentSession.IsOperationBusy()) {
        FlashRefusal(TabPicture(mode));
        return false;
    }
    const bool changed = ModeShown(mode) != ModeShown(Mode);
    Mode = mode;
    Action_ChangeMode();
    Action_UpdateUI();
    if (changed)
        RedrawViewForTab();
    return true;
}

// The keyboard's way to the tabs follows the click's rule, and the remote client's lock-out.
void TForm_Main::KeyboardSelectTab(int mode, bool intoFirstBox) {
    if (InstrumentSession.IsRemoteControlled()) {
        FlashRefusal(TabPicture(mode));
        return;
    }
    if (SelectTab(mode) && intoFirstBox)
        FocusFirstBox();
}

// Typing goes where the shortcut's tab wants it: the first box of SET and SCAN, LIST's table,
// HELP's key.
void TForm_Main::FocusFirstBox() {
    QWidget *first = nullptr;
    switch (ModeShown(Mode)) {
    case ConsoleTab::Set:
        first = Form_ControlSet->FirstBox();
        break;
    case ConsoleTab::Scan:
        first = Form_ControlScan->FirstBox();
        break;
    case ConsoleTab::List:
        first = Form_ControlList->FirstBox();
        break;
    default:
        first = findChild<QWidget *>(QStringLiteral("Key_Tab3"));
        break;
    }
    if (first)
        first->setFocus(Qt::ShortcutFocusReason);
}

QWidget *TForm_Main::TabPicture(int mode) const {
    switch (ModeShown(mode)) {
    case ConsoleTab::Set:
        return Image_Tab1_Off->isVisible() ? Image_Tab1_Off : Image_Tab1_On;
    case ConsoleTab::Scan:
        return Image_Tab2_Off->isVisible() ? Image_Tab2_Off : Image_Tab2_On;
    case ConsoleTab::List:
        return Image_Tab4_Off->isVisible() ? Image_Tab4_Off : Image_Tab4_On;
    default:
        return Image_Tab3_Off->isVisible() ? Image_Tab3_Off : Image_Tab3_On;
    }
}

// SET shows the whole table's range and SCAN a scan's own: a tab switch draws the current band
// on the scale of the tab now shown.
void TForm_Main::RedrawViewForTab() {
    const TCalData &table = InstrumentSession.CalData();
    if (!InstrumentSession.IsDeviceReady() || !table.Loaded || ModeShown(Mode) != ConsoleTab::Set)
        return;
    const double low = table.GetMinCW() - ViewMarginNm;
    const double high = table.GetMaxCW() + ViewMarginNm;
    if (const std::optional<TBand> band = InstrumentSession.CurrentBand())
        Form_ControlView->ShowSetPoint(low, high, band->CWL, band->FWHM, band->SW, band->LW);
    else
        Form_ControlView->ShowRange(low, high);
}

void TForm_Main::Image_Slide_ButtonMouseDown(const QPoint &pos) {
    KnobDragging = true;
    KnobGrabX = pos.x();
}

// Opacity 127 of 255 at the left stop, 255 at the right stop.
void TForm_Main::Image_Slide_ButtonMouseMove(const QPoint &pos) {
    if (!KnobDragging)
        return;
    const int left =
        std::clamp(Image_Slide_Button->x() + pos.x() - KnobGrabX, KnobLeftStop, KnobRightStop);
    Image_Slide_Button->move(left, Image_Slide_Button->y());
    ShowGrooveRest();
    setWindowOpacity((2 * (left - 512) + 3) / 255.0);
}

void TForm_Main::ShowGrooveRest() {
    const int knobCentre = Image_Slide_Button->x() + Image_Slide_Button->width() / 2;
    Panel_Slide_Rest->setGeometry(knobCentre, GrooveTop, GrooveRight - knobCentre, GrooveHeight);
}

void TForm_Main::Image_Slide_ButtonMouseUp() {
    KnobDragging = false;
}

void TForm_Main::Image_Message_BaseDblClick() {
    if (!DebugMode)
        return;
    if (!Form_CalData)
        Form_CalData = new TForm_CalData(InstrumentSession.CalData(), this);
    Form_CalData->show();
    Form_CalData->raise();
    Form_CalData->activateWindow();
}
