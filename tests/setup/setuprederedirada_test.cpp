#include "setup/setuprederedirada.h"

#include "filehelpers.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace {

const QString Name = QStringLiteral("RedeRedirada.ini");

const QByteArray ValidFile = "[Info]\n"
                             "Type=Kestrune v1\n"
                             "\n"
                             "[ComPort]\n"
                             "PortName=COM7\n"
                             "BaudRate=9600\n"
                             "TimeOut=2500\n"
                             "\n"
                             "[Device]\n"
                             "Info=Quilm FM Ver2.0\n"
                             "ZeroToPos=0\n"
                             "DebugMode=1\n"
                             "\n"
                             "[Remote]\n"
                             "PortNum=6000\n"
                             "\n"
                             "[Scan]\n"
                             "Record=0\n";
const std::string ValidFields = "COM7|9600|2500|Quilm FM Ver2.0|0|1|6000";

const QByteArray DefaultFile = "[Info]\n"
                               "Type=Kestrune v1\n"
                               "\n"
                               "[ComPort]\n"
                               "PortName=COM1\n"
                               "BaudRate=38400\n"
                               "TimeOut=1000\n"
                               "\n"
                               "[Device]\n"
                               "Info=Quilm FM Ver1.0\n"
                               "ZeroToPos=1\n"
                               "DebugMode=0\n"
                               "\n"
                               "[Remote]\n"
                               "PortNum=5050\n"
                               "\n"
                               "[Scan]\n"
                               "Record=1\n";
const std::string DefaultFields = "COM1|38400|1000|Quilm FM Ver1.0|1|0|5050";

std::string Fields(const TSetup_RedeRedirada &s) {
    return QStringList{s.PortName,
                       s.BaudRate,
                       QString::number(s.TimeOut),
                       s.Info,
                       QString::number(s.ZeroToPos),
                       QString::number(s.DebugMode),
                       QString::number(s.PortNum)}
        .join('|')
        .toStdString();
}

class SettingsTest : public ::testing::Test {
protected:
    QString Folder() const { return dir_.path() + '/'; }
    QString Path() const { return Folder() + Name; }
    std::unique_ptr<TSetup_RedeRedirada> Open() {
        return std::make_unique<TSetup_RedeRedirada>(Folder(), Name);
    }

private:
    QTemporaryDir dir_;
};

TEST_F(SettingsTest, WithoutAFileTheDefaultsApplyAndAreWrittenAtTheEnd) {
    auto settings = Open();
    EXPECT_TRUE(settings->IsFileOpen);
    EXPECT_EQ(Fields(*settings), DefaultFields);
    EXPECT_TRUE(settings->ScanRecord);
    EXPECT_EQ(ReadBytes(Path()), QByteArray()); // created empty, not yet written
    settings.reset();
    EXPECT_EQ(ReadBytes(Path()), DefaultFile);
}

TEST_F(SettingsTest, LoadsEveryKeyAndWritesBackWhatChanged) {
    ASSERT_TRUE(WriteBytes(Path(), ValidFile));
    auto settings = Open();
    EXPECT_EQ(Fields(*settings), ValidFields);
    EXPECT_FALSE(settings->ScanRecord);
    EXPECT_EQ(settings->Folder, Folder());
    EXPECT_EQ(settings->FileName, Name);
    settings->PortName = QStringLiteral("COM12");
    settings.reset();
    EXPECT_EQ(ReadBytes(Path()), QByteArray(ValidFile).replace("PortName=COM7", "PortName=COM12"));
}

struct KeyCase {
    const char *key;
    const char *line; // replaces the line of the key
    std::string fields;
};

void PrintTo(const KeyCase &c, std::ostream *out) {
    *out << '"' << c.line << '"';
}

