#include "setup/setupbase.h"

#include <QFile>
#include <QFileInfo>

TSetup_Base::~TSetup_Base() {
    CloseFile();
}

bool TSetup_Base::OpenFile(const QString &path) {
    if (IsFileOpen)
        CloseFile();
    if (path.isEmpty())
        return false;
    QFile file(path);
    bool usable = false;
    if (QFileInfo::exists(path)) {
        // A folder or a device is no settings file, and a pipe would block the start.
        usable = QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
    } else {
        usable = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    }
    if (!usable)
        return false;
    file.close();
    IniFile = std::make_unique<TIniFile>(path);
    IsFileOpen = true;
    return true;
}

void TSetup_Base::CloseFile() {
    IniFile.reset();
    IsFileOpen = false;
}
