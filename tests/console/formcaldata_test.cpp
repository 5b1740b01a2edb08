#include "console/formcaldata.h"

#include "caldata/caldataimport.h"
#include "caldata/calfiles.h"
#include "support/tempprogramfolder.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

const char *const FieldNames[] = {"Edit_CalData1_Model",    "Edit_CalData2_Serial",
                                  "Edit_CalData3_RowCount", "Edit_CalData4_ColCount",
                                  "Edit_CalData5_MinCW",    "Edit_CalData6_MaxCW",
                                  "Edit_CalData7_Interval"};

class FormCalDataTest : public ::testing::Test {
protected:
    FormCalDataTest() : table(std::make_unique<TCalData>()) {
        table->Model = calfiles::Model;
        table->Serial = calfiles::Serial;
    }

    // Imports lines as the main window would, through a picked file.
    void Load(const QStringList &lines) {
        ASSERT_TRUE(calfiles::WriteLines(folder.filePath(calfiles::PickedName), lines));
        dialog.Pick = folder.filePath(calfiles::PickedName);
        ASSERT_EQ(ImportCalData(*table, true, folder.path(), dialog), QString());
    }

    void Open() {
        form = std::make_unique<TForm_CalData>(*table);
        grid = form->findChild<QTableView *>(QStringLiteral("StringGrid_CalData"));
        ASSERT_NE(grid, nullptr);
    }

    QString Field(const char *name) const {
        const auto *edit = form->findChild<QLineEdit *>(QString::fromLatin1(name));
        return edit != nullptr ? edit->text() : QStringLiteral("<missing>");
    }

    // The grid as the operator sees it: row 0 and column 0 are the fixed ones.
    int GridRows() const { return grid->model()->rowCount() + 1; }
    int GridCols() const { return grid->model()->columnCount() + 1; }
    QString Cell(int col, int row) const {
        const QAbstractItemModel *model = grid->model();
        if (row == 0)
            return model->headerData(col - 1, Qt::Horizontal).toString();
        if (col == 0)
            return model->headerData(row - 1, Qt::Vertical).toString();
        return model->index(row - 1, col - 1).data().toString();
    }

    TempProgramFolder folder;
    calfiles::ScriptedDialog dialog;
    std::unique_ptr<TCalData> table;
    std::unique_ptr<TForm_CalData> form;
    QTableView *grid = nullptr;
};

TEST_F(FormCalDataTest, NothingLoaded_ShowsEmptyFieldsAndATwoByTwoGrid) {
    Open();
    for (const char *name : FieldNames)
        EXPECT_EQ(Field(name), QString()) << name;
    EXPECT_EQ(GridRows(), 2);
    EXPECT_EQ(GridCols(), 2);
    EXPECT_EQ(Cell(1, 0), QString());
    EXPECT_EQ(Cell(0, 1), QString());
    EXPECT_EQ(Cell(1, 1), QString());
}

TEST_F(FormCalDataTest, ReferenceFile_FromFileToGrid) {
    Load(calfiles::ExampleLines());
    Open();

    const QStringList fields{QStringLiteral("F612"),  QStringLiteral("AX0000000017"),
                             QStringLiteral("4"),     QStringLiteral("3"),
                             QStringLiteral("500.0"), QStringLiteral("501.5"),
                             QStringLiteral("0.5")};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(Field(FieldNames[i]), fields[i]) << FieldNames[i];

    ASSERT_EQ(GridRows(), 5);
    ASSERT_EQ(GridCols(), 4);
    EXPECT_EQ(Cell(1, 0), QStringLiteral("5.0"));
    EXPECT_EQ(Cell(2, 0), QStringLiteral("10.0"));
    EXPECT_EQ(Cell(3, 0), QStringLiteral("20.0"));
    EXPECT_EQ(Cell(0, 1), QStringLiteral("500.0"));
    EXPECT_EQ(Cell(0, 2), QStringLiteral("500.5"));
    EXPECT_EQ(Cell(0, 3), QStringLiteral("501.0"));
    EXPECT_EQ(Cell(0, 4), QStringLiteral("501.5"));
    EXPECT_EQ(Cell(1, 1), QStringLiteral("1200:3400:150"));
    EXPECT_EQ(Cell(3, 1), QStringLiteral("-1:-1:-1"));
    EXPECT_EQ(Cell(1, 4), QStringLiteral("-1:-1:-1"));
    EXPECT_EQ(Cell(3, 4), QStringLiteral("1190:3395:600"));

    EXPECT_EQ(grid->verticalHeader()->width(), 64);
    EXPECT_EQ(grid->horizontalHeader()->sectionSize(0), 112);
    EXPECT_EQ(grid->horizontalHeader()->sectionSize(2), 112);

    // The window keeps what it showed when the instrument goes away.
    table->Loaded = false;
    QCoreApplication::processEvents();
    EXPECT_EQ(Field("Edit_CalData5_MinCW"), QStringLiteral("500.0"));
    EXPECT_EQ(Cell(3, 4), QStringLiteral("1190:3395:600"));
}