class SettingsKeys : public SettingsTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(SettingsKeys, FallBackToTheirDefaultAlone) {
    QByteArray file = ValidFile;
    const int start = file.indexOf(QByteArray("\n") + GetParam().key + "=") + 1;
    ASSERT_GT(start, 0);
    file.replace(start, file.indexOf('\n', start) - start, GetParam().line);
    ASSERT_TRUE(WriteBytes(Path(), file));
    EXPECT_EQ(Fields(*Open()), GetParam().fields) << file.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Edges, SettingsKeys,
    ::testing::Values(
        KeyCase{"PortName", "PortName=com5", "COM1|9600|2500|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"PortName", "PortName=COM", "COM1|9600|2500|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"PortName", "PortName=COMX", "COMX|9600|2500|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"PortName", "PortName=", "COM1|9600|2500|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"PortName", "portname = COM3 ", "COM3|9600|2500|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"BaudRate", "BaudRate=2000000", "COM7|38400|2500|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"BaudRate", "BaudRate=abc", "COM7|38400|2500|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"BaudRate", "BaudRate=99", "COM7|38400|2500|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"BaudRate", "BaudRate=100", "COM7|100|2500|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"BaudRate", "BaudRate=1000000", "COM7|1000000|2500|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"TimeOut", "TimeOut=99", "COM7|9600|1000|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"TimeOut", "TimeOut=100", "COM7|9600|100|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"TimeOut", "TimeOut=60000", "COM7|9600|60000|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"TimeOut", "TimeOut=60001", "COM7|9600|1000|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"TimeOut", "TimeOut=0x3E8", "COM7|9600|1000|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"TimeOut", "TimeOut=0x7D0", "COM7|9600|2000|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"TimeOut", "TimeOut=abc", "COM7|9600|1000|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"TimeOut", "", "COM7|9600|1000|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"Info", "Info=", "COM7|9600|2500||0|1|6000"},
        KeyCase{"ZeroToPos", "ZeroToPos=yes", "COM7|9600|2500|Quilm FM Ver2.0|1|1|6000"},
        KeyCase{"DebugMode", "DebugMode=2", "COM7|9600|2500|Quilm FM Ver2.0|0|1|6000"},
        KeyCase{"DebugMode", "DebugMode=0", "COM7|9600|2500|Quilm FM Ver2.0|0|0|6000"},
        KeyCase{"DebugMode", "DebugMode=yes", "COM7|9600|2500|Quilm FM Ver2.0|0|0|6000"},
        KeyCase{"PortNum", "PortNum=0", "COM7|9600|2500|Quilm FM Ver2.0|0|1|5050"},
        KeyCase{"PortNum", "PortNum=65536", "COM7|9600|2500|Quilm FM Ver2.0|0|1|5050"},
        KeyCase{"PortNum", "PortNum=65535", "COM7|9600|2500|Quilm FM Ver2.0|0|1|65535"},
        KeyCase{"PortNum", "PortNum=1", "COM7|9600|2500|Quilm FM Ver2.0|0|1|1"}));

class ForeignFiles : public SettingsTest, public ::testing::WithParamInterface<const char *> {};

TEST_P(ForeignFiles, GetTheDefaults) {
    QByteArray file = ValidFile;
    const int start = file.indexOf("Type=");
    file.replace(start, file.indexOf('\n', start) - start, GetParam());
    ASSERT_TRUE(WriteBytes(Path(), file));
    auto settings = Open();
    EXPECT_TRUE(settings->IsFileOpen);
    EXPECT_EQ(Fields(*settings), DefaultFields);
}

INSTANTIATE_TEST_SUITE_P(Types, ForeignFiles,
                         ::testing::Values("Type=kestrune v1", "Type=Kestrune v2",
                                           "Type=", "Type=Kestrune v1.0", "Kind=Kestrune v1"));

TEST_F(SettingsTest, AForeignFileGetsEveryKeyAndKeepsTheRest) {
    ASSERT_TRUE(WriteBytes(Path(), "; someone else's\r\n"
                                   "[Info]\r\n"
                                   "Type=Other 2.0\r\n"
                                   "Owner=lab\r\n"
                                   "\r\n"
                                   "[comport]\r\n"
                                   "PortName=COM9\r\n"
                                   "Parity=none"));
    Open().reset();
    EXPECT_EQ(ReadBytes(Path()), QByteArray("; someone else's\r\n"
                                            "[Info]\r\n"
                                            "Type=Kestrune v1\r\n"
                                            "Owner=lab\r\n"
                                            "\r\n"
                                            "[comport]\r\n"
                                            "PortName=COM1\r\n"
                                            "Parity=none\r\n"
                                            "BaudRate=38400\r\n"
                                            "TimeOut=1000\r\n"
                                            "\r\n"
                                            "[Device]\r\n"
                                            "Info=Quilm FM Ver1.0\r\n"
                                            "ZeroToPos=1\r\n"
                                            "DebugMode=0\r\n"
                                            "\r\n"
                                            "[Remote]\r\n"
                                            "PortNum=5050\r\n"
                                            "\r\n"
                                            "[Scan]\r\n"
                                            "Record=1\r\n"));
}

