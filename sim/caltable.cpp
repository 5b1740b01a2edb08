#include "sim/caltable.h"

#include "core/commatext.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cmath>

namespace ksim {

namespace {

// Bandwidth columns of the generated table, nm.
constexpr int kColumns[] = {2, 3, 5, 10, 15, 20, 30, 40};
// The edge filters reach this far beyond each end of the range; a band whose edge would lie
// further out cannot be made.
constexpr double kEdgeMarginNm = 5.0;

// The narrowest band the filter forms at distance d (nm) from the nearer end of its range: the
// edges soften towards the ends, so narrow bands are only available well inside.
double NarrowestBand(double d) {
    return 1.5 + 4.0 * std::exp(-d / 20.0);
}

quint64 Pack(const Positions &p) {
    return (quint64(quint32(p[0])) << 42) | (quint64(quint32(p[1])) << 21) | quint64(p[2]);
}

QString Decimal1(double v) {
    return QString::number(v, 'f', 1);
}

QStringList SplitLines(const QString &text) {
    QString normalised = text;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = normalised.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // a break at the very end adds no line
    return lines;
}

std::optional<int> WholeNumber(const QString &text) {
    bool ok = false;
    const int v = text.toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

} // namespace

CalTable CalTable::generate(const InstrumentProfile &profile) {
    CalTable table;
    table.model_ = profile.model;
    table.serial_ = profile.serial;
    const double lo = profile.rangeMin;
    const double hi = profile.rangeMax;
    if (!(hi > lo))
        return table;

    double step = 0.5;
    if (std::lround((hi - lo) / step) + 1 > 1000)
        step = 1.0;
    const int rows = int(std::min<long>(std::lround((hi - lo) / step) + 1, 1000));
    for (const int fwhm : kColumns)
        table.fwhmText_.append(Decimal1(fwhm));

    const double edgeLow = lo - kEdgeMarginNm;
    const double edgeSpan = hi - lo + 2 * kEdgeMarginNm;
    for (int r = 0; r < rows; ++r) {
        const double cw = std::round((lo + r * step) * 10.0) / 10.0;
        table.cwText_.append(Decimal1(cw));
        const double fromEnd = std::min(cw - lo, hi - cw);
        const double tCw = (cw - lo) / (hi - lo);
        for (const int fwhm : kColumns) {
            const double sw = cw - fwhm / 2.0;
            const double lw = cw + fwhm / 2.0;
            if (fwhm < NarrowestBand(fromEnd) || sw < edgeLow || lw > edgeLow + edgeSpan) {
                table.cells_.append(std::nullopt);
                continue;
            }
            // Two edge filters, one per band edge, each with a gently bowed angle curve, and a
            // slit that opens with the bandwidth.
            const double tLw = (lw - edgeLow) / edgeSpan;
            const double tSw = (sw - edgeLow) / edgeSpan;
            table.cells_.append(
                Positions{int(std::lround(300.0 + 5400.0 * (0.85 * tLw + 0.15 * tLw * tLw))),
                          int(std::lround(5750.0 - 5500.0 * (0.8 * tSw + 0.2 * tSw * tSw))),
                          int(std::lround(600.0 + 90.0 * fwhm + 150.0 * tCw))});
        }
    }
    table.index();
    return table;
}

std::optional<CalTable> CalTable::read(const QString &path, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QTextStream stream(&file); // honours a byte-order mark
    const QStringList lines = SplitLines(stream.readAll());
    const auto fail = [error](int line, const QString &what) {
        *error = QStringLiteral("line %1: %2").arg(line).arg(what);
        return std::nullopt;
    };
    if (lines.size() < 7)
        return fail(lines.size(), QStringLiteral("fewer than 7 lines"));

    CalTable table;
    const QStringList modelLine = SplitCommaText(lines[0]);
    const QStringList serialLine = SplitCommaText(lines[1]);
    if (modelLine.size() < 2 || modelLine[0] != QLatin1String("Model"))
        return fail(1, QStringLiteral("no Model"));
    if (serialLine.size() < 3 || serialLine[0] != QLatin1String("Serial"))
        return fail(2, QStringLiteral("no Serial"));
    table.model_ = modelLine[1];
    table.serial_ = serialLine[2];

    const QStringList columnLine = SplitCommaText(lines[3]);
    const QStringList rowLine = SplitCommaText(lines[4]);
    const std::optional<int> n = columnLine.size() >= 2 && columnLine[0] == QLatin1String("COLUMN")
                                     ? WholeNumber(columnLine[1])
                                     : std::nullopt;
    if (!n || *n < 0 || *n > 20)
        return fail(4, QStringLiteral("no COLUMN count of 0 to 20"));
    const std::optional<int> m = rowLine.size() >= 2 && rowLine[0] == QLatin1String("ROW")
                                     ? WholeNumber(rowLine[1])
                                     : std::nullopt;
    if (!m || *m < 0 || *m > 1000 || lines.size() < *m + 6)
        return fail(5, QStringLiteral("no ROW count of 0 to 1000 with as many row lines"));

    const QStringList header = SplitCommaText(lines[5]);
    if (header.size() < *n + 2)
        return fail(6, QStringLiteral("fewer FWHM values than columns"));
    table.fwhmText_ = header.mid(2, *n);

    for (int k = 1; k <= *m; ++k) {
        const QStringList fields = SplitCommaText(lines[k + 5]);
        if (fields.size() < *n + 2)
            return fail(k + 6, QStringLiteral("fewer cells than columns"));
        table.cwText_.append(fields[1]);
        for (int j = 0; j < *n; ++j) {
            const QString &cell = fields[j + 2];
            if (cell == QLatin1String("x")) {
                table.cells_.append(std::nullopt);
                continue;
            }
            const QStringList parts = cell.split(QLatin1Char(':'));
            if (parts.size() != 3)
                return fail(k + 6,
                            QStringLiteral("cell %1 is neither x nor three values").arg(j + 1));
            Positions values{};
            bool reachable = true;
            for (int axis = 0; axis < 3; ++axis) {
                const std::optional<int> v = WholeNumber(parts[axis].trimmed());
                reachable = reachable && v && *v >= 0;
                values[axis] = v.value_or(-1);
            }
            table.cells_.append(reachable ? std::optional<Positions>(values) : std::nullopt);
        }
    }
    table.index();
    return table;
}

QByteArray CalTable::fileText() const {
    QByteArray text;
    const auto line = [&text](const QString &s) { text += s.toLatin1() + "\r\n"; };
    line(QStringLiteral("Model,") + model_);
    line(QStringLiteral("Serial,,") + serial_);
    line(QStringLiteral("Calibrated positions of the three axes, Pos1:Pos2:Pos3"));
    line(QStringLiteral("COLUMN,%1").arg(columnCount()));
    line(QStringLiteral("ROW,%1").arg(rowCount()));
    line(QStringLiteral("FWHM,,") + fwhmText_.join(QLatin1Char(',')));
    for (int r = 0; r < rowCount(); ++r) {
        QString row = QString::number(r + 1) + QLatin1Char(',') + cwText_[r];
        for (int c = 0; c < columnCount(); ++c) {
            const std::optional<Positions> v = cell(r, c);
            row += v ? QStringLiteral(",%1:%2:%3").arg((*v)[0]).arg((*v)[1]).arg((*v)[2])
                     : QStringLiteral(",x");
        }
        line(row);
    }
    return text;
}

QString CalTable::fileName(const QDate &calibrated) const {
    return calibrated.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('_') + model_ +
           QLatin1Char('_') + serial_ + QStringLiteral(".csv");
}

QString CalTable::keptName() const {
    return model_ + QLatin1Char('_') + serial_ + QStringLiteral(".csv");
}

QString CalTable::write(const QString &dir, const QString &name, QString *error) const {
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return {};
    }
    const QString path = QDir(dir).filePath(name);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(fileText()) < 0 || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return {};
    }
    return path;
}

std::optional<Positions> CalTable::cell(int row, int column) const {
    return cells_.at(row * columnCount() + column);
}

std::optional<CalTable::CellRef> CalTable::find(const Positions &values) const {
    const auto it = byValues_.constFind(Pack(values));
    if (it == byValues_.constEnd())
        return std::nullopt;
    return CellRef{*it / columnCount(), *it % columnCount()};
}

void CalTable::index() {
    byValues_.clear();
    for (int i = 0; i < cells_.size(); ++i) {
        const std::optional<Positions> &v = cells_[i];
        if (v && (*v)[0] <= kMaxPosition && (*v)[1] <= kMaxPosition && (*v)[2] <= kMaxPosition &&
            !byValues_.contains(Pack(*v)))
            byValues_.insert(Pack(*v), i);
    }
}

} // namespace ksim
