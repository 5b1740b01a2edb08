#include "support/scriptedpeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QThread>

ScriptedPeer::ScriptedPeer(PseudoTerminal &terminal, QObject *parent)
    : QObject(parent), terminal_(terminal) {
    notifier_ = std::make_unique<QSocketNotifier>(terminal_.masterFd(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &ScriptedPeer::ReadRequests);
    stepTimer_.setInterval(2);
    connect(&stepTimer_, &QTimer::timeout, this, &ScriptedPeer::RunSteps);
}

ScriptedPeer::~ScriptedPeer() = default;

void ScriptedPeer::on(const QByteArray &request, const QList<Step> &steps) {
    script_.insert(request, steps);
}

void ScriptedPeer::play(const QList<Step> &steps) {
    pending_.append(steps);
    RunSteps();
}

void ScriptedPeer::unplug() {
    notifier_.reset();
    stepTimer_.stop();
    pending_.clear();
    terminal_.closeMaster();
}

void ScriptedPeer::ReadRequests() {
    const QByteArray bytes = terminal_.readAvailable();
    received_.append(bytes);
    partial_.append(bytes);
    qsizetype end;
    while ((end = partial_.indexOf('\r')) >= 0) {
        const QByteArray line = partial_.left(end);
        partial_.remove(0, end + 1);
        requests_.append(line);
        const auto it = script_.constFind(line);
        if (it != script_.constEnd())
            pending_.append(*it);
    }
    RunSteps();
}

void ScriptedPeer::RunSteps() {
    while (!pending_.isEmpty() && (!pending_.front().when || pending_.front().when())) {
        terminal_.write(pending_.front().bytes);
        pending_.removeFirst();
    }
    if (pending_.isEmpty())
        stepTimer_.stop();
    else if (!stepTimer_.isActive())
        stepTimer_.start();
}

bool WaitUntil(const std::function<bool()> &condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}
