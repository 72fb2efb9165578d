#pragma once
// What a fuzz target does when a property fails: say which, and abort, so
// that libFuzzer keeps the input that broke it.

#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition)                                                               \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (false)
