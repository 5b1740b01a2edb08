#include "console/formcontrollist.h"

#include "caldata/caldata.h"
#include "core/numbers.h"
#include "resources/consolewidgets.h"
#include "session/statuscolour.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QShortcut>
#include <QTableView>

namespace {

const QColor EditBackground{0x22, 0x22, 0x22};
const QColor TableText{0xe4, 0xe4, 0xe4};
const QColor Refused{0xff, 0x50, 0x50};
constexpr int CyclesTypingLimit = 5;
constexpr int Columns = 4; // CWL, FWHM, dwell, and the rule an entry breaks
const QString FileFilter = QStringLiteral("Band lists (*.csv)");

QString Tenths(double value) {
    return QString::number(value, 'f', 1);
}

// The console's dark file dialogs, Qt's own so that they take its colours.
class TDarkFileDialog : public IBandListFileDialog {
public:
    explicit TDarkFileDialog(QWidget *parent) : Parent(parent) {}
    QString OpenPath() override { return Run(QFileDialog::AcceptOpen, QStringLiteral("Load")); }
    QString SavePath() override { return Run(QFileDialog::AcceptSave, QStringLiteral("Save")); }

private:
    QString Run(QFileDialog::AcceptMode mode, const QString &verb) {
        QFileDialog dialog(Parent, verb + QStringLiteral(" band list"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setPalette(DarkPalette());
        dialog.setAcceptMode(mode);
        dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
        dialog.setNameFilter(FileFilter);
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().first();
    }
    QWidget *Parent;
};

} // namespace

// The band list as rows. It reads the session's list directly, so a list of 10,000 entries costs
// only the rows on screen; each row's check runs when the row is drawn.
class TBandListModel : public QAbstractTableModel {
public:
    TBandListModel(TInstrumentSession &session, QObject *parent)
        : QAbstractTableModel(parent), Session(session) {
        connect(&Session.BandList(), &TBandList::Changed, this, [this] {
            if (!Editing) {
                beginResetModel();
                endResetModel();
            }
        });
        // The marks depend on the table, which comes and goes with the instrument.
        connect(&Session, &TInstrumentSession::RangeReady, this, &TBandListModel::Remark);
        connect(&Session, &TInstrumentSession::LinkClosed, this, &TBandListModel::Remark);
    }

    int rowCount(const QModelIndex &parent = {}) const override {
        return parent.isValid() ? 0 : List().Count();
    }
    int columnCount(const QModelIndex &parent = {}) const override {
        return parent.isValid() ? 0 : Columns;
    }

    QVariant data(const QModelIndex &index, int role) const override {
        if (!index.isValid() || index.row() >= List().Count())
            return {};
        const TBandListEntry &entry = List().Entries().at(index.row());
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            switch (index.column()) {
            case 0:
                return Tenths(entry.CWL);
            case 1:
                return Tenths(entry.FWHM);
            case 2:
                return Tenths(entry.Dwell);
            default:
                return Mark(entry);
            }
        }
        if (role == Qt::ForegroundRole)
            return Mark(entry).isEmpty() ? TableText : Refused;
        if (role == Qt::ToolTipRole)
            return Mark(entry);
        if (role == Qt::TextAlignmentRole && index.column() < 3)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole)
            return {};
        if (orientation == Qt::Vertical)
            return section + 1;
        const char *captions[Columns] = {"CWL (nm)", "FWHM (nm)", "Dwell (s)", "Check"};
        return QString::fromLatin1(captions[section]);
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override {
        const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
        return index.column() < 3 && !Session.IsScanning() ? flags | Qt::ItemIsEditable : flags;
    }

    // A cell takes its text as SETC and SCAN read theirs; the row is then checked again.
    bool setData(const QModelIndex &index, const QVariant &value, int role) override {
        if (role != Qt::EditRole || index.column() >= 3 || Session.IsScanning())
            return false;
        QString texts[3];
        for (int c = 0; c < 3; ++c)
            texts[c] = c == index.column()
                           ? value.toString()
                           : data(this->index(index.row(), c), Qt::EditRole).toString();
        Editing = true;
        const bool replaced = Session.BandList().Replace(
            index.row(), ReadBandListEntry(texts[0], texts[1], texts[2]));
        Editing = false;
        if (replaced)
            emit dataChanged(this->index(index.row(), 0), this->index(index.row(), Columns - 1));
        return replaced;
    }

