#pragma once

#include "core/band.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <optional>

// How a scan ended.
enum class TScanOutcome { Succeeded, Aborted, Failed };

// The record of one scan, Scans/Scan <yyyymmdd-hhnnss>.csv, or of one band-list run,
// Scans/List <yyyymmdd-hhnnss>.csv, whose rows also name the cycle and the entry of each point:
// a header line and one row per point, each written and flushed when the instrument leaves the
// point or the scan ends, so that a crash or a full disk loses no row already written. The file is
// made with the first row to write; a second scan in the same second gets "_2", "_3" ... after the
// stamp. Any failure ends the record, never the scan: Failed() turns true once, and nothing more is
// written.
class TScanRecord {
public:
    // folder ends with a separator; the stamp is taken now, at the scan's start. A band-list
    // run gives the number of its entries: its points go through them cycle after cycle.
    explicit TScanRecord(const QString &folder, int bandListEntries = 0);

    void MoveSent(const TBand &band, int pos1, int pos2, int pos3);
    void MoveConfirmed();
    // The scan is over; its last row carries the outcome.
    void Finish(TScanOutcome outcome);

    bool Failed() const { return Failure; }
    QString FilePath() const { return File.fileName(); }

private:
    struct TPoint {
        int Number = 0;
        TBand Band;
        int Pos[3]{};
        QString Sent;
        QString Confirmed; // empty until the reply is accepted
        qint64 ConfirmedMs = 0;
    };

    void WritePending(const QString &outcome);
    bool Write(const QByteArray &bytes);
    bool Open();

    const QString Folder;
    const int ListEntries; // 0 for a scan
    const QString Stamp;
    QFile File;
    QElapsedTimer Clock; // monotonic: the dwell does not follow a change of the date-time
    std::optional<TPoint> Pending;
    int Points = 0;
    bool Failure = false;
};
