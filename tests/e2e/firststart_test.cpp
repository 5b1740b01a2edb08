// The first start in a new folder: no settings file yet.

#include "e2echecks.h"

#include <QFileInfo>

using namespace e2e;

TEST(FirstStart, WritesEveryDefaultSettingAtTheCloseAndNoLog) {
    ProgramFolder folder;
    ASSERT_TRUE(folder.isValid());
    Simulator instrument;
    ASSERT_TRUE(instrument.start(folder, 1));
    Program program;
    ASSERT_TRUE(program.start(folder));

    // The default port is COM1: the first search tick asks the instrument there, which proves
    // the window is up. The close then comes inside the settling wait, before the port is stored.
    ASSERT_TRUE(instrument.waitForRequest(ksim::RequestKind::Identify));
    ExpectCleanEnd(program);

    EXPECT_EQ(SettingsLines(folder),
              (QList<QByteArray>{"[Info]", "Type=Kestrune v1", "[ComPort]", "PortName=COM1",
                                 "BaudRate=38400", "TimeOut=1000", "[Device]",
                                 "Info=Quilm FM Ver1.0", "ZeroToPos=1", "DebugMode=0", "[Remote]",
                                 "PortNum=5050", "[Scan]", "Record=1"}))
        << folder.settingsText().constData();
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("Log"))));
}
