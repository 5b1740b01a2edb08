// The kestrune-sim program itself, as a person or a later test runs it.

#include "sim/caltable.h"
#include "sim/requestrecord.h"

#include "programside.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

namespace {

class SimulatorProgram : public ::testing::Test {
protected:
    void TearDown() override {
        if (process.state() != QProcess::NotRunning) {
            ::kill(pid_t(process.processId()), SIGTERM);
            process.waitForFinished(5000);
        }
    }

    // Starts the program and waits until it reports READY.
    bool start(const QStringList &arguments) {
        process.start(QStringLiteral(KESTRUNE_SIM_EXECUTABLE), arguments);
        return process.waitForStarted(5000) && waitForLine("READY");
    }

    // Waits for a line of standard output that starts with `prefix`; returns the rest of it.
    std::optional<QString> waitForLine(const QString &prefix, int timeoutMs = 5000) {
        std::optional<QString> found;
        WaitFor(
            [&] {
                out += QString::fromLocal8Bit(process.readAllStandardOutput());
                int end;
                while (!found && (end = out.indexOf(QLatin1Char('\n'))) >= 0) {
                    const QString line = out.left(end);
                    out.remove(0, end + 1);
                    if (line.startsWith(prefix))
                        found = line.mid(prefix.size()).trimmed();
                }
                return found.has_value() || process.state() == QProcess::NotRunning;
            },
            timeoutMs);
        return found;
    }

    QString link() const { return folder.filePath(QStringLiteral("Ports/COM5")); }

    QTemporaryDir folder;
    QProcess process;
    QString out;
};

} // namespace

TEST_F(SimulatorProgram, appearsAsComPortAnswersRecordsAndCleansUpOnTerm) {
    const QString record = folder.filePath(QStringLiteral("record.txt"));
    const QString control = folder.filePath(QStringLiteral("control"));
    process.start(QStringLiteral(KESTRUNE_SIM_EXECUTABLE),
                  {QStringLiteral("--folder"), folder.path(), QStringLiteral("--port"),
                   QStringLiteral("5"), QStringLiteral("--fast"), QStringLiteral("--record"),
                   record, QStringLiteral("--control"), control, QStringLiteral("--write-cal"),
                   folder.filePath(QStringLiteral("cal")), QStringLiteral("--cal-date"),
                   QStringLiteral("20190301"), QStringLiteral("--install-cal")});
    ASSERT_TRUE(process.waitForStarted(5000));
    const std::optional<QString> calFile = waitForLine(QStringLiteral("CALFILE "));
    const std::optional<QString> keptFile = waitForLine(QStringLiteral("CALFILE "));
    const std::optional<QString> device = waitForLine(QStringLiteral("DEVICE "));
    const std::optional<QString> linkLine = waitForLine(QStringLiteral("LINK "));
    ASSERT_TRUE(calFile && keptFile && device && linkLine && waitForLine(QStringLiteral("READY")));
    EXPECT_EQ(*calFile, folder.filePath(QStringLiteral("cal/20190301_F612_AX0000000017.csv")));
    EXPECT_EQ(*keptFile, folder.filePath(QStringLiteral("Cal/F612_AX0000000017.csv")));
    QFile picked(*calFile);
    QFile kept(*keptFile);
    ASSERT_TRUE(picked.open(QIODevice::ReadOnly) && kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(picked.readAll(), kept.readAll());
    EXPECT_EQ(*linkLine, link());
    EXPECT_EQ(QFileInfo(link()).symLinkTarget(), *device);

    QString error;
    const std::optional<ksim::CalTable> table = ksim::CalTable::read(*calFile, &error);
    ASSERT_TRUE(table) << error.toStdString();
    const ksim::Positions cell = *table->cell(400, 3);
    const QByteArray goodGo = "GO 3 " + QByteArray::number(cell[0]) + ' ' +
                              QByteArray::number(cell[1]) + ' ' + QByteArray::number(cell[2]);

    ProgramSide program(link());
    ASSERT_TRUE(program.isOpen());
    ASSERT_TRUE(program.send("?"));
    EXPECT_EQ(program.readUntil(), QByteArray("Quilm FM Ver1.0\r"));
    ASSERT_TRUE(program.send(goodGo));
    EXPECT_EQ(program.readUntil(), goodGo + '\r');
    ASSERT_TRUE(program.send("GO 3 1 2 3"));
    EXPECT_EQ(program.readUntil(), QByteArray("GO 3 1 2 3\r"));

    QLocalSocket client;
    client.connectToServer(control);
    ASSERT_TRUE(WaitFor([&] { return client.state() == QLocalSocket::ConnectedState; }));
    client.write("status\n");
    QByteArray status;
    ASSERT_TRUE(WaitFor([&] {
        status += client.readAll();
        return status.endsWith('\n');
    }));
    EXPECT_TRUE(status.contains(" GO=2 ")) << status.constData();
    EXPECT_TRUE(status.contains(" go-mismatch=1 ")) << status.constData();

    process.write("id Quilm FM Ver9.9\n");
    EXPECT_EQ(waitForLine(QStringLiteral("OK")), QString());
    ASSERT_TRUE(program.send("?"));
    EXPECT_EQ(program.readUntil(), QByteArray("Quilm FM Ver9.9\r"));

    ::kill(pid_t(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link()).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(control));
    EXPECT_TRUE(process.readAllStandardError().contains(
        "ERROR GO matches no calibration cell: GO 3 1 2 3"));

    QFile file(record);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QVector<ksim::RequestRecord> requests;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (const std::optional<ksim::RequestRecord> r =
                ksim::ParseRecord(QString::fromLatin1(line)))
            requests.append(*r);
    }
    ASSERT_EQ(requests.size(), 4);
    EXPECT_EQ(requests[0].kind, ksim::RequestKind::Identify);
    EXPECT_EQ(requests[1].check,
              QStringLiteral("cell=%1/%2").arg(table->cwText(400), table->fwhmText(3)));
    EXPECT_EQ(requests[2].check, QStringLiteral("mismatch"));
    EXPECT_LE(requests[0].monotonicMs, requests[3].monotonicMs);
}