TEST_F(SettingsTest, SaveKeepsAHandEditedFile) {
    const QByteArray before = "\xEF\xBB\xBF[INFO]\r\n"
                              "type = Kestrune v1\r\n"
                              "; the port the instrument was last found on\r\n"
                              "[ComPort]\r\n"
                              "portname=COM7\r\n"
                              "BaudRate=9600\r\n"
                              "TimeOut=2500\r\n"
                              "TimeOut=3000\r\n"
                              "\r\n"
                              "[Device]\r\n"
                              "Info=Quilm FM Ver2.0\r\n"
                              "ZeroToPos=0\r\n"
                              "DebugMode=1\r\n"
                              "notes without an equals sign\r\n"
                              "[Remote]\r\n"
                              "PortNum=6000\r\n"
                              "; end\r\n";
    ASSERT_TRUE(WriteBytes(Path(), before));
    auto settings = Open();
    EXPECT_EQ(Fields(*settings), ValidFields);
    settings->PortName = QStringLiteral("COM4");
    settings.reset();
    // The section of a later version comes after everything that was there.
    EXPECT_EQ(ReadBytes(Path()), QByteArray(before).replace("portname=COM7", "portname=COM4") +
                                     "\r\n[Scan]\r\nRecord=1\r\n");
}

TEST_F(SettingsTest, BinaryGarbageGetsTheDefaultsAndIsKept) {
    std::mt19937 random(41);
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char(random() % 256));
    garbage.replace('[', '{');
    ASSERT_TRUE(WriteBytes(Path(), garbage));
    auto settings = Open();
    EXPECT_EQ(Fields(*settings), DefaultFields);
    settings->PortNum = 7000;
    settings.reset();
    EXPECT_TRUE(ReadBytes(Path()).startsWith(garbage));
    settings = Open();
    EXPECT_EQ(settings->PortNum, 7000);
}

TEST_F(SettingsTest, AnUnreadableFileGetsTheDefaultsAndIsLeftAlone) {
    ASSERT_TRUE(QDir().mkdir(Path())); // a folder where the file should be cannot be read
    auto settings = Open();
    EXPECT_FALSE(settings->IsFileOpen);
    EXPECT_EQ(Fields(*settings), DefaultFields);
    EXPECT_FALSE(settings->Save());
    settings.reset();
    EXPECT_TRUE(QFileInfo(Path()).isDir());
}

TEST_F(SettingsTest, AFolderThatCannotTakeTheFileLeavesItClosed) {
    ASSERT_TRUE(WriteBytes(Folder() + "plain", "not a folder"));
    TSetup_RedeRedirada settings(Folder() + "plain/", Name);
    EXPECT_FALSE(settings.IsFileOpen);
    EXPECT_EQ(Fields(settings), DefaultFields);
    EXPECT_FALSE(settings.Save());
    EXPECT_EQ(ReadBytes(Folder() + "plain"), QByteArray("not a folder"));
}

TEST_F(SettingsTest, AReadOnlyFileIsReadButNeverWritten) {
    ASSERT_TRUE(WriteBytes(Path(), ValidFile));
    QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    auto settings = Open();
    EXPECT_EQ(Fields(*settings), ValidFields);
    settings->PortName = QStringLiteral("COM2");
    EXPECT_FALSE(settings->Save());
    settings.reset();
    EXPECT_EQ(ReadBytes(Path()), ValidFile);
}

TEST_F(SettingsTest, SaveFailingHalfWayLeavesThePreviousFile) {
    ASSERT_TRUE(WriteBytes(Path(), ValidFile));
    auto settings = Open();
    settings->Info = QString(8192, QChar('i'));
    {
        const FileSizeLimit limit(4096);
        EXPECT_FALSE(settings->Save());
    }
    EXPECT_EQ(ReadBytes(Path()), ValidFile);
    EXPECT_EQ(QDir(Folder()).entryList(QDir::Files), QStringList{Name}); // no leftovers
}

TEST_F(SettingsTest, AValueThatWouldBreakTheFileIsNotWrittenButTheOthersAre) {
    ASSERT_TRUE(WriteBytes(Path(), ValidFile));
    auto settings = Open();
    settings->PortName = QStringLiteral("COM3\n[Remote]\nPortNum=1");
    settings->TimeOut = 3000;
    EXPECT_FALSE(settings->Save());
    settings.reset();
    EXPECT_EQ(Fields(*Open()), "COM7|9600|3000|Quilm FM Ver2.0|0|1|6000");
}

TEST_F(SettingsTest, OpenAndCloseFile) {
    ASSERT_TRUE(WriteBytes(Path(), ValidFile));
    auto settings = Open();
    EXPECT_FALSE(settings->OpenFile(QString()));
    EXPECT_FALSE(settings->IsFileOpen); // the former file was closed first
    EXPECT_FALSE(settings->Load());
    EXPECT_TRUE(settings->OpenFile(Path()));
    EXPECT_TRUE(settings->Load());
    settings->CloseFile();
    EXPECT_FALSE(settings->IsFileOpen);
    settings->PortNum = 1;
    settings.reset();
    EXPECT_EQ(ReadBytes(Path()), ValidFile);
}

} // namespace
