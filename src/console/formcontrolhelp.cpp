#include "console/formcontrolhelp.h"

#include "resources/consolewidgets.h"

TForm_ControlHelp::TForm_ControlHelp(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form_ControlHelp"));
    setFixedSize(910, 426);
    Panel_Base = NewPanel(this, QStringLiteral("Panel_Base"), QRect(0, 0, 910, 426),
                          QColor(0x16, 0x16, 0x16));
    Image_Help_Base = new TPicture(Panel_Base, QStringLiteral("Image_Help_Base"),
                                   QStringLiteral("help_base"), QRect(0, 0, 910, 426));
}
