#include "filter/KernelSets.h"

#include <cstring>
#include <iterator>

#include "filter/Kernels.h"

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <cpuid.h>
#define VELGARDE_X86_CPUID 1
#endif

namespace {

// CPUID feature bits.
constexpr std::uint32_t Sse2 = 1u << 26;     // leaf 1, EDX
constexpr std::uint32_t OsXsave = 1u << 27;  // leaf 1, ECX: XGETBV may be asked
constexpr std::uint32_t Avx = 1u << 28;      // leaf 1, ECX
constexpr std::uint32_t Avx2 = 1u << 5;      // leaf 7, EBX
constexpr std::uint32_t Avx512F = 1u << 16;  // leaf 7, EBX
constexpr std::uint32_t Avx512Bw = 1u << 30;
constexpr std::uint32_t Avx512Vl = 1u << 31;

// XCR0: the register states the operating system saves.
constexpr std::uint64_t XmmState = 1u << 1;
constexpr std::uint64_t YmmState = 1u << 2;
constexpr std::uint64_t ZmmStates = 7u << 5;  // opmask, upper halves of ZMM0-15, ZMM16-31

// Best first. A line: name, needs {leaf 1 ECX, EDX, leaf 7 EBX, ECX, XCR0}, kernels.
const KernelSet Table[] = {
    {"avx512", {OsXsave | Avx, Sse2, Avx2 | Avx512F | Avx512Bw | Avx512Vl, 0, XmmState | YmmState | ZmmStates},
     HorizontalKernelAvx512, VerticalKernelAvx512, FormatHorizontalKernelAvx2, FormatVerticalKernelAvx2},
    {"avx2", {OsXsave | Avx, Sse2, Avx2, 0, XmmState | YmmState}, HorizontalKernelAvx2, VerticalKernelAvx2,
     FormatHorizontalKernelAvx2, FormatVerticalKernelAvx2},
    {"sse2", {0, Sse2, 0, 0, 0}, HorizontalKernelSse2, VerticalKernelSse2, FormatHorizontalKernelSse2,
     FormatVerticalKernelSse2},
};

// Every kernel member is a function pointer, and KernelKindCount counts them.
static_assert(sizeof(KernelSet) == offsetof(KernelSet, Horizontal) + KernelKindCount * sizeof(HorizontalKernelFn),
              "KernelKindCount must count the kernel members of KernelSet");

#if defined(VELGARDE_X86_CPUID)
// Only asked once CPUID says the instruction exists (OSXSAVE).
std::uint64_t EnabledRegisterStates() {
    std::uint32_t Low, High;
    __asm__ volatile("xgetbv" : "=a"(Low), "=d"(High) : "c"(0));
    return (std::uint64_t{High} << 32) | Low;
}
#endif

}  // namespace

KernelSetTable BuiltInKernelSets() { return {Table, std::size(Table)}; }

bool MachineOffers(const ProcessorNeeds& Needs) {
#if defined(VELGARDE_X86_CPUID)
    unsigned Eax, Ebx, Ecx, Edx;
    if (!__get_cpuid(1, &Eax, &Ebx, &Ecx, &Edx)) return false;
    if ((Ecx & Needs.Leaf1Ecx) != Needs.Leaf1Ecx || (Edx & Needs.Leaf1Edx) != Needs.Leaf1Edx) return false;
    if (Needs.Leaf7Ebx != 0 || Needs.Leaf7Ecx != 0) {
        if (!__get_cpuid_count(7, 0, &Eax, &Ebx, &Ecx, &Edx)) return false;
        if ((Ebx & Needs.Leaf7Ebx) != Needs.Leaf7Ebx || (Ecx & Needs.Leaf7Ecx) != Needs.Leaf7Ecx) return false;
    }
    if (Needs.SavedStates != 0) {
        if (!__get_cpuid(1, &Eax, &Ebx, &Ecx, &Edx) || (Ecx & OsXsave) == 0) return false;
        if ((EnabledRegisterStates() & Needs.SavedStates) != Needs.SavedStates) return false;
    }
    return true;
#else
    return Needs.Leaf1Ecx == 0 && Needs.Leaf1Edx == 0 && Needs.Leaf7Ebx == 0 && Needs.Leaf7Ecx == 0 &&
           Needs.SavedStates == 0;
#endif
}

const KernelSet* BuiltInKernelSet(const char* Name) {
    for (const KernelSet& Set : Table)
        if (std::strcmp(Set.Name, Name) == 0) return MachineRuns(Set) ? &Set : nullptr;
    return nullptr;
}

const KernelSet& BestKernelSet() {
    for (const KernelSet& Set : Table)
        if (MachineRuns(Set)) return Set;
    return Table[std::size(Table) - 1];
}
