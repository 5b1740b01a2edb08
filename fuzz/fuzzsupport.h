#pragma once

#include <cstddef>
#include <cstdint>

// What the fuzz targets share.

// Creates the process's QCoreApplication once, for targets whose code needs an event loop or
// Qt's file and socket layers. libFuzzer's own arguments are kept away from it.
void EnsureCoreApplication(const char *program);

// Reports the broken invariant and aborts, so that libFuzzer keeps the input as a crash.
[[noreturn]] void FuzzFailure(const char *condition, const char *file, int line);

#define FUZZ_REQUIRE(condition)                                                                    \
    ((condition) ? static_cast<void>(0) : FuzzFailure(#condition, __FILE__, __LINE__))

// Cuts a byte stream into the pieces in which it arrives. Seed 0 delivers it whole; any other
// seed gives pieces of 1 to 32 bytes in a sequence fixed by the seed, so that an input always
// arrives the same way and the fuzzer moves the cuts by changing one byte.
class TChunker {
public:
    explicit TChunker(uint8_t seed) : whole_(seed == 0), state_(seed) {}
    std::size_t Next(std::size_t remaining);

private:
    bool whole_;
    uint32_t state_;
};
