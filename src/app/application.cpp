#include "application.h"

#include <QMessageBox>

#include <exception>

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {
    // The title "Kestrune v1.0" is the main window's own: as an application display name, the
    // window system would append it to every other window's caption as well.
    setApplicationName(QStringLiteral("Kestrune"));
    ShowFailure = [](const QString &text) {
        QMessageBox::critical(nullptr, QStringLiteral("Kestrune v1.0"), text);
    };
}

bool TApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &failure) {
        ShowFailure(QString::fromLocal8Bit(failure.what()));
    } catch (...) {
        ShowFailure(QString());
    }
    return false;
}
