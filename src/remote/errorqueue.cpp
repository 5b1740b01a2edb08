#include "remote/errorqueue.h"

#include "session/operationoutcome.h"

namespace {

constexpr int UndefinedHeader = -113;
constexpr int ExecutionError = -200;
constexpr int QueueOverflow = -350;

// The base number of each code family; nn is added to it.
int FamilyBase(const QByteArray &family) {
    if (family == "ERRDV")
        return 100;
    if (family == "ERRSE")
        return 200;
    if (family == "ERRSC")
        return 300;
    if (family == "ERRLS")
        return 400;
    return 0;
}

bool IsRunEnd(const QByteArray &reply) {
    return reply.endsWith(" SUCCESS") || reply.endsWith(" ABORT");
}

} // namespace

void TErrorQueue::Append(const QByteArray &reply, const QByteArray &code, const QByteArray &text) {
    if (code.isEmpty() || (code == NoErrorCode && IsRunEnd(reply)))
        return;
    TEntry entry{ExecutionError, text};
    if (code == NoErrorCode && reply == "UNKNOWN COMMAND") {
        entry = {UndefinedHeader, "Undefined header"};
    } else if (code != NoErrorCode) {
        bool numbered = false;
        const int nn = code.mid(5).toInt(&numbered);
        const int base = FamilyBase(code.left(5));
        // A code of no known family still reaches the client, as a plain execution error.
        entry = {numbered && base > 0 ? base + nn : ExecutionError, code + " : " + text};
    }
    if (Entries.size() < Capacity)
        Entries.append(entry);
    else
        Entries.last() = {QueueOverflow, "Queue overflow"};
}

QByteArray TErrorQueue::TakeOldest() {
    const TEntry entry = Entries.isEmpty() ? TEntry{0, "No error"} : Entries.takeFirst();
    return QByteArray::number(entry.Number) + ",\"" + entry.Text + '"';
}
