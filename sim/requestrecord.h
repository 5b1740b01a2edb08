#pragma once

#include "sim/instrumentmodel.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace ksim {

// One request line as the simulated instrument heard it.
struct RequestRecord {
    qint64 monotonicMs = 0; // CLOCK_MONOTONIC in ms, comparable across processes
    QDateTime wallTime;
    RequestKind kind = RequestKind::Other;
    QByteArray text; // without its CR
    // For a GO checked against the calibration table: "cell=<CW>/<FWHM>" or "mismatch";
    // otherwise "-".
    QString check = QStringLiteral("-");
};

qint64 MonotonicMs();

// One line, fields separated by tabs:
//   RX <monotonic ms> <wall time yyyy-MM-ddTHH:mm:ss.zzz> <kind> <text> <check>
// Bytes of the text outside printable ASCII, and the backslash, are written as \xHH.
QString FormatRecord(const RequestRecord &record);
std::optional<RequestRecord> ParseRecord(const QString &line);

} // namespace ksim
