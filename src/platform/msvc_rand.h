// The Microsoft C runtime's rand()/srand() generator, reproduced exactly:
// reply tokens and Math.random depend on its sequence.
#pragma once

#include <cstdint>

namespace tolv {

struct MsvcRand {
    uint32_t state = 1;  // the runtime's state before any srand()

    void seed(uint32_t value) { state = value; }
    // 0 .. 0x7FFF, like rand().
    int next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFF);
    }
};

// One generator per process, shared like the C runtime's.
inline MsvcRand g_rand;

}  // namespace tolv
