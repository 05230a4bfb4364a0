#pragma once
// A property every fuzz target checks besides what the sanitizers catch: a failed check
// prints itself and aborts, which libFuzzer reports as a crash and saves the input for.

#include <cstdio>
#include <cstdlib>

#define QV_FUZZ_CHECK(condition)                                                               \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)
