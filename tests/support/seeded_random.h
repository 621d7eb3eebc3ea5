// A small generator of our own for generated test inputs: the same sequence
// from the same seed on every platform and standard library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolv::tests {

class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint32_t next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(state_ >> 33);
    }
    // 0 .. n-1
    uint32_t below(uint32_t n) { return next() % n; }
    int32_t between(int32_t low, int32_t high) { return low + int32_t(below(uint32_t(high - low + 1))); }
    bool chance(uint32_t percent) { return below(100) < percent; }
    template <class T, size_t N>
    const T& pick(const T (&items)[N]) { return items[below(N)]; }

private:
    uint64_t state_;
};

}  // namespace tolv::tests
