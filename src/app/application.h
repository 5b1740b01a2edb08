#pragma once

#include <QApplication>

#include <functional>

// The program's application object. A failure that escapes an event handler stops here: it is
// shown to the operator, and the program goes on with its next event instead of ending.
class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // Shows the text of an escaped failure: a critical message box unless replaced. A failure
    // that carries no text of its own is shown with an empty one.
    std::function<void(const QString &)> ShowFailure;
};
