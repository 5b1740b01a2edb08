#include "session/sessionrig.h"

#include "caldata/caldata.h"
#include "sim/caltable.h"

ksim::InstrumentProfile SessionRig::FastProfile() {
    ksim::InstrumentProfile profile;
    profile.timing = ksim::Timing::fast();
    return profile;
}

bool SessionRig::Start(const ksim::InstrumentProfile &profile, bool installCalCopy) {
    sim = std::make_unique<ksim::VirtualInstrument>(profile);
    if (!sim->setLink(folder.filePath(QStringLiteral("Ports/COM1"))) || !sim->plug())
        return false;
    QString error;
    if (installCalCopy &&
        sim->calTable()
            ->write(folder.filePath(QStringLiteral("Cal")), sim->calTable()->keptName(), &error)
            .isEmpty())
        return false;
    setup =
        std::make_unique<TSetup_RedeRedirada>(folder.path(), QStringLiteral("RedeRedirada.ini"));
    session = std::make_unique<TInstrumentSession>(*setup, folder.path());
    session->SetSettleRounds(0);
    session->Action_DeviceOpen();
    session->SearchTimer().stop();
    if (!session->IsDeviceReady() || session->CalData().Loaded != installCalCopy ||
        session->IsOperationBusy())
        return false;
    sim->clearRecords();
    return true;
}

QStringList SessionRig::RequestLines() const {
    QStringList lines;
    for (const ksim::RequestRecord &record : sim->records())
        lines.append(QString::fromLatin1(record.text));
    return lines;
}

QString SessionRig::GoLineFor(const QString &cw, const QString &fwhm) const {
    const ksim::CalTable &t = *sim->calTable();
    for (int r = 0; r < t.rowCount(); ++r) {
        for (int c = 0; c < t.columnCount(); ++c) {
            if (t.cwText(r) != cw || t.fwhmText(c) != fwhm)
                continue;
            const std::optional<ksim::Positions> p = t.cell(r, c);
            return p ? QStringLiteral("GO 3 %1 %2 %3").arg((*p)[0]).arg((*p)[1]).arg((*p)[2])
                     : QString();
        }
    }
    return {};
}
