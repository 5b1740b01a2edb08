#include "setup/inifile.h"

#include "filehelpers.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>

namespace {

// Every form a hand-edited file may take: a byte-order mark, CR LF, a key before any section,
// comments, blank lines, a line without '=', a key without a name, duplicate keys, a duplicate
// section, blanks around names and values, and a last line without a line end.
const QByteArray Mixed = "\xEF\xBB\xBF"
                         "orphan=1\r\n"
                         "; top comment\r\n"
                         "\r\n"
                         "[info]\r\n"
                         "  TYPE = Kestrune v1 \r\n"
                         "just a line\r\n"
                         "\r\n"
                         "; about the port\r\n"
                         "[ ComPort ]\r\n"
                         "timeout=5\r\n"
                         "TimeOut=7\r\n"
                         "=no name\r\n"
                         "# hash comment\r\n"
                         "\r\n"
                         "[COMPORT]\r\n"
                         "Extra=1\r\n"
                         "; trailing comment";

TEST(TIniStore, ReadsNamesWithoutRegardToCaseAndTheFirstOfDuplicates) {
    const TIniStore store(Mixed);
    EXPECT_EQ(store.Bytes(), Mixed);
    EXPECT_EQ(store.ReadString("Info", "Type", "Unknown"), "Kestrune v1");
    EXPECT_EQ(store.ReadInteger("comport", "TIMEOUT", 0), 5);
    EXPECT_EQ(store.ReadString("ComPort", "Extra", "none"), "none");
    EXPECT_EQ(store.ReadString("Info", "orphan", "none"), "none");
    EXPECT_EQ(store.ReadString("Info", "just a line", "none"), "none");
    EXPECT_EQ(store.ReadString("Device", "Info", "none"), "none");
}

TEST(TIniStore, WritingChangesOnlyTheValueOrAddsOneLine) {
    TIniStore store(Mixed);
    ASSERT_TRUE(store.WriteString("INFO", "type", "Kestrune v2"));
    ASSERT_TRUE(store.WriteString("ComPort", "PortName", "COM3"));
    ASSERT_TRUE(store.WriteString("Remote", "PortNum", "5050"));
    ASSERT_TRUE(store.WriteString("Remote", "Spare", ""));
    EXPECT_EQ(store.Bytes(), QByteArray("\xEF\xBB\xBF"
                                        "orphan=1\r\n"
                                        "; top comment\r\n"
                                        "\r\n"
                                        "[info]\r\n"
                                        "  TYPE = Kestrune v2 \r\n"
                                        "just a line\r\n"
                                        "\r\n"
                                        "; about the port\r\n"
                                        "[ ComPort ]\r\n"
                                        "timeout=5\r\n"
                                        "TimeOut=7\r\n"
                                        "PortName=COM3\r\n"
                                        "=no name\r\n"
                                        "# hash comment\r\n"
                                        "\r\n"
                                        "[COMPORT]\r\n"
                                        "Extra=1\r\n"
                                        "; trailing comment\r\n"
                                        "\r\n"
                                        "[Remote]\r\n"
                                        "PortNum=5050\r\n"
                                        "Spare=\r\n"));
    EXPECT_EQ(store.ReadString("Remote", "Spare", "none"), "");
}

TEST(TIniStore, ANewTextGetsItsSectionsInTheOrderWritten) {
    TIniStore store;
    store.WriteString("Info", "Type", "x");
    store.WriteString("ComPort", "PortName", "COM1");
    store.WriteString("Info", "Owner", "y");
    EXPECT_EQ(store.Bytes(), QByteArray("[Info]\nType=x\nOwner=y\n\n[ComPort]\nPortName=COM1\n"));
}

TEST(TIniStore, AnEmptyValueIsAValue) {
    TIniStore store("[S]\nK=\nL =   \n");
    EXPECT_EQ(store.ReadString("S", "K", "default"), "");
    EXPECT_EQ(store.ReadInteger("S", "L", 9), 9);
    store.WriteString("S", "L", "v");
    EXPECT_EQ(store.Bytes(), QByteArray("[S]\nK=\nL =   v\n"));
}

struct IntegerCase {
    const char *text;
    int expected;
};

class IniIntegers : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IniIntegers, AreDecimalOrHexadecimalElseTheDefault) {
    const TIniStore store(QByteArray("[S]\nK=") + GetParam().text + "\n");
    EXPECT_EQ(store.ReadInteger("S", "K", -7), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Edges, IniIntegers,
                         ::testing::Values(IntegerCase{"1000", 1000}, IntegerCase{" -12 ", -12},
                                           IntegerCase{"+7", 7}, IntegerCase{"0x3E8", 1000},
                                           IntegerCase{"0X3e8", 1000},
                                           IntegerCase{"0x7FFFFFFF", 2147483647},
                                           IntegerCase{"0x80000000", -7}, IntegerCase{"0x", -7},
                                           IntegerCase{"0xG", -7}, IntegerCase{"-0x10", -7},
                                           IntegerCase{"2147483648", -7}, IntegerCase{"12abc", -7},
                                           IntegerCase{"abc", -7}, IntegerCase{"", -7},
                                           IntegerCase{"1e3", -7}, IntegerCase{"1 000", -7}));

struct RefusedWrite {
    QString section;
    QString key;
    QString value;
};

class IniRefusedWrites : public ::testing::TestWithParam<RefusedWrite> {};

TEST_P(IniRefusedWrites, LeaveTheTextUnchanged) {
    TIniStore store(Mixed);
    EXPECT_FALSE(store.WriteString(GetParam().section, GetParam().key, GetParam().value));
    EXPECT_EQ(store.Bytes(), Mixed);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, IniRefusedWrites,
    ::testing::Values(RefusedWrite{"Info", "Type", "a\nb=c"}, RefusedWrite{"Info", "Type", "a\r"},
                      RefusedWrite{"Info", "Type", QString(QChar(0x2265))},
                      RefusedWrite{"", "Type", "v"}, RefusedWrite{"Info", "", "v"},
                      RefusedWrite{"In]fo", "Type", "v"}, RefusedWrite{"Info", "a=b", "v"},
                      RefusedWrite{"Info", "[x]", "v"}, RefusedWrite{"Info", ";k", "v"},
                      RefusedWrite{"Info", " Type", "v"}, RefusedWrite{"Info\n[x", "k", "v"}));

// Whatever the bytes, reading does not fail, a written key reads back, and when no section
// header could have been among them the old bytes stay in front.
TEST(TIniStore, AcceptsAnyBytes) {
    std::mt19937 random(29);
    const QByteArray frequent("[]=;\r\n \t\xEF\xBB\xBF");
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes;
        const int length = int(random() % 200);
        for (int i = 0; i < length; ++i) {
            bytes.append(random() % 2 ? char(random() % 256)
                                      : frequent.at(int(random() % frequent.size())));
        }
        TIniStore store(bytes);
        ASSERT_EQ(store.Bytes(), bytes);
        store.ReadInteger("Info", "Type", 0);
        ASSERT_TRUE(store.WriteString("Device", "Info", "value"));
        ASSERT_EQ(store.ReadString("Device", "Info", "none"), "value");
        if (!bytes.contains('[')) {
            ASSERT_TRUE(store.Bytes().startsWith(bytes));
        }
    }
}