TEST_F(FormCalDataTest, FullTable_GivesA1001By21Grid) {
    Load(calfiles::GeneratedLines(1000, 20));
    Open();
    EXPECT_EQ(Field("Edit_CalData3_RowCount"), QStringLiteral("1000"));
    EXPECT_EQ(Field("Edit_CalData4_ColCount"), QStringLiteral("20"));
    EXPECT_EQ(Field("Edit_CalData6_MaxCW"), QStringLiteral("499.9"));
    EXPECT_EQ(Field("Edit_CalData7_Interval"), QStringLiteral("0.1"));
    ASSERT_EQ(GridRows(), 1001);
    ASSERT_EQ(GridCols(), 21);
    EXPECT_EQ(Cell(20, 0), QStringLiteral("20.0"));
    EXPECT_EQ(Cell(0, 1000), QStringLiteral("499.9"));
    EXPECT_EQ(Cell(20, 1000), QStringLiteral("999:19:1018"));
    EXPECT_EQ(Cell(20, 20), QStringLiteral("-1:-1:-1"));

    // The fixed row and column stay in place while the cells scroll to the far corner.
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    grid->scrollTo(grid->model()->index(999, 19));
    EXPECT_GT(grid->verticalScrollBar()->value(), 0);
    EXPECT_GT(grid->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(grid->horizontalHeader()->geometry().top(), grid->frameWidth());
    EXPECT_EQ(grid->verticalHeader()->geometry().left(), grid->frameWidth());
}

TEST_F(FormCalDataTest, ClearThenRefresh_EmptiesAndRefills) {
    Load(calfiles::ExampleLines());
    Open();
    form->Action_ClearCalData();
    EXPECT_EQ(Field("Edit_CalData1_Model"), QString());
    EXPECT_EQ(GridRows(), 2);
    EXPECT_EQ(GridCols(), 2);
    EXPECT_EQ(Cell(1, 1), QString());
    form->Action_RefreshCalData();
    EXPECT_EQ(Field("Edit_CalData1_Model"), QStringLiteral("F612"));
    EXPECT_EQ(GridRows(), 5);
}

TEST_F(FormCalDataTest, Window_HasItsCaptionSizesAndFollowsResizing) {
    Open();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Mapping Data"));
    EXPECT_TRUE(form->isWindow());
    EXPECT_EQ(form->size(), QSize(784, 362));
    EXPECT_EQ(form->minimumSize(), QSize(784, 362));
    const auto *panel = form->findChild<QWidget *>(QStringLiteral("Panel_Info"));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(8, 8, 768, 84));
    EXPECT_EQ(grid->geometry(), QRect(8, 104, 768, 250));

    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->resize(1000, 600);
    EXPECT_EQ(panel->geometry(), QRect(8, 8, 984, 84));
    EXPECT_EQ(grid->geometry(), QRect(8, 104, 984, 488));
}

struct FieldPlace {
    const char *Name;
    int X, Y, Width;
    const char *Label;
};

