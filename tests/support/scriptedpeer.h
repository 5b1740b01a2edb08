#pragma once

#include "support/pseudoterminal.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QSocketNotifier;

// Plays the instrument on the master side of a pseudo-terminal, on the test's own thread: it
// reads request lines (ended by CR) whenever events are processed, for instance inside the
// link's wait, and answers them as scripted.
class ScriptedPeer : public QObject {
    Q_OBJECT
public:
    // Bytes to send once `when` holds (at once when it is empty), after the previous step.
    struct Step {
        QByteArray bytes;
        std::function<bool()> when;
    };

    explicit ScriptedPeer(PseudoTerminal &terminal, QObject *parent = nullptr);
    ~ScriptedPeer() override;

    // Each time the line `request` arrives, its steps are queued; the latest script wins.
    void on(const QByteArray &request, const QList<Step> &steps);
    void on(const QByteArray &request, const QByteArray &reply) { on(request, {Step{reply, {}}}); }
    // Steps to run now, without a request.
    void play(const QList<Step> &steps);

    // Request lines received so far, without their CR, and all bytes received.
    QList<QByteArray> requests() const { return requests_; }
    QByteArray received() const { return received_; }
    bool idle() const { return pending_.isEmpty(); }

    // Closes the master side: the port's user sees the device vanish.
    void unplug();

private:
    void ReadRequests();
    void RunSteps();

    PseudoTerminal &terminal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer stepTimer_;
    QMap<QByteArray, QList<Step>> script_;
    QList<Step> pending_;
    QByteArray partial_;
    QByteArray received_;
    QList<QByteArray> requests_;
};

// Processes events until condition() holds or timeoutMs passed; returns condition().
bool WaitUntil(const std::function<bool()> &condition, int timeoutMs = 10000);
