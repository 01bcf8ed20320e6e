// An invariant of a fuzz target: when it does not hold, say where and stop, so that libFuzzer
// keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define Check(holds) CheckAt(holds, __FILE__, __LINE__)

inline void CheckAt(bool holds, const char* file, int line) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken at %s:%d\n", file, line);
    std::abort();
}
