// Kernel sets as test parameters: every set there is (EveryKernelSet), each
// case named and printed by the set's name.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "filter/KernelSets.h"
#include "filter/Reference.h"

inline void PrintTo(const KernelSet* Set, std::ostream* Out) { *Out << Set->Name; }

namespace velgarde_test {

struct KernelSetName {
    std::string operator()(const testing::TestParamInfo<const KernelSet*>& Info) const { return Info.param->Name; }
};

// Whether this machine runs the set; the scalar twins run everywhere.
inline bool Runs(const KernelSet& Set) { return &Set == &ScalarKernels || MachineRuns(Set); }

}  // namespace velgarde_test
