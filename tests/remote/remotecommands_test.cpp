#include "remotetestsupport.h"

#include "core/comparisonsigns.h"

#include <QSignalSpy>

#include <stdexcept>

namespace {

const QByteArray Version = "Kestrune v1.0";

struct TExpectedReply {
    QByteArray ReplyText;
    QByteArray ErrorCode;
    QByteArray ErrorText;
    bool operator==(const TExpectedReply &o) const {
        return ReplyText == o.ReplyText && ErrorCode == o.ErrorCode && ErrorText == o.ErrorText;
    }
};

void PrintTo(const TExpectedReply &r, std::ostream *os) {
    *os << '(';
    PrintTo(r.ReplyText, os);
    *os << ", ";
    PrintTo(r.ErrorCode, os);
    *os << ", ";
    PrintTo(r.ErrorText, os);
    *os << ')';
}

class RemoteCommands : public TRemoteServerFixture {
protected:
    void SetUp() override {
        TRemoteServerFixture::SetUp();
        Client = ConnectServed();
    }

    // Sends the line, then reads the code and the text back over the wire.
    TExpectedReply Exchange(const QByteArray &line) {
        TExpectedReply got;
        got.ReplyText = Client->Ask(line).value_or("<no reply>");
        got.ErrorCode = Client->Ask("ECODE").value_or("<no reply>");
        got.ErrorText = Client->Ask("ETEXT").value_or("<no reply>");
        return got;
    }

