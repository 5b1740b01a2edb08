#pragma once

#include <QString>
#include <QTemporaryDir>

// A fresh program folder for one test: the settings file, Cal/, Log/ and Ports/ live here.
// Creating it makes it the program folder; the previous one comes back when it goes.
class TempProgramFolder {
public:
    TempProgramFolder();
    ~TempProgramFolder();

    QString path() const; // ends with '/'
    // Makes Ports/COMn a symbolic link to target (creating Ports/ when needed).
    bool linkPort(int n, const QString &target);
    void unlinkPort(int n);
    QString filePath(const QString &relative) const { return path() + relative; }

private:
    QTemporaryDir dir_;
    QString previous_;
};
