#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class TextFileTest : public ::testing::Test {
protected:
    QString write(const QByteArray &bytes) {
        const QString path = dir_.filePath(QStringLiteral("file%1.txt").arg(++count_));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return path;
    }
    QTemporaryDir dir_;
    int count_ = 0;
};

struct LinesCase {
    const char *name;
    QByteArray bytes;
    QStringList lines;
};

void PrintTo(const LinesCase &c, std::ostream *os) {
    *os << c.name;
}

class TextFileLines : public TextFileTest, public ::testing::WithParamInterface<LinesCase> {};

TEST_P(TextFileLines, SplitsAndDecodes) {
    QStringList lines{QStringLiteral("stale")};
    ASSERT_TRUE(ReadTextFileLines(write(GetParam().bytes), lines));
    EXPECT_EQ(lines, GetParam().lines);
}

QByteArray Bytes(const char *text, int size) {
    return QByteArray(text, size);
}

const QString kAe = QString(QChar(0x00E4));

INSTANTIATE_TEST_SUITE_P(
    Breaks, TextFileLines,
    ::testing::Values(LinesCase{"Empty", "", {}}, LinesCase{"NoBreak", "abc", {"abc"}},
                      LinesCase{"CrLf", "a\r\nb", {"a", "b"}},
                      LinesCase{"Lf", "a\nb\n", {"a", "b"}}, LinesCase{"Cr", "a\rb\r", {"a", "b"}},
                      LinesCase{"OnlyCrLf", "\r\n", {""}},
                      LinesCase{"CrThenCrLf", "a\r\r\nb", {"a", "", "b"}},
                      LinesCase{"LfThenCrIsTwoBreaks", "a\n\rb", {"a", "", "b"}},
                      LinesCase{"EmptyLinesCount", "\n\nx\n\n", {"", "", "x", ""}},
                      LinesCase{"NulKept", Bytes("a\0b", 3), {QString::fromUtf16(u"a\0b", 3)}}),
    [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    ByteOrderMarks, TextFileLines,
    ::testing::Values(
        LinesCase{"Utf8", "\xEF\xBB\xBF\xC3\xA4\r\nb", {kAe, "b"}},
        LinesCase{"Utf8MarkOnly", "\xEF\xBB\xBF", {}},
        LinesCase{"Utf8LaterFeffIsText",
                  "\xEF\xBB\xBF"
                  "a\n\xEF\xBB\xBF"
                  "b",
                  {"a", QString(QChar(0xFEFF)) + "b"}},
        LinesCase{"Utf16Le",
                  Bytes("\xFF\xFE\xE4\x00\r\x00\n\x00"
                        "b\x00",
                        10),
                  {kAe, "b"}},
        LinesCase{"Utf16Be",
                  Bytes("\xFE\xFF\x00\xE4\x00\r\x00\n\x00"
                        "b",
                        10),
                  {kAe, "b"}},
        // U+0D0A holds the bytes of CR and LF but is not a line break.
        LinesCase{"Utf16LeUnitWithBreakBytes", "\xFF\xFE\x0A\x0D", {QString(QChar(0x0D0A))}},
        LinesCase{"Utf16LeOddTrailingByte",
                  Bytes("\xFF\xFE"
                        "a\x00\n\x00"
                        "b",
                        7),
                  {"a", QString(QChar::ReplacementCharacter)}},
        LinesCase{"BrokenUtf8KeepsBreak",
                  "\xEF\xBB\xBF\xE2\r\nz",
                  {QString(QChar::ReplacementCharacter), "z"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(TextFileTest, WithoutMarkUsesSystemEncoding) {
    const QByteArray bytes = "caf\xC3\xA9 \xA1\xC3";
    QStringList lines;
    ASSERT_TRUE(ReadTextFileLines(write(bytes), lines));
    EXPECT_EQ(lines, QStringList{QString::fromLocal8Bit(bytes)});
}

TEST_F(TextFileTest, UnreadableFileFailsAndKeepsLines) {
    QStringList lines{QStringLiteral("kept")};
    EXPECT_FALSE(ReadTextFileLines(dir_.filePath(QStringLiteral("missing.txt")), lines));
    EXPECT_FALSE(ReadTextFileLines(dir_.path(), lines));
    EXPECT_EQ(lines, QStringList{QStringLiteral("kept")});
}

TEST_F(TextFileTest, BinaryGarbageIsReadWithoutLoss) {
    QByteArray bytes(1 << 20, Qt::Uninitialized);
    QRandomGenerator generator(1234);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    QStringList lines;
    ASSERT_TRUE(ReadTextFileLines(write(bytes), lines));
    // Every break sequence ends one line; whatever follows the last break is one more.
    int breaks = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' || bytes[i] == '\r') {
            ++breaks;
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        }
    }
    const bool tail = !bytes.endsWith('\n') && !bytes.endsWith('\r');
    EXPECT_EQ(lines.size(), breaks + (tail ? 1 : 0));
}

TEST_F(TextFileTest, HundredMegabytesAreReadInFull) {
    const QByteArray line = QByteArray(48, 'x') + "\r\n";
    const int count = 100 * 1024 * 1024 / line.size();
    const QString path = dir_.filePath(QStringLiteral("big.txt"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const QByteArray block = line.repeated(1024);
        for (int i = 0; i < count / 1024; ++i)
            ASSERT_EQ(file.write(block), block.size());
        file.write("last");
    }
    QStringList lines;
    ASSERT_TRUE(ReadTextFileLines(path, lines));
    ASSERT_EQ(lines.size(), count / 1024 * 1024 + 1);
    EXPECT_EQ(lines.first(), QString(48, QLatin1Char('x')));
    EXPECT_EQ(lines.last(), QStringLiteral("last"));
}

} // namespace
