#include "sim/controlcommand.h"

#include "sim/virtualinstrument.h"

#include <QRegularExpression>
#include <QStringList>
#include <QVector>

#include <optional>

namespace ksim {

namespace {

std::optional<bool> OnOff(const QString &word) {
    if (word == QLatin1String("on"))
        return true;
    if (word == QLatin1String("off"))
        return false;
    return std::nullopt;
}

std::optional<int> Number(const QString &word, int min, int max) {
    bool ok = false;
    const int v = word.toInt(&ok);
    if (!ok || v < min || v > max)
        return std::nullopt;
    return v;
}

std::optional<UnplugMode> ModeOf(const QStringList &words, int at) {
    if (words.size() <= at || words[at] == QLatin1String("remove"))
        return UnplugMode::RemoveLink;
    if (words[at] == QLatin1String("dangle"))
        return UnplugMode::DangleLink;
    return std::nullopt;
}

// The text after the first `count` words, blanks inside kept.
QString Rest(const QString &line, int count) {
    const QRegularExpression re(QStringLiteral("^\\s*(?:\\S+\\s+){%1}").arg(count));
    const QRegularExpressionMatch m = re.match(line);
    return m.hasMatch() ? line.mid(m.capturedEnd()).trimmed() : QString();
}

QString Status(VirtualInstrument &sim) {
    QStringList parts{QStringLiteral("OK"),
                      QStringLiteral("plugged=%1").arg(sim.isPlugged() ? 1 : 0),
                      QStringLiteral("device=%1").arg(sim.devicePath()),
                      QStringLiteral("requests=%1").arg(sim.totalRequests())};
    for (int k = 0; k < kRequestKindCount; ++k) {
        const auto kind = static_cast<RequestKind>(k);
        parts << QStringLiteral("%1=%2").arg(RequestKindName(kind)).arg(sim.requestCount(kind));
    }
    const Positions p = sim.model().positions();
    parts << QStringLiteral("go-mismatch=%1").arg(sim.goMismatches())
          << QStringLiteral("positions=%1,%2,%3").arg(p[0]).arg(p[1]).arg(p[2])
          << QStringLiteral("bken=%1").arg(sim.model().bken() ? 1 : 0);
    return parts.join(QLatin1Char(' '));
}

} // namespace

ControlResult ExecuteControlCommand(VirtualInstrument &sim, const QString &line) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList w = line.split(blanks, Qt::SkipEmptyParts);
    const ControlResult ok{QStringLiteral("OK")};
    const ControlResult bad{QStringLiteral("ERR bad arguments; try help")};
    if (w.isEmpty())
        return {QStringLiteral("ERR empty command")};
    const QString &cmd = w[0];
    const int args = int(w.size()) - 1;
    FaultPlan &f = sim.faults();
    Timing &timing = sim.model().profile().timing;

