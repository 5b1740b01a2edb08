#include "sim/virtualinstrument.h"

#include "sim/controlcommand.h"
#include "sim/controlserver.h"

#include "programside.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <ostream>
#include <string>

using ksim::RequestKind;
using ksim::VirtualInstrument;

namespace {

// A plugged-in instrument with test timings and the program's end of its line.
class VirtualInstrumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ksim::InstrumentProfile profile;
        profile.timing = ksim::Timing::fast();
        sim = std::make_unique<VirtualInstrument>(profile);
        ASSERT_TRUE(sim->plug());
        program = std::make_unique<ProgramSide>(sim->devicePath());
        ASSERT_TRUE(program->isOpen());
    }

    void control(const char *line) {
        ASSERT_EQ(ksim::ExecuteControlCommand(*sim, QString::fromLatin1(line)).reply,
                  QStringLiteral("OK"))
            << line;
    }

    QByteArray ask(const QByteArray &request, const QByteArray &ending = "\r") {
        EXPECT_TRUE(program->send(request));
        return program->readUntil(ending);
    }

    // The text of a reachable cell of the instrument's own table, as a GO request.
    QByteArray goToCell(const char *cw, const char *fwhm) const {
        const ksim::CalTable &t = *sim->calTable();
        for (int r = 0; r < t.rowCount(); ++r) {
            for (int c = 0; c < t.columnCount(); ++c) {
                if (t.cwText(r) == QLatin1String(cw) && t.fwhmText(c) == QLatin1String(fwhm)) {
                    const ksim::Positions p = *t.cell(r, c);
                    return "GO 3 " + QByteArray::number(p[0]) + ' ' + QByteArray::number(p[1]) +
                           ' ' + QByteArray::number(p[2]);
                }
            }
        }
        return {};
    }

    std::unique_ptr<VirtualInstrument> sim;
    std::unique_ptr<ProgramSide> program;
};

} // namespace

TEST_F(VirtualInstrumentTest, answersTheProtocolOverThePseudoTerminal) {
    EXPECT_EQ(ask("?"), QByteArray("Quilm FM Ver1.0\r"));
    EXPECT_EQ(ask("INFO 0"), QByteArray("INFO 0 F612\r"));
    EXPECT_EQ(ask("INFO 1"), QByteArray("INFO 1 AX0000000017\r"));
    EXPECT_EQ(ask("INFO 2"), QByteArray("INFO 2 400.0-800.0\r"));
    EXPECT_EQ(ask("GO 3 10 6000 0"), QByteArray("GO 3 10 6000 0\r"));
    EXPECT_EQ(ask("POS 3"), QByteArray("POS 3 10 6000 0\r"));
    EXPECT_EQ(ask("BKEN 0"), QByteArray("BKEN 0\r"));
    EXPECT_EQ(ask("BKEN 1"), QByteArray("BKEN 1\r"));
    EXPECT_EQ(ask("HOME 3"), QByteArray("G\r"));
    EXPECT_EQ(ask("POS 3"), QByteArray("POS 3 0 0 0\r"));
    EXPECT_EQ(sim->totalRequests(), 10);
    EXPECT_EQ(sim->requestCount(RequestKind::Info), 3);
    EXPECT_EQ(sim->requestCount(RequestKind::Pos), 2);
}

TEST_F(VirtualInstrumentTest, servesRequestsOneAtATimeInOrderOfArrival) {
    control("timing homing 200");
    ASSERT_TRUE(program->send("HOME 3"));
    ASSERT_TRUE(program->send("FOO"));
    ASSERT_TRUE(program->send("GO 3 1 2 3"));
    ASSERT_TRUE(program->send("POS 3"));
    EXPECT_EQ(program->readUntil("POS 3 1 2 3\r"), QByteArray("G\rGO 3 1 2 3\rPOS 3 1 2 3\r"));
}

