#include "platform/comportname.h"

#include "support/pseudoterminal.h"
#include "support/tempprogramfolder.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

struct NumberCase {
    const char *name;
    int number;
};

class ComPortNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ComPortNumberTest, ReadsOnlyCanonicalNames) {
    EXPECT_EQ(ComPortNumber(QString::fromLatin1(GetParam().name)), GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(Names, ComPortNumberTest,
                         ::testing::Values(NumberCase{"COM1", 1}, NumberCase{"COM64", 64},
                                           NumberCase{"COM65", 0}, NumberCase{"COM0", 0},
                                           NumberCase{"COM03", 0}, NumberCase{"com3", 0},
                                           NumberCase{"COM", 0}, NumberCase{"COMX", 0},
                                           NumberCase{"COM+5", 0}, NumberCase{"COM 5", 0},
                                           NumberCase{"COM100", 0}, NumberCase{"XCOM1", 0}));

struct DeviceCase {
    const char *name;
    const char *device;
};

class ComPortDefaultDeviceTest : public ::testing::TestWithParam<DeviceCase> {
protected:
    TempProgramFolder folder_; // without Ports/
};

TEST_P(ComPortDefaultDeviceTest, MapsRangesToDeviceFamilies) {
    EXPECT_EQ(ComPortDevice(QString::fromLatin1(GetParam().name)),
              QString::fromLatin1(GetParam().device));
}

INSTANTIATE_TEST_SUITE_P(
    WithoutPortsFolder, ComPortDefaultDeviceTest,
    ::testing::Values(DeviceCase{"COM1", "/dev/ttyUSB0"}, DeviceCase{"COM32", "/dev/ttyUSB31"},
                      DeviceCase{"COM33", "/dev/ttyACM0"}, DeviceCase{"COM48", "/dev/ttyACM15"},
                      DeviceCase{"COM49", "/dev/ttyS0"}, DeviceCase{"COM64", "/dev/ttyS15"},
                      DeviceCase{"COM65", ""}, DeviceCase{"COM01", ""}));

TEST(ComPortDeviceTest, PortsFolderIsTheOnlyWayToADevice) {
    TempProgramFolder folder;
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.isValid());
    // COM2 reaches the terminal through a chain of links, as /dev/serial/by-id names do.
    const QString hop = folder.filePath(QStringLiteral("by-id-adapter"));
    ASSERT_TRUE(QFile::link(terminal.slavePath(), hop));
    ASSERT_TRUE(folder.linkPort(2, hop));
    ASSERT_TRUE(folder.linkPort(5, folder.filePath(QStringLiteral("gone"))));
    QFile plain(folder.filePath(QStringLiteral("Ports/COM6")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));

    EXPECT_EQ(ComPortDevice(QStringLiteral("COM2")), terminal.slavePath());
    EXPECT_EQ(ComPortDevice(QStringLiteral("COM1")), QString()); // no entry, no fallback
    EXPECT_EQ(ComPortDevice(QStringLiteral("COM5")), QString()); // dangling link
    EXPECT_EQ(ComPortDevice(QStringLiteral("COM6")), QString()); // not a link
}

} // namespace
