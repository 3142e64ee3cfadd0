#pragma once

#include <cstdint>
#include <random>

namespace tarvik::texthash {

// Polynomial hashes modulo the Mersenne prime 2^61 - 1, for finding equal spans of a line.
// A hit is always confirmed by comparing the text: a collision costs time, never a wrong result.
constexpr uint64_t kMod = (uint64_t(1) << 61) - 1;

inline uint64_t mulMod(uint64_t a, uint64_t b)
{
    const __uint128_t p = static_cast<__uint128_t>(a) * b;
    uint64_t r = static_cast<uint64_t>(p & kMod) + static_cast<uint64_t>(p >> 61);
    return r >= kMod ? r - kMod : r;
}

inline uint64_t addMod(uint64_t a, uint64_t b)
{
    uint64_t r = a + b;
    return r >= kMod ? r - kMod : r;
}

// A random base per process: no input can be made to collide on purpose.
inline uint64_t hashBase()
{
    static const uint64_t base = [] {
        std::random_device rd;
        return (((uint64_t(rd()) << 32) ^ rd()) % (kMod - 1000)) + 500;
    }();
    return base;
}

inline uint64_t powMod(uint64_t b, uint64_t e)
{
    uint64_t r = 1;
    while (e) {
        if (e & 1)
            r = mulMod(r, b);
        b = mulMod(b, b);
        e >>= 1;
    }
    return r;
}

} // namespace tarvik::texthash
