#include "console/calfiledialog.h"

#include "caldata/calfiles.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

struct FilterCase {
    const char *Name;
    const char *Filter;
    QStringList Expected;
};

class QtNameFiltersTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(QtNameFiltersTest, TranslatesDescriptionPatternPairs) {
    EXPECT_EQ(QtNameFilters(QString::fromUtf8(GetParam().Filter)), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QtNameFiltersTest,
    ::testing::Values(
        FilterCase{"PatternsAlreadyShown",
                   "Kestrune CalData File (*.csv)|*.csv",
                   {QStringLiteral("Kestrune CalData File (*.csv)")}},
        FilterCase{"PatternsAdded", "Text|*.txt", {QStringLiteral("Text (*.txt)")}},
        FilterCase{"SeveralPairsAndPatterns",
                   "Data|*.dat;*.bin|All (*.*)|*.*",
                   {QStringLiteral("Data (*.dat *.bin)"), QStringLiteral("All (*.*)")}},
        FilterCase{"DescriptionWithoutPatterns", "Odd|*.a|Orphan", {QStringLiteral("Odd (*.a)")}}),
    [](const auto &info) { return std::string(info.param.Name); });

// Shows the real dialog and acts on it as soon as it is on screen.
class CalFileDialogTest : public ::testing::Test {
protected:
    QString RunDialog(const std::function<void(QFileDialog &)> &operatorAction) {
        // exec() shows the dialog before its event loop runs this.
        QTimer::singleShot(0, [&] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *shown = qobject_cast<QFileDialog *>(widget);
                if (shown != nullptr && shown->isVisible()) {
                    operatorAction(*shown);
                    return;
                }
            }
            ADD_FAILURE() << "no file dialog on screen";
        });
        TCalFileDialog dialog;
        return dialog.Execute(setup);
    }

    QTemporaryDir dir;
    TCalFileDialogSetup setup{
        QStringLiteral(
            "Please Select Kestrune Calibration Data File, And Click OK. (F612/AX0000000017)"),
        calfiles::CopyName,
        QStringLiteral("Kestrune CalData File (*.csv)|*.csv"),
        QStringLiteral("csv"),
        QStringLiteral("."),
        true};
};

TEST_F(CalFileDialogTest, ShowsTheSetupAndReturnsThePickedFile) {
    const QString picked = dir.filePath(calfiles::PickedName);
    ASSERT_TRUE(calfiles::WriteLines(picked, calfiles::ExampleLines()));
    QString title, preset, suffix, directory;
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    const QString result = RunDialog([&](QFileDialog &shown) {
        title = shown.windowTitle();
        filters = shown.nameFilters();
        suffix = shown.defaultSuffix();
        mode = shown.fileMode();
        directory = shown.directory().absolutePath();
        if (auto *name = shown.findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            preset = name->text();
        shown.selectFile(picked);
        static_cast<QDialog &>(shown).accept(); // the operator clicks Open
    });
    EXPECT_EQ(result, picked);
    EXPECT_EQ(title, setup.Title);
    EXPECT_EQ(filters, QStringList{QStringLiteral("Kestrune CalData File (*.csv)")});
    EXPECT_EQ(suffix, QStringLiteral("csv"));
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    EXPECT_EQ(directory, QDir::current().absolutePath());
    EXPECT_EQ(preset, calfiles::CopyName);
}

TEST_F(CalFileDialogTest, Cancel_ReturnsNothing) {
    EXPECT_EQ(RunDialog([](QFileDialog &shown) { shown.reject(); }), QString());
}

} // namespace
