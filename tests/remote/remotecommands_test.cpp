#include "remotetestsupport.h"

#include "core/comparisonsigns.h"

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
        Host.ResetRecord();
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

// The exchange of a device with a table from 563.5 to 645.0 nm, the SCAN panel's validator and
// stop played by the fake as the real panel answers.
TEST_F(RemoteCommands, ExampleExchangeMatchesByteForByte) {
    Host.ScanPanel.OnScan = [&] {
        if (Host.ScanPanel.Plan.at(0).toDouble() < 563.5) {
            Host.SetRemoteReply(
                "SCAN FAIL", "ERRSC06",
                ToRemoteBytes(QStringLiteral(u"Out of range. Please set [START] ≥ 563.5")));
            return;
        }
        Host.ScanPanel.Scanning = true;
        Host.SetRemoteReply("SCAN OK", "", "");
    };
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
        if (line == "SCAN 580.0 610.0 5.0 10.0 1.0") {
            EXPECT_EQ(Host.CurrentMode, RemoteMode::Scan);
        }
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
}

// ---- Every command with the default panels: device ready, every input valid, no scan. ----

struct TCommandCase {
    const char *Name;
    QByteArray Line;
    TExpectedReply Reply;
    QStringList Calls;
};

void PrintTo(const TCommandCase &c, std::ostream *os) {
    *os << c.Name;
}

class RemoteCommandTable : public RemoteCommands,
                           public ::testing::WithParamInterface<TCommandCase> {};

TEST_P(RemoteCommandTable, RepliesAndDrivesThePanels) {
    const TCommandCase &c = GetParam();
    EXPECT_EQ(Exchange(c.Line), c.Reply);
    EXPECT_EQ(Host.Calls, c.Calls);
}

const TExpectedReply Unknown{"UNKNOWN COMMAND", "NONE", "Unknown Command."};
const TExpectedReply SetcOk{"SETC OK", "", ""};
const QStringList SetcCalls{"Tab 0", "SET Apply 0 [600.0] [5.0]", "SET Go"};

INSTANTIATE_TEST_SUITE_P(
    Lines, RemoteCommandTable,
    ::testing::Values(
        TCommandCase{"Ver", "VER", {Version, "", ""}, {}},
        TCommandCase{"State", "STATE", {"IDLE", "", ""}, {}},
        TCommandCase{"Eclear", "ECLEAR", {"OK", "", ""}, {}},
        TCommandCase{"ResetOnSetTab", "RESET", {"RESET OK", "", ""}, {"SET Reset"}},
        TCommandCase{"StopWithoutScan", "STOP", {"STOP FAIL", "NONE", "No Scan."}, {}},
        TCommandCase{"Setc", "SETC 600.0 5.0", SetcOk, SetcCalls},
        TCommandCase{"SetcCommas", "SETC,600.0,5.0", SetcOk, SetcCalls},
        TCommandCase{"SetcBlanksAroundCommas", "SETC, 600.0 , 5.0", SetcOk, SetcCalls},
        TCommandCase{"SetcLeadingBlanks", "  SETC 600.0 5.0", SetcOk, SetcCalls},
        TCommandCase{"SetcQuotedArgument", "SETC \"600.0\" 5.0", SetcOk, SetcCalls},
        TCommandCase{"SetcTextArguments",
                     "SETC abc 600.00",
                     SetcOk,
                     {"Tab 0", "SET Apply 0 [abc] [600.00]", "SET Go"}},
        TCommandCase{"SetcDoubledQuote",
                     "SETC \"6\"\"0\" 5",
                     SetcOk,
                     {"Tab 0", "SET Apply 0 [6\"0] [5]", "SET Go"}},
        TCommandCase{
            "SetcEmptyField", "SETC,,5.0", SetcOk, {"Tab 0", "SET Apply 0 [] [5.0]", "SET Go"}},
        TCommandCase{"Setr",
                     "SETR 597.5 602.5",
                     {"SETR OK", "", ""},
                     {"Tab 0", "SET Apply 1 [597.5] [602.5]", "SET Go"}},
        TCommandCase{"Scan",
                     "SCAN 580.0 610.0 5.0 10.0 1.0",
                     {"SCAN OK", "", ""},
                     {"Tab 1", "SCAN Apply [580.0] [610.0] [5.0] [10.0] [1.0]", "SCAN Scan"}},
        TCommandCase{"LowerCaseWord", "ver", Unknown, {}},
        TCommandCase{"MixedCaseWord", "Setc 600.0 5.0", Unknown, {}},
        TCommandCase{"VerWithArgument", "VER 1", Unknown, {}},
        TCommandCase{"StateWithArgument", "STATE 1", Unknown, {}},
        TCommandCase{"EcodeWithArgument", "ECODE 1", Unknown, {}},
        TCommandCase{"EtextWithArgument", "ETEXT 1", Unknown, {}},
        TCommandCase{"EclearWithArgument", "ECLEAR 1", Unknown, {}},
        TCommandCase{"ResetWithArgument", "RESET 1", Unknown, {}},
        TCommandCase{"StopWithArgument", "STOP 1", Unknown, {}},
        TCommandCase{"SetcOneArgument", "SETC 600.0", Unknown, {}},
        TCommandCase{"SetcTrailingComma", "SETC 600.0 5.0,", Unknown, {}},
        TCommandCase{"VerWithTwoArguments", "VER 1 2", Unknown, {}},
        TCommandCase{"ScanFiveFields", "SCAN 580 610 5 10", Unknown, {}},
        TCommandCase{"ScanSevenFields", "SCAN 580 610 5 10 1 2", Unknown, {}},
        TCommandCase{"SetcSixFields", "SETC 580 610 5 10 1", Unknown, {}},
        TCommandCase{"UnknownWordThreeFields", "SETX 1 2", Unknown, {}},
        TCommandCase{"BlanksOnly", "   ", Unknown, {}}),
    [](const auto &info) { return std::string(info.param.Name); });

