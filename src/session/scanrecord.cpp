#include "session/scanrecord.h"

#include <QDir>

#include <utility>

namespace {

const QByteArray Header = "point,cwl_nm,fwhm_nm,pos1,pos2,pos3,sent,confirmed,dwell_ms,outcome";
const QByteArray ListHeader =
    "point,cycle,entry,cwl_nm,fwhm_nm,pos1,pos2,pos3,sent,confirmed,dwell_ms,outcome";
const QByteArray LineEnd = "\r\n";

QString Now() {
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
}

QByteArray Nm(double value) {
    return QByteArray::number(value, 'f', 1);
}

QString OutcomeText(TScanOutcome outcome) {
    switch (outcome) {
    case TScanOutcome::Succeeded:
        return QStringLiteral("success");
    case TScanOutcome::Aborted:
        return QStringLiteral("aborted");
    case TScanOutcome::Failed:
        break;
    }
    return QStringLiteral("failure ERRDV05");
}

} // namespace

TScanRecord::TScanRecord(const QString &folder, int bandListEntries)
    : Folder(folder), ListEntries(bandListEntries),
      Stamp(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))) {
    Clock.start();
}

void TScanRecord::MoveSent(const TBand &band, int pos1, int pos2, int pos3) {
    WritePending({});
    Pending = TPoint{++Points, band, {pos1, pos2, pos3}, Now(), {}, 0};
}

void TScanRecord::MoveConfirmed() {
    if (!Pending)
        return;
    Pending->Confirmed = Now();
    Pending->ConfirmedMs = Clock.elapsed();
}

void TScanRecord::Finish(TScanOutcome outcome) {
    const QString text = OutcomeText(outcome);
    if (!Pending && Points == 0) {
        const QByteArray emptyFields(ListEntries > 0 ? 11 : 9, ',');
        Write("0" + emptyFields + text.toLatin1() + LineEnd);
    } else
        WritePending(text);
}

// Leaving the point: its dwell ends now.
void TScanRecord::WritePending(const QString &outcome) {
    if (!Pending)
        return;
    const TPoint point = *std::exchange(Pending, std::nullopt);
    const bool confirmed = !point.Confirmed.isEmpty();
    QList<QByteArray> fields{QByteArray::number(point.Number),
                             Nm(point.Band.CWL),
                             Nm(point.Band.FWHM),
                             QByteArray::number(point.Pos[0]),
                             QByteArray::number(point.Pos[1]),
                             QByteArray::number(point.Pos[2]),
                             point.Sent.toLatin1(),
                             point.Confirmed.toLatin1(),
                             confirmed ? QByteArray::number(Clock.elapsed() - point.ConfirmedMs)
                                       : QByteArray(),
                             outcome.toLatin1()};
    if (ListEntries > 0) {
        const int index = point.Number - 1;
        fields.insert(1, QByteArray::number(index / ListEntries + 1));
        fields.insert(2, QByteArray::number(index % ListEntries + 1));
    }
    Write(fields.join(',') + LineEnd);
}

bool TScanRecord::Write(const QByteArray &bytes) {
    if (Failure || (!File.isOpen() && !Open()))
        return false;
    if (File.write(bytes) != bytes.size() || !File.flush()) {
        Failure = true;
        File.close();
        return false;
    }
    return true;
}

bool TScanRecord::Open() {
    if (!QDir().mkpath(Folder)) {
        Failure = true;
        return false;
    }
    // NewOnly: a record of another scan of the same second is never overwritten.
    for (int n = 1; n < 100; ++n) {
        const QString suffix = n == 1 ? QString() : QStringLiteral("_") + QString::number(n);
        const QString kind = ListEntries > 0 ? QStringLiteral("List ") : QStringLiteral("Scan ");
        File.setFileName(Folder + kind + Stamp + suffix + QStringLiteral(".csv"));
        if (File.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const QByteArray header = (ListEntries > 0 ? ListHeader : Header) + LineEnd;
            if (File.write(header) == header.size() && File.flush())
                return true;
            break;
        }
        if (!File.exists())
            break; // not taken, so it cannot be made at all
    }
    Failure = true;
    File.close();
    return false;
}
