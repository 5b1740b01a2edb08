#include "linkfixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Step = ScriptedPeer::Step;

TEST_F(PtyLinkTest, OpenLogsNameAndBaudAndResetsTheInstrumentFields) {
    ASSERT_TRUE(link_.OpenPort(QStringLiteral("COM3")));
    EXPECT_TRUE(link_.isOpen());
    EXPECT_EQ(LogTexts(), QStringList{"Open <COM3,38400> Success"});
    EXPECT_FALSE(link_.OpenPort(QStringLiteral("COM3"))); // already open: nothing happens
    EXPECT_TRUE(link_.isOpen());
    EXPECT_EQ(LogTexts().size(), 1);
}

TEST_F(PtyLinkTest, UnusualBaudTextOpensAt9600) {
    ASSERT_TRUE(link_.OpenPort(QStringLiteral("COM3"), QStringLiteral("12345")));
    EXPECT_EQ(LogTexts(), QStringList{"Open <COM3,12345> Success"});
    const int fd = ::open(terminal_.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios settings{};
    ASSERT_EQ(::tcgetattr(fd, &settings), 0);
    ::close(fd);
    EXPECT_EQ(cfgetospeed(&settings), speed_t(B9600));
    EXPECT_EQ(settings.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_FALSE(settings.c_iflag & (IXON | IXOFF));
}

TEST_F(PtyLinkTest, PortThatCannotBeOpenedLeavesTheLinkClosed) {
    EXPECT_FALSE(link_.OpenPort(QStringLiteral("COM9")));
    EXPECT_FALSE(link_.isOpen());
    EXPECT_EQ(LogTexts(), (QStringList{"Close", "Open Fail"}));
    EXPECT_FALSE(link_.ClearBuffer());
}

TEST_F(PtyLinkTest, CloseLogsAndClosesTheDevice) {
    OpenLink();
    link_.ClosePort();
    EXPECT_FALSE(link_.isOpen());
    EXPECT_FALSE(link_.bkenState());
    EXPECT_EQ(NewLogTexts(), QStringList{"Close"});
    // The device is free again for the next attempt.
    ASSERT_TRUE(link_.OpenPort(QStringLiteral("COM3")));
}

TEST_F(PtyLinkTest, RequestLinesOfEveryForm) {
    OpenLink();
    EXPECT_TRUE(link_.SendCommand(QStringLiteral("?")));
    EXPECT_TRUE(link_.SendCommand(QStringLiteral("INFO"), 4));
    EXPECT_TRUE(link_.SendCommand(QStringLiteral("GO"), 1200, 3400, 560));
    EXPECT_TRUE(link_.SendCommand(QStringLiteral("BKEN"), true));
    EXPECT_TRUE(link_.SendCommand(QStringLiteral("BKEN"), false));
    // Refused without a trace: a count outside 0..4, a negative position, an empty word.
    EXPECT_FALSE(link_.SendCommand(QStringLiteral("INFO"), 5));
    EXPECT_FALSE(link_.SendCommand(QStringLiteral("INFO"), -1));
    EXPECT_FALSE(link_.SendCommand(QStringLiteral("GO"), 0, -1, 0));
    EXPECT_FALSE(link_.SendCommand(QString()));
    EXPECT_EQ(link_.lastCommand(), QStringLiteral("BKEN"));
    EXPECT_EQ(link_.lastLine(), QStringLiteral("BKEN 0"));
    EXPECT_TRUE(WaitUntil([this] { return peer_.requests().size() == 5; }));
    EXPECT_EQ(peer_.received(), QByteArray("?\rINFO 4\rGO 3 1200 3400 560\rBKEN 1\rBKEN 0\r"));
    EXPECT_EQ(NewLogTexts(), (QStringList{"Send Command <?>", "Send Command <INFO 4>",
                                          "Send Command <GO 3 1200 3400 560>",
                                          "Send Command <BKEN 1>", "Send Command <BKEN 0>"}));
}

// One reply and what the recogniser makes of it after the command word was sent.
struct ReplyCase {
    const char *name;
    const char *command;
    QByteArray reply;
    bool complete;
    bool valid;
    const char *response; // when complete
    int shifts;
    int rxCountAfter; // when not complete
};

void PrintTo(const ReplyCase &c, std::ostream *os) {
    *os << c.name;
}

class ReplyRecogniser : public PtyLinkTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyRecogniser, JudgesTheReply) {
    const ReplyCase &c = GetParam();
    OpenLink();
    peer_.on(c.command, c.reply);
    ASSERT_TRUE(link_.ClearBuffer());
    ASSERT_TRUE(link_.SendCommand(QString::fromLatin1(c.command)));
    if (c.complete) {
        EXPECT_EQ(link_.WaitResponse(10000), c.valid);
        EXPECT_TRUE(link_.replyComplete());
        EXPECT_EQ(link_.response(), QString::fromLatin1(c.response));
    } else {
        const auto arrived = [this, &c] {
            int sum = 0;
            for (const int n : RxEventSizes())
                sum += n;
            return sum == c.reply.size();
        };
        ASSERT_TRUE(WaitUntil(arrived));
        EXPECT_FALSE(link_.replyComplete());
        EXPECT_EQ(link_.rxCount(), c.rxCountAfter);
    }
    EXPECT_EQ(NewLogTexts().count(QStringLiteral("Shift Buffer Success")), c.shifts);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyRecogniser,
    ::testing::Values(
        ReplyCase{"Identification", "?", "Quilm FM Ver1.0\r", true, true, "Quilm FM Ver1.0", 0, 0},
        ReplyCase{"IdentificationTooShort", "?", "Quilm FM\r", true, false, "Quilm FM", 0, 0},
        ReplyCase{"EchoAndNoiseSkipped", "POS", "xxPOS 3 1 2 3\r", true, true, "POS 3 1 2 3", 2, 0},
        ReplyCase{"PosTooShort", "POS", "POS\r", true, false, "POS", 0, 0},
        ReplyCase{"NeverMatchingIsEatenUntilTooShort", "GO", "abcdefgh\r", true, false, "defgh", 3,
                  0},
        ReplyCase{"EarlierLineInsideTheBuffer", "POS", "junk\rPOS 3 1 2 3\r", true, true,
                  "POS 3 1 2 3", 5, 0},
        ReplyCase{"Home", "HOME", "xG\r", true, true, "G", 1, 0},
        ReplyCase{"HomeEatenToTheCarriageReturn", "HOME", "xy\r", false, false, "", 2, 1},
        ReplyCase{"Info", "INFO", "INFO 0 X\r", true, true, "INFO 0 X", 0, 0},
        ReplyCase{"Bken", "BKEN", "BKEN 1\r", true, true, "BKEN 1", 0, 0},
        ReplyCase{"UnknownCommandCompleteAtOnce", "FOO", "FOO 1\r", true, false, "FOO 1", 0, 0},
        ReplyCase{"LineFeedAfterCarriageReturn", "POS", "POS 3 1 2 3\r\n", false, false, "", 0, 13},
        ReplyCase{"LoneCarriageReturn", "POS", "\r", false, false, "", 0, 1}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(PtyLinkTest, ReplyInTwoPiecesCompletesWithTheSecond) {
    OpenLink();
    peer_.on("POS 3", {Step{"PO", {}}, Step{"S 3 1 2 3\r", [this] {
                                                return link_.rxCount() == 2 &&
                                                       !link_.replyComplete();
                                            }}});
    link_.ClearBuffer();
    link_.SendCommand(QStringLiteral("POS"), 3);
    EXPECT_TRUE(link_.WaitResponse(10000));
    EXPECT_EQ(link_.response(), QStringLiteral("POS 3 1 2 3"));
    EXPECT_EQ(RxEventSizes(), (QList<int>{2, 10}));
}

TEST_F(PtyLinkTest, BufferKeepsTheFirst1024BytesAndReadsEverything) {
    OpenLink();
    const QByteArray flood(1030, 'A');
    peer_.play({Step{flood, {}}});
    ASSERT_TRUE(WaitUntil([this] {
        int sum = 0;
        for (const int n : RxEventSizes())
            sum += n;
        return sum == 1030;
    }));
    EXPECT_EQ(link_.rxCount(), 1024);
    EXPECT_EQ(link_.rxBuffer(), flood.left(1024));
    EXPECT_TRUE(NewLogTexts().contains(QStringLiteral("RxBuffer (1024) #") +
                                       QStringLiteral("{41}").repeated(1024) + QLatin1Char('#')));
}

TEST_F(PtyLinkTest, WaitWithoutReplyLastsItsTimeOutAndEndsFalse) {
    OpenLink();
    link_.ClearBuffer();
    link_.SendCommand(QStringLiteral("POS"), 3);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(link_.WaitResponse(250));
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_EQ(NewLogTexts().mid(2), (QStringList{"Wait Response Start", "Wait Response End"}));
}

TEST_F(PtyLinkTest, WaitPollsOnceEvenWithTheReplyAlreadyWaiting) {
    OpenLink();
    link_.ClearBuffer();
    link_.SendCommand(QStringLiteral("POS"), 3);
    // Answered behind the scripted peer's back, so the reply waits unseen until the first poll.
    ASSERT_EQ(terminal_.readUntil('\r', 5000), QByteArray("POS 3\r"));
    ASSERT_TRUE(terminal_.write("POS 3 1 2 3\r"));
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(link_.WaitResponse(0));
    EXPECT_GE(clock.elapsed(), 100);
}

TEST_F(PtyLinkTest, UnplugDuringAWaitEndsInTimeOutAndLaterWritesFail) {
    OpenLink();
    link_.SetTimeOut(500);
    QTimer::singleShot(0, &peer_, [this] { peer_.unplug(); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(link_.CommandPos());
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(link_.isOpen()); // a lost instrument leaves the link open for its owner to close
    const QStringList texts = NewLogTexts();
    EXPECT_EQ(texts.count(QStringLiteral("+ IO Error")), 1);
    EXPECT_EQ(texts.mid(texts.size() - 2),
              (QStringList{"Wait Response End", "Command <POS> Fail"}));

    opened_ = int(LogTexts().size());
    EXPECT_FALSE(link_.CommandPos());
    EXPECT_EQ(NewLogTexts(),
              (QStringList{"Clear Buffer Fail", "Send Command Fail", "Command <POS> Fail"}));
    link_.ClosePort();
    EXPECT_FALSE(link_.isOpen());
}

TEST_F(PtyLinkTest, ClosingDuringAWaitEndsItAtTheNextPoll) {
    OpenLink();
    QTimer::singleShot(0, &peer_, [this] { link_.ClosePort(); });
    QElapsedTimer clock;
    clock.start();
    link_.ClearBuffer();
    link_.SendCommand(QStringLiteral("POS"), 3);
    EXPECT_FALSE(link_.WaitResponse(30000));
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(NewLogTexts().mid(2),
              (QStringList{"Wait Response Start", "Close", "Wait Response End"}));
}

TEST_F(PtyLinkTest, LinkDestroyedDuringACommandReturnsFalseWithoutTouchingIt) {
    auto *link = new TDevice_RedeRedirada;
    link->StartLog(link_.logFolder());
    ASSERT_TRUE(link->OpenPort(QStringLiteral("COM3")));
    const QString logPath = link->logFilePath();
    QTimer::singleShot(0, &peer_, [link] { delete link; });
    EXPECT_FALSE(link->CommandPos());
    const QStringList texts = ReadLogTexts(logPath);
    EXPECT_EQ(texts.mid(texts.size() - 2), (QStringList{"Wait Response Start", "Close"}));
}

TEST_F(PtyLinkTest, LogFolderThatCannotBeCreatedLeavesTheLinkWorking) {
    QFile blocker(folder_.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TDevice_RedeRedirada link;
    EXPECT_TRUE(link.StartLog(folder_.filePath(QStringLiteral("file/Log/"))));
    EXPECT_TRUE(link.logEnabled());
    EXPECT_FALSE(link.AddLog(QStringLiteral("lost")));
    peer_.on("POS 3", "POS 3 4 5 6\r");
    ASSERT_TRUE(link.OpenPort(QStringLiteral("COM3")));
    EXPECT_TRUE(link.CommandPos());
    EXPECT_EQ(link.positions(), (std::array<int, 3>{4, 5, 6}));
}

TEST(PtyLinkWithoutLog, WritesNothingAnywhere) {
    TempProgramFolder folder;
    PseudoTerminal terminal;
    ASSERT_TRUE(folder.linkPort(3, terminal.slavePath()));
    ScriptedPeer peer(terminal);
    peer.on("POS 3", "POS 3 1 2 3\r");
    {
        TDevice_RedeRedirada link;
        ASSERT_TRUE(link.OpenPort(QStringLiteral("COM3")));
        link.SetTimeOut(200);
        EXPECT_TRUE(link.CommandPos());
        EXPECT_FALSE(link.CommandInfo(0));
        EXPECT_FALSE(link.AddLog(QStringLiteral("x")));
        EXPECT_EQ(link.logFilePath(), QString());
    }
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"Ports"});
}

} // namespace
