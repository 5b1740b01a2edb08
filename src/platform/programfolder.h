#pragma once

#include <QString>

// The program folder, ending with a separator: the executable's folder, or the folder a packaged
// build was configured with (KESTRUNE_DATA_FOLDER). It holds the settings file, Cal/, Log/,
// Scans/ and Ports/. Tests point it at a temporary folder before creating any object
// that uses it.
QString ProgramFolder();
void SetProgramFolder(const QString &folderWithSeparator);
