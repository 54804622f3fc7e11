#include "tests/host/NonRealigningProbe.h"

#if defined(__i386__)
#include <emmintrin.h>
#endif

extern "C" void AVIUTL_CDECL ProbeConditions(std::int32_t ThreadIndex, std::int32_t, void* param1, void*) {
    ProbeRecord& record = *static_cast<ProbeRecord*>(param1);
    if (ThreadIndex < 0 || ThreadIndex >= ProbeRecord::Calls) return;
    const std::size_t i = static_cast<std::size_t>(ThreadIndex);
    alignas(16) unsigned char local[16];
    std::uintptr_t address = reinterpret_cast<std::uintptr_t>(local);
    // Hidden from the compiler, which would otherwise fold the remainder to 0.
    __asm__("" : "+r"(address));
    record.Misalignment[i] = static_cast<std::uint32_t>(address % 16);
#if defined(__i386__) || defined(__x86_64__)
    std::uint16_t word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    record.ControlWord[i] = word;
#endif
    volatile long double one = 1.0L;
    volatile long double tiny = 0x1p-60L;
    record.Rounded53[i] = one + tiny == one;
}

extern "C" void AVIUTL_CDECL ProbeAlignedStore(std::int32_t, std::int32_t, void*, void*) {
#if defined(__i386__)
    alignas(16) float local[4];
    const __m128 value = _mm_set1_ps(1.0f);
    __asm__ volatile("movaps %1, %0" : "=m"(local) : "x"(value));
#endif
}
