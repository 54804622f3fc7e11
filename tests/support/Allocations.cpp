#include "tests/support/Allocations.h"

#include "util/xmmutil.h"

namespace velgarde_test {
namespace {

int Allocations = 0;
int FailAt = 0;  // 0: none
bool CountAndMaybeFail() { return ++Allocations == FailAt; }

}  // namespace

AllocationProbe::AllocationProbe(int FailOn) {
    Allocations = 0;
    FailAt = FailOn;
    SetAllocationFaultHook(CountAndMaybeFail);
}

AllocationProbe::~AllocationProbe() { SetAllocationFaultHook(nullptr); }

int AllocationProbe::Count() const { return Allocations; }

}  // namespace velgarde_test