class FormCalDataFieldTest : public FormCalDataTest,
                             public ::testing::WithParamInterface<FieldPlace> {};

TEST_P(FormCalDataFieldTest, SitsAtItsPlaceWithItsLabelToTheLeft) {
    Open();
    const FieldPlace &place = GetParam();
    const auto *edit = form->findChild<QLineEdit *>(QString::fromLatin1(place.Name));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->geometry(), QRect(place.X, place.Y, place.Width, 27));
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_EQ(edit->alignment(), Qt::AlignCenter);
    const auto *label =
        form->findChild<QLabel *>(QString::fromLatin1(place.Name) + QStringLiteral("_Label"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QString::fromUtf8(place.Label));
    EXPECT_EQ(label->geometry().right() + 1 + 8, place.X);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, FormCalDataFieldTest,
    ::testing::Values(FieldPlace{"Edit_CalData1_Model", 72, 8, 56, "Model :"},
                      FieldPlace{"Edit_CalData2_Serial", 200, 8, 128, "Serial :"},
                      FieldPlace{"Edit_CalData3_RowCount", 392, 8, 56, "Row :"},
                      FieldPlace{"Edit_CalData4_ColCount", 504, 8, 56, "Col :"},
                      FieldPlace{"Edit_CalData5_MinCW", 84, 44, 64, "Min CW :"},
                      FieldPlace{"Edit_CalData6_MaxCW", 236, 44, 64, "Max CW :"},
                      FieldPlace{"Edit_CalData7_Interval", 408, 44, 64, "Min FWHM :"}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST_F(FormCalDataTest, FixedAndOrdinaryCells_ArePaintedAlike) {
    Load(calfiles::ExampleLines());
    Open();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QImage image = form->grab().toImage();
    const QPoint gridOrigin = grid->mapTo(form.get(), QPoint(0, 0));
    // A point near the left end of a section, where no text is drawn, at mid-height.
    const QRect header = grid->horizontalHeader()->geometry();
    const QPoint inHeader =
        gridOrigin +
        QPoint(header.left() + grid->horizontalHeader()->sectionViewportPosition(1) + 3,
               header.top() + header.height() / 2);
    const QRect cell = grid->visualRect(grid->model()->index(1, 1));
    const QPoint inCell =
        gridOrigin + grid->viewport()->mapTo(grid, cell.topLeft()) + QPoint(3, cell.height() / 2);
    EXPECT_EQ(image.pixelColor(inHeader), image.pixelColor(inCell));
    EXPECT_NE(image.pixelColor(inCell), grid->palette().color(QPalette::Base));
}

// The grid draws in the compiled-in face, so the widths hold on every system; only a column
// with a text too wide for the usual width grows.
TEST_F(FormCalDataTest, EveryCellTextFitsItsColumnInTheShippedFont) {
    QStringList lines = calfiles::ExampleLines();
    lines.replaceInStrings(QStringLiteral("1180:3390:300"), QStringLiteral("12000:34000:15000"));
    lines.replaceInStrings(QStringLiteral("1200:3400:150"), QStringLiteral("412:5750:1500"));
    Load(lines);
    Open();
    EXPECT_EQ(QFontInfo(grid->font()).family(), QStringLiteral("Open Sans"));
    EXPECT_EQ(grid->font().pixelSize(), 16);
    const QFontMetrics metrics(grid->font());
    QHeaderView *header = grid->horizontalHeader();
    for (int col = 1; col < GridCols(); ++col) {
        for (int row = 0; row < grid->model()->rowCount() + 1; ++row)
            EXPECT_LE(metrics.horizontalAdvance(Cell(col, row)) + 2, header->sectionSize(col - 1))
                << qPrintable(Cell(col, row));
    }
    EXPECT_EQ(header->sectionSize(0), 112);
    EXPECT_GT(header->sectionSize(1), 112);
    EXPECT_EQ(header->sectionSize(2), 112);
}

TEST_F(FormCalDataTest, Closing_DestroysTheWindow) {
    Open();
    QPointer<TForm_CalData> window = form.release();
    window->show();
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

} // namespace