    std::unique_ptr<TTestClient> Client;
};

// The protocol's example exchange on an instrument whose table runs from 563.5 to 645.0 nm.
TEST_F(RemoteCommands, ExampleExchangeMatchesByteForByte) {
    const QList<QByteArray> lines{"VER",
                                  "STATE",
                                  "SCAN 500.0 610.0 5.0 10.0 1.0",
                                  "ECODE",
                                  "ETEXT",
                                  "ECLEAR",
                                  "ECODE",
                                  "SCAN 580.0 610.0 5.0 10.0 1.0",
                                  "STATE",
                                  "STOP",
                                  "STATE",
                                  "scan 580 610 5 10 1"};
    QByteArray received;
    for (const QByteArray &line : lines) {
        const auto reply = Client->Ask(line);
        ASSERT_TRUE(reply.has_value()) << line.constData();
        received += *reply + '\r';
    }
    EXPECT_EQ(received, QByteArray("Kestrune v1.0\r"
                                   "IDLE\r"
                                   "SCAN FAIL\r"
                                   "ERRSC06\r"
                                   "Out of range. Please set [START] \xA1\xC3 563.5\r"
                                   "OK\r"
                                   "\r"
                                   "SCAN OK\r"
                                   "SCAN\r"
                                   "STOP OK\r"
                                   "IDLE\r"
                                   "UNKNOWN COMMAND\r"));
    EXPECT_EQ(Requests, (QStringList{"SCAN [500.0] [610.0] [5.0] [10.0] [1.0]",
                                     "SCAN [580.0] [610.0] [5.0] [10.0] [1.0]", "STOP"}));
}

// ---- Every command on an idle instrument: the reply, what the console is shown, and what
// reaches the instrument. ----

struct TCommandCase {
    const char *Name;
    QByteArray Line;
    TExpectedReply Reply;
    QStringList Requests;
    QStringList Sent; // to the instrument; "GO <cw>/<fwhm>" stands for the move to that cell
};

void PrintTo(const TCommandCase &c, std::ostream *os) {
    *os << c.Name;
}

class RemoteCommandTable : public RemoteCommands,
                           public ::testing::WithParamInterface<TCommandCase> {
protected:
    QStringList Sent(const QStringList &lines) const {
        QStringList sent;
        for (const QString &line : lines)
            sent << (line.startsWith("GO ")
                         ? rig.GoLineFor(line.mid(3).section('/', 0, 0), line.section('/', 1))
                         : line);
        return sent;
    }
};

TEST_P(RemoteCommandTable, RepliesAndDrivesTheInstrument) {
    const TCommandCase &c = GetParam();
    EXPECT_EQ(Exchange(c.Line), c.Reply);
    EXPECT_EQ(Requests, c.Requests);
    EXPECT_EQ(rig.RequestLines(), Sent(c.Sent));
}

const TExpectedReply SetcOk{"SETC OK", "", ""};
const QStringList SetcRequest{"SET 0 [600.0] [5.0]"};
const QStringList SetcSent{"POS 3", "GO 600.0/5.0"};
// A text that is no number reads as 0.
const TExpectedReply OutOfRange{"SETC FAIL", "ERRSE03",
                                "Out of range. Please set [CWL] \xA1\xC3 563.5"};

INSTANTIATE_TEST_SUITE_P(
    Lines, RemoteCommandTable,
    ::testing::Values(
        TCommandCase{"Ver", "VER", {Version, "", ""}, {}, {}},
        TCommandCase{"State", "STATE", {"IDLE", "", ""}, {}, {}},
        TCommandCase{"Eclear", "ECLEAR", {"OK", "", ""}, {}, {}},
        TCommandCase{"Reset", "RESET", {"RESET OK", "", ""}, {"RESET"}, {"POS 3", "HOME 3"}},
        TCommandCase{"StopWithoutScan", "STOP", {"STOP FAIL", "NONE", "No Scan."}, {}, {}},
        TCommandCase{"Setc", "SETC 600.0 5.0", SetcOk, SetcRequest, SetcSent},
        TCommandCase{"SetcCommas", "SETC,600.0,5.0", SetcOk, SetcRequest, SetcSent},
        TCommandCase{"SetcBlanksAroundCommas", "SETC, 600.0 , 5.0", SetcOk, SetcRequest, SetcSent},
        TCommandCase{"SetcLeadingBlanks", "  SETC 600.0 5.0", SetcOk, SetcRequest, SetcSent},
        TCommandCase{"SetcQuotedArgument", "SETC \"600.0\" 5.0", SetcOk, SetcRequest, SetcSent},
        TCommandCase{
            "SetcDoubledQuote", "SETC \"6\"\"0\" 5", OutOfRange, {"SET 0 [6\"0] [5]"}, {"POS 3"}},
        TCommandCase{"SetcEmptyField", "SETC,,5.0", OutOfRange, {"SET 0 [] [5.0]"}, {"POS 3"}},
        TCommandCase{"Setr",
                     "SETR 597.5 602.5",
                     {"SETR OK", "", ""},
                     {"SET 1 [597.5] [602.5]"},
                     {"POS 3", "GO 600.0/5.0"}}),
    [](const auto &info) { return std::string(info.param.Name); });

// A command word the server does not know, or a known one with the wrong number of fields.
TEST_F(RemoteCommands, MalformedLinesAreUnknownCommandsAndActOnNothing) {
    for (const QByteArray line :
         {"ver", "Setc 600.0 5.0", "VER 1", "STATE 1", "ECODE 1", "ETEXT 1", "ECLEAR 1", "RESET 1",
          "STOP 1", "SETC 600.0", "SETC 600.0 5.0,", "VER 1 2", "SCAN 580 610 5 10",
          "SCAN 580 610 5 10 1 2", "SETC 580 610 5 10 1", "SETX 1 2", "   "}) {
        EXPECT_EQ(Exchange(line), (TExpectedReply{"UNKNOWN COMMAND", "NONE", "Unknown Command."}))
            << line.constData();
    }
    EXPECT_TRUE(Requests.isEmpty());
    EXPECT_TRUE(rig.RequestLines().isEmpty());
}

// ---- While a scan runs, only STATE, STOP and the reads of the last outcome act. ----

TEST_F(RemoteCommands, WhileAScanRunsOnlyStateAndStopAct) {
    ASSERT_EQ(Client->Ask(LongScan), std::optional<QByteArray>("SCAN OK"));
    ASSERT_TRUE(
        WaitUntil([&] { return Session().ScanProgress().value_or(TScanProgress{}).Moved == 1; }));
    rig.sim->clearRecords();
    Requests.clear();
    const QList<std::pair<QByteArray, TExpectedReply>> exchanges{
        {"RESET", {"RESET FAIL", "NONE", "Now Scanning."}},
        {"SETC 600.0 5.0", {"SETC FAIL", "NONE", "Now Scanning."}},
        {"SETR 597.5 602.5", {"SETR FAIL", "NONE", "Now Scanning."}},
        {"SCAN 580 610 5 10 1", {"SCAN FAIL", "NONE", "Now Scanning."}},
        {"STATE", {"SCAN", "", ""}},
        // The abort report comes inside the stop's wait; the stop's own reply follows it.
        {"STOP", {"STOP OK", "", ""}},
        {"STATE", {"IDLE", "", ""}}};
    for (const auto &[line, reply] : exchanges)
        EXPECT_EQ(Exchange(line), reply) << line.constData();
    EXPECT_EQ(Requests, QStringList{"STOP"});
    EXPECT_TRUE(rig.RequestLines().isEmpty());
}

// ---- Operations that end without an outcome, at the busy lock: the client gets the reply text
// still waiting (normally none) and the last code stays. ----

TEST_F(RemoteCommands, RefusalsAtTheLockReplyEmptyAndKeepTheLastCode) {
    ASSERT_TRUE(Session().BeginOperation()); // as an operator's operation in progress would
    EXPECT_EQ(Client->Ask("XYZ"), std::optional<QByteArray>("UNKNOWN COMMAND"));
    EXPECT_EQ(Exchange("SETR 597.5 602.5"), (TExpectedReply{"", "NONE", "Unknown Command."}));
    EXPECT_EQ(Exchange("RESET"), (TExpectedReply{"", "NONE", "Unknown Command."}));
    // SCAN OK only once the scan runs; nothing of an earlier command is read back.
    EXPECT_EQ(Exchange("SCAN 580 610 5 10 1"), (TExpectedReply{"", "", ""}));
    EXPECT_FALSE(Session().IsScanning());
    EXPECT_EQ(rig.RequestLines(), (QStringList{"POS 3", "POS 3", "POS 3"}));
}

// ---- The last outcome: read by ECODE and ETEXT, replaced by every other command. ----

TEST_F(RemoteCommands, EmptyLineSendsTheFinishedScansOutcomeOnce) {
    QSignalSpy ended(rig.session.get(), &TInstrumentSession::ScanEnded);
    ASSERT_EQ(Client->Ask("SCAN 580 590 5 10 0.1"), std::optional<QByteArray>("SCAN OK"));
    ASSERT_TRUE(WaitUntil([&] { return ended.count() == 1; }, 30000));
    EXPECT_EQ(Client->Ask(""), std::optional<QByteArray>("SCAN SUCCESS"));
    EXPECT_EQ(Client->Ask(""), std::optional<QByteArray>(""));
    EXPECT_EQ(Client->Ask("ECODE"), std::optional<QByteArray>("NONE"));
    EXPECT_EQ(Client->Ask("ETEXT"), std::optional<QByteArray>("Scan successful."));
    EXPECT_EQ(Exchange("STATE"), (TExpectedReply{"IDLE", "", ""}));
}

TEST_F(RemoteCommands, ComparisonSignsTravelAsTheirBytePairs) {
    const QByteArray text =
        ToRemoteBytes(QStringLiteral(u"Out of range. Please set ([LW]+[SW])/2 ≤ 645.0"));
    ASSERT_EQ(text.right(8), QByteArray("\xA1\xC2 645.0"));
    EXPECT_EQ(Exchange("SETR 650 660"), (TExpectedReply{"SETR FAIL", "ERRSE14", text}));
}

// Arguments reach the session one character per byte, whatever the byte.
TEST_F(RemoteCommands, HighBytesReachTheSessionAsLatin1Characters) {
    QSignalSpy set(&Server(), &TRemoteServer::SetBandRequested);
    ASSERT_TRUE(Client
                    ->Ask("SETC \xB5"
                          "600 5\xFF")
                    .has_value());
    ASSERT_EQ(set.count(), 1);
    EXPECT_EQ(set[0][1].toString(), QString(QChar(0xB5)) + "600");
    EXPECT_EQ(set[0][2].toString(), "5" + QString(QChar(0xFF)));
}

// ---- An operation that throws: the client learns it, partial effects stay, and the instrument
// is free for the next command. ----

struct TThrowCase {
    const char *Name;
    QByteArray Line;
    QString ThrowAt; // the message whose report throws; else STOP's request, or Scan's press
    bool StdException;
    bool ScanningAfter;
};

void PrintTo(const TThrowCase &c, std::ostream *os) {
    *os << c.Name;
}

const QString Changing = QStringLiteral("Changing wavelength and FWHM. Please wait...");

class RemoteCommandThrows : public RemoteCommands,
                            public ::testing::WithParamInterface<TThrowCase> {};

TEST_P(RemoteCommandThrows, AnswersUnknownError) {
    const TThrowCase &c = GetParam();
    const auto fail = [&c] {
        if (c.StdException)
            throw std::runtime_error("operation failure");
        throw 42;
    };
    if (c.Line == "STOP") {
        ASSERT_EQ(Client->Ask(LongScan), std::optional<QByteArray>("SCAN OK"));
        QObject::connect(&Server(), &TRemoteServer::StopRequested, fail);
    } else if (c.ThrowAt.isEmpty()) {
        AtPress(TOperation::Scan, fail);
    } else {
        AtMessage(c.ThrowAt, fail);
    }
    EXPECT_EQ(Exchange(c.Line), (TExpectedReply{"UNKNOWN ERROR", "NONE", "Unknown Error."}));
    EXPECT_EQ(Session().IsScanning(), c.ScanningAfter);
    EXPECT_EQ(Client->Ask("VER"), std::optional<QByteArray>(Version));
    if (!c.ScanningAfter) {
        EXPECT_FALSE(Session().IsOperationBusy());
        EXPECT_EQ(Client->Ask("SETC 600.0 5.0"), std::optional<QByteArray>("SETC OK"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Operations, RemoteCommandThrows,
    ::testing::Values(TThrowCase{"SetBand", "SETC 600.0 5.0", Changing, true, false},
                      TThrowCase{"SetBandOtherThrow", "SETR 597.5 602.5", Changing, false, false},
                      TThrowCase{"Reset", "RESET", "Restarting device. Please wait...", true,
                                 false},
                      // Before the scan runs its lock is given back; once it is reported, the
                      // scan runs on.
                      TThrowCase{"ScanBeforeItRuns", "SCAN 580 610 5 10 60", {}, true, false},
                      TThrowCase{"Scan", "SCAN 580 610 5 10 60", "Scanning...", true, true},
                      TThrowCase{"Stop", "STOP", {}, false, true}),
    [](const auto &info) { return std::string(info.param.Name); });

} // namespace
