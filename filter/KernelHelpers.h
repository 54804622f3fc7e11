// Helpers every kernel file needs, whatever its instruction set. Included
// through the set's own helpers header (filter/<Set>KernelHelpers.h).
// Everything stays in an anonymous namespace: each file gets its own copy,
// so no inline function compiled with one set's flags can be picked by the
// linker for a caller compiled for another.
#pragma once

#include <cstdint>
#include <cstring>

namespace {

// The pair count stored in the 4 bytes before a coefficient list.
inline std::int32_t PairsOf(const std::int16_t* List) {
    std::int32_t Count;
    std::memcpy(&Count, reinterpret_cast<const char*>(List) - 4, 4);
    return Count;
}

// Pair k of a list, both coefficients, as one 32-bit word.
inline std::int32_t PairWord(const std::int16_t* List, std::int32_t k) {
    std::int32_t Value;
    std::memcpy(&Value, List + 2 * k, 4);
    return Value;
}

inline std::int16_t LoadY(const unsigned char* Pixel) {
    std::int16_t Y;
    std::memcpy(&Y, Pixel, 2);
    return Y;
}

inline void StoreY(unsigned char* Pixel, std::int16_t Y) { std::memcpy(Pixel, &Y, 2); }

// Hides a pointer's value from the optimiser inside a loop: what it points
// at is then loaded where it is used, as an operand, instead of being
// hoisted into a register that the loop cannot spare (and might spill).
template <typename T>
inline T* Fresh(T* P) {
    __asm__("" : "+r"(P));
    return P;
}

// Keeps an accumulator's sum in the order written: without it the compiler
// may regroup a long unrolled chain of additions into a tree whose partial
// sums all live at once, more than the eight registers of i686 can hold.
template <typename V>
inline void Settle(V& Sum) {
    __asm__("" : "+x"(Sum));
}

}  // namespace
