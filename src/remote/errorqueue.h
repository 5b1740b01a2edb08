#pragma once

#include <QByteArray>
#include <QList>

// The error queue that SYST:ERR? reads, as generic lab tools expect it: the outcomes with an error
// since the client last emptied it, oldest first. An outcome is given as the client reads it
// (reply line, error code, error text) and becomes one entry when it reports an error:
//
//   ERRDVnn, ERRSEnn, ERRSCnn, ERRLSnn   100+nn, 200+nn, 300+nn, 400+nn   "<code> : <text>"
//   NONE with UNKNOWN COMMAND            -113                             "Undefined header"
//   NONE with any other reply            -200                             "<text>"
//
// except a run's end without error (a reply ending in SUCCESS or ABORT), which is no error, as
// is an outcome without a code. Once full, the newest entry becomes -350 "Queue overflow", and
// later errors are lost until entries are taken.
class TErrorQueue {
public:
    static constexpr int Capacity = 20;

    void Append(const QByteArray &reply, const QByteArray &code, const QByteArray &text);
    // The oldest entry as `<number>,"<text>"`, taken out of the queue; 0,"No error" when empty.
    QByteArray TakeOldest();
    void Clear() { Entries.clear(); }
    int Size() const { return int(Entries.size()); }

private:
    struct TEntry {
        int Number;
        QByteArray Text;
    };
    QList<TEntry> Entries;
};
