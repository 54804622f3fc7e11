#include "filter/KernelSets.h"

#include "filter/Kernels.h"

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <cpuid.h>
#define VELGARDE_X86_CPUID 1
#endif

namespace {

const KernelSet Sse2Set = {KernelSetId::Sse2, "sse2", HorizontalKernel, VerticalKernel};
const KernelSet Avx2Set = {KernelSetId::Avx2, "avx2", HorizontalKernelAvx2, VerticalKernelAvx2};

#if defined(VELGARDE_X86_CPUID)
// XCR0: which register states the operating system saves on a switch.
// Only asked once CPUID says the instruction exists (OSXSAVE).
std::uint64_t EnabledRegisterStates() {
    std::uint32_t Low, High;
    __asm__ volatile("xgetbv" : "=a"(Low), "=d"(High) : "c"(0));
    return (std::uint64_t{High} << 32) | Low;
}
#endif

}  // namespace

bool ProcessorRunsAvx2() {
#if defined(VELGARDE_X86_CPUID)
    unsigned Eax, Ebx, Ecx, Edx;
    if (!__get_cpuid(1, &Eax, &Ebx, &Ecx, &Edx)) return false;
    const unsigned OsSavesState = 1u << 27, Avx = 1u << 28;
    if ((Ecx & (OsSavesState | Avx)) != (OsSavesState | Avx)) return false;
    // The XMM (bit 1) and YMM (bit 2) states must both be saved.
    if ((EnabledRegisterStates() & 6) != 6) return false;
    if (!__get_cpuid_count(7, 0, &Eax, &Ebx, &Ecx, &Edx)) return false;
    return (Ebx & (1u << 5)) != 0;
#else
    return false;
#endif
}

const KernelSet* BuiltInKernelSet(KernelSetId Id) {
    switch (Id) {
    case KernelSetId::Sse2: return &Sse2Set;
    case KernelSetId::Avx2: return ProcessorRunsAvx2() ? &Avx2Set : nullptr;
    default: return nullptr;
    }
}

const KernelSet& BestKernelSet() { return ProcessorRunsAvx2() ? Avx2Set : Sse2Set; }
