#include "remote/remotereadback.h"

#include "core/numbers.h"
#include "session/instrumentsession.h"

namespace {

// The read-backs answer NONE for what is not known, as a refusal without a code reads.
const QByteArray &Unknown = NoErrorCode;

// One decimal and a point, whatever the locale: a client parses these.
QByteArray Nm(double value) {
    return QByteArray::number(value, 'f', 1);
}

QByteArray Joined(const QList<QByteArray> &parts) {
    return parts.join(' ');
}

QByteArray DeviceState(const TInstrumentSession &session) {
    if (!session.IsDeviceReady())
        return "SEARCHING";
    if (session.IsStartingUp())
        return "STARTING";
    const TCalData &table = session.CalData();
    return Joined(
        {"READY", table.Model.toLatin1(), table.Serial.toLatin1(), session.RangeText().toLatin1()});
}

QByteArray Band(const TInstrumentSession &session, bool edges) {
    const std::optional<TBand> band = session.CurrentBand();
    if (!session.IsDeviceReady() || !band)
        return Unknown;
    return edges ? Joined({Nm(band->SW), Nm(band->LW)}) : Joined({Nm(band->CWL), Nm(band->FWHM)});
}

QByteArray Positions(const TInstrumentSession &session) {
    if (!session.IsDeviceReady())
        return Unknown;
    QList<QByteArray> parts;
    for (const int position : session.LastPositions())
        parts.append(QByteArray::number(position));
    return Joined(parts);
}

QByteArray Limits(const TCalData &table) {
    if (!table.Loaded)
        return Unknown;
    QList<QByteArray> parts{Nm(table.GetMinCW()), Nm(table.GetMaxCW()), Nm(table.GetCWStep())};
    for (int c = 0; c < table.UsedCols(); ++c)
        parts.append(Nm(table.FWHMValues[c]));
    return Joined(parts);
}

// The FWHM is read as SETC reads it. The table answers 0 for a width without a column, and for
// a column without a usable row, which has no range either.
QByteArray LimitsForFWHM(const TCalData &table, const QString &text) {
    const double fwhm = RoundTo(StrToFloatDef(text, 0.0), -1);
    if (!table.Loaded)
        return Unknown;
    const double first = table.GetMinCWForFWHM(fwhm);
    const double last = table.GetMaxCWForFWHM(fwhm);
    if (first <= 0.0 || last <= 0.0)
        return Unknown;
    return Joined({Nm(first), Nm(last)});
}

QByteArray Progress(const TInstrumentSession &session) {
    const std::optional<TScanProgress> progress = session.ScanProgress();
    if (!progress)
        return "IDLE";
    return Joined({QByteArray::number(progress->Moved), QByteArray::number(progress->Total),
                   Nm(progress->Band.CWL), Nm(progress->Band.FWHM)});
}

// The count, or entry k (from 1) as "<cwl> <fwhm> <dwell>"; NONE for an index outside the list.
QByteArray BandListEntry(const TBandList &list, const QString &index) {
    bool whole = false;
    const int k = index.toInt(&whole);
    if (!whole || k < 1 || k > list.Count())
        return Unknown;
    const TBandListEntry &entry = list.Entries().at(k - 1);
    return Joined({Nm(entry.CWL), Nm(entry.FWHM), Nm(entry.Dwell)});
}

} // namespace

std::optional<QByteArray> ReadBackReply(const TInstrumentSession &session,
                                        const QStringList &fields) {
    const QString word = fields.value(0);
    if (fields.size() == 2 && word == QLatin1String("LIMITS"))
        return LimitsForFWHM(session.CalData(), fields.at(1));
    if (fields.size() == 2 && word == QLatin1String("LIST"))
        return BandListEntry(session.BandList(), fields.at(1));
    if (fields.size() != 1)
        return std::nullopt;
    if (word == QLatin1String("DEVICE"))
        return DeviceState(session);
    if (word == QLatin1String("GETC"))
        return Band(session, false);
    if (word == QLatin1String("GETR"))
        return Band(session, true);
    if (word == QLatin1String("GETP"))
        return Positions(session);
    if (word == QLatin1String("LIMITS"))
        return Limits(session.CalData());
    if (word == QLatin1String("LIST"))
        return QByteArray::number(session.BandList().Count());
    if (word == QLatin1String("PROGRESS"))
        return Progress(session);
    return std::nullopt;
}
