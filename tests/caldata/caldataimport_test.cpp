#include "caldata/caldataimport.h"
#include "caldata/calfiles.h"
#include "platform/textfile.h"
#include "support/tempprogramfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using calfiles::ExampleLines;

const QString Dv = QStringLiteral("Calibration data file might be problem. ");

class CalDataImportTest : public ::testing::Test {
protected:
    CalDataImportTest() : table(std::make_unique<TCalData>()) {
        table->Model = calfiles::Model;
        table->Serial = calfiles::Serial;
    }

    QString CalFolder() const { return folder.filePath(QStringLiteral("Cal/")); }
    QString CopyPath() const { return CalFolder() + calfiles::CopyName; }
    bool CopyExists() const { return QFileInfo::exists(CopyPath()); }
    QStringList CalEntries() const {
        return QDir(CalFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    // Puts a file where the operator keeps it and scripts the dialog to pick it.
    void Offer(const QStringList &lines, const QString &name = calfiles::PickedName) {
        ASSERT_TRUE(calfiles::WriteLines(Picked(name), lines));
        dialog.Pick = Picked(name);
    }
    void OfferBytes(const QByteArray &bytes) {
        ASSERT_TRUE(calfiles::WriteBytes(Picked(calfiles::PickedName), bytes));
        dialog.Pick = Picked(calfiles::PickedName);
    }
    QString Picked(const QString &name) const {
        return folder.filePath(QStringLiteral("Delivered/") + name);
    }

    QString Import(bool infoValid = true) {
        return ImportCalData(*table, infoValid, folder.path(), dialog);
    }

    void ExpectFailedContents() {
        EXPECT_FALSE(table->Loaded);
        EXPECT_EQ(table->RowCount, 0);
        EXPECT_EQ(table->ColCount, 0);
        EXPECT_FALSE(CopyExists()) << "a bad copy must go, so that the next import asks again";
        EXPECT_EQ(dialog.Shown, 1);
    }

    TempProgramFolder folder;
    calfiles::ScriptedDialog dialog;
    std::unique_ptr<TCalData> table;
};

TEST_F(CalDataImportTest, ReferenceFile_IsCopiedAndLoaded) {
    Offer(ExampleLines());
    ASSERT_EQ(Import(), QString());

    EXPECT_TRUE(table->Loaded);
    EXPECT_EQ(table->RowCount, 4);
    EXPECT_EQ(table->ColCount, 3);
    EXPECT_EQ(table->CWValues[0], 500.0);
    EXPECT_EQ(table->CWValues[1], 500.5);
    EXPECT_EQ(table->CWValues[2], 501.0);
    EXPECT_EQ(table->CWValues[3], 501.5);
    EXPECT_EQ(table->FWHMValues[0], 5.0);
    EXPECT_EQ(table->FWHMValues[1], 10.0);
    EXPECT_EQ(table->FWHMValues[2], 20.0);
    EXPECT_FALSE(table->Cells[0][2].Valid);
    EXPECT_FALSE(table->Cells[3][0].Valid);
    EXPECT_EQ(table->Cells[0][2].Pos1, -1);
    EXPECT_EQ(table->Cells[0][2].Pos3, -1);
    const TCalCell &cell = table->Cells[1][2];
    EXPECT_TRUE(cell.Valid);
    EXPECT_EQ(cell.FWHM, 20.0);
    EXPECT_EQ(cell.CW, 500.5);
    EXPECT_EQ(cell.Pos1, 1170);
    EXPECT_EQ(cell.Pos2, 3380);
    EXPECT_EQ(cell.Pos3, 600);

    EXPECT_EQ(table->GetMinCW(), 500.0);
    EXPECT_EQ(table->GetMaxCW(), 501.5);
    EXPECT_EQ(table->GetCWStep(), 0.5);
    EXPECT_EQ(table->GetMinFWHM(), 5.0);
    EXPECT_EQ(table->GetMaxFWHM(), 20.0);
    EXPECT_EQ(table->GetMinCWForFWHM(5.0), 500.0);
    EXPECT_EQ(table->GetMaxCWForFWHM(5.0), 501.0);
    EXPECT_EQ(table->GetMinCWForFWHM(20.0), 500.5);
    EXPECT_EQ(table->GetMinFWHMForCW(500.0), 5.0);
    EXPECT_EQ(table->GetMaxFWHMForCW(500.0), 10.0);

    EXPECT_EQ(CalEntries(), QStringList{calfiles::CopyName});
    QFile copy(CopyPath());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), (ExampleLines().join('\n') + '\n').toUtf8());
}

