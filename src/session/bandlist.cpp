#include "session/bandlist.h"

#include "core/numbers.h"
#include "session/scanplancheck.h"
#include "session/setpointcheck.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QTimer>

#include <cmath>

namespace {

const QByteArray Header = "cwl_nm,fwhm_nm,dwell_s";
const QByteArray LineEnd = "\r\n";
// A line of three numbers is far shorter; anything longer is not a list line.
constexpr qint64 MaxLineLength = 256;

QByteArray Tenths(double value) {
    return QByteArray::number(value, 'f', 1);
}

double ReadTenths(const QString &text) {
    return RoundTo(StrToFloatDef(text, 0.0), -1);
}

} // namespace

TBandListEntry ReadBandListEntry(const QString &cwl, const QString &fwhm, const QString &dwell) {
    return {ReadTenths(cwl), ReadTenths(fwhm), ReadTenths(dwell)};
}

TBandListVerdict CheckBandListEntry(const TBandListEntry &entry, const TCalData &table) {
    const TSetPointVerdict band = CheckSetPoint(0, QString::fromLatin1(Tenths(entry.CWL)),
                                                QString::fromLatin1(Tenths(entry.FWHM)), table);
    if (!band.Passed)
        return {false, band.Code, band.Text};
    if (const std::optional<TRuleFailure> dwell = CheckTimeDelay(entry.Dwell))
        return {false, dwell->Code, dwell->Text};
    return {true, {}, {}};
}

QList<TBandListVerdict> CheckBandList(const QList<TBandListEntry> &entries, const TCalData &table) {
    QHash<std::pair<qint64, qint64>, TBandListVerdict> bands;
    QList<TBandListVerdict> verdicts;
    verdicts.reserve(entries.size());
    for (const TBandListEntry &entry : entries) {
        const std::pair<qint64, qint64> key{qRound64(entry.CWL * 10.0),
                                            qRound64(entry.FWHM * 10.0)};
        auto known = bands.constFind(key);
        if (known == bands.cend())
            known = bands.insert(key, CheckBandListEntry({entry.CWL, entry.FWHM, 1.0}, table));
        if (!known->Passed)
            verdicts.append(*known);
        else if (const std::optional<TRuleFailure> dwell = CheckTimeDelay(entry.Dwell))
            verdicts.append({false, dwell->Code, dwell->Text});
        else
            verdicts.append({true, {}, {}});
    }
    return verdicts;
}

TBandList::TBandList(const QString &filePath, QObject *parent) : QObject(parent), Path(filePath) {
    StoreTimer = new QTimer(this);
    StoreTimer->setSingleShot(true);
    StoreTimer->setInterval(StoreDelayMs);
    connect(StoreTimer, &QTimer::timeout, this, [this] {
        if (!WriteFile(Path, List))
            emit WriteFailed();
    });
}

TBandList::~TBandList() {
    Flush();
}

bool TBandList::Flush() {
    if (!StoreTimer->isActive())
        return true;
    StoreTimer->stop();
    return WriteFile(Path, List);
}

bool TBandList::Append(const TBandListEntry &entry) {
    return Insert(Count(), entry);
}

bool TBandList::Insert(int index, const TBandListEntry &entry) {
    if (Count() >= MaxEntries || index < 0 || index > Count())
        return false;
    List.insert(index, entry);
    Store();
    return true;
}

bool TBandList::Replace(int index, const TBandListEntry &entry) {
    if (index < 0 || index >= Count())
        return false;
    List[index] = entry;
    Store();
    return true;
}

bool TBandList::Remove(int index) {
    if (index < 0 || index >= Count())
        return false;
    List.removeAt(index);
    Store();
    return true;
}

void TBandList::Clear() {
    List.clear();
    Store();
}

bool TBandList::Assign(const QList<TBandListEntry> &entries) {
    if (entries.size() > MaxEntries)
        return false;
    List = entries;
    Store();
    return true;
}

bool TBandList::Load() {
    if (!QFile::exists(Path)) {
        List.clear();
        return true;
    }
    std::optional<QList<TBandListEntry>> read = ReadFile(Path);
    if (read) {
        List = std::move(*read);
        emit Changed();
        return true;
    }
    List.clear();
    const QString bad = Path + QStringLiteral(".bad");
    QFile::remove(bad);
    QFile::rename(Path, bad);
    emit Changed();
    return false;
}

// Not restarted by each change: a steady stream of changes is still written every
// StoreDelayMs.
void TBandList::Store() {
    if (!StoreTimer->isActive())
        StoreTimer->start();
    emit Changed();
}

std::optional<QList<TBandListEntry>> TBandList::ReadFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto readLine = [&file] { return file.readLine(MaxLineLength + 1).trimmed(); };
    if (readLine() != Header)
        return std::nullopt;
    QList<TBandListEntry> entries;
    while (!file.atEnd()) {
        const QByteArray line = readLine();
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split(',');
        if (line.size() > MaxLineLength || fields.size() != 3 || entries.size() == MaxEntries)
            return std::nullopt;
        double values[3];
        for (int i = 0; i < 3; ++i) {
            bool ok = false;
            values[i] = fields[i].trimmed().toDouble(&ok);
            if (!ok || !std::isfinite(values[i]))
                return std::nullopt;
        }
        entries.append({RoundTo(values[0], -1), RoundTo(values[1], -1), RoundTo(values[2], -1)});
    }
    return entries;
}

bool TBandList::WriteFile(const QString &path, const QList<TBandListEntry> &entries) {
    QByteArray text = Header + LineEnd;
    for (const TBandListEntry &e : entries)
        text += Tenths(e.CWL) + ',' + Tenths(e.FWHM) + ',' + Tenths(e.Dwell) + LineEnd;
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}
