#pragma once

#include <QByteArray>
#include <QString>

namespace ksim {

// How long the instrument works before it answers. The defaults feel like a real unit to a
// person watching, yet keep a test run short; fast() is for tests that only care about order.
struct Timing {
    int replyMs = 10;       // queries: identification, POS, INFO, BKEN
    int homingMs = 1500;    // HOME 3 until "G"
    int moveBaseMs = 30;    // every GO, however short
    int moveMsPer1000 = 45; // added per 1000 steps of the axis that travels furthest

    static Timing fast() { return Timing{0, 30, 0, 2}; }
};

// Who the simulated instrument is.
struct InstrumentProfile {
    QByteArray identification = "Quilm FM Ver1.0";
    QString model = QStringLiteral("F612");
    QString serial = QStringLiteral("AX0000000017");
    double rangeMin = 400.0;
    double rangeMax = 800.0;
    Timing timing;

    // Information item 2: five characters per end, one separator, e.g. "400.0-800.0".
    QString rangeText() const {
        return QStringLiteral("%1-%2").arg(rangeMin, 5, 'f', 1).arg(rangeMax, 5, 'f', 1);
    }
};

} // namespace ksim
