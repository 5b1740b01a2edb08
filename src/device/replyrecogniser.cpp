#include "device/replyrecogniser.h"

namespace {

constexpr char CR = '\r';

// The minimum length and the beginning of the reply expected after each command word.
struct ReplyRule {
    int minLength;
    QLatin1String beginning;
    bool exact; // the whole line, not only its beginning
};

std::optional<ReplyRule> FindReplyRule(const QString &command) {
    static const struct {
        QLatin1String word;
        ReplyRule rule;
    } Rules[] = {
        {QLatin1String("?"), {15, QLatin1String("Quilm FM Ver"), false}},
        {QLatin1String("HOME"), {1, QLatin1String("G"), true}},
        {QLatin1String("POS"), {7, QLatin1String("POS"), false}},
        {QLatin1String("GO"), {6, QLatin1String("GO"), false}},
        {QLatin1String("INFO"), {8, QLatin1String("INFO"), false}},
        {QLatin1String("BKEN"), {6, QLatin1String("BKEN"), false}},
    };
    for (const auto &entry : Rules) {
        if (command == entry.word)
            return entry.rule;
    }
    return std::nullopt;
}

} // namespace

TReplyVerdict RecogniseReply(const QString &command, QByteArrayView bytes) {
    TReplyVerdict verdict;
    const qsizetype count = bytes.size();
    if (count < 2 || bytes.back() != CR)
        return verdict;
    const std::optional<ReplyRule> rule = FindReplyRule(command);
    for (qsizetype skipped = 0; count - skipped > 1; ++skipped) {
        const QString line = QString::fromLatin1(bytes.data() + skipped, count - skipped - 1);
        verdict.Skipped = int(skipped);
        verdict.Response = line;
        if (!rule || line.size() < rule->minLength) {
            verdict.Complete = true;
            return verdict;
        }
        if (rule->exact ? line == rule->beginning : line.startsWith(rule->beginning)) {
            verdict.Complete = true;
            verdict.Valid = true;
            return verdict;
        }
    }
    // Every line was refused: all that is left is the CR.
    verdict.Skipped = int(count - 1);
    return verdict;
}
