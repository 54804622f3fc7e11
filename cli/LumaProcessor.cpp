#include "cli/LumaProcessor.h"

namespace velgarde {

bool LumaProcessor::ProcessCodes(std::uint8_t* codes, std::ptrdiff_t stride, int width, int rows,
                                 const LumaMapping& mapping, Parallel& parallel, std::string* error) {
    std::ptrdiff_t step = 1;
    std::int16_t* luma = PrepareLuma(width, rows, &step, error);
    if (luma == nullptr) return false;
    mapping.RowsToHost(codes, stride, width, rows, luma, step, parallel);
    if (!Process(error)) return false;
    mapping.RowsFromHost(luma, step, width, rows, codes, stride, parallel);
    return true;
}

}  // namespace velgarde
