#pragma once

#include <cstdio>
#include <cstdlib>

// A broken promise of the exchanges: said on standard error, then the run ends as a crash so
// that the fuzzer keeps the input that led to it.
[[noreturn]] inline void invariantBroken(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

inline void require(bool holds, const char *what)
{
    if (!holds)
        invariantBroken(what);
}
