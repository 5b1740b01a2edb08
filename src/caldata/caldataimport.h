#pragma once

#include "caldata/caldata.h"
#include "caldata/calfiledialog.h"

#include <QString>
#include <QStringList>

// Fills `table` from the instrument's calibration file: the copy Cal/<Model>_<Serial>.csv under
// exePath (which ends with a separator) when it exists, otherwise the file the operator picks in
// `dialog`, checked against the instrument and copied there first. `infoValid` tells whether the
// instrument's model code and serial number were read. Returns "" on success and otherwise the
// one message to show in the error colour. The table is Loaded only after a complete import; a
// copy whose contents fail is deleted so that the next connection asks again.
QString ImportCalData(TCalData &table, bool infoValid, const QString &exePath,
                      ICalFileDialog &dialog);

// The same, reading the copy through `readLines` (same contract as ReadTextFileLines), so that a
// copy which vanishes or turns unreadable after it was made can be reproduced.
using TReadTextLines = bool (*)(const QString &path, QStringList &lines);
QString ImportCalData(TCalData &table, bool infoValid, const QString &exePath,
                      ICalFileDialog &dialog, TReadTextLines readLines);

// The largest copy the import reads. Genuine files stay far below (1006 lines of at most 22
// short fields, some hundred kilobytes); anything bigger is refused before it is read into
// memory, which would otherwise freeze the UI thread or exhaust memory.
constexpr qint64 MaxCalDataFileSize = 4 * 1024 * 1024;
