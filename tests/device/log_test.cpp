#include "linkfixture.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

namespace {

QByteArray FileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(CommunicationLog, StartCreatesTheFolderAndNamesTheFileByItsStartTime) {
    TempProgramFolder folder;
    TDevice_RedeRedirada link;
    EXPECT_FALSE(link.AddLog(QStringLiteral("before the start")));
    const QString logFolder = folder.filePath(QStringLiteral("deep/er/Log/"));
    const QDateTime before = QDateTime::currentDateTime();
    ASSERT_TRUE(link.StartLog(logFolder));
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_TRUE(QDir(logFolder).exists());
    EXPECT_TRUE(link.logEnabled());
    EXPECT_EQ(link.logFolder(), logFolder);
    const QString format = QStringLiteral("yyyyMMdd-HHmmss");
    EXPECT_TRUE(link.logStamp() == before.toString(format) ||
                link.logStamp() == after.toString(format))
        << link.logStamp().toStdString();
    EXPECT_EQ(link.logFilePath(), logFolder + "Log " + link.logStamp() + ".ini");
    EXPECT_FALSE(QFile::exists(link.logFilePath())); // the first entry creates the file

    ASSERT_TRUE(link.AddLog(QStringLiteral("first")));
    const QByteArray bytes = FileBytes(link.logFilePath());
    // "[yymmdd-hhnnss] ": the stamp of the entry is the log's start time or later.
    ASSERT_EQ(bytes.size(), 16 + 5 + 2);
    EXPECT_EQ(bytes.left(1), "[");
    EXPECT_GE(bytes.mid(1, 13), link.logStamp().mid(2).toLatin1());
    EXPECT_EQ(bytes.mid(14), "] first\r\n");
}

struct EntryCase {
    const char *name;
    QString text;
    QByteArray data;
    int count;
    QByteArray written; // after the time stamp
};

void PrintTo(const EntryCase &c, std::ostream *os) {
    *os << c.name;
}

class LogEntry : public LogFolderTest, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(LogEntry, IsWrittenAfterItsStampAndEndedByCrLf) {
    const EntryCase &c = GetParam();
    ASSERT_TRUE(link_.AddLog(c.text, c.data.constData(), c.count));
    const QByteArray bytes = FileBytes(link_.logFilePath());
    ASSERT_GE(bytes.size(), 16);
    EXPECT_EQ(bytes.mid(16), c.written);
}

const QString kLatin1Text = QString::fromLatin1("\xB0"
                                                "C");

INSTANTIATE_TEST_SUITE_P(
    Entries, LogEntry,
    ::testing::Values(
        EntryCase{"NoData", "Close", "", 0, "Close\r\n"},
        EntryCase{"NegativeCount", "Close", "A", -1, "Close\r\n"},
        EntryCase{"CarriageReturn", "OnRxChar (1)", "\r", 1, "OnRxChar (1) #{0D}#\r\n"},
        EntryCase{"ExtremeBytes", "x", QByteArray("\x00\xFF", 2), 2, "x #{00}{FF}#\r\n"},
        EntryCase{"PrintableToo", "x", "Az", 2, "x #{41}{7A}#\r\n"},
        EntryCase{"OnlyCountBytes", "x", "ABC", 1, "x #{41}#\r\n"},
        EntryCase{"EightBitText", kLatin1Text, "", 0,
                  "\xB0"
                  "C\r\n"},
        // Line breaks inside a text (a reply of several lines) end lines of the file.
        EntryCase{"TextWithCarriageReturn", "Quilm\rFM", "", 0, "Quilm\r\nFM\r\n"},
        EntryCase{"TextEndingInCarriageReturn", "Ver1.0\r", "", 0, "Ver1.0\r\n\r\n"},
        EntryCase{"TextWithEveryBreak", "a\nb\r\nc\n\rd", "", 0, "a\r\nb\r\nc\r\n\r\nd\r\n"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(LogFolderTest, EntriesAreAppendedToWhatIsThere) {
    // A run started in the same second as an earlier one continues its file.
    QFile earlier(link_.logFilePath());
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("[200102-090503] Close\r\n");
    earlier.close();
    ASSERT_TRUE(link_.AddLog(QStringLiteral("one")));
    ASSERT_TRUE(link_.AddLog(QStringLiteral("two")));
    EXPECT_EQ(LogTexts(), (QStringList{"Close", "one", "two"}));
}

TEST_F(LogFolderTest, EntryFailsWhenTheFileCannotBeWritten) {
    ASSERT_TRUE(QDir().mkpath(link_.logFilePath())); // a folder where the file should be
    EXPECT_FALSE(link_.AddLog(QStringLiteral("lost")));
}

struct TimeOutCase {
    int asked;
    int used;
};

class TimeOut : public LogFolderTest, public ::testing::WithParamInterface<TimeOutCase> {};

TEST_P(TimeOut, IsClampedAndLogged) {
    link_.SetTimeOut(GetParam().asked);
    EXPECT_EQ(link_.replyTimeOut(), GetParam().used);
    EXPECT_EQ(LogTexts(), QStringList{QStringLiteral("Set TimeOut <%1>").arg(GetParam().used)});
}

INSTANTIATE_TEST_SUITE_P(Values, TimeOut,
                         ::testing::Values(TimeOutCase{0, 100}, TimeOutCase{-5, 100},
                                           TimeOutCase{1, 1}, TimeOutCase{500, 500},
                                           TimeOutCase{60000, 60000}, TimeOutCase{60001, 60000}));

struct OpenCase {
    const char *name;
    const char *port;
    const char *baud;
    bool opens;
    int rate; // when it opens
};

void PrintTo(const OpenCase &c, std::ostream *os) {
    *os << c.name;
}

class OpenArguments : public FakePortTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenArguments, AreCheckedBeforeThePortIsMade) {
    const OpenCase &c = GetParam();
    EXPECT_EQ(link_.OpenPort(QString::fromLatin1(c.port), QString::fromLatin1(c.baud)), c.opens);
    EXPECT_EQ(link_.isOpen(), c.opens);
    if (c.opens) {
        EXPECT_EQ(state_->name, QString::fromLatin1(c.port));
        EXPECT_EQ(state_->baud, c.rate);
        EXPECT_EQ(LogTexts(),
                  QStringList{QStringLiteral("Open <%1,%2> Success")
                                  .arg(QString::fromLatin1(c.port), QString::fromLatin1(c.baud))});
    } else {
        EXPECT_EQ(port(), nullptr);
        EXPECT_FALSE(QFile::exists(link_.logFilePath()));
    }
}

INSTANTIATE_TEST_SUITE_P(Names, OpenArguments,
                         ::testing::Values(OpenCase{"Com3", "COM3", "38400", true, 38400},
                                           OpenCase{"Com64", "COM64", "38400", true, 38400},
                                           OpenCase{"JustCom", "COM", "38400", false, 0},
                                           OpenCase{"Com0", "COM0", "38400", false, 0},
                                           OpenCase{"LowerCase", "com3", "38400", false, 0},
                                           OpenCase{"NotANumber", "COMX", "38400", false, 0},
                                           OpenCase{"Empty", "", "38400", false, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Bauds, OpenArguments,
                         ::testing::Values(OpenCase{"Slowest", "COM1", "110", true, 110},
                                           OpenCase{"Rate14400", "COM1", "14400", true, 14400},
                                           OpenCase{"Rate56000", "COM1", "56000", true, 56000},
                                           OpenCase{"Fastest", "COM1", "256000", true, 256000},
                                           OpenCase{"Unusual", "COM1", "12345", true, 9600},
                                           OpenCase{"Lowest", "COM1", "100", true, 9600},
                                           OpenCase{"TooLow", "COM1", "99", false, 0},
                                           OpenCase{"EmptyBaud", "COM1", "", false, 0},
                                           OpenCase{"Words", "COM1", "fast", false, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(FakePortTest, OpenThatFailsClosesAndLogsIt) {
    state_->opens = false;
    EXPECT_FALSE(link_.OpenPort(QStringLiteral("COM3")));
    EXPECT_FALSE(link_.isOpen());
    EXPECT_EQ(port(), nullptr);
    EXPECT_EQ(LogTexts(), (QStringList{"Close", "Open Fail"}));
}

TEST_F(FakePortTest, CloseWithoutAPortOnlyLogs) {
    link_.ClosePort();
    EXPECT_FALSE(link_.isOpen());
    EXPECT_FALSE(link_.bkenState()); // the close clears the state in every case
    EXPECT_EQ(LogTexts(), QStringList{"Close"});
}

TEST_F(FakePortTest, RefusedPurgeIsLoggedAndKeepsTheBuffer) {
    ASSERT_TRUE(link_.OpenPort(QStringLiteral("COM3")));
    port()->Arrive("abc");
    state_->clears = false;
    EXPECT_FALSE(link_.ClearBuffer());
    EXPECT_EQ(link_.rxCount(), 3);
    EXPECT_EQ(LogTexts().last(), QStringLiteral("Clear Buffer Fail"));
}

struct ErrorCase {
    const char *name;
    ComErrors errors;
    QStringList lines;
};

void PrintTo(const ErrorCase &c, std::ostream *os) {
    *os << c.name;
}

class LineErrors : public FakePortTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(LineErrors, AreLoggedInTheirFixedOrderAndChangeNothing) {
    ASSERT_TRUE(link_.OpenPort(QStringLiteral("COM3")));
    port()->Arrive("POS 3");
    port()->RaiseErrors(GetParam().errors);
    EXPECT_TRUE(link_.isOpen());
    EXPECT_EQ(link_.rxCount(), 5);
    QStringList texts = LogTexts();
    EXPECT_EQ(texts.mid(texts.indexOf(QStringLiteral("OnError")) + 1), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LineErrors,
    ::testing::Values(
        ErrorCase{"All",
                  ceTxFull | ceRxOver | ceMode | ceIO | ceBreak | ceOverrun | ceRxParity | ceFrame,
                  {"+ Frame Error", "+ RxParity Error", "+ Overrun Error", "+ Break Error",
                   "+ IO Error", "+ Mode Error", "+ RxOver Error", "+ TxFull Error"}},
        ErrorCase{"Overrun", ceOverrun, {"+ Overrun Error"}},
        ErrorCase{"FrameAndBreak", ceBreak | ceFrame, {"+ Frame Error", "+ Break Error"}},
        ErrorCase{"None", {}, {}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(FakePortTest, ClosingFromInsideThePortsOwnEventDefersItsDeletion) {
    ASSERT_TRUE(link_.OpenPort(QStringLiteral("COM3")));
    FakeComPort *fake = port();
    bool aliveAfterClose = false;
    QObject::connect(fake, &TComPort::RxChar, &link_, [&] {
        link_.ClosePort();
        aliveAfterClose = port() != nullptr;
    });
    fake->Arrive("x");
    EXPECT_TRUE(aliveAfterClose);
    EXPECT_FALSE(link_.isOpen());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(port(), nullptr);
}

TEST_F(FakePortTest, ReceivedBytesAreIgnoredWithoutAPort) {
    link_.HandleRxChar(5);
    EXPECT_EQ(link_.rxCount(), 0);
    EXPECT_FALSE(QFile::exists(link_.logFilePath()));
}

} // namespace
