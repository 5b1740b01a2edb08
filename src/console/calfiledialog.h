#pragma once

#include "caldata/calfiledialog.h"

#include <QStringList>

class QWidget;

// The program's open-file dialog for the calibration import, over QFileDialog.
class TCalFileDialog : public ICalFileDialog {
public:
    explicit TCalFileDialog(QWidget *parent = nullptr) : Parent(parent) {}

    QString Execute(const TCalFileDialogSetup &setup) override;

private:
    QWidget *Parent;
};

// Turns a filter of "Description|pattern;pattern|..." pairs into Qt's name filters,
// "Description (pattern pattern)"; a description that already ends with its patterns in
// parentheses is kept as it is.
QStringList QtNameFilters(const QString &filter);
