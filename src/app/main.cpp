#include "console/formmain.h"

#include <QApplication>

#include <memory>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrune"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kestrune v1.0"));
    // Destroyed after exec() has returned, so the close's objects go only once nothing that was
    // running inside the event loop is left on the stack.
    const auto form = std::make_unique<TForm_Main>();
    form->show();
    return QApplication::exec();
}
