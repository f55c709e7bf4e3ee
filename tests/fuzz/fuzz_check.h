// A failed property aborts, so libFuzzer keeps the input as a crash artifact.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#define FUZZ_CHECK(condition)                                                       \
    do {                                                                            \
        if (!(condition)) {                                                         \
            fprintf(stderr, "property failed at %s:%d: %s\n", __FILE__, __LINE__,   \
                    #condition);                                                    \
            abort();                                                                \
        }                                                                           \
    } while (0)
