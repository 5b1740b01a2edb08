#include "application.h"
#include "closesignals.h"
#include "console/formmain.h"
#include "journalmessages.h"

#include <memory>

int main(int argc, char **argv) {
    TApplication app(argc, argv);
    // Before the window and destroyed after it: see TCloseSignals.
    TCloseSignals closeSignals;
    TJournalMessages journal; // outlives the window, whose close still reports
    // Destroyed after exec() has returned, so the close's objects go only once nothing that was
    // running inside the event loop is left on the stack.
    const auto form = std::make_unique<TForm_Main>();
    // The system's close takes the same path as the close button, but is not held back by the
    // operation lock; a second signal while closing changes nothing.
    QObject::connect(&closeSignals, &TCloseSignals::CloseRequested, form.get(), [&form] {
        if (!form->IsShuttingDown())
            form->close();
    });
    if (TJournalMessages::Wanted())
        QObject::connect(form.get(), &TForm_Main::StatusMessageShown, &journal,
                         &TJournalMessages::Write);
    closeSignals.Enable();
    form->show();
    return TApplication::exec();
}
