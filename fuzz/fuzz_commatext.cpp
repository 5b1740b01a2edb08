// The comma-text splitter that cuts instrument replies, remote command lines and calibration
// file lines into fields, and the number readers that take those fields.
//
// Input: the text, one character per byte.

#include "fuzzsupport.h"

#include "core/commatext.h"
#include "core/numbers.h"

#include <QString>
#include <QStringList>

#include <cmath>

namespace {

bool IsSeparator(QChar c) {
    return c == QLatin1Char(',') || (c.unicode() >= 1 && c.unicode() <= 32);
}

// Every field quoted, with its quotes doubled: the text that must split into exactly `fields`.
QString Quoted(const QStringList &fields) {
    QStringList quoted;
    for (QString field : fields)
        quoted << QLatin1Char('"') + field.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                      QLatin1Char('"');
    return quoted.join(QLatin1Char(','));
}

void CheckNumbers(const QString &field) {
    const int n = StrToIntDef(field, -1);
    if (n == StrToIntDef(field, -2))
        FUZZ_REQUIRE(StrToIntDef(QString::number(n), -1) == n);
    // A NaN or an infinity is never read: such texts are letters or an overflow.
    FUZZ_REQUIRE(std::isfinite(StrToFloatDef(field, 0.0)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), int(size));
    const QStringList fields = SplitCommaText(text);

    // A NUL ends the text.
    const int nul = text.indexOf(QChar(0));
    if (nul >= 0)
        FUZZ_REQUIRE(SplitCommaText(text.left(nul)) == fields);
    const QString used = nul >= 0 ? text.left(nul) : text;

    // Whatever the fields hold, quoting them gives them back unchanged.
    FUZZ_REQUIRE(SplitCommaText(Quoted(fields)) == fields);

    // Without quotes a field never holds a separator, and the fields are the text's own pieces
    // in their order.
    if (!used.contains(QLatin1Char('"'))) {
        int from = 0;
        for (const QString &field : fields) {
            for (const QChar c : field)
                FUZZ_REQUIRE(!IsSeparator(c));
            const int at = used.indexOf(field, from);
            FUZZ_REQUIRE(at >= 0);
            from = at + int(field.size());
        }
    }

    for (const QString &field : fields)
        CheckNumbers(field);
    return 0;
}