TEST_F(VirtualInstrumentTest, requestsOutsideTheProtocolAreCountedButNotAnswered) {
    for (const char *request : {"FOO", "GO 3 1 2", "GO 3 6001 0 0", "INFO 3", "pos 3", ""})
        ASSERT_TRUE(program->send(request));
    // Served in order, so anything the ignored requests drew would come before this.
    EXPECT_EQ(ask("?"), QByteArray("Quilm FM Ver1.0\r"));
    EXPECT_EQ(sim->requestCount(RequestKind::Other), 3);
    EXPECT_EQ(sim->requestCount(RequestKind::Go), 2);
    EXPECT_EQ(sim->requestCount(RequestKind::Info), 1);
}

TEST_F(VirtualInstrumentTest, homingAndMovesTakeTheirWorkingTime) {
    control("timing homing 300");
    control("timing move 0 100");
    qint64 start = ksim::MonotonicMs();
    EXPECT_EQ(ask("HOME 3"), QByteArray("G\r"));
    EXPECT_GE(program->chunks().last().atMs - start, 300);
    start = ksim::MonotonicMs();
    EXPECT_EQ(ask("GO 3 0 4000 0"), QByteArray("GO 3 0 4000 0\r"));
    EXPECT_GE(program->chunks().last().atMs - start, 400);
}

TEST_F(VirtualInstrumentTest, checksEveryGoAgainstTheCalibrationTable) {
    QSignalSpy mismatches(sim.get(), &VirtualInstrument::goMismatch);
    const QByteArray good = goToCell("600.0", "5.0");
    ASSERT_FALSE(good.isEmpty());
    EXPECT_EQ(ask(good), good + '\r');
    EXPECT_EQ(ask("GO 3 1 2 3"), QByteArray("GO 3 1 2 3\r")) << "the instrument still obeys";
    ASSERT_TRUE(program->send("GO 3 1 2"));
    EXPECT_EQ(ask("POS 3"), QByteArray("POS 3 1 2 3\r"));

    const QVector<ksim::RequestRecord> &r = sim->records();
    ASSERT_EQ(r.size(), 4);
    EXPECT_EQ(r[0].check, QStringLiteral("cell=600.0/5.0"));
    EXPECT_EQ(r[1].check, QStringLiteral("mismatch"));
    EXPECT_EQ(r[2].check, QStringLiteral("mismatch"));
    EXPECT_EQ(r[3].check, QStringLiteral("-"));
    EXPECT_EQ(sim->goMismatches(), 2);
    ASSERT_EQ(mismatches.size(), 2);
    EXPECT_EQ(mismatches[1][0].value<ksim::RequestRecord>().text, QByteArray("GO 3 1 2"));

    sim->setCalTable(std::nullopt);
    EXPECT_EQ(ask("GO 3 1 2 3"), QByteArray("GO 3 1 2 3\r"));
    EXPECT_EQ(sim->records().last().check, QStringLiteral("-"));
    EXPECT_EQ(sim->goMismatches(), 2);
}

TEST_F(VirtualInstrumentTest, recordsEachRequestWithItsTimeToAFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.txt"));
    ASSERT_TRUE(sim->recordTo(path));
    const qint64 before = ksim::MonotonicMs();
    const QDateTime wallBefore = QDateTime::currentDateTime().addMSecs(-1);
    control("timing move 100 0");
    ask("GO 3 1 1 1");
    ask("GO 3 2 2 2");
    ASSERT_TRUE(program->send("BKEN\x01"));
    ask("POS 3");
    const qint64 after = ksim::MonotonicMs();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[4].isEmpty());
    QVector<ksim::RequestRecord> records;
    for (int i = 0; i < 4; ++i) {
        const std::optional<ksim::RequestRecord> r = ksim::ParseRecord(lines[i]);
        ASSERT_TRUE(r) << lines[i].toStdString();
        EXPECT_GE(r->monotonicMs, before);
        EXPECT_LE(r->monotonicMs, after);
        EXPECT_GE(r->wallTime, wallBefore);
        records.append(*r);
    }
    EXPECT_EQ(records[0].text, QByteArray("GO 3 1 1 1"));
    EXPECT_EQ(records[1].kind, RequestKind::Go);
    EXPECT_EQ(records[2].text, QByteArray("BKEN\x01"));
    // The second GO was sent only after the first had finished its 100-ms move.
    EXPECT_GE(records[1].monotonicMs - records[0].monotonicMs, 100);
}