// ---- While a scan runs, only STATE, STOP and the reads of the last outcome act. ----

class RemoteCommandsWhileScanning : public RemoteCommands,
                                    public ::testing::WithParamInterface<TCommandCase> {};

TEST_P(RemoteCommandsWhileScanning, LeaveTheScanAlone) {
    Host.ScanPanel.Scanning = true;
    const TCommandCase &c = GetParam();
    EXPECT_EQ(Exchange(c.Line), c.Reply);
    EXPECT_EQ(Host.Calls, c.Calls);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RemoteCommandsWhileScanning,
    ::testing::Values(
        TCommandCase{"Reset", "RESET", {"RESET FAIL", "NONE", "Now Scanning."}, {}},
        TCommandCase{"Setc", "SETC 600.0 5.0", {"SETC FAIL", "NONE", "Now Scanning."}, {}},
        TCommandCase{"Setr", "SETR 597.5 602.5", {"SETR FAIL", "NONE", "Now Scanning."}, {}},
        TCommandCase{"Scan", "SCAN 580 610 5 10 1", {"SCAN FAIL", "NONE", "Now Scanning."}, {}},
        TCommandCase{"State", "STATE", {"SCAN", "", ""}, {}},
        // The abort report comes inside the stop's wait; the stop's own reply follows it.
        TCommandCase{"Stop", "STOP", {"STOP OK", "", ""}, {"Tab 1", "SCAN Stop"}}),
    [](const auto &info) { return std::string(info.param.Name); });

// ---- RESET acts on the panel of the tab shown; HELP has none. ----

struct TResetCase {
    int Mode;
    QStringList Calls;
    int ModeAfter;
};

class RemoteReset : public RemoteCommands, public ::testing::WithParamInterface<TResetCase> {};

TEST_P(RemoteReset, ResetsOnThePanelOfTheTabShown) {
    Host.CurrentMode = GetParam().Mode;
    EXPECT_EQ(Client->Ask("RESET"), std::optional<QByteArray>("RESET OK"));
    EXPECT_EQ(Host.Calls, GetParam().Calls);
    EXPECT_EQ(Host.CurrentMode, GetParam().ModeAfter);
}

INSTANTIATE_TEST_SUITE_P(Tabs, RemoteReset,
                         ::testing::Values(TResetCase{RemoteMode::Set, {"SET Reset"}, 0},
                                           TResetCase{RemoteMode::Scan, {"SCAN Reset"}, 1},
                                           TResetCase{
                                               RemoteMode::Help, {"Tab 0", "SET Reset"}, 0}));

// ---- Panel actions that end without a reply: busy lock or lost link. ----

TEST_F(RemoteCommands, BusySetSendsTheWaitingReplyTextAndKeepsTheCode) {
    EXPECT_EQ(Client->Ask("XYZ"), std::optional<QByteArray>("UNKNOWN COMMAND"));
    Host.SetPanel.OnGo = [] {};
    EXPECT_EQ(Exchange("SETR 597.5 602.5"), (TExpectedReply{"", "NONE", "Unknown Command."}));
}

TEST_F(RemoteCommands, BusyResetSendsTheWaitingReplyText) {
    Host.SetPanel.OnReset = [] {};
    EXPECT_EQ(Exchange("RESET"), (TExpectedReply{"", "", ""}));
}

TEST_F(RemoteCommands, ScanRefusedAtTheLockIsNotReportedAsStarted) {
    EXPECT_EQ(Client->Ask("XYZ"), std::optional<QByteArray>("UNKNOWN COMMAND"));
    Host.ScanPanel.OnScan = [] {};
    EXPECT_EQ(Exchange("SCAN 580 610 5 10 1"), (TExpectedReply{"", "", ""}));
    EXPECT_FALSE(Host.ScanPanel.Scanning);
}