class TIniFileTest : public ::testing::Test {
protected:
    QString Path() const { return dir_.filePath("settings.ini"); }

private:
    QTemporaryDir dir_;
};

TEST_F(TIniFileTest, UpdateKeepsWhatOthersChangedMeanwhile) {
    ASSERT_TRUE(WriteBytes(Path(), "[A]\nx=1\n"));
    TIniFile ini(Path());
    ASSERT_TRUE(WriteBytes(Path(), "; added by hand\n[A]\nx=1\ny=2\n"));
    ini.WriteInteger("A", "x", 5);
    ini.WriteBool("B", "flag", true);
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadBytes(Path()), QByteArray("; added by hand\n[A]\nx=5\ny=2\n\n[B]\nflag=1\n"));
    EXPECT_EQ(ini.ReadInteger("A", "y", 0), 2);
}

TEST_F(TIniFileTest, AReadOnlyFileIsNotReplaced) {
    ASSERT_TRUE(WriteBytes(Path(), "[A]\nx=1\n"));
    QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    TIniFile ini(Path());
    ini.WriteInteger("A", "x", 5);
    EXPECT_FALSE(ini.UpdateFile());
    EXPECT_EQ(ReadBytes(Path()), QByteArray("[A]\nx=1\n"));

    // The write stays pending until the file can take it.
    QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadBytes(Path()), QByteArray("[A]\nx=5\n"));
}

TEST_F(TIniFileTest, UpdateKeepsThePermissions) {
    ASSERT_TRUE(WriteBytes(Path(), "[A]\nx=1\n"));
    const auto permissions =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QFile::setPermissions(Path(), permissions);
    TIniFile ini(Path());
    ini.WriteInteger("A", "x", 5);
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(QFile::permissions(Path()) & ~QFileDevice::ReadUser & ~QFileDevice::WriteUser,
              permissions);
}

TEST_F(TIniFileTest, AFolderInPlaceOfTheFileIsLeftAlone) {
    TIniFile ini(Path());
    ASSERT_TRUE(QDir().mkdir(Path()));
    ini.WriteInteger("A", "x", 5);
    EXPECT_FALSE(ini.UpdateFile());
    EXPECT_TRUE(QFileInfo(Path()).isDir());
}

} // namespace
