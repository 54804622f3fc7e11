#include "filter/FormatRows.h"

#include <algorithm>
#include <cstring>

#include "filter/FilterParam.h"
#include "filter/RgbLuma.h"

namespace {

// The conversion's formula (filter/RgbLuma.h) with the channels at R, G, B.
std::int16_t RgbLuma(std::uint8_t R, std::uint8_t G, std::uint8_t B) {
    const std::int64_t Weighted = 299 * R + 587 * G + 114 * B;
    return static_cast<std::int16_t>((Weighted * LumaWhite * 2 + 255000) / (2 * 255000));
}

std::int16_t Rounded(std::int32_t Sum) {
    return static_cast<std::int16_t>(std::clamp((Sum + 8192) >> 14, -32768, 32767));
}

}  // namespace

void RowLumaTail(PixelLayout Layout, const std::uint8_t* Row, std::int32_t From, std::int32_t Columns,
                 const PixelFormat& Format, std::int16_t* Luma) {
    for (std::int32_t x = From; x < Columns; ++x) {
        switch (Layout) {
        case PixelLayout::Rgba8: Luma[x] = RgbLuma(Row[4 * x], Row[4 * x + 1], Row[4 * x + 2]); break;
        case PixelLayout::Bgra8: Luma[x] = RgbLuma(Row[4 * x + 2], Row[4 * x + 1], Row[4 * x]); break;
        case PixelLayout::Planar8: Luma[x] = Format.CodeToLuma[Row[x]]; break;
        case PixelLayout::Planar16: Luma[x] = Format.CodeToLuma[Row[2 * x] | (Row[2 * x + 1] << 8)]; break;
        }
    }
}

void PadLumaRun(std::int16_t* Luma, std::int32_t Columns) {
    std::fill(Luma + Columns, Luma + Columns + LumaRunPadding, Luma[Columns - 1]);
}

ColumnRun FindColumnRun(const std::intptr_t* Entries, std::int32_t Columns, std::int32_t MaxPairs,
                        std::int32_t Least) {
    ColumnRun Best;
    auto List = [&](std::int32_t x) { return reinterpret_cast<const std::int16_t*>(Entries[2 * x + 1]); };
    for (std::int32_t x = 0; x + 1 < Columns;) {
        const std::int32_t Pairs = PairCount(List(x));
        if (Entries[2 * x] != Entries[2 * x + 2] || Pairs != PairCount(List(x + 1)) || Pairs > MaxPairs) {
            ++x;
            continue;
        }
        // Offsets count 16 bytes per sample pair. (Every column pair is
        // checked, and this runs once per band: one pass, few branches.)
        const std::intptr_t Even = Entries[2 * x + 1], Odd = Entries[2 * x + 3];
        std::intptr_t Offset = Entries[2 * x] + 16;
        std::int32_t End = x + 2;
        for (const std::intptr_t* P = Entries + 2 * End; End + 1 < Columns; End += 2, P += 4, Offset += 16)
            if ((P[0] != Offset) | (P[2] != Offset) | (P[1] != Even) | (P[3] != Odd)) break;
        if (End - x >= Least && End - x > Best.End - Best.Start)
            Best = {x, End, static_cast<std::int32_t>(Entries[2 * x] / 16) * 2, List(x), List(x + 1), Pairs};
        x = End;
    }
    return Best;
}

void ConvolveColumnsOneByOne(const std::intptr_t* Entries, const std::int16_t* A, const std::int16_t* B,
                             std::int32_t From, std::int32_t To, unsigned char* Line) {
    for (std::int32_t x = From; x < To; ++x) {
        const std::int32_t E = static_cast<std::int32_t>(Entries[2 * x] / 16) * 2;
        const std::int16_t* List = reinterpret_cast<const std::int16_t*>(Entries[2 * x + 1]);
        std::int32_t SumA = 0, SumB = 0;
        for (std::int32_t k = 0; k < 2 * PairCount(List); ++k) {
            SumA += List[k] * A[E + k];
            SumB += List[k] * B[E + k];
        }
        const std::int16_t Out[2] = {Rounded(SumA), Rounded(SumB)};
        std::memcpy(Line + 4 * std::ptrdiff_t{x}, Out, 4);
    }
}

void StoreChangedCodes16(const std::uint8_t* In, std::uint8_t* Out, const std::int16_t* Before,
                         const std::int16_t* After, int Count, const PixelFormat& Format) {
    for (int i = 0; i < Count; ++i) {
        if (After[i] == Before[i]) {
            if (In != Out) std::memcpy(Out + 2 * i, In + 2 * i, 2);
            continue;
        }
        const unsigned Code = Format.LumaToCode[static_cast<std::uint16_t>(After[i])];
        Out[2 * i] = static_cast<std::uint8_t>(Code);
        Out[2 * i + 1] = static_cast<std::uint8_t>(Code >> 8);
    }
}

std::size_t FormatLumaBytes(std::int32_t Columns, std::int32_t Rows) {
    return static_cast<std::size_t>(Rows) * static_cast<std::size_t>(LumaRunStride(Columns)) * sizeof(std::int16_t);
}