// Faults that change the bytes of one reply.
struct ReplyFault {
    const char *command;
    const char *request;
    const char *reply;
};

void PrintTo(const ReplyFault &fault, std::ostream *os) {
    *os << fault.command;
}

class ReplyFaultTest : public VirtualInstrumentTest,
                       public ::testing::WithParamInterface<ReplyFault> {};

TEST_P(ReplyFaultTest, changesTheReplyAsAsked) {
    control(GetParam().command);
    const QByteArray expected(GetParam().reply);
    EXPECT_EQ(ask(GetParam().request, expected), expected);
    control("reset");
    EXPECT_EQ(ask("?"), QByteArray("Quilm FM Ver1.0\r"));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReplyFaultTest,
    ::testing::Values(ReplyFault{"noise 5", "POS 3", "#~%&*POS 3 0 0 0\r"},
                      ReplyFault{"echo on", "INFO 0", "INFO 0\rINFO 0 F612\r"},
                      ReplyFault{"crlf on", "?", "Quilm FM Ver1.0\r\n"},
                      ReplyFault{"id Quilm FM Ver1.1", "?", "Quilm FM Ver1.1\r"},
                      ReplyFault{"bken-invert on", "BKEN 0", "BKEN 1\r"},
                      ReplyFault{"info 1 empty", "INFO 1", "INFO 1\r"},
                      ReplyFault{"info 2 400-800", "INFO 2", "INFO 2 400-800\r"}),
    [](const ::testing::TestParamInfo<ReplyFault> &info) {
        std::string name = info.param.command;
        for (char &c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST_F(VirtualInstrumentTest, unansweredRequestsAreHeardButLeaveNoTrace) {
    control("noreply 2");
    ASSERT_TRUE(program->send("GO 3 5 5 5"));
    ASSERT_TRUE(program->send("?"));
    EXPECT_EQ(ask("POS 3"), QByteArray("POS 3 0 0 0\r"));
    EXPECT_EQ(sim->totalRequests(), 3);

    control("noreply on");
    ASSERT_TRUE(program->send("?"));
    ASSERT_TRUE(program->send("?"));
    ASSERT_TRUE(WaitFor([&] { return sim->requestCount(RequestKind::Identify) == 3; }));
    control("noreply off");
    EXPECT_EQ(ask("INFO 0"), QByteArray("INFO 0 F612\r"));
}

TEST_F(VirtualInstrumentTest, silentInfoItemGetsNoReply) {
    control("info 0 none");
    ASSERT_TRUE(program->send("INFO 0"));
    EXPECT_EQ(ask("INFO 1"), QByteArray("INFO 1 AX0000000017\r"));
}

TEST_F(VirtualInstrumentTest, delayedReplyComesNoSoonerThanAsked) {
    control("delay 400");
    const qint64 start = ksim::MonotonicMs();
    EXPECT_EQ(ask("POS 3"), QByteArray("POS 3 0 0 0\r"));
    EXPECT_GE(program->chunks().last().atMs - start, 400);
}

TEST_F(VirtualInstrumentTest, splitReplyArrivesInPartsWithPauses) {
    control("split 3 150");
    const qint64 start = ksim::MonotonicMs();
    EXPECT_EQ(ask("INFO 1"), QByteArray("INFO 1 AX0000000017\r"));
    const QVector<ProgramSide::Chunk> &chunks = program->chunks();
    ASSERT_GE(chunks.size(), 3);
    EXPECT_FALSE(chunks.first().bytes.contains('\r'));
    EXPECT_GE(chunks.last().atMs - start, 2 * 150);
}

class UnplugTest : public VirtualInstrumentTest {
protected:
    void SetUp() override {
        VirtualInstrumentTest::SetUp();
        link = folder.filePath(QStringLiteral("Ports/COM4"));
        ASSERT_TRUE(sim->setLink(link));
        ASSERT_EQ(QFileInfo(link).symLinkTarget(), sim->devicePath());
    }

    QTemporaryDir folder;
    QString link;
};

TEST_F(UnplugTest, unplugHangsUpTheLineAndRemovesTheLink) {
    QSignalSpy unplugged(sim.get(), &VirtualInstrument::unpluggedOut);
    control("unplug");
    EXPECT_FALSE(sim->isPlugged());
    EXPECT_TRUE(program->waitHangUp());
    EXPECT_FALSE(QFileInfo::exists(link));
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(unplugged.size(), 1);
}

TEST_F(UnplugTest, danglingUnplugLeavesTheLinkInPlace) {
    const QString oldDevice = sim->devicePath();
    control("unplug dangle");
    EXPECT_TRUE(program->waitHangUp());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), oldDevice);
}

TEST_F(UnplugTest, unplugAfterAnsweringTheCountedRequests) {
    control("unplug-after 2");
    EXPECT_EQ(ask("?"), QByteArray("Quilm FM Ver1.0\r"));
    EXPECT_TRUE(sim->isPlugged());
    EXPECT_EQ(ask("POS 3"), QByteArray("POS 3 0 0 0\r"));
    EXPECT_TRUE(program->waitHangUp());
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

TEST_F(UnplugTest, unplugDropsAReplyInTheMaking) {
    control("timing homing 60000");
    ASSERT_TRUE(program->send("HOME 3"));
    ASSERT_TRUE(WaitFor([&] { return sim->requestCount(RequestKind::Home) == 1; }));
    sim->unplug();
    EXPECT_TRUE(program->waitHangUp());
    EXPECT_TRUE(program->chunks().isEmpty());
}

TEST_F(UnplugTest, plugAgainGivesANewDeviceBehindTheSameLink) {
    ask("GO 3 7 8 9");
    control("unplug");
    ASSERT_TRUE(program->waitHangUp());
    QSignalSpy plugged(sim.get(), &VirtualInstrument::pluggedIn);
    const QString reply = ksim::ExecuteControlCommand(*sim, QStringLiteral("plug")).reply;
    EXPECT_EQ(reply, QStringLiteral("OK ") + sim->devicePath());
    ASSERT_EQ(plugged.size(), 1);
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim->devicePath());

    ProgramSide again(link);
    ASSERT_TRUE(again.isOpen());
    ASSERT_TRUE(again.send("POS 3"));
    EXPECT_EQ(again.readUntil(), QByteArray("POS 3 7 8 9\r")) << "the instrument kept its place";
}

TEST_F(UnplugTest, linkGoesWithTheInstrument) {
    sim.reset();
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

TEST_F(VirtualInstrumentTest, controlSocketRunsCommandsLineByLine) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("control"));
    ksim::ControlServer server(*sim);
    QString error;
    ASSERT_TRUE(server.listen(path, &error)) << error.toStdString();
    QSignalSpy quit(&server, &ksim::ControlServer::quitRequested);

    QLocalSocket client;
    client.connectToServer(path);
    ASSERT_TRUE(WaitFor([&] { return client.state() == QLocalSocket::ConnectedState; }));
    client.write("echo on\nstatus\nbogus\nquit\n");
    QByteArray replies;
    ASSERT_TRUE(WaitFor([&] {
        replies += client.readAll();
        return replies.count('\n') == 4;
    }));
    const QList<QByteArray> lines = replies.split('\n');
    EXPECT_EQ(lines[0], QByteArray("OK"));
    EXPECT_TRUE(lines[1].startsWith("OK plugged=1 device=" + sim->devicePath().toLatin1()));
    EXPECT_TRUE(lines[2].startsWith("ERR"));
    EXPECT_EQ(lines[3], QByteArray("OK"));
    EXPECT_EQ(quit.size(), 1);
    EXPECT_TRUE(sim->faults().echo);
}
