#include "core/commatext.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

struct SplitCase {
    QString text;
    std::vector<std::string> fields;
};

void PrintTo(const SplitCase &c, std::ostream *out) {
    *out << '"' << c.text.toStdString() << '"';
}

std::vector<std::string> Split(const QString &text) {
    std::vector<std::string> fields;
    for (const QString &field : SplitCommaText(text))
        fields.push_back(field.toStdString());
    return fields;
}

class SplitCommaTextTable : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommaTextTable, SplitsIntoFields) {
    EXPECT_EQ(Split(GetParam().text), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, SplitCommaTextTable,
    ::testing::Values(
        SplitCase{"", {}}, SplitCase{"   ", {}}, SplitCase{"a", {"a"}},
        SplitCase{"a,b", {"a", "b"}}, SplitCase{"SETC 600.0 5.0", {"SETC", "600.0", "5.0"}},
        SplitCase{" a , b ", {"a", "b"}}, SplitCase{"a,,b", {"a", "", "b"}},
        SplitCase{",a", {"", "a"}}, SplitCase{",", {"", ""}}, SplitCase{"a,", {"a", ""}},
        SplitCase{"a, ", {"a"}}, SplitCase{"a ,", {"a", ""}},
        SplitCase{"GO,1,2,3\r", {"GO", "1", "2", "3"}},
        SplitCase{QString::fromLatin1("a\x01"
                                      "b\x1F"
                                      "c\td\ne"),
                  {"a", "b", "c", "d", "e"}},
        SplitCase{QString::fromLatin1("a\x7F"
                                      "b"),
                  {"a\x7F"
                   "b"}},
        SplitCase{"\"a,b\",c", {"a,b", "c"}}, SplitCase{"\"a b\"", {"a b"}},
        SplitCase{"\"a\"\"b\"", {"a\"b"}}, SplitCase{"\"\"", {""}}, SplitCase{"\"\"\"\"", {"\""}},
        SplitCase{"\"open", {"open"}}, SplitCase{"\"a\"b", {"a", "b"}},
        SplitCase{"\"a\" ,b", {"a", "b"}}, SplitCase{"a\"b", {"a\"b"}},
        SplitCase{"\"x\",", {"x", ""}}, SplitCase{QString("a,b") + QChar(0) + ",c", {"a", "b"}},
        SplitCase{QString(QChar(0)) + "a", {}},
        SplitCase{QString::fromUtf8("\xC3\xA9,\xE2\x89\xA5"), {"\xC3\xA9", "\xE2\x89\xA5"}}));

// Fields written with the quoting rules come back as they were.
TEST(SplitCommaText, ReadsBackQuotedFields) {
    std::mt19937 random(17);
    const QString alphabet = QStringLiteral("ab ,\"\t;x");
    for (int round = 0; round < 5000; ++round) {
        QStringList fields;
        QStringList quoted;
        const int count = 1 + int(random() % 5);
        for (int f = 0; f < count; ++f) {
            QString field;
            const int length = int(random() % 6);
            for (int i = 0; i < length; ++i)
                field.append(alphabet.at(int(random() % alphabet.size())));
            fields.append(field);
            quoted.append(QLatin1Char('"') +
                          QString(field).replace(QLatin1String("\""), QLatin1String("\"\"")) +
                          QLatin1Char('"'));
        }
        ASSERT_EQ(SplitCommaText(quoted.join(QLatin1Char(','))), fields)
            << quoted.join(',').toStdString();
    }
}

} // namespace
