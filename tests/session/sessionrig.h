#pragma once

#include "session/instrumentsession.h"
#include "setup/setuprederedirada.h"
#include "sim/virtualinstrument.h"
#include "support/tempprogramfolder.h"

#include <QStringList>

#include <memory>

// A connected instrument without a window: the simulator as Ports/COM1 of a fresh program folder
// that holds the program's copy of its table, default settings, and a session brought through its
// real start-up with the settling wait cut to nothing. The search timer is stopped afterwards, so
// that a test which closes the link decides itself when the instrument is looked for again. The
// simulator's record starts empty once Start has returned true.
class SessionRig {
public:
    // Without the copy the import finds no table (nobody answers its dialog): the instrument
    // counts as connected, with every table lookup answering 0.
    bool Start(const ksim::InstrumentProfile &profile = FastProfile(), bool installCalCopy = true);
    static ksim::InstrumentProfile FastProfile();

    // The request lines the instrument received since Start (or the last clearRecords).
    QStringList RequestLines() const;
    // "GO 3 a b c" for the simulator's cell at these CW and FWHM texts of its table, e.g.
    // ("600.0", "5.0"); empty when the cell is not reachable.
    QString GoLineFor(const QString &cw, const QString &fwhm) const;

    // Destroyed in reverse: the session's port closes before the pseudo-terminal goes.
    TempProgramFolder folder;
    std::unique_ptr<ksim::VirtualInstrument> sim;
    std::unique_ptr<TSetup_RedeRedirada> setup;
    std::unique_ptr<TInstrumentSession> session;
};
