#include "platform/programfolder.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString &Override() {
    static QString folder;
    return folder;
}
} // namespace

QString ProgramFolder() {
    if (!Override().isEmpty())
        return Override();
    return QDir(QCoreApplication::applicationDirPath()).absolutePath() + QLatin1Char('/');
}

void SetProgramFolder(const QString &folderWithSeparator) {
    Override() = folderWithSeparator;
}
