#pragma once

#include <functional>

class QObject;

// The one way the program waits on its own thread: it sleeps a round and then runs the pending
// events, so that the window repaints, serial bytes and remote lines arrive, and timers fire while
// an operation waits for the instrument. Anything may run inside a round, the waiting object's
// own destruction included, so `finished` must only look at what is sure to exist.
//
// Runs at least one round, then asks `finished` after every round; stops when it answers true or
// after maxRounds rounds. Answers whether `finished` ended the wait.
bool WaitWithEvents(int maxRounds, int roundMs, const std::function<bool()> &finished);

// No end but `finished`: for waits measured on a clock rather than in rounds.
constexpr int UnlimitedRounds = -1;

// A handler that must stay responsive while it runs events (the remote server's line loop: a
// client waits for every reply) marks itself with a scope. A long operation that a timer starts
// goes through RunOutsideHandlers: inside a marked handler it is held, and once the outermost
// scope has ended it is posted for the next turn of the event loop, where it runs unless a
// marked handler is on the stack again. Its context's destruction drops it. UI thread only.
class THandlerScope {
public:
    THandlerScope();
    ~THandlerScope();
    THandlerScope(const THandlerScope &) = delete;
    THandlerScope &operator=(const THandlerScope &) = delete;
};

void RunOutsideHandlers(QObject *context, std::function<void()> operation);
// Runs `operation` from the event loop's next turn, in the order of the calls; the context's
// destruction drops it.
void RunAtNextTurn(QObject *context, std::function<void()> operation);
// An operation is held until the marked handlers unwind; a handler that loops should return.
bool OperationsHeld();
