#include "setup/setuprederedirada.h"

#include "core/numbers.h"

namespace {

const QString SectionInfo = QStringLiteral("Info");
const QString SectionComPort = QStringLiteral("ComPort");
const QString SectionDevice = QStringLiteral("Device");
const QString SectionRemote = QStringLiteral("Remote");
const QString SectionScan = QStringLiteral("Scan");

const QString KeyType = QStringLiteral("Type");
const QString KeyPortName = QStringLiteral("PortName");
const QString KeyBaudRate = QStringLiteral("BaudRate");
const QString KeyTimeOut = QStringLiteral("TimeOut");
const QString KeyInfo = QStringLiteral("Info");
const QString KeyZeroToPos = QStringLiteral("ZeroToPos");
const QString KeyDebugMode = QStringLiteral("DebugMode");
const QString KeyPortNum = QStringLiteral("PortNum");
const QString KeyRecord = QStringLiteral("Record");

const QString FileType = QStringLiteral("Kestrune v1");

const QString DefaultPortName = QStringLiteral("COM1");
const QString DefaultBaudRate = QStringLiteral("38400");
constexpr int DefaultTimeOut = 1000;
const QString DefaultInfo = QStringLiteral("Quilm FM Ver1.0");
constexpr bool DefaultZeroToPos = true;
constexpr bool DefaultDebugMode = false;
constexpr int DefaultPortNum = 5050;
constexpr bool DefaultScanRecord = true;

} // namespace

TSetup_RedeRedirada::TSetup_RedeRedirada(const QString &folder, const QString &fileName)
    : Folder(folder), FileName(fileName) {
    OpenFile(Folder + FileName);
    // The defaults reach the file only through the Save of the destructor.
    if (!Load())
        SetDefaults();
}

TSetup_RedeRedirada::~TSetup_RedeRedirada() {
    Save();
    CloseFile();
}

bool TSetup_RedeRedirada::Load() {
    if (!IsFileOpen)
        return false;
    if (IniFile->ReadString(SectionInfo, KeyType, QStringLiteral("Unknown")) != FileType)
        return false;

    PortName = IniFile->ReadString(SectionComPort, KeyPortName, DefaultPortName);
    if (PortName.size() < 4 || !PortName.startsWith(QLatin1String("COM")))
        PortName = DefaultPortName;

    BaudRate = IniFile->ReadString(SectionComPort, KeyBaudRate, DefaultBaudRate);
    const int baud = StrToIntDef(BaudRate, 0);
    if (baud < 100 || baud > 1000000)
        BaudRate = DefaultBaudRate;

    TimeOut = IniFile->ReadInteger(SectionComPort, KeyTimeOut, DefaultTimeOut);
    if (TimeOut < 100 || TimeOut > 60000)
        TimeOut = DefaultTimeOut;

    Info = IniFile->ReadString(SectionDevice, KeyInfo, DefaultInfo);
    ZeroToPos = IniFile->ReadBool(SectionDevice, KeyZeroToPos, DefaultZeroToPos);
    DebugMode = IniFile->ReadBool(SectionDevice, KeyDebugMode, DefaultDebugMode);

    PortNum = IniFile->ReadInteger(SectionRemote, KeyPortNum, DefaultPortNum);
    if (PortNum < 1 || PortNum > 65535)
        PortNum = DefaultPortNum;
    ScanRecord = IniFile->ReadBool(SectionScan, KeyRecord, DefaultScanRecord);
    return true;
}

bool TSetup_RedeRedirada::Save() {
    if (!IsFileOpen)
        return false;
    // Every key is tried even after one fails, so that the others still reach the file.
    bool written = IniFile->WriteString(SectionInfo, KeyType, FileType);
    written = IniFile->WriteString(SectionComPort, KeyPortName, PortName) && written;
    written = IniFile->WriteString(SectionComPort, KeyBaudRate, BaudRate) && written;
    written = IniFile->WriteInteger(SectionComPort, KeyTimeOut, TimeOut) && written;
    written = IniFile->WriteString(SectionDevice, KeyInfo, Info) && written;
    written = IniFile->WriteBool(SectionDevice, KeyZeroToPos, ZeroToPos) && written;
    written = IniFile->WriteBool(SectionDevice, KeyDebugMode, DebugMode) && written;
    written = IniFile->WriteInteger(SectionRemote, KeyPortNum, PortNum) && written;
    // Last, so that a file of an earlier version keeps its sections as they were.
    written = IniFile->WriteBool(SectionScan, KeyRecord, ScanRecord) && written;
    return IniFile->UpdateFile() && written;
}

void TSetup_RedeRedirada::SetDefaults() {
    PortName = DefaultPortName;
    BaudRate = DefaultBaudRate;
    TimeOut = DefaultTimeOut;
    Info = DefaultInfo;
    ZeroToPos = DefaultZeroToPos;
    DebugMode = DefaultDebugMode;
    PortNum = DefaultPortNum;
    ScanRecord = DefaultScanRecord;
}
