// The settings file: the INI store built from any bytes, the settings loaded from such a file,
// and the save at the end of a run, which must keep every byte that is not one of its keys.
//
// Input: the contents of RedeRedirada.ini.

#include "fuzzsupport.h"

#include "core/numbers.h"
#include "setup/inifile.h"
#include "setup/setuprederedirada.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <array>

namespace {

const QString FileName = QStringLiteral("RedeRedirada.ini");

// The sections and keys that the settings read and write.
const std::array<std::pair<QByteArray, QList<QByteArray>>, 5> OwnKeys{{
    {"info", {"type"}},
    {"comport", {"portname", "baudrate", "timeout"}},
    {"device", {"info", "zerotopos", "debugmode"}},
    {"remote", {"portnum"}},
    {"scan", {"record"}},
}};

struct TSettings {
    QString PortName, BaudRate, Info;
    int TimeOut, PortNum;
    bool ZeroToPos, DebugMode, ScanRecord;
    bool operator==(const TSettings &o) const {
        return PortName == o.PortName && BaudRate == o.BaudRate && Info == o.Info &&
               TimeOut == o.TimeOut && PortNum == o.PortNum && ZeroToPos == o.ZeroToPos &&
               DebugMode == o.DebugMode && ScanRecord == o.ScanRecord;
    }
};

TSettings Fields(const TSetup_RedeRedirada &setup) {
    return {setup.PortName, setup.BaudRate,  setup.Info,      setup.TimeOut,
            setup.PortNum,  setup.ZeroToPos, setup.DebugMode, setup.ScanRecord};
}

const TSettings Defaults{QStringLiteral("COM1"),
                         QStringLiteral("38400"),
                         QStringLiteral("Quilm FM Ver1.0"),
                         1000,
                         5050,
                         true,
                         false,
                         true};

QList<QByteArray> Lines(const QByteArray &bytes) {
    QList<QByteArray> lines;
    int start = 0;
    while (start < bytes.size()) {
        const int newline = bytes.indexOf('\n', start);
        const int next = newline < 0 ? int(bytes.size()) : newline + 1;
        lines << bytes.mid(start, next - start);
        start = next;
    }
    return lines;
}

// One line read as the INI grammar has it (the byte-order mark counts only on the first line).
struct TLine {
    enum Kind { Other, Blank, Section, Key } kind = Other;
    QByteArray name; // lower case
};

TLine Classify(const QByteArray &raw, bool first) {
    QByteArray text = first && raw.startsWith("\xEF\xBB\xBF") ? raw.mid(3) : raw;
    text = text.trimmed();
    if (text.isEmpty())
        return {TLine::Blank, {}};
    if (text.startsWith(';') || text.startsWith('#'))
        return {};
    if (text.startsWith('[')) {
        const int close = text.indexOf(']');
        if (close < 0)
            return {};
        return {TLine::Section, text.mid(1, close - 1).trimmed().toLower()};
    }
    const int equals = text.indexOf('=');
    if (equals <= 0 || text.left(equals).trimmed().isEmpty())
        return {};
    return {TLine::Key, text.left(equals).trimmed().toLower()};
}

bool IsOwnKey(const QByteArray &section, const QByteArray &key) {
    for (const auto &[name, keys] : OwnKeys) {
        if (name == section)
            return keys.contains(key);
    }
    return false;
}

bool IsOwnSection(const QByteArray &section) {
    for (const auto &own : OwnKeys) {
        if (own.first == section)
            return true;
    }
    return false;
}

// Marks the lines whose values the settings may replace: in the first section of each name, the
// first line of each of its keys.
QList<bool> ValueLines(const QList<QByteArray> &lines) {
    QList<bool> marked(lines.size(), false);
    QList<QByteArray> sectionsSeen;
    QList<QByteArray> keysSeen;
    QByteArray section;
    bool firstOfName = false;
    for (int i = 0; i < lines.size(); ++i) {
        const TLine line = Classify(lines.at(i), i == 0);
        if (line.kind == TLine::Section) {
            section = line.name;
            firstOfName = !sectionsSeen.contains(section);
            sectionsSeen << section;
        } else if (line.kind == TLine::Key && firstOfName && IsOwnKey(section, line.name)) {
            const QByteArray id = section + '\n' + line.name;
            marked[i] = !keysSeen.contains(id);
            keysSeen << id;
        }
    }
    return marked;
}

// Every line of `before` but the settings' own values is in `after`, unchanged and in order (the
// last one may have gained a line end); whatever `after` has besides is the settings' own:
// their section headers, their keys and blank separators.
void CheckOtherBytesKept(const QByteArray &before, const QByteArray &after) {
    const QList<QByteArray> old = Lines(before);
    const QList<QByteArray> now = Lines(after);
    const QList<bool> replaceable = ValueLines(old);
    int j = 0;
    QList<bool> matched(now.size(), false);
    for (int i = 0; i < old.size(); ++i) {
        if (replaceable.at(i))
            continue;
        const QByteArray &line = old.at(i);
        const bool open = !line.endsWith('\n');
        while (j < now.size() && now.at(j) != line &&
               !(open && (now.at(j) == line + '\n' || now.at(j) == line + "\r\n")))
            ++j;
        FUZZ_REQUIRE(j < now.size());
        matched[j++] = true;
    }
    for (int j = 0; j < now.size(); ++j) {
        if (matched.at(j))
            continue;
        const TLine line = Classify(now.at(j), j == 0);
        FUZZ_REQUIRE(line.kind == TLine::Blank ||
                     (line.kind == TLine::Section && IsOwnSection(line.name)) ||
                     (line.kind == TLine::Key && [&] {
                         for (const auto &own : OwnKeys) {
                             if (own.second.contains(line.name))
                                 return true;
                         }
                         return false;
                     }()));
    }
}

void CheckRanges(const TSettings &s) {
    FUZZ_REQUIRE(s.PortName.size() >= 4 && s.PortName.startsWith(QLatin1String("COM")));
    const int baud = StrToIntDef(s.BaudRate, 0);
    FUZZ_REQUIRE(baud >= 100 && baud <= 1000000);
    FUZZ_REQUIRE(s.TimeOut >= 100 && s.TimeOut <= 60000);
    FUZZ_REQUIRE(s.PortNum >= 1 && s.PortNum <= 65535);
}

QByteArray ReadFile(const QString &path) {
    QFile file(path);
    FUZZ_REQUIRE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static QTemporaryDir folder;
    FUZZ_REQUIRE(folder.isValid());
    const QString dir = folder.path() + QLatin1Char('/');
    const QString path = dir + FileName;
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));

    // The store keeps the text as it is.
    const TIniStore store(bytes);
    FUZZ_REQUIRE(store.Bytes() == bytes);
    const bool ours = store.ReadString(QStringLiteral("Info"), QStringLiteral("Type"), QString()) ==
                      QLatin1String("Kestrune v1");

    {
        QFile file(path);
        FUZZ_REQUIRE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_REQUIRE(file.write(bytes) == bytes.size());
    }
    TSettings loaded;
    {
        TSetup_RedeRedirada setup(dir, FileName);
        loaded = Fields(setup);
        CheckRanges(loaded);
        if (!ours)
            FUZZ_REQUIRE(loaded == Defaults);
    } // saves
    const QByteArray saved = ReadFile(path);
    CheckOtherBytesKept(bytes, saved);

    // The saved file is this program's and gives back what was saved; saving again changes
    // nothing.
    {
        TSetup_RedeRedirada setup(dir, FileName);
        FUZZ_REQUIRE(setup.Load());
        FUZZ_REQUIRE(Fields(setup) == loaded);
    }
    FUZZ_REQUIRE(ReadFile(path) == saved);
    return 0;
}
