#pragma once

#include <QString>

// The program folder: the executable's folder, ending with a separator. It holds the settings
// file, Cal/, Log/ and Ports/. Tests point it at a temporary folder before creating any object
// that uses it.
QString ProgramFolder();
void SetProgramFolder(const QString &folderWithSeparator);
