#include "core/eventwait.h"

#include <QCoreApplication>
#include <QThread>

bool WaitWithEvents(int maxRounds, int roundMs, const std::function<bool()> &finished) {
    for (int round = 0; maxRounds == UnlimitedRounds || round < maxRounds; ++round) {
        QThread::msleep(static_cast<unsigned long>(roundMs));
        QCoreApplication::processEvents();
        if (finished())
            return true;
    }
    return false;
}
