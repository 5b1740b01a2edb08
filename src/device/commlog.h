#pragma once

#include <QString>

// The communication log: one time-stamped line per event of the serial link, data bytes in
// hexadecimal, in "Log <yyyymmdd-hhnnss>.ini" of the log folder. Each entry is appended and the
// file closed again, so the log is complete on disk after every line.
class TCommLog {
public:
    // Creates the folder and takes the file's time stamp; entries are written from then on.
    bool StartLog(const QString &folder);
    // One entry: the text, then " #{XX}...#" when count bytes of data come with it. False when
    // the log is off or the entry could not be written; a lost entry is not reported.
    bool AddLog(const QString &text, const char *data = nullptr, int count = 0) const;

    bool enabled() const { return Enabled; }
    QString folder() const { return Folder; }
    QString stamp() const { return Stamp; }
    // The file the log writes to; empty until StartLog has run.
    QString filePath() const;

private:
    QString Folder;
    QString Stamp;
    bool Enabled = false;
};