    bool InsertEntry(int row, const TBandListEntry &entry) {
        beginInsertRows({}, row, row);
        Editing = true;
        const bool inserted = Session.BandList().Insert(row, entry);
        Editing = false;
        endInsertRows();
        return inserted;
    }

    void RemoveEntry(int row) {
        beginRemoveRows({}, row, row);
        Editing = true;
        Session.BandList().Remove(row);
        Editing = false;
        endRemoveRows();
    }

private:
    const TBandList &List() const { return Session.BandList(); }
    QString Mark(const TBandListEntry &entry) const {
        const TBandListVerdict verdict = CheckBandListEntry(entry, Session.CalData());
        return verdict.Passed ? QString() : verdict.Code + QStringLiteral(" : ") + verdict.Text;
    }
    void Remark() {
        if (rowCount() > 0)
            emit dataChanged(index(0, 0), index(rowCount() - 1, Columns - 1));
    }

    TInstrumentSession &Session;
    bool Editing = false; // the change is this model's own, announced row by row
};

TForm_ControlList::TForm_ControlList(TInstrumentSession &session, QWidget *parent,
                                     IBandListFileDialog *dialog)
    : TForm_ControlPanel(session, QStringLiteral("Form_ControlList"), QStringLiteral("list"),
                         QRect(566, 88, 66, 135), QRect(637, 88, 70, 135), parent),
      OwnDialog(dialog ? nullptr : std::make_unique<TDarkFileDialog>(this)),
      Dialog(dialog ? dialog : OwnDialog.get()) {
    Model = new TBandListModel(Session, this);
    Grid = new QTableView(Panel_Main);
    Grid->setObjectName(QStringLiteral("Grid_BandList"));
    Grid->setAccessibleName(QStringLiteral("Band list"));
    Grid->setGeometry(56, 82, 390, 146);
    Grid->setModel(Model);
    Grid->setPalette(DarkPalette());
    Grid->setFont(ConsoleFont(12));
    Grid->setFrameShape(QFrame::NoFrame);
    Grid->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
    Grid->verticalHeader()->setDefaultSectionSize(20);
    Grid->verticalHeader()->setMinimumWidth(34);
    Grid->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {70, 76, 66};
    for (int c = 0; c < 3; ++c)
        Grid->setColumnWidth(c, widths[c]);
    Grid->setStyleSheet(QStringLiteral(
        "QTableView { background: #080808; color: #e4e4e4; gridline-color: #2a2a2a; "
        "selection-background-color: #1e4f7d; } QHeaderView { background: #080808; } "
        "QHeaderView::section { background: #1c1c1c; color: #a4a4a4; border: 0; "
        "border-right: 1px solid #2a2a2a; border-bottom: 1px solid #2a2a2a; padding: 2px; } "
        "QTableCornerButton::section { background: #1c1c1c; border: 0; }"));
    Grid->setToolTip(QStringLiteral("Insert adds a row after the current one, Delete removes it; "
                                    "type into a cell to change it"));
    Grid->installEventFilter(this);

    Edit_Cycles = new TLimitedEdit(Panel_Main, QStringLiteral("Edit_Cycles"),
                                   QRect(462, 103, 88, 28), 20, EditBackground, CyclesTypingLimit);
    Edit_Cycles->setText(QStringLiteral("1"));
    Edit_Cycles->setAccessibleName(QStringLiteral("Cycles"));
    Edit_Cycles->setToolTip(QStringLiteral("How often a run goes through the list: 1 to 10000"));

    const auto smallKey = [this](const char *name, const char *artwork, const QRect &at,
                                 const char *caption, const char *toolTip,
                                 void (TForm_ControlList::*click)()) {
        auto *picture = new TPicture(Panel_Main, QStringLiteral("Image_") + QLatin1String(name),
                                     QString::fromLatin1(artwork), at);
        connect(picture, &TPicture::Click, this, click);
        auto *key = new TKeyButton(Panel_Main, QStringLiteral("Key_") + QLatin1String(name), at,
                                   QString::fromLatin1(caption), QString::fromLatin1(toolTip));
        connect(key, &TKeyButton::clicked, this, click);
        AddEntryControls({picture, key});
        return key;
    };
    Key_Add =
        smallKey("Add", "list_add", QRect(456, 144, 48, 36), "Add",
                 "Adds an entry after the current one (Insert)", &TForm_ControlList::AddClick);
    Key_Remove = smallKey("Remove", "list_remove", QRect(508, 144, 48, 36), "Remove",
                          "Removes the current entry (Delete)", &TForm_ControlList::RemoveClick);
    Key_Load = smallKey("Load", "list_load", QRect(456, 188, 48, 36), "Load",
                        "Replaces the list with one from a file", &TForm_ControlList::LoadClick);
    Key_Save = smallKey("Save", "list_save", QRect(508, 188, 48, 36), "Save",
                        "Saves the list to a file", &TForm_ControlList::SaveClick);

    const auto pair = [this](const char *name, const QRect &at, TPicture *&on, TPicture *&off,
                             void (TForm_ControlList::*click)()) {
        on =
            new TPicture(Panel_Main, QStringLiteral("Image_%1_On").arg(QLatin1String(name)),
                         QStringLiteral("list_%1_on").arg(QString::fromLatin1(name).toLower()), at);
        off = new TPicture(Panel_Main, QStringLiteral("Image_%1_Off").arg(QLatin1String(name)),
                           QStringLiteral("list_%1_off").arg(QString::fromLatin1(name).toLower()),
                           at);
        on->hide();
        for (TPicture *picture : {on, off})
            connect(picture, &TPicture::Click, this, click);
    };
    pair("Button5", QRect(712, 88, 70, 135), Image_Button5_On, Image_Button5_Off,
         &TForm_ControlList::StepClick);
    pair("Button6", QRect(787, 88, 70, 135), Image_Button6_On, Image_Button6_Off,
         &TForm_ControlList::NextClick);
    Key_Button5 = new TKeyButton(Panel_Main, QStringLiteral("Key_Button5"), QRect(712, 88, 70, 135),
                                 QStringLiteral("Step"),
                                 QStringLiteral("Starts a stepped run, moving on at each Next; "
                                                "while it runs, stops it"));
    Key_Button6 = new TKeyButton(Panel_Main, QStringLiteral("Key_Button6"), QRect(787, 88, 70, 135),
                                 QStringLiteral("Next"),
                                 QStringLiteral("Moves a stepped run to its next entry (Space or "
                                                "Enter)"));
    connect(Key_Button5, &TKeyButton::clicked, this, &TForm_ControlList::StepClick);
    connect(Key_Button6, &TKeyButton::clicked, this, &TForm_ControlList::NextClick);
    Key_Button4->setToolTip(
        QStringLiteral("Starts a timed run: each entry for its dwell; while it runs, stops it"));
    AddEntryControls({Grid, Edit_Cycles, Image_Button5_On, Image_Button5_Off, Image_Button6_On,
                      Image_Button6_Off, Key_Button5, Key_Button6});
    QWidget::setTabOrder(Grid, Edit_Cycles);
    QWidget::setTabOrder(Edit_Cycles, Key_Button3);
    QWidget::setTabOrder(Key_Button3, Key_Button4);
    QWidget::setTabOrder(Key_Button4, Key_Button5);
    QWidget::setTabOrder(Key_Button5, Key_Button6);
    GoOnEnter({Edit_Cycles});

    // Enter moves a stepped run on wherever the focus is; Space does so on Next, which takes the
    // focus when the run starts. Outside a stepped run Enter is the boxes' own. Escape stops a
    // run; in remote mode the client decides.
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *next = new QShortcut(QKeySequence(key), this);
        next->setContext(Qt::WidgetWithChildrenShortcut);
        next->setEnabled(false);
        connect(next, &QShortcut::activated, this, [this] {
            if (!Session.IsRemoteControlled())
                NextClick();
        });
        NextShortcuts.push_back(next);
    }
    auto *stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this, [this] {
        if (Session.IsBandListRunning() && !Session.IsRemoteControlled())
            Session.StopScan(TRequester::Operator);
    });
    connect(&Session, &TInstrumentSession::OperationBusyChanged, this,
            [this] { Action_UpdateUI(); });
    connect(&Session, &TInstrumentSession::ScanProgressChanged, this,
            &TForm_ControlList::ShowRunState);

    Action_RemoteControl_Disable();
    Action_UpdateUI();
}

