#include "support/tempprogramfolder.h"

#include "platform/programfolder.h"

#include <QDir>
#include <QFile>

TempProgramFolder::TempProgramFolder() : previous_(ProgramFolder()) {
    SetProgramFolder(path());
}

TempProgramFolder::~TempProgramFolder() {
    SetProgramFolder(previous_);
}

QString TempProgramFolder::path() const {
    return dir_.path() + QLatin1Char('/');
}

bool TempProgramFolder::linkPort(int n, const QString &target) {
    QDir().mkpath(path() + QStringLiteral("Ports"));
    const QString link = path() + QStringLiteral("Ports/COM%1").arg(n);
    QFile::remove(link);
    return QFile::link(target, link);
}

void TempProgramFolder::unlinkPort(int n) {
    QFile::remove(path() + QStringLiteral("Ports/COM%1").arg(n));
}
