#pragma once

#include <QStringList>

// Splits a comma text into fields, the one convention shared by instrument replies, remote
// command lines and calibration file lines:
// - fields are separated by a comma or by a run of characters with codes 1 to 32, and such
//   characters around a comma are skipped;
// - a field that starts with a double quote runs to the next lone double quote; the quotes are
//   removed and a doubled double quote inside stands for one;
// - two commas enclose an empty field; a comma that is the very last character adds an empty
//   last field;
// - a NUL character ends the text.
QStringList SplitCommaText(const QString &text);
