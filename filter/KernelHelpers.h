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

// The vertical pass's order of rows, bottom up: the horizontal pass has just
// read the frame's last rows and written the plane's last lines, so those
// are the ones still in cache. Rows r and r + 1 go together, as Two(r,
// Entry), where their lists start at the same line with the same pair count
// of at most MaxPairs (rows 2q and 2q + 1 inside the frame): every line is
// then loaded once for both. Every other row r goes alone, as One(r, Entry).
// Entry: row r's two plan entries.
template <typename OneFn, typename TwoFn>
inline void RowsBottomUp(const std::intptr_t* Entries, std::int32_t RowCount, std::int32_t MaxPairs, OneFn One,
                         TwoFn Two) {
    auto ListAt = [](std::intptr_t Address) { return reinterpret_cast<const std::int16_t*>(Address); };
    for (std::int32_t r = RowCount - 1; r >= 0;) {
        const std::intptr_t* Entry = Entries + 2 * std::ptrdiff_t{r};
        const std::int32_t Count = PairsOf(ListAt(Entry[1]));
        if (r >= 1 && Entry[-2] == Entry[0] && Count <= MaxPairs && PairsOf(ListAt(Entry[-1])) == Count) {
            Two(r - 1, Entry - 2);
            r -= 2;
        } else {
            One(r, Entry);
            --r;
        }
    }
}

// How far ahead (upwards: negative) to prefetch the frame from a step whose
// top row is Row: Rows rows, where the frame has them.
inline std::ptrdiff_t PrefetchAhead(std::int32_t Row, std::int32_t Rows, std::int32_t SrcPitch) {
    return Row > Rows ? -std::ptrdiff_t{SrcPitch} * Rows : 0;
}

// Hides a pointer's value from the optimiser inside a loop: what it points
// at is then loaded where it is used, as an operand, instead of being
// hoisted into a register that the loop cannot spare (and might spill).
template <typename T>
inline T* Fresh(T* P) {
    __asm__("" : "+r"(P));
    return P;
}

// Fresh on i686 only: x86-64 has registers enough to keep what P points at
// (coefficients, lanes) in them across a loop.
template <typename T>
inline T* FreshOnI686(T* P) {
#if defined(__i386__)
    return Fresh(P);
#else
    return P;
#endif
}

// Keeps an accumulator's sum in the order written: without it the compiler
// may regroup a long unrolled chain of additions into a tree whose partial
// sums all live at once, more than the eight registers of i686 can hold.
template <typename V>
inline void Settle(V& Sum) {
    __asm__("" : "+x"(Sum));
}

// Settle on i686 only, where the regrouped sums would spill; x86-64 has the
// registers for the compiler's own order.
template <typename V>
inline void SettleOnI686(V& Sum) {
#if defined(__i386__)
    Settle(Sum);
#else
    (void)Sum;
#endif
}

}  // namespace