TEST_F(CalDataImportTest, Dialog_IsSetUpForThisInstrument) {
    Import();
    ASSERT_EQ(dialog.Shown, 1);
    const TCalFileDialogSetup &setup = dialog.LastSetup;
    EXPECT_EQ(setup.Title, QStringLiteral("Please Select Kestrune Calibration Data File, And "
                                          "Click OK. (F612/AX0000000017)"));
    EXPECT_EQ(setup.FileName, QStringLiteral("F612_AX0000000017.csv"));
    EXPECT_EQ(setup.Filter, QStringLiteral("Kestrune CalData File (*.csv)|*.csv"));
    EXPECT_EQ(setup.DefaultExt, QStringLiteral("csv"));
    EXPECT_EQ(setup.InitialDir, QStringLiteral("."));
    EXPECT_TRUE(setup.MustExist);
}

TEST_F(CalDataImportTest, KeptCopy_IsLoadedWithoutAsking) {
    ASSERT_TRUE(calfiles::WriteLines(CopyPath(), ExampleLines()));
    QStringList changed = ExampleLines();
    changed[6] = QStringLiteral("1,499.0,1:2:3,1:2:3,x");
    Offer(changed);
    ASSERT_EQ(Import(), QString());
    EXPECT_EQ(dialog.Shown, 0);
    EXPECT_TRUE(table->Loaded);
    EXPECT_EQ(table->CWValues[0], 500.0);
}

TEST_F(CalDataImportTest, Cancel_IsErrdv10AndCreatesOnlyTheFolder) {
    EXPECT_EQ(Import(), QStringLiteral("ERRDV10 : No calibration data file."));
    EXPECT_FALSE(table->Loaded);
    EXPECT_TRUE(QFileInfo(CalFolder()).isDir());
    EXPECT_TRUE(CalEntries().isEmpty());
}

TEST_F(CalDataImportTest, FailureBeforeReading_KeepsTheCounts) {
    Offer(ExampleLines());
    ASSERT_EQ(Import(), QString());
    ASSERT_TRUE(QFile::remove(CopyPath()));
    dialog.Pick.clear();
    EXPECT_EQ(Import(), QStringLiteral("ERRDV10 : No calibration data file."));
    EXPECT_FALSE(table->Loaded);
    EXPECT_EQ(table->RowCount, 4);
    EXPECT_EQ(table->ColCount, 3);
}

TEST_F(CalDataImportTest, AfterAFailedCopy_TheNextImportAsksAgain) {
    QStringList lines = ExampleLines();
    lines[8] = QStringLiteral("3,501.0,1220:3410,1200:3400:300,1180:3390:600");
    Offer(lines);
    EXPECT_EQ(Import(), QStringLiteral("ERRDV19 : ") + Dv + QStringLiteral("(3/1)"));
    Offer(ExampleLines());
    EXPECT_EQ(Import(), QString());
    EXPECT_EQ(dialog.Shown, 2);
    EXPECT_TRUE(table->Loaded);
}

struct InstrumentCase {
    const char *Name;
    bool InfoValid;
    const char *Model;
    const char *Serial;
};

class CalDataImportInstrumentTest : public CalDataImportTest,
                                    public ::testing::WithParamInterface<InstrumentCase> {};

