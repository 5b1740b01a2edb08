#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class QTimer;
class TCalData;

// One entry of the band list: a pass band and how long a timed run stays there. Each value is
// read as SETC reads CWL and FWHM and as SCAN reads TimeDelay, so it lies on the 0.1 grid.
struct TBandListEntry {
    double CWL = 0.0;   // nm
    double FWHM = 0.0;  // nm
    double Dwell = 0.0; // s

    bool operator==(const TBandListEntry &other) const {
        return CWL == other.CWL && FWHM == other.FWHM && Dwell == other.Dwell;
    }
};

// Whether an entry passes for a table: the first rule that fails, with SETC's codes and texts
// for the band (ERRSE01..ERRSE10) and SCAN's for the dwell (ERRSC05, ERRSC14, ERRSC15).
struct TBandListVerdict {
    bool Passed = false;
    QString Code;
    QString Text; // signs as Unicode characters
};

// Three texts read as the rules read them: a text that is no number reads as 0.0.
TBandListEntry ReadBandListEntry(const QString &cwl, const QString &fwhm, const QString &dwell);
TBandListVerdict CheckBandListEntry(const TBandListEntry &entry, const TCalData &table);

// The verdict of each entry, in order. A long list repeats its bands (a table has a few thousand
// cells at most), so each distinct band is checked once: a list of 10,000 entries is checked in
// a few milliseconds.
QList<TBandListVerdict> CheckBandList(const QList<TBandListEntry> &entries, const TCalData &table);

// The band list of the session, shared by the console and the remote port, and its file. A
// change writes the file whole, through a temporary file that replaces it only once complete, so
// that a crash leaves the old list or the new one. The write follows the change within
// StoreDelayMs, and the list's destruction writes what is still due: a client loading 10,000
// entries one by one must not rewrite the file 10,000 times. Entries that fail the table are kept:
// the table may change under them, and a run checks every entry before it moves.
class TBandList : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxEntries = 10000;
    static constexpr int StoreDelayMs = 200;

    // filePath is the list's file, BandList.csv of the program folder.
    explicit TBandList(const QString &filePath, QObject *parent = nullptr);
    ~TBandList() override;

    const QList<TBandListEntry> &Entries() const { return List; }
    int Count() const { return int(List.size()); }

    // Each answers false, changing nothing, for a full list or an index outside it.
    bool Append(const TBandListEntry &entry);
    bool Insert(int index, const TBandListEntry &entry);
    bool Replace(int index, const TBandListEntry &entry);
    bool Remove(int index);
    void Clear();
    // A whole list, e.g. one read from a file the operator chose; false when it is too long.
    bool Assign(const QList<TBandListEntry> &entries);

    // Reads the list's file at start. A missing file is an empty list; one that cannot be read
    // gives an empty list too and is renamed to <file>.bad (replacing an older one), and the
    // answer is false.
    bool Load();

    // The file format: the header cwl_nm,fwhm_nm,dwell_s and one entry per line, one decimal
    // each. Reading fails for a wrong header, a line that is not three numbers, or more than
    // MaxEntries entries; it stops reading at the first fault, so a huge file costs no more
    // than a list's worth.
    static std::optional<QList<TBandListEntry>> ReadFile(const QString &path);
    static bool WriteFile(const QString &path, const QList<TBandListEntry> &entries);

    QString FilePath() const { return Path; }
    // Writes a change still due now; false when the file could not be written.
    bool Flush();

signals:
    // The entries changed; the file follows.
    void Changed();
    void WriteFailed();

private:
    void Store();

    const QString Path;
    QTimer *StoreTimer = nullptr;
    QList<TBandListEntry> List;
};
