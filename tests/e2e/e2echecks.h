#pragma once

#include "e2esupport.h"
#include "support/scriptedpeer.h"

#include <gtest/gtest.h>

namespace e2e {

// Sanitizer builds report into standard error and end with a non-zero code; a normal build
// writes nothing of the kind.
inline void ExpectCleanEnd(Program &program) {
    EXPECT_TRUE(program.terminate()) << "the program did not end normally on SIGTERM";
    const QByteArray errors = program.errorOutput();
    for (const char *report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
        EXPECT_FALSE(errors.contains(report)) << errors.constData();
}

// The settings file's lines without line ends or blank lines, for comparing its content.
inline QList<QByteArray> SettingsLines(const ProgramFolder &folder) {
    QList<QByteArray> lines;
    for (QByteArray line : folder.settingsText().split('\n')) {
        line = line.trimmed();
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}

// A program folder whose settings store COM1 as the instrument's port, with the log on and a
// free remote port (put into *remotePort), and the simulator linked as COM<simulatorPort>.
inline ::testing::AssertionResult PrepareFolder(ProgramFolder &folder, Simulator &instrument,
                                                int simulatorPort, quint16 *remotePort) {
    if (!folder.isValid())
        return ::testing::AssertionFailure() << "no program folder";
    *remotePort = FreeTcpPort();
    if (*remotePort == 0)
        return ::testing::AssertionFailure() << "no free TCP port";
    if (!folder.writeSettings(QStringLiteral("COM1"), *remotePort, true))
        return ::testing::AssertionFailure() << "the settings could not be written";
    if (!instrument.start(folder, simulatorPort))
        return ::testing::AssertionFailure() << "the simulator did not start";
    return ::testing::AssertionSuccess();
}

constexpr int StartUpTimeOutMs = 60000;
const QString HomeSuccess = QStringLiteral("Command <HOME> Success : All");

// "Device ready." is only on screen. From outside it shows as the start-up's homing in the log
// (the last instrument command of the start-up; `homesBefore` counts earlier ones) followed by
// the release of the operation lock, after which a move succeeds.
inline ::testing::AssertionResult WaitUntilReady(const ProgramFolder &folder, RemoteClient &client,
                                                 int homesBefore = 0) {
    if (!WaitForLogLine(folder, HomeSuccess, homesBefore, StartUpTimeOutMs))
        return ::testing::AssertionFailure() << "no homing in the log";
    const std::optional<QByteArray> reply = client.askUntil(
        "SETC 600.0 5.0", [](const QByteArray &r) { return r == "SETC OK\r"; }, 10000);
    if (reply != QByteArray("SETC OK\r"))
        return ::testing::AssertionFailure()
               << "the first move answered " << reply.value_or("nothing").constData();
    return ::testing::AssertionSuccess();
}

// A reply line with its CR shown, and the bytes outside ASCII in hex.
inline std::string Printable(const std::optional<QByteArray> &reply) {
    if (!reply)
        return "(no reply)";
    std::string text;
    for (const char c : *reply) {
        if (c == '\r')
            text += "\\r";
        else if (uchar(c) < 0x20 || uchar(c) >= 0x7f)
            text += QStringLiteral("\\x%1").arg(uchar(c), 2, 16, QLatin1Char('0')).toStdString();
        else
            text += c;
    }
    return text;
}

} // namespace e2e
