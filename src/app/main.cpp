#include "application.h"
#include "closesignals.h"
#include "console/formmain.h"
#include "journalmessages.h"
#include "kestrunesystem.h"
#include "session/instrumentsession.h"

#include <memory>

int main(int argc, char **argv) {
    TApplication app(argc, argv);
    // Before the system and destroyed after it: see TCloseSignals.
    TCloseSignals closeSignals;
    TJournalMessages journal; // outlives the system, whose close still reports
    // Destroyed after exec() has returned, so the close's objects go only once nothing that was
    // running inside the event loop is left on the stack.
    const auto system = std::make_unique<TKestruneSystem>();
    TForm_Main &form = system->Window();
    // The system's close takes the same path as the close button, but is not held back by the
    // operation lock; a second signal while closing changes nothing.
    QObject::connect(&closeSignals, &TCloseSignals::CloseRequested, &form, [&form] {
        if (!form.IsShuttingDown())
            form.close();
    });
    // Every message-bar text is the session's.
    if (TJournalMessages::Wanted())
        QObject::connect(&system->Session(), &TInstrumentSession::StatusMessage, &journal,
                         &TJournalMessages::Write);
    closeSignals.Enable();
    form.show();
    return TApplication::exec();
}
