#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// What the reply recogniser makes of the bytes received since the last command.
struct TReplyVerdict {
    // A line ended by CR was judged: Valid tells whether it is the reply the command expects.
    bool Complete = false;
    bool Valid = false;
    // Leading bytes that were dropped as noise before the verdict (or, when no verdict came,
    // all but the final CR).
    int Skipped = 0;
    // The last line examined, without its CR; none when the bytes hold no line yet.
    std::optional<QString> Response;
};

// The reply recogniser. The bytes end a line when the last one is CR. The line is judged by the
// rule of the command word: shorter than the rule's minimum length (or a word without a rule)
// ends the wait as not valid; the expected beginning ends it as valid; anything else drops the
// first byte and judges the rest again, so that leading noise and echoes are skipped.
TReplyVerdict RecogniseReply(const QString &command, QByteArrayView bytes);
