#pragma once

#include <functional>

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
