// A failed property aborts, so libFuzzer keeps the input as a crash artifact.
#pragma once

#include <stdint.h>
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

// The index-th little-endian 32-bit value of the input, zero past its end.
inline int32_t ReadValue(const uint8_t* data, size_t size, size_t index)
{
    uint32_t value = 0;
    for (size_t byte = 0; byte < 4; ++byte) {
        const size_t at = index * 4 + byte;
        const uint32_t bits = at < size ? data[at] : 0;
        value |= bits << (8 * byte);
    }
    return static_cast<int32_t>(value);
}
