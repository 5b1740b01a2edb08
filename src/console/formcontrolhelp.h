#pragma once

#include <QWidget>

class TPicture;

// The HELP tab: one picture that explains the SET and SCAN tabs with worked examples.
class TForm_ControlHelp : public QWidget {
    Q_OBJECT
public:
    explicit TForm_ControlHelp(QWidget *parent = nullptr);

private:
    QWidget *Panel_Base = nullptr;
    TPicture *Image_Help_Base = nullptr;
};
