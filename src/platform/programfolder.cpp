#include "platform/programfolder.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString &Override() {
    static QString folder;
    return folder;
}

// The folder that holds the settings and data: a packaged build names it at build time, so that
// the executables can live where the operators who share the data cannot write; any other build
// keeps everything beside the executable.
QString DataFolder() {
#ifdef KESTRUNE_DATA_FOLDER
    return QDir(QStringLiteral(KESTRUNE_DATA_FOLDER)).absolutePath() + QLatin1Char('/');
#else
    return QDir(QCoreApplication::applicationDirPath()).absolutePath() + QLatin1Char('/');
#endif
}
} // namespace

QString ProgramFolder() {
    if (!Override().isEmpty())
        return Override();
    return DataFolder();
}

void SetProgramFolder(const QString &folderWithSeparator) {
    Override() = folderWithSeparator;
}