// ---- The last outcome: read by ECODE and ETEXT, replaced by every other command. ----

TEST_F(RemoteCommands, EmptyLineSendsTheFinishedScansOutcomeOnce) {
    ASSERT_EQ(Client->Ask("SCAN 580 610 5 10 1"), std::optional<QByteArray>("SCAN OK"));
    Host.ScanPanel.ReportSuccess();
    EXPECT_EQ(Client->Ask(""), std::optional<QByteArray>("SCAN SUCCESS"));
    EXPECT_EQ(Client->Ask(""), std::optional<QByteArray>(""));
    EXPECT_EQ(Client->Ask("ECODE"), std::optional<QByteArray>("NONE"));
    EXPECT_EQ(Client->Ask("ETEXT"), std::optional<QByteArray>("Scan successful."));
    EXPECT_EQ(Client->Ask("ECODE"), std::optional<QByteArray>("NONE"));
}

TEST_F(RemoteCommands, StateReplacesTheFinishedScansOutcome) {
    ASSERT_EQ(Client->Ask("SCAN 580 610 5 10 1"), std::optional<QByteArray>("SCAN OK"));
    Host.ScanPanel.ReportAbort();
    EXPECT_EQ(Exchange("STATE"), (TExpectedReply{"IDLE", "", ""}));
}

TEST_F(RemoteCommands, ComparisonSignsTravelAsTheirBytePairs) {
    const QByteArray text =
        ToRemoteBytes(QStringLiteral(u"Out of range. Please set ([LW]+[SW])/2 ≤ 645.0"));
    ASSERT_EQ(text.right(8), QByteArray("\xA1\xC2 645.0"));
    Host.SetPanel.OnGo = [&] { Host.SetRemoteReply("SETR FAIL", "ERRSE14", text); };
    EXPECT_EQ(Exchange("SETR 650 660"), (TExpectedReply{"SETR FAIL", "ERRSE14", text}));
}

// Arguments reach the panel one character per byte, whatever the byte.
TEST_F(RemoteCommands, HighBytesReachThePanelAsLatin1Characters) {
    EXPECT_EQ(Client->Ask("SETC \xB5"
                          "600 5\xFF"),
              std::optional<QByteArray>("SETC OK"));
    EXPECT_EQ(Host.SetPanel.First, QString(QChar(0xB5)) + "600");
    EXPECT_EQ(Host.SetPanel.Second, "5" + QString(QChar(0xFF)));
}

// ---- A panel action that throws: the client learns it, partial effects stay. ----

struct TThrowCase {
    const char *Name;
    QByteArray Line;
    bool Scanning;
    bool StdException;
    QStringList Calls;
};

void PrintTo(const TThrowCase &c, std::ostream *os) {
    *os << c.Name;
}

class RemoteCommandThrows : public RemoteCommands,
                            public ::testing::WithParamInterface<TThrowCase> {};

TEST_P(RemoteCommandThrows, AnswersUnknownError) {
    const TThrowCase &c = GetParam();
    const auto fail = [&c] {
        if (c.StdException)
            throw std::runtime_error("panel failure");
        throw 42;
    };
    Host.SetPanel.OnGo = fail;
    Host.SetPanel.OnReset = fail;
    Host.ScanPanel.OnScan = fail;
    Host.ScanPanel.OnStop = fail;
    Host.ScanPanel.Scanning = c.Scanning;
    EXPECT_EQ(Exchange(c.Line), (TExpectedReply{"UNKNOWN ERROR", "NONE", "Unknown Error."}));
    EXPECT_EQ(Host.Calls, c.Calls);
    EXPECT_EQ(Client->Ask("VER"), std::optional<QByteArray>(Version));
}

INSTANTIATE_TEST_SUITE_P(
    Actions, RemoteCommandThrows,
    ::testing::Values(TThrowCase{"Go", "SETC 600.0 5.0", false, true, SetcCalls},
                      TThrowCase{"GoOtherThrow",
                                 "SETR 597.5 602.5",
                                 false,
                                 false,
                                 {"Tab 0", "SET Apply 1 [597.5] [602.5]", "SET Go"}},
                      TThrowCase{"Reset", "RESET", false, true, {"SET Reset"}},
                      TThrowCase{"Scan",
                                 "SCAN 580 610 5 10 1",
                                 false,
                                 true,
                                 {"Tab 1", "SCAN Apply [580] [610] [5] [10] [1]", "SCAN Scan"}},
                      TThrowCase{"Stop", "STOP", true, false, {"Tab 1", "SCAN Stop"}}),
    [](const auto &info) { return std::string(info.param.Name); });

} // namespace