TForm_ControlList::~TForm_ControlList() = default;

void TForm_ControlList::Action_UpdateUI() {
    TForm_ControlPanel::Action_UpdateUI();
    ShowRunState();
    QCoreApplication::processEvents();
}

void TForm_ControlList::ShowRunState() {
    const bool editable = !Session.IsScanning() && !Session.IsRemoteControlled();
    for (QWidget *key : {static_cast<QWidget *>(Key_Add), static_cast<QWidget *>(Key_Remove),
                         static_cast<QWidget *>(Key_Load)})
        key->setEnabled(editable);
    const bool stepped = Session.IsBandListStepped();
    for (QShortcut *next : NextShortcuts)
        next->setEnabled(stepped);
    if (!Session.IsBandListRunning()) {
        Image_Button5_Off->show();
        Image_Button5_On->hide();
    }
    if (!stepped || !Image_Button5_On->isHidden())
        return;
    Image_Button5_On->show();
    Image_Button5_Off->hide();
    Action_Button4_Up();
    if (!Session.IsRemoteControlled())
        Key_Button6->setFocus(Qt::OtherFocusReason);
}

// The list itself takes the keyboard first: arrows move through it, typing edits a cell.
QWidget *TForm_ControlList::FirstBox() const {
    return Grid;
}

