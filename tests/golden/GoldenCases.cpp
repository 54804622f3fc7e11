#include "tests/golden/GoldenCases.h"

#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "filter/Reference.h"

namespace velgarde_golden {

const std::vector<GoldenCase>& GoldenCases() {
    // Tracks: amount +, amount -, range, variance, threshold.
    static const std::vector<GoldenCase> cases = {
        {"hd_default", 1920, 1080, 1920, {25, 50, 10, 50, 0}, Fill::VideoRamp, 1},
        {"hd_range100", 1920, 1080, 1920, {25, 50, 100, 50, 0}, Fill::VideoRamp, 2},
        {"one_pixel", 1, 1, 1, {300, 300, 100, 100, 0}, Fill::FullRange, 3},
        {"tiny_2x3", 2, 3, 2, {25, 50, 10, 50, 0}, Fill::FullRange, 4},
        {"one_column", 1, 61, 1, {120, 80, 100, 64, 0}, Fill::VideoRamp, 5},
        {"one_row", 257, 1, 257, {120, 80, 100, 64, 0}, Fill::VideoRamp, 6},
        {"odd_37x23", 37, 23, 37, {77, 133, 57, 77, 3}, Fill::VideoRamp, 7},
        {"padded_pitch", 333, 71, 400, {25, 50, 10, 50, 0}, Fill::VideoRamp, 8},
        {"threshold_40", 640, 360, 640, {100, 100, 30, 40, 40}, Fill::VideoRamp, 9},
        {"threshold_1000", 203, 101, 210, {300, 300, 50, 50, 1000}, Fill::FullRange, 10},
        {"amounts_300", 161, 97, 161, {300, 300, 1, 100, 0}, Fill::VideoRamp, 11},
        {"darken_only", 161, 97, 168, {0, 300, 25, 0, 0}, Fill::VideoRamp, 12},
        {"full_int16", 251, 133, 256, {300, 300, 100, 0, 0}, Fill::FullRange, 13},
    };
    return cases;
}

std::vector<unsigned char> MakeInput(const GoldenCase& c) {
    const std::size_t pixels = static_cast<std::size_t>(c.MaxWidth) * static_cast<std::size_t>(c.Height);
    std::vector<unsigned char> bytes(pixels * 6);
    Random random{c.Seed * 2654435761u + 1};
    for (std::int32_t y = 0; y < c.Height; ++y)
        for (std::int32_t x = 0; x < c.MaxWidth; ++x) {
            const std::uint32_t r = random.Next();
            std::int16_t value[3];
            if (c.Pattern == Fill::FullRange)
                value[0] = static_cast<std::int16_t>(r & 0xFFFF);
            else  // a ramp in video range with noise of +-40
                value[0] = static_cast<std::int16_t>((x * 37 + y * 23) % 4096 + static_cast<int>(r % 81) - 40);
            value[1] = static_cast<std::int16_t>(random.Next() & 0xFFFF);
            value[2] = static_cast<std::int16_t>(random.Next() & 0xFFFF);
            std::memcpy(&bytes[(static_cast<std::size_t>(y) * static_cast<std::size_t>(c.MaxWidth) +
                                static_cast<std::size_t>(x)) * 6],
                        value, 6);
        }
    return bytes;
}

std::vector<unsigned char> ModelOutput(const GoldenCase& c) {
    std::vector<unsigned char> bytes = MakeInput(c);
    const FilterParameters p = ConvertTrackValues(c.Tracks);
    ReferenceFrame({p.Radius, p.Variance, p.Threshold, p.AmountPlus, p.AmountMinus}, bytes.data(), c.Width,
                   c.Height, c.MaxWidth);
    return bytes;
}

std::uint64_t Digest(const std::vector<unsigned char>& bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

std::string FirstDifference(const GoldenCase& c, const std::vector<unsigned char>& got,
                            const std::vector<unsigned char>& model) {
    if (got.size() != model.size()) return "the buffers differ in size";
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (got[i] == model[i]) continue;
        const std::size_t pixel = i / 6;
        const std::size_t field = i % 6 / 2;
        std::int16_t a, b;
        std::memcpy(&a, &got[i - i % 2], 2);
        std::memcpy(&b, &model[i - i % 2], 2);
        const char* names[] = {"Y", "Cb", "Cr"};
        const std::size_t x = pixel % static_cast<std::size_t>(c.MaxWidth);
        return "first difference at x " + std::to_string(x) + ", y " +
               std::to_string(pixel / static_cast<std::size_t>(c.MaxWidth)) + " (" + names[field] +
               (x >= static_cast<std::size_t>(c.Width) ? ", in the padding" : "") + "): got " +
               std::to_string(a) + ", model " + std::to_string(b);
    }
    return "no pixel differs from the model";
}

std::string DigestMismatch(const std::string& caseName, const std::string& preset, const std::string& path,
                           const std::string& firstDifference, bool modelGivesTheTable) {
    return "case " + caseName + ", preset " + preset + ", " + path + ": digest differs from the table; " +
           firstDifference +
           (modelGivesTheTable ? "" : " (and the model no longer gives the table's digest either)");
}

int WriteDigestTable(const std::string& path, bool overwrite, const std::string& writtenBy,
                     const std::vector<NamedDigest>& digests) {
    if (!overwrite && std::ifstream(path)) {
        std::cerr << path << " exists; pass --overwrite to replace it\n";
        return 2;
    }
    std::ostringstream text;
    text << "// Written by " << writtenBy << " --write-table from the scalar model; do not edit.\n";
    for (const NamedDigest& d : digests)
        text << "{\"" << d.Name << "\", 0x" << std::hex << std::setw(16) << std::setfill('0') << d.Digest
             << "ull},\n";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text.str();
    if (!out.flush()) {
        std::cerr << "cannot write " << path << "\n";
        return 1;
    }
    std::cout << "wrote " << digests.size() << " digests to " << path << "\n";
    return 0;
}

}  // namespace velgarde_golden
