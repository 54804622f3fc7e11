#include "filter/FilterParam.h"

#include "util/xmmutil.h"

void FreeFilterParam(TFilterParam& P) {
    if (P.Coefficients != nullptr) {
        AlignedFree(P.Coefficients);
        P.Coefficients = nullptr;
    }
    std::vector<std::intptr_t>().swap(P.Entries);
    P.Count = 0;
    P.Step = 0;
    P.GatherCount = 0;
    P.InnerCount = 0;
    P.OuterCount = 0;
}
