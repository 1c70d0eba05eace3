#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant is a finding: say which, and stop so that libFuzzer keeps the input.
#define VEXO_FUZZ_CHECK(condition, ...)                                                  \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "%s:%d: invariant broken: %s: ", __FILE__, __LINE__, \
                         #condition);                                                    \
            std::fprintf(stderr, __VA_ARGS__);                                           \
            std::fprintf(stderr, "\n");                                                  \
            std::abort();                                                                \
        }                                                                                \
    } while (0)
