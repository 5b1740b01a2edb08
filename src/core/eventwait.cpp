#include "core/eventwait.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <utility>
#include <vector>

namespace {

struct THeldOperation {
    QPointer<QObject> Context;
    std::function<void()> Operation;
};

int HandlerDepth = 0;
std::vector<THeldOperation> Held;

} // namespace

bool WaitWithEvents(int maxRounds, int roundMs, const std::function<bool()> &finished) {
    for (int round = 0; maxRounds == UnlimitedRounds || round < maxRounds; ++round) {
        QThread::msleep(static_cast<unsigned long>(roundMs));
        QCoreApplication::processEvents();
        if (finished())
            return true;
    }
    return false;
}

THandlerScope::THandlerScope() {
    ++HandlerDepth;
}

THandlerScope::~THandlerScope() {
    if (--HandlerDepth > 0)
        return;
    for (THeldOperation &held : std::exchange(Held, {})) {
        if (held.Context.isNull())
            continue;
        QObject *const context = held.Context.data();
        RunAtNextTurn(context, [context, operation = std::move(held.Operation)] {
            RunOutsideHandlers(context, operation);
        });
    }
}

// A timer of its own rather than a posted call: the events posted while a posted call runs wait
// for it to return, even from inside its waits, and a long operation must not hold them back.
void RunAtNextTurn(QObject *context, std::function<void()> operation) {
    auto *timer = new QTimer(context);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, context, [timer, operation = std::move(operation)] {
        timer->deleteLater();
        // The operation runs events, and the timer (with this lambda) may go meanwhile.
        const std::function<void()> run = operation;
        run();
    });
    timer->start(0);
}

void RunOutsideHandlers(QObject *context, std::function<void()> operation) {
    if (HandlerDepth == 0)
        operation();
    else
        Held.push_back({context, std::move(operation)});
}

bool OperationsHeld() {
    return !Held.empty();
}
