#include "sim/instrumentmodel.h"

#include <QList>

#include <algorithm>
#include <cstdlib>

namespace ksim {

namespace {

const char *const kKindNames[kRequestKindCount] = {"ID",   "HOME", "POS",  "GO",
                                                   "INFO", "BKEN", "OTHER"};

// Plain decimal as the program writes it: digits only, no leading zero unless the number is 0.
std::optional<int> PlainDecimal(const QByteArray &text, int max) {
    if (text.isEmpty() || text.size() > 9 || (text.size() > 1 && text.startsWith('0')))
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > max)
        return std::nullopt;
    return value;
}

} // namespace

QString RequestKindName(RequestKind kind) {
    return QString::fromLatin1(kKindNames[static_cast<int>(kind)]);
}

std::optional<RequestKind> RequestKindFromName(const QString &name) {
    for (int i = 0; i < kRequestKindCount; ++i) {
        if (name == QLatin1String(kKindNames[i]))
            return static_cast<RequestKind>(i);
    }
    return std::nullopt;
}

RequestKind ClassifyRequest(const QByteArray &line) {
    const qsizetype blank = line.indexOf(' ');
    const QByteArray word = blank < 0 ? line : line.left(blank);
    if (word == "?")
        return RequestKind::Identify;
    if (word == "HOME")
        return RequestKind::Home;
    if (word == "POS")
        return RequestKind::Pos;
    if (word == "GO")
        return RequestKind::Go;
    if (word == "INFO")
        return RequestKind::Info;
    if (word == "BKEN")
        return RequestKind::Bken;
    return RequestKind::Other;
}

std::optional<Positions> ParseGo(const QByteArray &line) {
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 5 || words[0] != "GO" || words[1] != "3")
        return std::nullopt;
    Positions target{};
    for (int axis = 0; axis < 3; ++axis) {
        const std::optional<int> value = PlainDecimal(words[axis + 2], kMaxPosition);
        if (!value)
            return std::nullopt;
        target[axis] = *value;
    }
    return target;
}

InstrumentModel::InstrumentModel(InstrumentProfile profile) : profile_(std::move(profile)) {}

Answer InstrumentModel::handle(const QByteArray &line, const FaultPlan &faults) {
    const Timing &timing = profile_.timing;
    if (line == "?") {
        const QByteArray id =
            faults.identification.isEmpty() ? profile_.identification : faults.identification;
        return {true, id, timing.replyMs};
    }
    if (line == "HOME 3") {
        positions_ = {0, 0, 0};
        return {true, "G", timing.homingMs};
    }
    if (line == "POS 3")
        return {true, "POS 3 " + positionsText(), timing.replyMs};
    if (line == "BKEN 0" || line == "BKEN 1") {
        bken_ = (line == "BKEN 1") != faults.bkenInverted;
        return {true, bken_ ? "BKEN 1" : "BKEN 0", timing.replyMs};
    }
    if (const std::optional<Positions> target = ParseGo(line)) {
        int travel = 0;
        for (int axis = 0; axis < 3; ++axis)
            travel = std::max(travel, std::abs((*target)[axis] - positions_[axis]));
        positions_ = *target;
        const int busy = timing.moveBaseMs + int(qint64(travel) * timing.moveMsPer1000 / 1000);
        return {true, "GO 3 " + positionsText(), busy};
    }
    if (line.startsWith("INFO "))
        return answerInfo(line, faults);
    return {};
}

Answer InstrumentModel::answerInfo(const QByteArray &line, const FaultPlan &faults) const {
    const std::optional<int> n = PlainDecimal(line.mid(5), 9);
    if (!n)
        return {};
    const QByteArray head = "INFO " + QByteArray::number(*n);
    const auto special = faults.info.constFind(*n);
    if (special != faults.info.constEnd()) {
        switch (special->mode) {
        case InfoAnswer::Mode::Silent:
            return {};
        case InfoAnswer::Mode::Empty:
            return {true, head, profile_.timing.replyMs};
        case InfoAnswer::Mode::Value:
            return {true, head + ' ' + special->value, profile_.timing.replyMs};
        }
    }
    QString value;
    switch (*n) {
    case 0:
        value = profile_.model;
        break;
    case 1:
        value = profile_.serial;
        break;
    case 2:
        value = profile_.rangeText();
        break;
    default:
        return {}; // the instrument knows only items 0 to 2
    }
    return {true, head + ' ' + value.toLatin1(), profile_.timing.replyMs};
}

QByteArray InstrumentModel::positionsText() const {
    return QByteArray::number(positions_[0]) + ' ' + QByteArray::number(positions_[1]) + ' ' +
           QByteArray::number(positions_[2]);
}

} // namespace ksim
