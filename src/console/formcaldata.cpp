#include "console/formcaldata.h"

#include "caldata/caldata.h"
#include "core/numbers.h"
#include "resources/artwork.h"
#include "resources/consolewidgets.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>
#include <QTableView>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr int ClientWidth = 784;
constexpr int ClientHeight = 362;
constexpr int Margin = 8;
constexpr int InfoHeight = 84;
constexpr int GridTop = 104;
constexpr int EditHeight = 27;
constexpr int LabelSpacing = 8;
constexpr int DefaultColWidth = 80;
constexpr int FirstColWidth = 64;
constexpr int CellColWidth = 112;
constexpr int CellBorder = 1; // the section line on each side of a cell's text

// Every cell, fixed or not, on the background of a header item in its normal state, with its
// text on one line, centred both ways.
void StringGrid_CalDataDrawCell(QPainter *painter, const QWidget *widget, const QRect &rect,
                                const QString &text) {
    const QStyle *style = widget != nullptr ? widget->style() : QApplication::style();
    QStyleOptionHeader option;
    option.rect = rect;
    option.state = QStyle::State_Enabled | QStyle::State_Raised;
    if (widget != nullptr) {
        option.palette = widget->palette();
        option.fontMetrics = widget->fontMetrics();
        option.direction = widget->layoutDirection();
    }
    painter->save();
    style->drawControl(QStyle::CE_HeaderSection, &option, painter, widget);
    painter->setPen(option.palette.color(QPalette::ButtonText));
    painter->drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter->restore();
}

class TCalDataCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        StringGrid_CalDataDrawCell(painter, option.widget, option.rect,
                                   index.data(Qt::DisplayRole).toString());
    }
};

// The fixed row and column, painted exactly like the cells: no hover, press or sort marks.
class TCalDataFixedHeader : public QHeaderView {
public:
    using QHeaderView::QHeaderView;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override {
        StringGrid_CalDataDrawCell(painter, this, rect,
                                   model() != nullptr
                                       ? model()->headerData(logicalIndex, orientation()).toString()
                                       : QString());
    }
};

} // namespace

// The texts of the whole grid, fixed row and column included, row by row. The view shows grid
// row 0 as its horizontal header and grid column 0 as its vertical header; the corner (row 0,
// column 0) is always empty.
class TCalDataGridModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void SetGrid(int gridRows, int gridCols, QVector<QString> texts) {
        beginResetModel();
        GridRows = gridRows;
        GridCols = gridCols;
        Texts = std::move(texts);
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : GridRows - 1;
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : GridCols - 1;
    }

    QVariant data(const QModelIndex &index, int role) const override {
        if (!index.isValid())
            return QVariant();
        if (role == Qt::DisplayRole)
            return Text(index.column() + 1, index.row() + 1);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        return QVariant();
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole)
            return QVariant();
        return orientation == Qt::Horizontal ? Text(section + 1, 0) : Text(0, section + 1);
    }

private:
    QString Text(int col, int row) const {
        if (col < 0 || col >= GridCols || row < 0 || row >= GridRows)
            return QString();
        return Texts.at(row * GridCols + col);
    }

    int GridRows = 2;
    int GridCols = 2;
    QVector<QString> Texts = QVector<QString>(4);
};

TForm_CalData::TForm_CalData(const TCalData &table, QWidget *parent)
    : QWidget(parent, Qt::Window), Table(table) {
    setObjectName(QStringLiteral("Form_CalData"));
    setWindowTitle(QStringLiteral("Mapping Data"));
    // The main window forgets the window when it goes; the next double click makes a fresh one.
    setAttribute(Qt::WA_DeleteOnClose);
    // The compiled-in face, so that the cells measure the same on every system.
    InstallInterfaceFonts();
    setFont(ConsoleFont(16));
    // Qt sizes the client area; with a usual frame this client minimum is the outer 800 x 400.
    // Never more than the screen can show: a small or scaled screen gets a smaller window
    // whose grid scrolls.
    const QSize client(ClientWidth, ClientHeight);
    const QSize fits = screen() ? client.boundedTo(screen()->availableGeometry().size()) : client;
    resize(fits);
    setMinimumSize(fits);

    Panel_Info = new QFrame(this);
    Panel_Info->setObjectName(QStringLiteral("Panel_Info"));
    Panel_Info->setFrameStyle(QFrame::Box | QFrame::Plain);
    Panel_Info->setGeometry(Margin, Margin, ClientWidth - 2 * Margin, InfoHeight);
    Edit_CalData1_Model =
        AddLabeledEdit(QStringLiteral("Edit_CalData1_Model"), QStringLiteral("Model :"), 72, 8, 56);
    Edit_CalData2_Serial = AddLabeledEdit(QStringLiteral("Edit_CalData2_Serial"),
                                          QStringLiteral("Serial :"), 200, 8, 128);
    Edit_CalData3_RowCount = AddLabeledEdit(QStringLiteral("Edit_CalData3_RowCount"),
                                            QStringLiteral("Row :"), 392, 8, 56);
    Edit_CalData4_ColCount = AddLabeledEdit(QStringLiteral("Edit_CalData4_ColCount"),
                                            QStringLiteral("Col :"), 504, 8, 56);
    Edit_CalData5_MinCW = AddLabeledEdit(QStringLiteral("Edit_CalData5_MinCW"),
                                         QStringLiteral("Min CW :"), 84, 44, 64);
    Edit_CalData6_MaxCW = AddLabeledEdit(QStringLiteral("Edit_CalData6_MaxCW"),
                                         QStringLiteral("Max CW :"), 236, 44, 64);
    // The label is the one the service staff know; the field holds the CW interval.
    Edit_CalData7_Interval = AddLabeledEdit(QStringLiteral("Edit_CalData7_Interval"),
                                            QStringLiteral("Min FWHM :"), 408, 44, 64);

    StringGrid_CalData = new QTableView(this);
    StringGrid_CalData->setObjectName(QStringLiteral("StringGrid_CalData"));
    StringGrid_CalData->setGeometry(Margin, GridTop, ClientWidth - 2 * Margin,
                                    ClientHeight - GridTop - Margin);
    auto *rowHeader = new TCalDataFixedHeader(Qt::Horizontal, StringGrid_CalData);
    auto *colHeader = new TCalDataFixedHeader(Qt::Vertical, StringGrid_CalData);
    StringGrid_CalData->setHorizontalHeader(rowHeader);
    StringGrid_CalData->setVerticalHeader(colHeader);
    // Fixed section sizes keep a 1001-row grid as cheap as a small one.
    rowHeader->setSectionResizeMode(QHeaderView::Fixed);
    colHeader->setSectionResizeMode(QHeaderView::Fixed);
    rowHeader->setDefaultSectionSize(DefaultColWidth);
    colHeader->setFixedWidth(DefaultColWidth);
    StringGrid_CalData->setItemDelegate(new TCalDataCellDelegate(StringGrid_CalData));
    StringGrid_CalData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid_CalData->setSelectionMode(QAbstractItemView::NoSelection);
    StringGrid_CalData->setCornerButtonEnabled(false);
    GridModel = new TCalDataGridModel(this);
    StringGrid_CalData->setModel(GridModel);

    FormCreate();
}

