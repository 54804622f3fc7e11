// Small helpers the AVX2 kernel files share. Include this from AVX2
// translation units only: everything stays in an anonymous namespace, so
// each file gets its own copy and no inline function compiled with VEX
// code can be picked by the linker for an SSE2 caller.
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

inline std::int16_t LoadY(const unsigned char* Pixel) {
    std::int16_t Y;
    std::memcpy(&Y, Pixel, 2);
    return Y;
}

}  // namespace
