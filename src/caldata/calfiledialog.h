#pragma once

#include <QString>

// What the calibration import asks of its open-file dialog for one use.
struct TCalFileDialogSetup {
    QString Title;
    QString FileName;   // preset in the dialog's name field
    QString Filter;     // "Description (*.ext)|*.ext" pairs joined by '|'
    QString DefaultExt; // without the dot
    QString InitialDir;
    bool MustExist = true; // the folder and the file picked must exist
};

// The modal open-file dialog through which the operator picks an instrument's calibration file.
// The program shows a real dialog; tests script a pick or a cancel.
class ICalFileDialog {
public:
    virtual ~ICalFileDialog() = default;
    // Returns the path of the chosen file, or an empty text when the operator cancels.
    virtual QString Execute(const TCalFileDialogSetup &setup) = 0;
};
