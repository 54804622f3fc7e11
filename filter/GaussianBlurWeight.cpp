#include "filter/GaussianBlurWeight.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "util/ExtendedPrecision.h"
#include "util/xmmutil.h"

TGaussianBlurWeight::TGaussianBlurWeight(double Radius, double Variance) {
    SetParam(Radius, Variance);
}

void TGaussianBlurWeight::SetParam(double Radius, double Variance) {
    if (Radius == FRadius && Variance == FVariance) return;
    // The smallest integer not below Radius: a whole radius adds no tap.
    const std::int64_t Whole = static_cast<std::int64_t>(Radius);
    std::int32_t Size = static_cast<std::int32_t>(Whole);
    if (static_cast<double>(Whole) != Radius) ++Size;
    // Built aside and committed only when complete: a failed allocation
    // leaves the old settings and their table, never a table whose length
    // disagrees with Size.
    std::vector<double> Weights;
    {
        const TExtendedPrecision Precision;
        Weights = MakeWeights(Radius, Variance, Size);
    }
    FRadius = Radius;
    FVariance = Variance;
    FSize = Size;
    FWeights.swap(Weights);
}

std::vector<double> TGaussianBlurWeight::MakeWeights(double Radius, double Variance, std::int32_t Size) {
    CheckAllocationFault();
    std::vector<double> Weights(static_cast<std::size_t>(Size) + 1);
    // Distance Radius maps to 8 units of the exponent's argument. Quotients
    // and the exponential are taken in extended precision so that every
    // toolchain arrives at the same doubles.
    for (std::int32_t i = 0; i <= Size; ++i) {
        const double t = static_cast<double>(static_cast<long double>(8 * i) /
                                             static_cast<long double>(Radius));
        const long double a = -(static_cast<long double>(t) * t) / static_cast<long double>(Variance);
        Weights[i] = static_cast<double>(expl(a));
    }
    return Weights;
}

double TGaussianBlurWeight::GetWeight(std::int32_t Index) const {
    const std::int64_t d = Index < 0 ? -static_cast<std::int64_t>(Index) : Index;
    return d > FSize ? 0.0 : FWeights[static_cast<std::size_t>(d)];
}

std::size_t TGaussianBlurWeight::BlockSize(std::int32_t Size) {
    const std::size_t Lists = 2 * static_cast<std::size_t>(Size) + 2;
    return Lists * (Lists * 2 + 8);
}

void TGaussianBlurWeight::MakeFilterParam(TFilterParam& Param) const {
    const std::int64_t S = FSize;
    const std::int64_t N = Param.Count;
    char* Block = static_cast<char*>(AlignedAlloc(BlockSize(FSize), 8));
    Param.Coefficients = Block;
    CheckAllocationFault();
    Param.Entries.assign(static_cast<std::size_t>(2 * N + 2), 0);
    std::vector<double> Slots(static_cast<std::size_t>(2 * S + 2));
    // The quotients below are truncated to 14 bits from extended precision.
    const TExtendedPrecision Precision;

    std::size_t Cursor = 8;  // byte offset of the next list in the block
    std::intptr_t EvenStartList = 0;
    std::intptr_t OddStartList = 0;
    for (std::int64_t i = 0; i < N; ++i) {
        const std::int64_t Lo = i - S;
        const std::int64_t Hi = i + S;
        const std::int64_t First = std::max<std::int64_t>(Lo, 0);
        const std::int64_t E = First & ~std::int64_t{1};  // pairs start on an even sample
        const std::int64_t Par = First - E;
        const std::int64_t Last = std::min(Hi, N - 1);
        const std::int64_t Span = Last - First;
        Param.Entries[2 * i] = static_cast<std::intptr_t>((First / 2) * Param.Step);

        // A window wholly inside the axis gives the same list as position S
        // or S + 1, depending only on the parity of its first sample.
        if (i >= S + 2 && i + S <= N - 1) {
            Param.Entries[2 * i + 1] = ((i - S) % 2 == 0) ? EvenStartList : OddStartList;
            continue;
        }

        const std::int64_t Pairs = (Span + Par + 2) / 2;
        std::fill(Slots.begin(), Slots.begin() + 2 * Pairs, 0.0);
        double Total = 0.0;
        // Taps outside the axis credit the nearest edge sample.
        for (std::int64_t j = Lo; j <= Hi; ++j) {
            const double w = GetWeight(static_cast<std::int32_t>(j - i));
            Total += w;
            const std::int64_t Sample = std::min(std::max<std::int64_t>(j, 0), N - 1);
            Slots[static_cast<std::size_t>(Sample - E)] += w;
        }

        char* List = Block + Cursor;
        const std::int32_t Count32 = static_cast<std::int32_t>(Pairs);
        std::memcpy(List - 4, &Count32, 4);
        for (std::int64_t k = 0; k < 2 * Pairs; ++k) {
            const long double q = static_cast<long double>(Slots[k]) / static_cast<long double>(Total);
            const std::int16_t c = static_cast<std::int16_t>(static_cast<std::int32_t>(q * 16384.0L));
            std::memcpy(List + 2 * k, &c, 2);
        }
        const std::intptr_t Address = reinterpret_cast<std::intptr_t>(List);
        Param.Entries[2 * i + 1] = Address;
        if (i == S) EvenStartList = Address;
        if (i == S + 1) OddStartList = Address;
        // Next list: the first multiple of 8 at least 4 bytes past this one.
        Cursor = (Cursor + 4 * static_cast<std::size_t>(Pairs) + 11) & ~std::size_t{7};
    }
}
