#pragma once

#include "setup/setupbase.h"

#include <QString>

// The program's settings, kept in memory and in RedeRedirada.ini. Other units read the fields
// directly; the file is written back only when the object goes.
class TSetup_RedeRedirada : public TSetup_Base {
public:
    // folder ends with a separator. Loads the file, or takes the defaults when it is missing,
    // foreign or cannot be opened.
    TSetup_RedeRedirada(const QString &folder, const QString &fileName);
    ~TSetup_RedeRedirada() override;

    // False, leaving every field alone, when the file is not open or not this program's; a key
    // that is missing, not a number or out of range takes its default alone.
    bool Load() override;
    // Writes every key and replaces the file; false when any of that failed.
    bool Save() override;
    void SetDefaults() override;

    QString Folder;
    QString FileName;
    QString PortName;
    // Read and written back so that the file keeps it, but never used: the search opens every
    // port at the instrument's own rate.
    QString BaudRate;
    int TimeOut = 0;
    QString Info;
    // Kept in the file as it came, for files that other tools or older versions read; nothing
    // here acts on it.
    bool ZeroToPos = false;
    bool DebugMode = false;
    int PortNum = 0;
    bool ScanRecord = true; // each scan writes Scans/Scan <stamp>.csv
};
