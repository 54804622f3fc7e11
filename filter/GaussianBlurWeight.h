// One-sided table of Gaussian weights for the current blur radius and
// variance, and the builder of the per-axis convolution plans.
#pragma once

#include <cstdint>
#include <vector>

#include "filter/FilterParam.h"

class TGaussianBlurWeight {
public:
    TGaussianBlurWeight(double Radius, double Variance);

    // Rebuilds the table unless both values equal the stored ones exactly.
    // On an allocation failure it throws and keeps the previous table.
    // Callers pass Radius > 0 and Variance > 0 (finite).
    void SetParam(double Radius, double Variance);

    // Weight of a tap at signed offset Index from the centre; 0 beyond Size.
    double GetWeight(std::int32_t Index) const;

    // Builds the plan for Param.Count positions spaced Param.Step bytes
    // apart. Param must be empty (FreeFilterParam) on entry.
    void MakeFilterParam(TFilterParam& Param) const;

    double Radius() const { return FRadius; }
    double Variance() const { return FVariance; }
    std::int32_t Size() const { return FSize; }
    const std::vector<double>& Weights() const { return FWeights; }

    // Bytes of one plan's coefficient block: room for 2S + 2 lists of at most
    // S + 1 pairs, each with its count and alignment gap.
    static std::size_t BlockSize(std::int32_t Size);

private:
    static std::vector<double> MakeWeights(double Radius, double Variance, std::int32_t Size);

    double FRadius = 0.0;
    double FVariance = 0.0;
    std::vector<double> FWeights;
    std::int32_t FSize = 0;
};
