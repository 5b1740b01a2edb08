#pragma once

#include <QStringList>

// The ports among COM1 ... COM64 that can be opened for reading and writing now, as "COM" + n in
// ascending n. A port that another program holds open is neither listed nor touched: its line
// settings and modem lines stay as they are.
QStringList ProbeComPorts();
