#include "setup/inifile.h"

#include "core/numbers.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <limits>

namespace {

const QByteArray ByteOrderMark("\xEF\xBB\xBF");

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

char FoldCase(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameName(const QByteArray &a, const QByteArray &b) {
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (FoldCase(a.at(i)) != FoldCase(b.at(i)))
            return false;
    }
    return true;
}

enum class Kind { Other, Section, Key };

// One line taken apart; positions index the raw line.
struct Parsed {
    Kind kind = Kind::Other;
    QByteArray name;
    int valueBegin = 0;
    int valueEnd = 0;
    bool blank = false;
};

Parsed Parse(const QByteArray &raw, bool first) {
    Parsed parsed;
    int begin = first && raw.startsWith(ByteOrderMark) ? ByteOrderMark.size() : 0;
    int end = raw.size();
    if (raw.endsWith("\r\n"))
        end -= 2;
    else if (raw.endsWith('\n'))
        --end;
    const int lineEnd = std::max(begin, end);
    while (begin < end && IsSpace(raw.at(begin)))
        ++begin;
    while (end > begin && IsSpace(raw.at(end - 1)))
        --end;
    if (begin == end) {
        parsed.blank = true;
        return parsed;
    }
    const char lead = raw.at(begin);
    if (lead == ';' || lead == '#')
        return parsed;
    if (lead == '[') {
        const int close = raw.indexOf(']', begin + 1);
        if (close < 0 || close >= end)
            return parsed;
        parsed.kind = Kind::Section;
        parsed.name = raw.mid(begin + 1, close - begin - 1).trimmed();
        return parsed;
    }
    const int equals = raw.indexOf('=', begin);
    if (equals < 0 || equals >= end)
        return parsed;
    parsed.name = raw.mid(begin, equals - begin).trimmed();
    if (parsed.name.isEmpty())
        return parsed;
    parsed.kind = Kind::Key;
    // An empty value sits after the blanks that follow '=', so that writing one keeps them.
    parsed.valueBegin = equals + 1;
    while (parsed.valueBegin < lineEnd &&
           (raw.at(parsed.valueBegin) == ' ' || raw.at(parsed.valueBegin) == '\t'))
        ++parsed.valueBegin;
    parsed.valueEnd = std::max(parsed.valueBegin, end);
    return parsed;
}

bool IsStorable(const QString &text) {
    for (const QChar c : text) {
        if (c.unicode() > 0xFF || c == QChar('\n') || c == QChar('\r'))
            return false;
    }
    return true;
}

// A name must read back as itself: no blanks around it, nothing that would end it early or
// turn its line into a comment or a section header.
bool IsStorableName(const QString &name, bool section) {
    if (name.isEmpty() || !IsStorable(name) || name.trimmed() != name)
        return false;
    if (section)
        return !name.contains(QChar(']'));
    const QChar lead = name.at(0);
    return !name.contains(QChar('=')) && lead != QChar('[') && lead != QChar(';') &&
           lead != QChar('#');
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

int ParseInteger(const QString &text, int def) {
    if (!text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        return StrToIntDef(text, def);
    if (text.size() == 2)
        return def;
    long long value = 0;
    for (int i = 2; i < text.size(); ++i) {
        const int digit = HexDigit(text.at(i));
        if (digit < 0)
            return def;
        value = value * 16 + digit;
        if (value > std::numeric_limits<int>::max())
            return def;
    }
    return static_cast<int>(value);
}

bool IsReadOnly(const QString &fileName) {
    // The permission bits count even for a user whom the system would let write anyway.
    const QFileInfo info(fileName);
    constexpr auto anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !info.isWritable() || !(info.permissions() & anyWrite);
}

} // namespace

TIniStore::TIniStore(const QByteArray &bytes) {
    int start = 0;
    while (start < bytes.size()) {
        const int newline = bytes.indexOf('\n', start);
        const int next = newline < 0 ? bytes.size() : newline + 1;
        lines_.append(bytes.mid(start, next - start));
        start = next;
    }
}

QByteArray TIniStore::Bytes() const {
    QByteArray bytes;
    for (const QByteArray &line : lines_)
        bytes.append(line);
    return bytes;
}

QString TIniStore::ReadString(const QString &section, const QString &key,
                              const QString &def) const {
    const int header = FindSection(section.toLatin1());
    if (header < 0)
        return def;
    const QByteArray name = key.toLatin1();
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        const Parsed parsed = Parse(lines_.at(i), false);
        if (parsed.kind == Kind::Key && SameName(parsed.name, name)) {
            return QString::fromLatin1(lines_.at(i).constData() + parsed.valueBegin,
                                       parsed.valueEnd - parsed.valueBegin);
        }
    }
    return def;
}

int TIniStore::ReadInteger(const QString &section, const QString &key, int def) const {
    return ParseInteger(ReadString(section, key, QString()), def);
}

bool TIniStore::ReadBool(const QString &section, const QString &key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniStore::WriteString(const QString &section, const QString &key, const QString &value) {
    if (!IsStorableName(section, true) || !IsStorableName(key, false) || !IsStorable(value))
        return false;
    const QByteArray sectionName = section.toLatin1();
    const QByteArray keyName = key.toLatin1();
    const QByteArray text = value.toLatin1();
    const QByteArray lineEnd = LineEnd();

    const int header = FindSection(sectionName);
    if (header < 0) {
        if (!lines_.isEmpty()) {
            TerminateLine(lines_.size() - 1, lineEnd);
            if (!Parse(lines_.last(), lines_.size() == 1).blank)
                lines_.append(lineEnd);
        }
        lines_.append('[' + sectionName + ']' + lineEnd);
        lines_.append(keyName + '=' + text + lineEnd);
        return true;
    }

    const int end = SectionEnd(header);
    int lastKey = header;
    for (int i = header + 1; i < end; ++i) {
        const Parsed parsed = Parse(lines_.at(i), false);
        if (parsed.kind != Kind::Key)
            continue;
        if (SameName(parsed.name, keyName)) {
            lines_[i].replace(parsed.valueBegin, parsed.valueEnd - parsed.valueBegin, text);
            return true;
        }
        lastKey = i;
    }
    TerminateLine(lastKey, lineEnd);
    lines_.insert(lastKey + 1, keyName + '=' + text + lineEnd);
    return true;
}

int TIniStore::FindSection(const QByteArray &name) const {
    for (int i = 0; i < lines_.size(); ++i) {
        const Parsed parsed = Parse(lines_.at(i), i == 0);
        if (parsed.kind == Kind::Section && SameName(parsed.name, name))
            return i;
    }
    return -1;
}

int TIniStore::SectionEnd(int header) const {
    for (int i = header + 1; i < lines_.size(); ++i) {
        if (Parse(lines_.at(i), false).kind == Kind::Section)
            return i;
    }
    return int(lines_.size());
}

// New lines follow the file's own line ends.
QByteArray TIniStore::LineEnd() const {
    for (const QByteArray &line : lines_) {
        if (line.endsWith("\r\n"))
            return QByteArrayLiteral("\r\n");
        if (line.endsWith('\n'))
            return QByteArrayLiteral("\n");
    }
    return QByteArrayLiteral("\n");
}

void TIniStore::TerminateLine(int index, const QByteArray &lineEnd) {
    if (!lines_.at(index).endsWith('\n'))
        lines_[index].append(lineEnd);
}

TIniFile::TIniFile(const QString &fileName) : fileName_(fileName) {
    QFile file(fileName);
    if (file.open(QIODevice::ReadOnly))
        store_ = TIniStore(file.readAll());
}

bool TIniFile::WriteString(const QString &section, const QString &key, const QString &value) {
    if (!store_.WriteString(section, key, value))
        return false;
    pending_.append({section, key, value});
    return true;
}

bool TIniFile::WriteInteger(const QString &section, const QString &key, int value) {
    return WriteString(section, key, QString::number(value));
}

bool TIniFile::WriteBool(const QString &section, const QString &key, bool value) {
    return WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TIniFile::UpdateFile() {
    TIniStore current;
    QFile file(fileName_);
    if (file.exists()) {
        // A read-only file is left alone rather than replaced: replacing needs only a writable
        // folder, and would defeat the protection.
        if (IsReadOnly(fileName_) || !file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return false;
        current = TIniStore(bytes);
    }
    for (const Write &write : pending_)
        current.WriteString(write.section, write.key, write.value);

    // Written beside the file and renamed over it, so that a failure half-way leaves the old one.
    // The explicit flush matters: when the disk takes only part of the text, flush reports it,
    // but commit alone would rename the cut text over the file.
    QSaveFile out(fileName_);
    const QByteArray bytes = current.Bytes();
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush() ||
        !out.commit())
        return false;
    store_ = current;
    pending_.clear();
    return true;
}
