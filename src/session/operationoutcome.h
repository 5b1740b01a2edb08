#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>

#include <functional>

// Who asked for an operation. The operator's own clicks are refused while a remote client
// drives the instrument; a remote client's requests are not.
enum class TRequester { Operator, Remote };

// The code of a refusal that has no error code of its own, and of every scan outcome but a
// failure.
inline const QByteArray NoErrorCode = QByteArrayLiteral("NONE");

// How an operation ended, as the one who asked learns it: the remote reply line with the error
// code and text a client reads back (single-byte texts, the comparison signs as their byte
// pairs), and the message the message bar shows. Empty parts are not shown.
struct TOperationOutcome {
    QByteArray Reply;
    QByteArray ErrorCode;
    QByteArray ErrorText;
    QString Message;
    QColor Colour;
};

// Receives an operation's outcome before the message bar shows it, so that a client asking for
// ECODE from inside the message's repaint already reads the new outcome.
using TOutcomeHandler = std::function<void(const TOperationOutcome &)>;
