#pragma once

#include <cstdio>
#include <cstdlib>

// What a fuzz target asserts about every input. A failed check aborts, so libFuzzer keeps the input
// that broke it and reports it like a crash; the line says which property did not hold.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
