#include "linkfixture.h"

#include <QFile>
#include <QRegularExpression>

QStringList ReadLogTexts(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no log at " << path.toStdString();
        return {};
    }
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    static const QRegularExpression Stamp(QStringLiteral("^\\[\\d{6}-\\d{6}\\] "));
    QStringList texts;
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.isEmpty())
            continue;
        EXPECT_TRUE(line.endsWith('\r')) << line.toStdString();
        const QString text = QString::fromLatin1(line.chopped(1));
        EXPECT_TRUE(Stamp.match(text).hasMatch()) << text.toStdString();
        texts.append(text.mid(16));
    }
    return texts;
}

QList<int> PtyLinkTest::RxEventSizes() const {
    static const QRegularExpression Event(QStringLiteral("^OnRxChar \\((\\d+)\\)"));
    QList<int> sizes;
    for (const QString &text : NewLogTexts()) {
        const QRegularExpressionMatch match = Event.match(text);
        if (match.hasMatch())
            sizes.append(match.captured(1).toInt());
    }
    return sizes;
}