TEST_F(SimulatorProgram, signalsUnplugAndPlugItIn) {
    ASSERT_TRUE(start({QStringLiteral("--folder"), folder.path(), QStringLiteral("--port"),
                       QStringLiteral("5"), QStringLiteral("--fast")}));
    ProgramSide first(link());
    ASSERT_TRUE(first.isOpen());

    ::kill(pid_t(process.processId()), SIGUSR1);
    ASSERT_TRUE(waitForLine(QStringLiteral("UNPLUGGED")));
    EXPECT_TRUE(first.waitHangUp());
    EXPECT_FALSE(QFileInfo(link()).isSymLink());

    ::kill(pid_t(process.processId()), SIGUSR2);
    const std::optional<QString> device = waitForLine(QStringLiteral("DEVICE "));
    ASSERT_TRUE(device);
    EXPECT_EQ(QFileInfo(link()).symLinkTarget(), *device);
    ProgramSide second(link());
    ASSERT_TRUE(second.send("POS 3"));
    EXPECT_EQ(second.readUntil(), QByteArray("POS 3 0 0 0\r"));
}

TEST_F(SimulatorProgram, faultOptionsApplyFromTheStart) {
    ASSERT_TRUE(start({QStringLiteral("--folder"), folder.path(), QStringLiteral("--port"),
                       QStringLiteral("5"), QStringLiteral("--fast"), QStringLiteral("--noise"),
                       QStringLiteral("2"), QStringLiteral("--info"), QStringLiteral("1=XY 12"),
                       QStringLiteral("--fault"), QStringLiteral("crlf on")}));
    ProgramSide program(link());
    ASSERT_TRUE(program.send("INFO 1"));
    EXPECT_EQ(program.readUntil("\r\n"), QByteArray("#~INFO 1 XY 12\r\n"));
}

TEST_F(SimulatorProgram, refusesBadOptionsWithoutLeavingALink) {
    for (const QStringList &arguments :
         {QStringList{QStringLiteral("--folder"), folder.path(), QStringLiteral("--port"),
                      QStringLiteral("65")},
          QStringList{QStringLiteral("--port"), QStringLiteral("5")},
          QStringList{QStringLiteral("--range"), QStringLiteral("800-400")},
          QStringList{QStringLiteral("--fault"), QStringLiteral("explode")}}) {
        process.start(QStringLiteral(KESTRUNE_SIM_EXECUTABLE), arguments);
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitCode(), 2) << arguments.join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("Ports"))));
}
