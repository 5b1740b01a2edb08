#include "sim/caltable.h"

#include "core/commatext.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

using ksim::CalTable;
using ksim::Positions;

namespace {

const CalTable &Generated() {
    static const CalTable table = CalTable::generate(ksim::InstrumentProfile());
    return table;
}

QString WriteText(const QTemporaryDir &dir, const QByteArray &text) {
    const QString path = dir.filePath(QStringLiteral("table.csv"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    return path;
}

// The example table of the calibration file documentation, with LF endings and blanks around
// the fields.
const QByteArray kExample = "Model, F612\n"
                            "Serial,,AX0000000017\n"
                            "any text\n"
                            "COLUMN,3\n"
                            "ROW,4\n"
                            "FWHM,,5.0,10.0,20.0\n"
                            "1,500.0,1200:3400:150,1180:3390:300,x\n"
                            "2,500.5,1210:3405:150,1190:3395:300,1170:3380:600\n"
                            "3,501.0,1220:3410:150,1200:3400:300,1180:3390:600\n"
                            "4,501.5 , x,1210:3405:300,1190:3395:600\n";

} // namespace

TEST(CalTable, generatedTableCoversTheRangeOnAHalfNanometreGrid) {
    const CalTable &t = Generated();
    ASSERT_EQ(t.rowCount(), 801);
    EXPECT_EQ(t.cwText(0), QStringLiteral("400.0"));
    EXPECT_EQ(t.cwText(1), QStringLiteral("400.5"));
    EXPECT_EQ(t.cwText(800), QStringLiteral("800.0"));
    ASSERT_GE(t.columnCount(), 4);
    ASSERT_LE(t.columnCount(), 20);
    double previous = 0;
    for (int c = 0; c < t.columnCount(); ++c) {
        const double fwhm = t.fwhmText(c).toDouble();
        EXPECT_EQ(fwhm, double(int(fwhm))) << "whole-number bandwidths";
        EXPECT_GT(fwhm, previous) << "ascending columns";
        previous = fwhm;
    }
}

TEST(CalTable, wideRangesFallBackToAWholeNanometreGrid) {
    ksim::InstrumentProfile p;
    p.rangeMin = 100.0;
    p.rangeMax = 950.0;
    const CalTable t = CalTable::generate(p);
    EXPECT_EQ(t.rowCount(), 851);
    EXPECT_EQ(t.cwText(1), QStringLiteral("101.0"));
}

TEST(CalTable, eachColumnIsOneRunOfReachableCellsThatMissesTheEndsWhenNarrowOrWide) {
    const CalTable &t = Generated();
    const int last = t.rowCount() - 1;
    bool someColumnSpansTheRange = false;
    for (int c = 0; c < t.columnCount(); ++c) {
        int first = -1;
        int end = -1;
        for (int r = 0; r <= last; ++r) {
            if (!t.cell(r, c))
                continue;
            if (first < 0)
                first = r;
            EXPECT_TRUE(end < 0 || end == r - 1) << "gap in column " << c << " at row " << r;
            end = r;
        }
        ASSERT_GE(first, 0) << "column " << c << " is empty";
        someColumnSpansTheRange = someColumnSpansTheRange || (first == 0 && end == last);
        if (c == 0 || c == t.columnCount() - 1) {
            EXPECT_GT(first, 0) << "column " << c;
            EXPECT_LT(end, last) << "column " << c;
        }
    }
    EXPECT_TRUE(someColumnSpansTheRange);
}

TEST(CalTable, positionsStayInTravelAndChangeSmoothlyFromRowToRow) {
    const CalTable &t = Generated();
    for (int c = 0; c < t.columnCount(); ++c) {
        std::optional<Positions> above;
        for (int r = 0; r < t.rowCount(); ++r) {
            const std::optional<Positions> p = t.cell(r, c);
            for (int axis = 0; p && axis < 3; ++axis) {
                EXPECT_GE((*p)[axis], 0);
                EXPECT_LE((*p)[axis], 6000);
                if (above) {
                    EXPECT_LE(std::abs((*p)[axis] - (*above)[axis]), 20) << r << "/" << c;
                }
            }
            above = p;
        }
    }
}

TEST(CalTable, everyReachableCellIsFoundByItsOwnValues) {
    const CalTable &t = Generated();
    for (int r = 0; r < t.rowCount(); ++r) {
        for (int c = 0; c < t.columnCount(); ++c) {
            const std::optional<Positions> p = t.cell(r, c);
            if (!p)
                continue;
            const std::optional<CalTable::CellRef> found = t.find(*p);
            ASSERT_TRUE(found);
            EXPECT_EQ(found->row, r);
            EXPECT_EQ(found->column, c);
        }
    }
    EXPECT_FALSE(t.find({1, 2, 3}));
}

TEST(CalTable, fileFollowsTheImportLayoutUnderThirtyCharacterName) {
    const CalTable &t = Generated();
    EXPECT_EQ(t.fileName(QDate(2019, 3, 1)), QStringLiteral("20190301_F612_AX0000000017.csv"));
    EXPECT_EQ(t.fileName(QDate(2019, 3, 1)).size(), 30);
    EXPECT_EQ(t.keptName(), QStringLiteral("F612_AX0000000017.csv"));

    const QList<QByteArray> lines = t.fileText().split('\n');
    ASSERT_EQ(lines.size(), 6 + 801 + 1);
    EXPECT_TRUE(lines.last().isEmpty());
    for (int i = 0; i + 1 < lines.size(); ++i)
        ASSERT_TRUE(lines[i].endsWith('\r')) << "line " << i + 1 << " ends with CR LF";
    EXPECT_EQ(lines[0], QByteArray("Model,F612\r"));
    EXPECT_EQ(lines[1], QByteArray("Serial,,AX0000000017\r"));
    EXPECT_EQ(lines[3], QByteArray("COLUMN,") + QByteArray::number(t.columnCount()) + '\r');
    EXPECT_EQ(lines[4], QByteArray("ROW,801\r"));
    const QStringList header = SplitCommaText(QString::fromLatin1(lines[5]));
    ASSERT_EQ(header.size(), t.columnCount() + 2);
    EXPECT_EQ(header[0], QStringLiteral("FWHM"));
    EXPECT_EQ(header[2], t.fwhmText(0));
    for (int k = 1; k <= 801; ++k) {
        const QStringList fields = SplitCommaText(QString::fromLatin1(lines[5 + k]));
        ASSERT_EQ(fields.size(), t.columnCount() + 2) << "row " << k;
        EXPECT_EQ(fields[0], QString::number(k));
        EXPECT_EQ(fields[1], t.cwText(k - 1));
        for (int c = 0; c < t.columnCount(); ++c) {
            const QString &cell = fields[c + 2];
            EXPECT_TRUE(cell == QLatin1String("x") || cell.split(QLatin1Char(':')).size() == 3)
                << cell.toStdString();
        }
    }
}

TEST(CalTable, writtenFileReadsBackAsTheSameTable) {
    QTemporaryDir dir;
    QString error;
    const QString path = Generated().write(dir.filePath(QStringLiteral("made/here")),
                                           Generated().fileName(QDate(2020, 12, 31)), &error);
    ASSERT_FALSE(path.isEmpty()) << error.toStdString();
    EXPECT_TRUE(path.endsWith(QStringLiteral("/made/here/20201231_F612_AX0000000017.csv")));
    const std::optional<CalTable> back = CalTable::read(path, &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(back->fileText(), Generated().fileText());
    EXPECT_EQ(back->model(), QStringLiteral("F612"));
    EXPECT_EQ(back->serial(), QStringLiteral("AX0000000017"));
}

TEST(CalTable, readsTheDocumentedExampleWithBlanksAndMarks) {
    QTemporaryDir dir;
    QString error;
    const std::optional<CalTable> t = CalTable::read(WriteText(dir, kExample), &error);
    ASSERT_TRUE(t) << error.toStdString();
    EXPECT_EQ(t->rowCount(), 4);
    EXPECT_EQ(t->columnCount(), 3);
    EXPECT_EQ(t->model(), QStringLiteral("F612"));
    EXPECT_FALSE(t->cell(0, 2));
    EXPECT_FALSE(t->cell(3, 0));
    EXPECT_EQ(t->cell(3, 2), (Positions{1190, 3395, 600}));
    const std::optional<CalTable::CellRef> cell = t->find({1200, 3400, 300});
    ASSERT_TRUE(cell);
    EXPECT_EQ(t->cwText(cell->row), QStringLiteral("501.0"));
    EXPECT_EQ(t->fwhmText(cell->column), QStringLiteral("10.0"));
}

class BrokenTable : public ::testing::TestWithParam<std::pair<const char *, const char *>> {};

TEST_P(BrokenTable, isRefusedWithTheLineAtFault) {
    QByteArray text = kExample;
    text.replace(GetParam().first, GetParam().second);
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(CalTable::read(WriteText(dir, text), &error));
    EXPECT_FALSE(error.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Layout, BrokenTable,
                         ::testing::Values(std::make_pair("Model, F612", "Modell,F612"),
                                           std::make_pair("Serial,,", "Serial,"),
                                           std::make_pair("COLUMN,3", "COLUMN,21"),
                                           std::make_pair("ROW,4", "ROW,5"),
                                           std::make_pair("ROW,4", "ROWS,4"),
                                           std::make_pair("FWHM,,5.0,10.0,20.0", "FWHM,,5.0,10.0"),
                                           std::make_pair("1180:3390:300,x", "1180:3390:300"),
                                           std::make_pair("1220:3410:150", "1220:3410"),
                                           std::make_pair("4,501.5 , x", "4,501.5,X")));

TEST(CalTable, unreadableFileIsReported) {
    QString error;
    EXPECT_FALSE(CalTable::read(QStringLiteral("/nonexistent/table.csv"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("/nonexistent/table.csv")));
}
