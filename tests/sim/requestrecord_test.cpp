#include "sim/requestrecord.h"

#include <gtest/gtest.h>

using ksim::RequestRecord;

TEST(RequestRecord, lineIsTabSeparatedWithEscapedBytes) {
    RequestRecord r;
    r.monotonicMs = 123456;
    r.wallTime = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 10));
    r.kind = ksim::RequestKind::Other;
    r.text = QByteArray("A\tb\\c\x01\xff", 7);
    EXPECT_EQ(
        ksim::FormatRecord(r),
        QStringLiteral("RX\t123456\t2024-05-06T07:08:09.010\tOTHER\tA\\x09b\\x5cc\\x01\\xff\t-"));
}

TEST(RequestRecord, parsesBackWhatItWrites) {
    RequestRecord r;
    r.monotonicMs = 987654321;
    r.wallTime = QDateTime(QDate(2030, 12, 31), QTime(23, 59, 59, 999));
    r.kind = ksim::RequestKind::Go;
    r.text = QByteArray("GO 3 1 2 3\n\\", 12);
    r.check = QStringLiteral("cell=600.0/5.0");
    const std::optional<RequestRecord> back = ksim::ParseRecord(ksim::FormatRecord(r));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->monotonicMs, r.monotonicMs);
    EXPECT_EQ(back->wallTime, r.wallTime);
    EXPECT_EQ(back->kind, r.kind);
    EXPECT_EQ(back->text, r.text);
    EXPECT_EQ(back->check, r.check);
}

TEST(RequestRecord, refusesLinesThatAreNoRecords) {
    for (const char *line :
         {"", "DEVICE /dev/pts/3", "RX\t1\t2024-05-06T07:08:09.010\tGO\tGO 3",
          "RX\tx\t2024-05-06T07:08:09.010\tGO\tGO\t-", "RX\t1\tyesterday\tGO\tGO\t-",
          "RX\t1\t2024-05-06T07:08:09.010\tGOTO\tGO\t-",
          "RX\t1\t2024-05-06T07:08:09.010\tGO\tGO\\x\t-"})
        EXPECT_FALSE(ksim::ParseRecord(QString::fromLatin1(line))) << line;
}