    if (cmd == QLatin1String("help") && args == 0)
        return {QStringLiteral("OK ") +
                ControlHelp().split(QLatin1Char('\n')).join(QStringLiteral("; "))};
    if (cmd == QLatin1String("status") && args == 0)
        return {Status(sim)};
    if (cmd == QLatin1String("quit") && args == 0)
        return {QStringLiteral("OK"), true};
    if (cmd == QLatin1String("reset") && args == 0) {
        f = FaultPlan{};
        return ok;
    }
    if (cmd == QLatin1String("clear") && args == 0) {
        sim.clearRecords();
        return ok;
    }
    if (cmd == QLatin1String("plug") && args == 0)
        return sim.plug() ? ControlResult{QStringLiteral("OK ") + sim.devicePath()}
                          : ControlResult{QStringLiteral("ERR cannot create a pseudo-terminal")};
    if (cmd == QLatin1String("unplug") && args <= 1) {
        const std::optional<UnplugMode> mode = ModeOf(w, 1);
        if (!mode)
            return bad;
        sim.unplug(*mode);
        return ok;
    }
    if (cmd == QLatin1String("unplug-after") && (args == 1 || args == 2)) {
        const std::optional<int> n = Number(w[1], 0, 1000000);
        const std::optional<UnplugMode> mode = ModeOf(w, 2);
        if (!n || !mode)
            return bad;
        f.unplugAfter = *n;
        f.unplugMode = *mode;
        return ok;
    }
    if (cmd == QLatin1String("noreply") && args == 1) {
        if (const std::optional<bool> on = OnOff(w[1])) {
            f.unanswered = *on ? FaultPlan::kEveryRequest : 0;
            return ok;
        }
        const std::optional<int> n = Number(w[1], 0, 1000000);
        if (!n)
            return bad;
        f.unanswered = *n;
        return ok;
    }
    const auto setNumber = [&](int &field, int min, int max) {
        const std::optional<int> n = args == 1 ? Number(w[1], min, max) : std::nullopt;
        if (!n)
            return bad;
        field = *n;
        return ok;
    };
    const auto setSwitch = [&](bool &field) {
        const std::optional<bool> on = args == 1 ? OnOff(w[1]) : std::nullopt;
        if (!on)
            return bad;
        field = *on;
        return ok;
    };
    if (cmd == QLatin1String("delay"))
        return setNumber(f.extraDelayMs, 0, 600000);
    if (cmd == QLatin1String("noise"))
        return setNumber(f.noiseBytes, 0, 1000);
    if (cmd == QLatin1String("echo"))
        return setSwitch(f.echo);
    if (cmd == QLatin1String("crlf"))
        return setSwitch(f.crlf);
    if (cmd == QLatin1String("bken-invert"))
        return setSwitch(f.bkenInverted);
    if (cmd == QLatin1String("split") && (args == 1 || args == 2)) {
        const std::optional<int> pieces = Number(w[1], 1, 100);
        const std::optional<int> pause =
            args == 2 ? Number(w[2], 0, 60000) : std::optional<int>(f.splitPauseMs);
        if (!pieces || !pause)
            return bad;
        f.splitPieces = *pieces;
        f.splitPauseMs = *pause;
        return ok;
    }
    if (cmd == QLatin1String("id") && args >= 1) {
        f.identification =
            args == 1 && w[1] == QLatin1String("default") ? QByteArray() : Rest(line, 1).toLatin1();
        return ok;
    }
    if (cmd == QLatin1String("info") && args >= 2) {
        const std::optional<int> n = Number(w[1], 0, 9);
        if (!n)
            return bad;
        const QString value = Rest(line, 2);
        if (value == QLatin1String("default"))
            f.info.remove(*n);
        else if (value == QLatin1String("empty"))
            f.info[*n] = {InfoAnswer::Mode::Empty, {}};
        else if (value == QLatin1String("none"))
            f.info[*n] = {InfoAnswer::Mode::Silent, {}};
        else
            f.info[*n] = {InfoAnswer::Mode::Value, value.toLatin1()};
        return ok;
    }
    if (cmd == QLatin1String("timing") && args == 1) {
        if (w[1] == QLatin1String("fast"))
            timing = Timing::fast();
        else if (w[1] == QLatin1String("default"))
            timing = Timing{};
        else
            return bad;
        return ok;
    }
    if (cmd == QLatin1String("timing") && args >= 2) {
        QVector<int> ms;
        for (int i = 2; i <= args; ++i) {
            const std::optional<int> v = Number(w[i], 0, 600000);
            if (!v)
                return bad;
            ms.append(*v);
        }
        if (w[1] == QLatin1String("homing") && ms.size() == 1)
            timing.homingMs = ms[0];
        else if (w[1] == QLatin1String("reply") && ms.size() == 1)
            timing.replyMs = ms[0];
        else if (w[1] == QLatin1String("move") && ms.size() == 2)
            timing = Timing{timing.replyMs, timing.homingMs, ms[0], ms[1]};
        else
            return bad;
        return ok;
    }
    return {QStringLiteral("ERR unknown command; try help")};
}

QString ControlHelp() {
    return QStringLiteral("status | help | quit | clear | reset\n"
                          "noreply on|off|N\n"
                          "delay MS\n"
                          "noise N\n"
                          "echo on|off\n"
                          "crlf on|off\n"
                          "split N [PAUSE_MS]\n"
                          "id TEXT | id default\n"
                          "bken-invert on|off\n"
                          "info N VALUE|empty|none|default\n"
                          "unplug [remove|dangle]\n"
                          "unplug-after N [remove|dangle]\n"
                          "plug\n"
                          "timing fast|default | timing homing MS | timing reply MS | "
                          "timing move BASE_MS MS_PER_1000");
}

} // namespace ksim
