#include "core/comparisonsigns.h"

#include <gtest/gtest.h>

namespace {

const QChar GreaterOrEqual(0x2265);
const QChar LessOrEqual(0x2264);

TEST(ToRemoteBytes, SendsTheSignsAsCodePage949Pairs) {
    const QString text = QStringLiteral("CWL ") + GreaterOrEqual + QStringLiteral(" 400.0, ") +
                         LessOrEqual + QStringLiteral(" 700.0");
    EXPECT_EQ(ToRemoteBytes(text), QByteArray("CWL \xA1\xC3 400.0, \xA1\xC2 700.0"));
    EXPECT_EQ(FromRemoteBytes(ToRemoteBytes(text)), text);
}

TEST(ToRemoteBytes, KeepsPlainTextAndMarksWhatItCannotSend) {
    EXPECT_EQ(ToRemoteBytes(QString()), QByteArray());
    EXPECT_EQ(ToRemoteBytes(QStringLiteral("ERRSE01 : x\r")), QByteArray("ERRSE01 : x\r"));
    EXPECT_EQ(ToRemoteBytes(QString(QChar(0x20AC))), QByteArray("?"));
    EXPECT_EQ(ToRemoteBytes(GreaterOrEqual + QString(GreaterOrEqual)),
              QByteArray("\xA1\xC3\xA1\xC3"));
}

TEST(FromRemoteBytes, LeavesAnUnpairedLeadByteAlone) {
    EXPECT_EQ(FromRemoteBytes(QByteArray("a\xA1")), QStringLiteral("a") + QChar(0xA1));
    EXPECT_EQ(FromRemoteBytes(QByteArray("\xA1"
                                         "b")),
              QString(QChar(0xA1)) + QStringLiteral("b"));
    EXPECT_EQ(FromRemoteBytes(QByteArray("\xA1\xA1\xC2")), QString(QChar(0xA1)) + LessOrEqual);
}

} // namespace