TForm_CalData::~TForm_CalData() = default;

QLineEdit *TForm_CalData::AddLabeledEdit(const QString &name, const QString &label, int x, int y,
                                         int width) {
    auto *edit = new QLineEdit(Panel_Info);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setAlignment(Qt::AlignCenter);
    edit->setGeometry(x, y, width, EditHeight);
    auto *caption = new QLabel(label, Panel_Info);
    caption->setObjectName(name + QStringLiteral("_Label"));
    caption->setBuddy(edit);
    caption->adjustSize();
    caption->move(x - LabelSpacing - caption->width(), y + (EditHeight - caption->height()) / 2);
    return edit;
}

void TForm_CalData::FormCreate() {
    Action_ClearCalData();
    Action_RefreshCalData();
}

void TForm_CalData::Action_ClearCalData() {
    for (QLineEdit *edit :
         {Edit_CalData1_Model, Edit_CalData2_Serial, Edit_CalData3_RowCount, Edit_CalData4_ColCount,
          Edit_CalData5_MinCW, Edit_CalData6_MaxCW, Edit_CalData7_Interval})
        edit->clear();
    GridModel->SetGrid(2, 2, QVector<QString>(4));
}

void TForm_CalData::Action_RefreshCalData() {
    if (!Table.Loaded)
        return;
    Edit_CalData1_Model->setText(Table.Model);
    Edit_CalData2_Serial->setText(Table.Serial);
    Edit_CalData3_RowCount->setText(QString::number(Table.RowCount));
    Edit_CalData4_ColCount->setText(QString::number(Table.ColCount));
    Edit_CalData5_MinCW->setText(FormatFloat(QStringLiteral("0.0"), Table.GetMinCW()));
    Edit_CalData6_MaxCW->setText(FormatFloat(QStringLiteral("0.0"), Table.GetMaxCW()));
    Edit_CalData7_Interval->setText(FormatFloat(QStringLiteral("0.0"), Table.GetCWStep()));

    const int rows = Table.UsedRows();
    const int cols = Table.UsedCols();
    const int gridCols = cols + 1;
    QVector<QString> texts((rows + 1) * gridCols);
    for (int c = 0; c < cols; ++c)
        texts[c + 1] = FormatFloat(QStringLiteral("0.0"), Table.FWHMValues[c]);
    for (int r = 0; r < rows; ++r) {
        QString *line = texts.data() + (r + 1) * gridCols;
        line[0] = FormatFloat(QStringLiteral("0.0"), Table.CWValues[r]);
        for (int c = 0; c < cols; ++c) {
            const TCalCell &cell = Table.Cells[r][c];
            line[c + 1] = QString::number(cell.Pos1) + QLatin1Char(':') +
                          QString::number(cell.Pos2) + QLatin1Char(':') +
                          QString::number(cell.Pos3);
        }
    }
    StringGrid_CalData->verticalHeader()->setFixedWidth(FirstColWidth);
    QHeaderView *header = StringGrid_CalData->horizontalHeader();
    header->setDefaultSectionSize(CellColWidth);
    const QFontMetrics metrics(StringGrid_CalData->font());
    std::vector<int> widths(cols, CellColWidth);
    for (int r = 0; r <= rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const int needed =
                metrics.horizontalAdvance(texts.at(r * gridCols + c + 1)) + 2 * CellBorder;
            widths[c] = std::max(widths[c], needed);
        }
    }
    GridModel->SetGrid(rows + 1, gridCols, std::move(texts));
    // Every row as tall as the fixed one, so that cells and fixed row look alike in any font.
    StringGrid_CalData->verticalHeader()->setDefaultSectionSize(header->sizeHint().height());
    // Only a column whose longest text would not fit grows beyond the usual width.
    for (int c = 0; c < cols; ++c)
        header->resizeSection(c, widths[c]);
}

// Escape closes the window, as it closes a dialog; the table passes the key on.
void TForm_CalData::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        close();
    else
        QWidget::keyPressEvent(event);
}

void TForm_CalData::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    // Panel_Info follows the left, top and right edges; the grid follows all four.
    Panel_Info->resize(width() - 2 * Margin, InfoHeight);
    StringGrid_CalData->setGeometry(Margin, GridTop, width() - 2 * Margin,
                                    height() - GridTop - Margin);
}
