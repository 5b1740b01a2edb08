#include "core/commatext.h"

namespace {

bool IsBlank(QChar c) {
    return c.unicode() >= 1 && c.unicode() <= 32;
}

} // namespace

QStringList SplitCommaText(const QString &input) {
    const int nul = input.indexOf(QChar(0));
    const QString text = nul < 0 ? input : input.left(nul);
    const int n = text.size();
    QStringList fields;
    int p = 0;
    while (p < n && IsBlank(text.at(p)))
        ++p;
    while (p < n) {
        QString field;
        if (text.at(p) == QChar('"')) {
            ++p;
            while (p < n) {
                if (text.at(p) == QChar('"')) {
                    if (p + 1 < n && text.at(p + 1) == QChar('"')) {
                        field.append(QChar('"'));
                        p += 2;
                        continue;
                    }
                    ++p; // closing quote
                    break;
                }
                field.append(text.at(p++));
            }
        } else {
            const int start = p;
            while (p < n && text.at(p).unicode() > 32 && text.at(p) != QChar(','))
                ++p;
            field = text.mid(start, p - start);
        }
        fields.append(field);
        while (p < n && IsBlank(text.at(p)))
            ++p;
        if (p < n && text.at(p) == QChar(',')) {
            if (p + 1 == n)
                fields.append(QString());
            ++p;
            while (p < n && IsBlank(text.at(p)))
                ++p;
        }
    }
    return fields;
}
