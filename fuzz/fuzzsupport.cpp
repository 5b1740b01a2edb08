#include "fuzzsupport.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

void EnsureCoreApplication(const char *program) {
    if (QCoreApplication::instance())
        return;
    // Qt keeps references to these for the life of the application.
    static int argc = 1;
    static char *argv[] = {const_cast<char *>(program), nullptr};
    new QCoreApplication(argc, argv);
}

void FuzzFailure(const char *condition, const char *file, int line) {
    std::fprintf(stderr, "Invariant broken at %s:%d: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}

std::size_t TChunker::Next(std::size_t remaining) {
    if (whole_)
        return remaining;
    state_ = state_ * 1103515245u + 12345u;
    return std::min<std::size_t>(remaining, 1 + (state_ >> 16) % 32);
}
