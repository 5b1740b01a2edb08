#pragma once

#include <QString>
#include <QStringList>

// Reads a text file into lines. A byte-order mark selects UTF-8, UTF-16 LE or UTF-16 BE; without
// one the bytes are read in the system's 8-bit encoding. Lines end at CR LF, LF or CR; a break at
// the very end adds no empty line, empty lines inside count. Bytes that do not decode become
// replacement characters. Returns false, leaving lines unchanged, when the file cannot be read.
bool ReadTextFileLines(const QString &path, QStringList &lines);
