#pragma once

#include "session/sessionrig.h"
#include "session/statuscolour.h"
#include "support/scriptedpeer.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QStringList>
#include <QVector>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

inline void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}

// Bytes outside printable ASCII as \xHH, so that the comparison signs' byte pairs show.
inline void PrintTo(const QByteArray &bytes, std::ostream *os) {
    *os << '"';
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F)
            *os << c;
        else
            *os << "\\x" << QByteArray(1, c).toHex().toUpper().toStdString();
    }
    *os << '"';
}

// What a remote client reads of an outcome: the reply line, the error code and the error text.
struct ReplyTriple {
    QByteArray Reply, Code, Text;
    bool operator==(const ReplyTriple &other) const {
        return Reply == other.Reply && Code == other.Code && Text == other.Text;
    }
};

inline ReplyTriple TripleOf(const TOperationOutcome &outcome) {
    return {outcome.Reply, outcome.ErrorCode, outcome.ErrorText};
}

inline void PrintTo(const ReplyTriple &triple, std::ostream *os) {
    *os << '(';
    PrintTo(triple.Reply, os);
    *os << ", ";
    PrintTo(triple.Code, os);
    *os << ", ";
    PrintTo(triple.Text, os);
    *os << ')';
}

inline QString ColourName(const QColor &colour) {
    if (colour == StatusColour::Silver)
        return QStringLiteral("Silver");
    if (colour == StatusColour::Lime)
        return QStringLiteral("Lime");
    if (colour == StatusColour::Yellow)
        return QStringLiteral("Yellow");
    if (colour == StatusColour::Red)
        return QStringLiteral("Red");
    return colour.name();
}

// The session on the simulator, with everything it tells written to one log in order:
//   "+Reset", "-Reset"            a button shown pressed, released (OperationPressed)
//   "Reset complete. [Lime]"      a message with its colour (StatusMessage)
//   "=> RESET OK"                 an outcome given to the asker (a handler from Record())
//   "ended SCAN ABORT"            a scan's outcome (ScanEnded)
//   "range 390 810"               the range a position view shows (RangeReady)
//   "band 390 810 600 5 597.5 602.5"  a band moved to (SetPointShown)
// Each message lets events run before it returns, as the message bar's repaint does; onMessage
// runs before that, so that a test can look or act in the middle of an operation.
class OperationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.Start(SessionRig::FastProfile(), installCalCopy));
        TInstrumentSession *s = rig.session.get();
        QObject::connect(s, &TInstrumentSession::StatusMessage, s,
                         [this](const QString &text, const QColor &colour) {
                             const QString line = text + " [" + ColourName(colour) + "]";
                             log.append(line);
                             messages.append(line);
                             if (onMessage)
                                 onMessage(text);
                             QCoreApplication::processEvents();
                         });
        QObject::connect(s, &TInstrumentSession::OperationPressed, s,
                         [this](TOperation operation, bool pressed) {
                             log.append((pressed ? "+" : "-") + OperationName(operation));
                         });
        QObject::connect(s, &TInstrumentSession::ScanEnded, s,
                         [this](const TOperationOutcome &outcome) {
                             scanEnds.append(outcome);
                             log.append("ended " + QString::fromLatin1(outcome.Reply));
                         });
        QObject::connect(s, &TInstrumentSession::RangeReady, s, [this](double low, double high) {
            log.append(QStringLiteral("range %1 %2").arg(low).arg(high));
        });
        QObject::connect(s, &TInstrumentSession::SetPointShown, s,
                         [this](double low, double high, double cwl, double fwhm, double sw,
                                double lw) { log.append(BandLine(low, high, cwl, fwhm, sw, lw)); });
        QObject::connect(s, &TInstrumentSession::OperationBusyChanged, s,
                         [this](bool busy) { lockTakes += busy ? 1 : 0; });
        QObject::connect(s, &TInstrumentSession::LinkClosed, s, [this] { ++linkCloses; });
    }

    static QString OperationName(TOperation operation) {
        switch (operation) {
        case TOperation::SetBand:
            return QStringLiteral("SetBand");
        case TOperation::Reset:
            return QStringLiteral("Reset");
        case TOperation::Scan:
            return QStringLiteral("Scan");
        }
        return {};
    }
    static QString BandLine(double low, double high, double cwl, double fwhm, double sw,
                            double lw) {
        return QStringLiteral("band %1 %2 %3 %4 %5 %6")
            .arg(low)
            .arg(high)
            .arg(cwl)
            .arg(fwhm)
            .arg(sw)
            .arg(lw);
    }

    // A handler that logs the outcome and keeps it in outcomes.
    TOutcomeHandler Record() {
        return [this](const TOperationOutcome &outcome) {
            outcomes.append(outcome);
            log.append("=> " + QString::fromLatin1(outcome.Reply));
        };
    }
    ReplyTriple LastReply() const {
        return outcomes.isEmpty() ? ReplyTriple{} : TripleOf(outcomes.last());
    }
    ::testing::AssertionResult WaitForLine(const QString &line, int timeoutMs = 15000) const {
        if (WaitUntil([&] { return log.contains(line); }, timeoutMs))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "log: " << log.join(QStringLiteral(" | ")).toStdString()
               << "; requests: " << RequestLines().join(QStringLiteral(" | ")).toStdString();
    }

    TInstrumentSession &session() const { return *rig.session; }
    QStringList RequestLines() const { return rig.RequestLines(); }
    // Another operation holds the lock.
    void HoldLock() { ASSERT_TRUE(session().BeginOperation()); }

    bool installCalCopy = true; // set before SetUp for a start-up that finds no table
    SessionRig rig;
    QStringList log;
    QStringList messages; // the messages of the log alone
    QVector<TOperationOutcome> outcomes;
    QVector<TOperationOutcome> scanEnds;
    std::function<void(const QString &text)> onMessage;
    int lockTakes = 0;
    int linkCloses = 0;
};
