// Scoped 64-bit x87 precision for work done in `long double`.
//
// Where long double is the x87 extended type, its arithmetic is only as
// precise as the control word's precision field says; 32-bit Windows editors
// (and 64-bit Windows) run threads at 53 bits, where the weights and the
// variance come out different in their last digits. The guard sets 64 bits
// and puts the caller's control word back, also when the work throws. Other
// fields (rounding, exception masks) are kept as the caller had them.
#pragma once

#include <cfloat>
#include <cstdint>

#if (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__) && LDBL_MANT_DIG == 64
#define VELGARDE_X87_LONG_DOUBLE 1
#endif

class TExtendedPrecision {
public:
#if defined(VELGARDE_X87_LONG_DOUBLE)
    TExtendedPrecision() {
        __asm__ volatile("fnstcw %0" : "=m"(Saved) : : "memory");
        const std::uint16_t Extended = static_cast<std::uint16_t>(Saved | 0x0300);  // PC = 11b
        __asm__ volatile("fldcw %0" : : "m"(Extended) : "memory");
    }
    ~TExtendedPrecision() { __asm__ volatile("fldcw %0" : : "m"(Saved) : "memory"); }
#else
    TExtendedPrecision() = default;
#endif
    TExtendedPrecision(const TExtendedPrecision&) = delete;
    TExtendedPrecision& operator=(const TExtendedPrecision&) = delete;

private:
#if defined(VELGARDE_X87_LONG_DOUBLE)
    std::uint16_t Saved = 0;
#endif
};
