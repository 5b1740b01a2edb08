#pragma once

#include "setup/inifile.h"

#include <QString>

#include <memory>

// A settings class over one INI file: it makes sure the file exists and holds its INI store;
// each concrete class says how its values are loaded, saved and defaulted.
class TSetup_Base {
public:
    TSetup_Base() = default;
    TSetup_Base(const TSetup_Base &) = delete;
    TSetup_Base &operator=(const TSetup_Base &) = delete;

    virtual bool Load() = 0;
    virtual bool Save() = 0;
    virtual void SetDefaults() = 0;
    virtual ~TSetup_Base();

    // Opens the INI file at path, creating it empty when it does not exist. False when the path
    // is empty, is not a plain file, cannot be read or cannot be created.
    bool OpenFile(const QString &path);
    void CloseFile();

    bool IsFileOpen = false;

protected:
    std::unique_ptr<TIniFile> IniFile;
};
