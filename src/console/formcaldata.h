#pragma once

#include <QWidget>

class QFrame;
class QHeaderView;
class QLineEdit;
class QTableView;
class TCalData;
class TCalDataGridModel;

// "Mapping Data": a service window that shows the calibration table as it is when the window is
// created: its identity and counts in a row of fields, and every row, column and cell in a grid.
// The grid's fixed first row (the FWHM values) and first column (the CW values) are the view's
// headers, so they stay in place while the cells scroll. Closing the window destroys it.
class TForm_CalData : public QWidget {
    Q_OBJECT
public:
    // The table must outlive the window; its owner is the window's parent.
    explicit TForm_CalData(const TCalData &table, QWidget *parent = nullptr);
    ~TForm_CalData() override;

    // Empties the fields and shrinks the grid to its smallest form: 2 rows and 2 columns,
    // counting the fixed ones.
    void Action_ClearCalData();
    // Shows the table when it is loaded; leaves the window as it is otherwise.
    void Action_RefreshCalData();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void FormCreate();
    QLineEdit *AddLabeledEdit(const QString &name, const QString &label, int x, int y, int width);

    const TCalData &Table;
    QFrame *Panel_Info = nullptr;
    QLineEdit *Edit_CalData1_Model = nullptr;
    QLineEdit *Edit_CalData2_Serial = nullptr;
    QLineEdit *Edit_CalData3_RowCount = nullptr;
    QLineEdit *Edit_CalData4_ColCount = nullptr;
    QLineEdit *Edit_CalData5_MinCW = nullptr;
    QLineEdit *Edit_CalData6_MaxCW = nullptr;
    QLineEdit *Edit_CalData7_Interval = nullptr;
    QTableView *StringGrid_CalData = nullptr;
    TCalDataGridModel *GridModel = nullptr;
};
