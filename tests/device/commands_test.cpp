#include "linkfixture.h"

#include <QElapsedTimer>

namespace {

using Step = ScriptedPeer::Step;
using Positions = std::array<int, 3>;

class CommandTest : public PtyLinkTest {
protected:
    void SetUp() override {
        PtyLinkTest::SetUp();
        OpenLink();
    }
    // Makes the link hold positions that a refused reply must leave alone.
    void HoldPositions(const Positions &held) {
        peer_.on("GO 3 7 8 9", QByteArray("GO 3 ") + QByteArray::number(held[0]) + ' ' +
                                   QByteArray::number(held[1]) + ' ' + QByteArray::number(held[2]) +
                                   '\r');
        ASSERT_TRUE(link_.CommandGo(7, 8, 9));
        opened_ = int(LogTexts().size());
    }
};

TEST_F(CommandTest, SuccessfulPositionReadLogsEveryStep) {
    peer_.on("POS 3", "POS 3 1 2 3\r");
    ASSERT_TRUE(link_.CommandPos());
    EXPECT_EQ(link_.positions(), (Positions{1, 2, 3}));
    const QString bytes = QStringLiteral("#{50}{4F}{53}{20}{33}{20}{31}{20}{32}{20}{33}{0D}#");
    EXPECT_EQ(NewLogTexts(),
              (QStringList{"Clear Buffer Success", "Send Command <POS 3>", "Wait Response Start",
                           "OnRxChar (12) " + bytes, "RxBuffer (12) " + bytes, "Wait Response End",
                           "Command <POS> Success : 1/2/3"}));
}

struct PositionCase {
    const char *name;
    QByteArray reply;
    bool ok;
    Positions positions; // when ok
};

void PrintTo(const PositionCase &c, std::ostream *os) {
    *os << c.name;
}

class PositionReply : public CommandTest, public ::testing::WithParamInterface<PositionCase> {};

TEST_P(PositionReply, IsAcceptedOnlyInItsFullForm) {
    const PositionCase &c = GetParam();
    HoldPositions({100, 200, 300});
    peer_.on("POS 3", c.reply);
    EXPECT_EQ(link_.CommandPos(), c.ok);
    const QStringList texts = NewLogTexts();
    EXPECT_FALSE(texts.contains(QStringLiteral("Command <POS> Fail")));
    if (c.ok) {
        EXPECT_EQ(link_.positions(), c.positions);
    } else {
        EXPECT_EQ(link_.positions(), (Positions{100, 200, 300}));
        EXPECT_EQ(texts.last(), QStringLiteral("Wait Response End"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PositionReply,
    ::testing::Values(PositionCase{"Blanks", "POS 3 10 20 30\r", true, {10, 20, 30}},
                      PositionCase{"Commas", "POS,3,10,20,30\r", true, {10, 20, 30}},
                      PositionCase{"TabsAndBlanks", "POS\t3  0 ,6000, 5\r", true, {0, 6000, 5}},
                      PositionCase{"WrongAxisCount", "POS 2 10 20 30\r", false, {}},
                      PositionCase{"TwoPositions", "POS 3 10 20\r", false, {}},
                      PositionCase{"FourPositions", "POS 3 10 20 30 40\r", false, {}},
                      PositionCase{"Negative", "POS 3 10 -5 30\r", false, {}},
                      PositionCase{"NotANumber", "POS 3 10 2x 30\r", false, {}},
                      PositionCase{"TrailingComma", "POS 3 10 20,\r", false, {}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(CommandTest, GoSendsTheRequestAndKeepsThePositionsReported) {
    peer_.on("GO 3 0 6000 0", "GO 3 1 5999 2\r");
    ASSERT_TRUE(link_.CommandGo(0, 6000, 0));
    EXPECT_EQ(link_.positions(), (Positions{1, 5999, 2}));
    EXPECT_EQ(NewLogTexts().last(), QStringLiteral("Command <GO> Success : 1/5999/2"));
}

TEST_F(CommandTest, ArgumentsOutOfRangeSendAndLogNothing) {
    EXPECT_FALSE(link_.CommandGo(0, 6001, 0));
    EXPECT_FALSE(link_.CommandGo(-1, -1, -1));
    EXPECT_FALSE(link_.CommandInfo(5));
    EXPECT_FALSE(link_.CommandInfo(-1));
    EXPECT_EQ(link_.GetInfo(5), QString());
    EXPECT_EQ(link_.GetInfo(-1), QString());
    EXPECT_TRUE(NewLogTexts().isEmpty());
    EXPECT_TRUE(terminal_.readAvailable().isEmpty());
}

TEST_F(CommandTest, NoReplyLogsTheFailureLine) {
    link_.SetTimeOut(150);
    HoldPositions({4, 5, 6});
    EXPECT_FALSE(link_.CommandPos());
    EXPECT_EQ(link_.positions(), (Positions{4, 5, 6}));
    const QStringList texts = NewLogTexts();
    EXPECT_EQ(texts.mid(texts.size() - 2),
              (QStringList{"Wait Response End", "Command <POS> Fail"}));
}

TEST_F(CommandTest, IdentificationKeepsTheWholeReply) {
    peer_.on("?", "Quilm FM Ver2.1 build 7\r");
    ASSERT_TRUE(link_.CommandDevice());
    EXPECT_EQ(link_.deviceId(), QStringLiteral("Quilm FM Ver2.1 build 7"));
    EXPECT_EQ(NewLogTexts().last(),
              QStringLiteral("Command <DEVICE> Success : Quilm FM Ver2.1 build 7"));

    peer_.on("?", "Quilm FM\r");
    EXPECT_FALSE(link_.CommandDevice());
    EXPECT_EQ(link_.deviceId(), QStringLiteral("Quilm FM Ver2.1 build 7"));
    const QStringList texts = NewLogTexts();
    EXPECT_EQ(texts.mid(texts.size() - 2),
              (QStringList{"Wait Response End", "Command <DEVICE> Fail"}));
}

TEST_F(CommandTest, HomeWaitsLongerThanTheReplyTimeOut) {
    HoldPositions({1, 2, 3});
    link_.SetTimeOut(100);
    QElapsedTimer sinceRequest;
    peer_.on("HOME 3", {Step{"",
                             [&] {
                                 sinceRequest.start();
                                 return true;
                             }},
                        Step{"G\r", [&] { return sinceRequest.elapsed() >= 450; }}});
    ASSERT_TRUE(link_.CommandHome());
    EXPECT_EQ(link_.positions(), (Positions{0, 0, 0}));
    EXPECT_EQ(NewLogTexts().last(), QStringLiteral("Command <HOME> Success : All"));
    EXPECT_EQ(peer_.requests().last(), QByteArray("HOME 3"));
}

struct InfoCase {
    const char *name;
    int n;
    QByteArray reply;
    const char *value;
};

void PrintTo(const InfoCase &c, std::ostream *os) {
    *os << c.name;
}

class InfoReply : public CommandTest, public ::testing::WithParamInterface<InfoCase> {};

TEST_P(InfoReply, StoresTheValueOrAnEmptyText) {
    const InfoCase &c = GetParam();
    peer_.on("INFO " + QByteArray::number(c.n), c.reply);
    ASSERT_TRUE(link_.CommandInfo(c.n));
    EXPECT_EQ(link_.GetInfo(c.n), QString::fromLatin1(c.value));
    EXPECT_EQ(NewLogTexts().last(), QStringLiteral("Command <INFO> Success : Read INFO%1=%2")
                                        .arg(c.n + 1)
                                        .arg(QString::fromLatin1(c.value)));
}

INSTANTIATE_TEST_SUITE_P(Replies, InfoReply,
                         ::testing::Values(InfoCase{"Model", 0, "INFO 0 QF-200\r", "QF-200"},
                                           InfoCase{"Range", 2, "INFO,2,0400-0800\r", "0400-0800"},
                                           InfoCase{"LastItem", 4, "INFO 4 x\r", "x"},
                                           InfoCase{"Quoted", 1, "INFO 1 \"A B,\"\"C\"\"\"\r",
                                                    "A B,\"C\""},
                                           InfoCase{"OtherItemNumber", 1, "INFO 2 X\r", ""},
                                           InfoCase{"BlankInValue", 1, "INFO 1 A B\r", ""},
                                           InfoCase{"NoValue", 3, "INFO 3  \r", ""}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(CommandTest, InfoValueIsClearedByAnUnexpectedReply) {
    peer_.on("INFO 1", "INFO 1 SN42\r");
    ASSERT_TRUE(link_.CommandInfo(1));
    peer_.on("INFO 1", "INFO 2 SN42\r");
    ASSERT_TRUE(link_.CommandInfo(1));
    EXPECT_EQ(link_.GetInfo(1), QString());
}

struct BkenCase {
    const char *name;
    bool requested;
    QByteArray reply;
    bool ok;
    bool state; // when ok
    const char *line;
};

void PrintTo(const BkenCase &c, std::ostream *os) {
    *os << c.name;
}

class BkenReply : public CommandTest, public ::testing::WithParamInterface<BkenCase> {};

TEST_P(BkenReply, ReportedStateDecides) {
    const BkenCase &c = GetParam();
    peer_.on(c.requested ? "BKEN 1" : "BKEN 0", c.reply);
    const bool before = link_.bkenState();
    EXPECT_EQ(link_.CommandBken(c.requested), c.ok);
    EXPECT_EQ(link_.bkenState(), c.ok ? c.state : before);
    EXPECT_EQ(NewLogTexts().last(), QString::fromLatin1(c.line));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, BkenReply,
    ::testing::Values(
        BkenCase{"OffAsAsked", false, "BKEN 0\r", true, false, "Command <BKEN> Success : OFF"},
        BkenCase{"OnAsAsked", true, "BKEN 1\r", true, true, "Command <BKEN> Success : ON"},
        BkenCase{"OnAskedOffReported", true, "BKEN 0\r", true, false,
                 "Command <BKEN> Success : OFF"},
        BkenCase{"CommaSeparator", false, "BKEN,1\r", true, true, "Command <BKEN> Success : ON"},
        BkenCase{"OtherState", true, "BKEN 2\r", false, false, "Command <BKEN> Fail"},
        BkenCase{"NoSeparator", true, "BKEN1 \r", false, false, "Command <BKEN> Fail"},
        // The sixth character decides, not the last one.
        BkenCase{"SixthNotLast", false, "BKEN 1 0\r", true, true, "Command <BKEN> Success : ON"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(CommandTest, OpeningAgainForgetsWhatTheInstrumentReported) {
    peer_.on("?", "Quilm FM Ver1.0\r");
    peer_.on("INFO 0", "INFO 0 M\r");
    peer_.on("BKEN 0", "BKEN 0\r");
    ASSERT_TRUE(link_.CommandDevice());
    ASSERT_TRUE(link_.CommandInfo(0));
    ASSERT_TRUE(link_.CommandBken(false));
    HoldPositions({1, 2, 3});
    link_.ClosePort();
    EXPECT_EQ(link_.deviceId(), QStringLiteral("Quilm FM Ver1.0")); // kept while closed
    ASSERT_TRUE(link_.OpenPort(QStringLiteral("COM3")));
    EXPECT_EQ(link_.deviceId(), QString());
    EXPECT_EQ(link_.GetInfo(0), QString());
    EXPECT_EQ(link_.positions(), (Positions{0, 0, 0}));
    EXPECT_TRUE(link_.bkenState());
    EXPECT_EQ(link_.lastLine(), QStringLiteral("GO 3 7 8 9"));
}

TEST(CommandsWhileClosed, FailWithoutATrace) {
    TempProgramFolder folder;
    TDevice_RedeRedirada link;
    ASSERT_TRUE(link.StartLog(folder.filePath(QStringLiteral("Log/"))));
    EXPECT_FALSE(link.CommandDevice());
    EXPECT_FALSE(link.CommandHome());
    EXPECT_FALSE(link.CommandPos());
    EXPECT_FALSE(link.CommandGo(1, 2, 3));
    EXPECT_FALSE(link.CommandInfo(0));
    EXPECT_FALSE(link.CommandBken(true));
    EXPECT_FALSE(link.ClearBuffer());
    EXPECT_FALSE(link.ShiftBuffer());
    EXPECT_FALSE(link.SendCommand(QStringLiteral("POS"), 3));
    EXPECT_FALSE(QFile::exists(link.logFilePath()));
}

} // namespace
