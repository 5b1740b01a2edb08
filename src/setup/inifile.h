#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// An INI text held line by line exactly as it was read, line ends and byte-order mark included.
// A section starts at a line "[name]"; a key is a line "name=value" in it. Names match without
// regard to ASCII letter case; of duplicate sections or keys the first one counts; lines before
// the first section and lines of any other form are kept but mean nothing. Writing a key changes
// the bytes of its value alone, or adds one line after the last key of its section, or adds the
// section at the end, so every other byte of the text stays as it was. Any byte sequence is
// accepted. Values are 8-bit text, one character per byte, so a value read and written back is
// the same bytes.
class TIniStore {
public:
    TIniStore() = default;
    explicit TIniStore(const QByteArray &bytes);

    QByteArray Bytes() const;

    // The value with the blanks around it removed; def when the key is missing.
    QString ReadString(const QString &section, const QString &key, const QString &def) const;
    // A decimal number with an optional sign, or a hexadecimal one after 0x, that fits in 32
    // bits; anything else gives def.
    int ReadInteger(const QString &section, const QString &key, int def) const;
    // An integer, non-zero being true.
    bool ReadBool(const QString &section, const QString &key, bool def) const;

    // False, with the text unchanged, for a name or value that could not be read back from one
    // line: an empty name, a line break, a character above 8 bits, a bracket or '=' where it
    // would end the name.
    bool WriteString(const QString &section, const QString &key, const QString &value);

private:
    int FindSection(const QByteArray &name) const;
    int SectionEnd(int header) const;
    QByteArray LineEnd() const;
    void TerminateLine(int index, const QByteArray &lineEnd);

    QList<QByteArray> lines_; // each with its own line end; the last one may have none
};

// The INI store of one file. Reads see the file as it was read at construction plus the writes
// made since. UpdateFile applies those writes to the file as it is on disk at that moment, so
// that what others changed in it meanwhile is kept, and replaces it in one step: a failure
// leaves the previous file whole.
class TIniFile {
public:
    explicit TIniFile(const QString &fileName);

    const QString &FileName() const { return fileName_; }

    QString ReadString(const QString &section, const QString &key, const QString &def) const {
        return store_.ReadString(section, key, def);
    }
    int ReadInteger(const QString &section, const QString &key, int def) const {
        return store_.ReadInteger(section, key, def);
    }
    bool ReadBool(const QString &section, const QString &key, bool def) const {
        return store_.ReadBool(section, key, def);
    }

    bool WriteString(const QString &section, const QString &key, const QString &value);
    bool WriteInteger(const QString &section, const QString &key, int value);
    // Written as 1 or 0.
    bool WriteBool(const QString &section, const QString &key, bool value);

    // False when the file is read-only, cannot be read or cannot be replaced; the writes then
    // stay pending for a later call.
    bool UpdateFile();

private:
    struct Write {
        QString section;
        QString key;
        QString value;
    };

    QString fileName_;
    TIniStore store_;
    QList<Write> pending_;
};
