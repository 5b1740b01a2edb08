#pragma once

#include <QString>

// Serial ports keep the names COM1 ... COM64 on every system.
constexpr int MaxComPort = 64;

// n for a name "COM" + n with 1 <= n <= 64 written without sign or leading zeros; else 0.
int ComPortNumber(const QString &name);

// The device behind a port name, as an absolute path, or "" when there is none. With a folder
// Ports/ in the program folder, COMn is only its symbolic link Ports/COMn, resolved to the
// device, so that a search never touches other equipment. Without it COM1-COM32 are
// /dev/ttyUSB0-31, COM33-COM48 /dev/ttyACM0-15 and COM49-COM64 /dev/ttyS0-15.
QString ComPortDevice(const QString &name);