void TForm_ControlList::ShowRunPressed(bool pressed) {
    if (pressed) {
        Action_Button4_Down();
        return;
    }
    Image_Button5_Off->show();
    Image_Button5_On->hide();
    Action_Button4_Up();
}

void TForm_ControlList::Image_Button4Click() {
    if (Session.IsBandListRunning())
        Session.StopScan(TRequester::Operator);
    else
        Session.RunBandList(TRequester::Operator, Edit_Cycles->text(), false);
}

void TForm_ControlList::StepClick() {
    if (Session.IsBandListRunning())
        Session.StopScan(TRequester::Operator);
    else
        Session.RunBandList(TRequester::Operator, Edit_Cycles->text(), true);
}

void TForm_ControlList::NextClick() {
    if (!Session.IsBandListStepped())
        return;
    Image_Button6_On->show();
    Image_Button6_Off->hide();
    Session.NextBandListPoint(TRequester::Operator);
    Image_Button6_Off->show();
    Image_Button6_On->hide();
}

// After the current entry, as a copy of it; the first entry of an empty list is the table's
// first band.
void TForm_ControlList::AddClick() {
    if (Session.IsScanning() || Session.IsRemoteControlled())
        return;
    const TBandList &list = Session.BandList();
    const int current = Grid->currentIndex().isValid() ? Grid->currentIndex().row() : -1;
    const TCalData &table = Session.CalData();
    TBandListEntry entry{table.GetMinCWForFWHM(table.GetMinFWHM()), table.GetMinFWHM(), 1.0};
    if (current >= 0)
        entry = list.Entries().at(current);
    else if (list.Count() > 0)
        entry = list.Entries().last();
    const int row = current >= 0 ? current + 1 : list.Count();
    if (!Model->InsertEntry(row, entry)) {
        Report(QStringLiteral("ERRLS01 : Band list is full."), StatusColour::Red);
        return;
    }
    Grid->setCurrentIndex(Model->index(row, 0));
}

void TForm_ControlList::RemoveClick() {
    const QModelIndex current = Grid->currentIndex();
    if (Session.IsScanning() || Session.IsRemoteControlled() || !current.isValid())
        return;
    Model->RemoveEntry(current.row());
}

void TForm_ControlList::LoadClick() {
    if (Session.IsScanning() || Session.IsRemoteControlled())
        return;
    const QString path = Dialog->OpenPath();
    if (path.isEmpty())
        return;
    const std::optional<QList<TBandListEntry>> entries = TBandList::ReadFile(path);
    if (!entries || !Session.BandList().Assign(*entries)) {
        Report(QStringLiteral("The band list file cannot be read."), StatusColour::Silver);
        return;
    }
    Report(QStringLiteral("Band list loaded: %1 entries.").arg(entries->size()),
           StatusColour::Silver);
}

void TForm_ControlList::SaveClick() {
    const QString path = Dialog->SavePath();
    if (path.isEmpty())
        return;
    if (TBandList::WriteFile(path, Session.BandList().Entries()))
        Report(QStringLiteral("Band list saved."), StatusColour::Silver);
    else
        Report(QStringLiteral("The band list file cannot be written."), StatusColour::Silver);
}

void TForm_ControlList::Report(const QString &text, const QColor &colour) {
    emit Session.StatusMessage(text, colour);
}

// Insert and Delete in the table, unless a cell is being edited (the editor has the keys then).
bool TForm_ControlList::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Grid && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Insert) {
            AddClick();
            return true;
        }
        if (key == Qt::Key_Delete) {
            RemoveClick();
            return true;
        }
    }
    return TForm_ControlPanel::eventFilter(watched, event);
}
