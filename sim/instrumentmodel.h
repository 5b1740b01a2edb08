#pragma once

#include "sim/faultplan.h"
#include "sim/instrumentprofile.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace ksim {

enum class RequestKind { Identify, Home, Pos, Go, Info, Bken, Other };
constexpr int kRequestKindCount = 7;

// "ID", "HOME", "POS", "GO", "INFO", "BKEN", "OTHER": the names used in the record.
QString RequestKindName(RequestKind kind);
std::optional<RequestKind> RequestKindFromName(const QString &name);

// By the command word alone, so that a malformed GO still counts as a GO.
RequestKind ClassifyRequest(const QByteArray &line);

using Positions = std::array<int, 3>;
constexpr int kMaxPosition = 6000;

// The three values of a well-formed "GO 3 a b c": single blanks, plain decimals without sign or
// leading zeros, each within 0..6000. Anything else is not a GO the instrument obeys.
std::optional<Positions> ParseGo(const QByteArray &line);

// What the instrument does with one request line.
struct Answer {
    bool replies = false;
    QByteArray text; // the reply without its line end
    int busyMs = 0;  // working time before the reply goes out
};

// The instrument's side of the protocol without any I/O: recognises a request, changes the
// state, and says what to answer and after how long. Transport faults (delays, noise, endings,
// unplugging) are the caller's business; the model applies only those that change what the
// instrument says.
class InstrumentModel {
public:
    explicit InstrumentModel(InstrumentProfile profile = {});

    const InstrumentProfile &profile() const { return profile_; }
    InstrumentProfile &profile() { return profile_; }
    Positions positions() const { return positions_; }
    bool bken() const { return bken_; }

    Answer handle(const QByteArray &line, const FaultPlan &faults);

private:
    Answer answerInfo(const QByteArray &line, const FaultPlan &faults) const;
    QByteArray positionsText() const;

    InstrumentProfile profile_;
    Positions positions_{0, 0, 0};
    bool bken_ = true;
};

} // namespace ksim