TEST_P(CalDataImportInstrumentTest, IncompleteOrUnsafeIdentity_IsErrdv06AndTouchesNothing) {
    table->Loaded = true;
    table->Model = QString::fromUtf8(GetParam().Model);
    table->Serial = QString::fromUtf8(GetParam().Serial);
    Offer(ExampleLines());
    EXPECT_EQ(Import(GetParam().InfoValid), QStringLiteral("ERRDV06 : Device might be problem."));
    EXPECT_FALSE(table->Loaded);
    EXPECT_EQ(dialog.Shown, 0);
    EXPECT_FALSE(QFileInfo::exists(CalFolder()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CalDataImportInstrumentTest,
    ::testing::Values(InstrumentCase{"InfoNotRead", false, "F612", "AX0000000017"},
                      InstrumentCase{"EmptyModel", true, "", "AX0000000017"},
                      InstrumentCase{"ShortModel", true, "F61", "AX0000000017"},
                      InstrumentCase{"LongSerial", true, "F612", "AX00000000017"},
                      InstrumentCase{"SerialClimbsOut", true, "F612", "/../../../ab"},
                      InstrumentCase{"ModelWithBackslash", true, "F\\12", "AX0000000017"},
                      InstrumentCase{"SerialWithControl", true, "F612", "AX000000\t017"}),
    [](const auto &info) { return std::string(info.param.Name); });

struct NameCase {
    const char *Name;
    const char *FileName;
    bool Accepted;
};

class CalDataImportNameTest : public CalDataImportTest,
                              public ::testing::WithParamInterface<NameCase> {};

TEST_P(CalDataImportNameTest, PickedName_MustMatchTheInstrument) {
    Offer(ExampleLines(), QString::fromUtf8(GetParam().FileName));
    const QString result = Import();
    if (GetParam().Accepted) {
        EXPECT_EQ(result, QString());
        EXPECT_TRUE(table->Loaded);
        EXPECT_EQ(CalEntries(), QStringList{calfiles::CopyName});
    } else {
        EXPECT_EQ(result, QStringLiteral("ERRDV08 : Invalid calibration data file."));
        EXPECT_FALSE(table->Loaded);
        EXPECT_TRUE(CalEntries().isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CalDataImportNameTest,
    ::testing::Values(NameCase{"Reference", "20190301_F612_AX0000000017.csv", true},
                      NameCase{"OtherSeparatorsAndExtension", "20190301-F612-AX0000000017.txt",
                               true},
                      NameCase{"EarliestDate", "20180101_F612_AX0000000017.csv", true},
                      NameCase{"DateTooEarly", "20171231_F612_AX0000000017.csv", false},
                      NameCase{"DateNotANumber", "2019O301_F612_AX0000000017.csv", false},
                      NameCase{"DateWithBlank", " 0190301_F612_AX0000000017.csv", false},
                      NameCase{"OtherModel", "20190301_F613_AX0000000017.csv", false},
                      NameCase{"ModelInOtherCase", "20190301_f612_AX0000000017.csv", false},
                      NameCase{"OtherSerial", "20190301_F612_AX0000000018.csv", false},
                      NameCase{"TooShort", "20190301_F612_AX0000000017.cs", false},
                      NameCase{"TooLong", "20190301_F612_AX0000000017.csvx", false},
                      NameCase{"CopyName", "F612_AX0000000017.csv", false}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST_F(CalDataImportTest, CalFolderThatCannotBeCreated_IsErrdv09) {
    ASSERT_TRUE(calfiles::WriteBytes(folder.filePath(QStringLiteral("Cal")), "not a folder"));
    Offer(ExampleLines());
    EXPECT_EQ(Import(), QStringLiteral("ERRDV09 : Fail to copy calibration data file."));
    EXPECT_FALSE(table->Loaded);
    EXPECT_EQ(dialog.Shown, 1);
}

TEST_F(CalDataImportTest, PickedFileGoneBeforeTheCopy_IsErrdv09) {
    Offer(ExampleLines());
    ASSERT_TRUE(QFile::remove(dialog.Pick));
    EXPECT_EQ(Import(), QStringLiteral("ERRDV09 : Fail to copy calibration data file."));
    EXPECT_TRUE(CalEntries().isEmpty());
}

// A file of the reference layout with one line replaced (or the lines cut), and the message
// the import must give for it.
struct ContentCase {
    const char *Name;
    std::function<void(QStringList &)> Edit;
    const char *Message;
};

class CalDataImportContentTest : public CalDataImportTest,
                                 public ::testing::WithParamInterface<ContentCase> {};

TEST_P(CalDataImportContentTest, MalformedFile_IsRefusedWithItsStage) {
    QStringList lines = ExampleLines();
    GetParam().Edit(lines);
    Offer(lines);
    EXPECT_EQ(Import(), QString::fromUtf8(GetParam().Message));
    ExpectFailedContents();
}

void Set(QStringList &lines, int lineNumber, const char *text) {
    lines[lineNumber - 1] = QString::fromUtf8(text);
}

INSTANTIATE_TEST_SUITE_P(
    Stages, CalDataImportContentTest,
    ::testing::Values(
        ContentCase{"SixLines", [](QStringList &l) { l = l.mid(0, 6); },
                    "ERRDV20 : Calibration data file might be problem."},
        ContentCase{"Empty", [](QStringList &l) { l.clear(); },
                    "ERRDV20 : Calibration data file might be problem."},
        ContentCase{"ModelMissing", [](QStringList &l) { Set(l, 1, "Model"); },
                    "ERRDV11 : Calibration data file might be problem. (Model)"},
        ContentCase{"ModelKeywordCase", [](QStringList &l) { Set(l, 1, "model,F612"); },
                    "ERRDV11 : Calibration data file might be problem. (Model)"},
        ContentCase{"OtherModel", [](QStringList &l) { Set(l, 1, "Model,F613"); },
                    "ERRDV11 : Calibration data file might be problem. (Model)"},
        ContentCase{"SerialInField2", [](QStringList &l) { Set(l, 2, "Serial,AX0000000017"); },
                    "ERRDV12 : Calibration data file might be problem. (Serial)"},
        ContentCase{"OtherSerial", [](QStringList &l) { Set(l, 2, "Serial,,AX0000000018"); },
                    "ERRDV12 : Calibration data file might be problem. (Serial)"},
        ContentCase{"Column21", [](QStringList &l) { Set(l, 4, "COLUMN,21"); },
                    "ERRDV13 : Calibration data file might be problem. (tCol)"},
        ContentCase{"ColumnNegative", [](QStringList &l) { Set(l, 4, "COLUMN,-1"); },
                    "ERRDV13 : Calibration data file might be problem. (tCol)"},
        ContentCase{"ColumnNotANumber", [](QStringList &l) { Set(l, 4, "COLUMN,3.0"); },
                    "ERRDV13 : Calibration data file might be problem. (tCol)"},
        ContentCase{"ColumnCountMissing", [](QStringList &l) { Set(l, 4, "COLUMN"); },
                    "ERRDV13 : Calibration data file might be problem. (tCol)"},
        ContentCase{"ColumnKeyword", [](QStringList &l) { Set(l, 4, "COLUMNS,3"); },
                    "ERRDV13 : Calibration data file might be problem. (tCol)"},
        ContentCase{"Row1001", [](QStringList &l) { Set(l, 5, "ROW,1001"); },
                    "ERRDV14 : Calibration data file might be problem. (tRow)"},
        ContentCase{"RowsBeyondTheFile", [](QStringList &l) { Set(l, 5, "ROW,5"); },
                    "ERRDV14 : Calibration data file might be problem. (tRow)"},
        ContentCase{"RowNotANumber", [](QStringList &l) { Set(l, 5, "ROW,four"); },
                    "ERRDV14 : Calibration data file might be problem. (tRow)"},
        ContentCase{"RowHugeNumber", [](QStringList &l) { Set(l, 5, "ROW,99999999999"); },
                    "ERRDV14 : Calibration data file might be problem. (tRow)"},
        ContentCase{"FwhmLineShort", [](QStringList &l) { Set(l, 6, "FWHM,,5.0,10.0"); },
                    "ERRDV15 : Calibration data file might be problem. (tWid)"},
        ContentCase{"RowLineShort", [](QStringList &l) { Set(l, 8, "2,500.5,1:2:3,1:2:3"); },
                    "ERRDV17 : Calibration data file might be problem. (2)"},
        ContentCase{"EmptyRowLine", [](QStringList &l) { Set(l, 10, ""); },
                    "ERRDV17 : Calibration data file might be problem. (4)"},
        ContentCase{"RowNumberGoesBack",
                    [](QStringList &l) { Set(l, 9, "2,501.0,1:2:3,1:2:3,1:2:3"); },
                    "ERRDV18 : Calibration data file might be problem. (3)"},
        ContentCase{"RowNumberNotANumber",
                    [](QStringList &l) { Set(l, 7, "one,500.0,1:2:3,1:2:3,x"); },
                    "ERRDV18 : Calibration data file might be problem. (1)"},
        ContentCase{
            "CellWithTwoParts",
            [](QStringList &l) { Set(l, 9, "3,501.0,1220:3410,1200:3400:300,1180:3390:600"); },
            "ERRDV19 : Calibration data file might be problem. (3/1)"},
        ContentCase{"CellUpperCaseX",
                    [](QStringList &l) { Set(l, 7, "1,500.0,1200:3400:150,1180:3390:300,X"); },
                    "ERRDV19 : Calibration data file might be problem. (1/3)"},
        ContentCase{"CellWithFourParts",
                    [](QStringList &l) { Set(l, 8, "2,500.5,1:2:3,1:2:3:4,1:2:3"); },
                    "ERRDV19 : Calibration data file might be problem. (2/2)"},
        ContentCase{"CellEmpty", [](QStringList &l) { Set(l, 10, "4,501.5,x,,1:2:3"); },
                    "ERRDV19 : Calibration data file might be problem. (4/2)"},
        // The blank splits the number, so every cell moves one column to the right.
        ContentCase{"BlankInsideTheCW",
                    [](QStringList &l) { Set(l, 7, "1,500 .0,1200:3400:150,1180:3390:300,x"); },
                    "ERRDV19 : Calibration data file might be problem. (1/1)"}),
    [](const auto &info) { return std::string(info.param.Name); });

// Files that differ from the reference in a way the import accepts, and what the table holds.
struct AcceptedCase {
    const char *Name;
    std::function<QByteArray()> Bytes;
    std::function<void(const TCalData &)> Check;
};

class CalDataImportAcceptedTest : public CalDataImportTest,
                                  public ::testing::WithParamInterface<AcceptedCase> {};

TEST_P(CalDataImportAcceptedTest, IsLoaded) {
    OfferBytes(GetParam().Bytes());
    ASSERT_EQ(Import(), QString());
    EXPECT_TRUE(table->Loaded);
    GetParam().Check(*table);
}

QByteArray ExampleWith(int lineNumber, const char *text, const char *lineEnd = "\n") {
    QStringList lines = ExampleLines();
    if (lineNumber > 0)
        lines[lineNumber - 1] = QString::fromUtf8(text);
    return (lines.join(QString::fromUtf8(lineEnd)) + QString::fromUtf8(lineEnd)).toUtf8();
}

void ExpectExampleCounts(const TCalData &t) {
    EXPECT_EQ(t.RowCount, 4);
    EXPECT_EQ(t.ColCount, 3);
    EXPECT_EQ(t.CWValues[3], 501.5);
    EXPECT_EQ(t.Cells[3][2].Pos3, 600);
}

QByteArray Utf16Le(const QByteArray &utf8) {
    const QString text = QString::fromUtf8(utf8);
    QByteArray bytes("\xFF\xFE");
    for (const QChar c : text)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Variants, CalDataImportAcceptedTest,
    ::testing::Values(
        AcceptedCase{"CrLf", [] { return ExampleWith(0, "", "\r\n"); }, ExpectExampleCounts},
        AcceptedCase{"Cr", [] { return ExampleWith(0, "", "\r"); }, ExpectExampleCounts},
        AcceptedCase{"NoFinalLineBreak", [] { return ExampleWith(0, "").chopped(1); },
                     ExpectExampleCounts},
        AcceptedCase{"Utf8Bom", [] { return "\xEF\xBB\xBF" + ExampleWith(0, ""); },
                     ExpectExampleCounts},
        AcceptedCase{"Utf16LeBom", [] { return Utf16Le(ExampleWith(0, "", "\r\n")); },
                     ExpectExampleCounts},
        AcceptedCase{"BlanksAfterCommas", [] { return ExampleWith(1, "Model, F612"); },
                     ExpectExampleCounts},
        AcceptedCase{"QuotedFields",
                     [] { return ExampleWith(2, "\"Serial\",\"\",\"AX0000000017\""); },
                     ExpectExampleCounts},
        AcceptedCase{
            "ExtraFieldsAndLines",
            [] { return ExampleWith(6, "FWHM,,5.0,10.0,20.0,40.0,") + "trailer\n\n,,,\n"; },
            ExpectExampleCounts},
        AcceptedCase{"RowNumberAhead",
                     [] { return ExampleWith(9, "7,501.0,1220:3410:150,1:2:3,1:2:3"); },
                     ExpectExampleCounts},
        AcceptedCase{"CellWithLetterPart",
                     [] { return ExampleWith(8, "2,500.5,1:a:3,1:2:3,1:2:3"); },
                     [](const TCalData &t) {
                         const TCalCell &c = t.Cells[1][0];
                         EXPECT_FALSE(c.Valid);
                         EXPECT_EQ(c.Pos1, 1);
                         EXPECT_EQ(c.Pos2, -1);
                         EXPECT_EQ(c.Pos3, 3);
                     }},
        AcceptedCase{"CellWithBlanksAndNegative",
                     [] { return ExampleWith(8, "2,500.5,\" 1 : 2 : 3 \",-1:2:3,1:2:3"); },
                     [](const TCalData &t) {
                         EXPECT_TRUE(t.Cells[1][0].Valid);
                         EXPECT_EQ(t.Cells[1][0].Pos2, 2);
                         EXPECT_FALSE(t.Cells[1][1].Valid);
                         EXPECT_EQ(t.Cells[1][1].Pos1, -1);
                     }},
        AcceptedCase{"CWNotANumber", [] { return ExampleWith(7, "1,abc,1:2:3,1:2:3,x"); },
                     [](const TCalData &t) {
                         EXPECT_EQ(t.CWValues[0], 0.0);
                         EXPECT_EQ(t.Cells[0][1].CW, 0.0);
                     }},
        AcceptedCase{
            "NoRows",
            [] { return ExampleWith(5, "ROW,0").left(ExampleWith(5, "ROW,0").indexOf("2,500.5")); },
            [](const TCalData &t) {
                EXPECT_EQ(t.RowCount, 0);
                EXPECT_EQ(t.GetMinCW(), 0.0);
                EXPECT_EQ(t.GetMaxFWHMForCW(500.0), 0.0);
                EXPECT_EQ(t.GetMaxFWHM(), 20.0);
            }},
        AcceptedCase{"NoColumns", [] { return ExampleWith(4, "COLUMN,0"); },
                     [](const TCalData &t) {
                         EXPECT_EQ(t.ColCount, 0);
                         EXPECT_EQ(t.GetMaxCW(), 501.5);
                         EXPECT_EQ(t.GetMinFWHMForCW(500.0), 0.0);
                     }},
        AcceptedCase{"FullSize",
                     [] { return (calfiles::GeneratedLines(1000, 20).join('\n')).toUtf8(); },
                     [](const TCalData &t) {
                         EXPECT_EQ(t.RowCount, 1000);
                         EXPECT_EQ(t.ColCount, 20);
                         EXPECT_EQ(t.CWValues[999], 499.9);
                         EXPECT_EQ(t.FWHMValues[19], 20.0);
                         EXPECT_EQ(t.Cells[999][19].Pos1, 999);
                         EXPECT_EQ(t.Cells[999][19].Pos3, 1018);
                         EXPECT_FALSE(t.Cells[19][19].Valid);
                     }}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST_F(CalDataImportTest, BinaryGarbage_IsRefused) {
    QByteArray bytes(64 * 1024, '\0');
    QRandomGenerator random(1234);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    OfferBytes(bytes);
    const QString result = Import();
    EXPECT_TRUE(result.startsWith(QStringLiteral("ERRDV"))) << result.toStdString();
    ExpectFailedContents();
}

TEST_F(CalDataImportTest, HundredMegabyteFile_IsRefusedUnread) {
    const QString path = Picked(calfiles::PickedName);
    ASSERT_TRUE(calfiles::WriteBytes(path, ExampleWith(0, "")));
    QFile file(path);
    ASSERT_TRUE(file.resize(100LL * 1024 * 1024)); // sparse: cheap to make and to copy
    dialog.Pick = path;
    EXPECT_EQ(Import(), QStringLiteral("ERRDV20 : Calibration data file might be problem."));
    ExpectFailedContents();
}

// Stand-ins for the reader that change the copy right before it is read.
bool ReadAfterRemoving(const QString &path, QStringList &lines) {
    QFile::remove(path);
    return ReadTextFileLines(path, lines);
}

bool ReadAfterReplacingByAFolder(const QString &path, QStringList &lines) {
    QFile::remove(path);
    QDir().mkpath(path);
    return ReadTextFileLines(path, lines);
}

class CalDataImportReadTest : public CalDataImportTest,
                              public ::testing::WithParamInterface<TReadTextLines> {};

TEST_P(CalDataImportReadTest, CopyLostBeforeReading_IsErrdv20) {
    Offer(ExampleLines());
    EXPECT_EQ(ImportCalData(*table, true, folder.path(), dialog, GetParam()),
              QStringLiteral("ERRDV20 : Calibration data file might be problem."));
    EXPECT_FALSE(table->Loaded);
    EXPECT_EQ(table->RowCount, 0);
    EXPECT_EQ(table->ColCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, CalDataImportReadTest,
                         ::testing::Values(&ReadAfterRemoving, &ReadAfterReplacingByAFolder));

TEST_F(CalDataImportTest, LargestTable_InAFileOfExactlyItsLines_IsAccepted) {
    const QStringList lines = calfiles::GeneratedLines(1000, 1);
    ASSERT_EQ(lines.size(), 1006);
    Offer(lines);
    EXPECT_EQ(Import(), QString());
    EXPECT_EQ(table->RowCount, 1000);
}

} // namespace
