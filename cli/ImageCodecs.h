// The readers and writers behind the image format table (ImageFormats.h).
// Every reader checks each length against the bytes it has, asks its
// DecodeContext before it allocates pixels, and fails on a truncated or
// damaged file with a message that names the format and what is missing.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/Image.h"
#include "cli/ImageMetadata.h"

namespace velgarde {

struct ImageLimits {
    int maxDimension = 65535;                          // per side
    std::uint64_t maxPixels = std::uint64_t{500} << 20;  // width x height
    // Working memory a picture may take; 0: the default for its file size
    // (DefaultMemoryBudget).
    std::uint64_t memoryBudget = 0;
};

// 224 MiB, or 200 times the file's size if more: a photograph takes up to
// about 100 times its file's size (a JPEG at low quality), while a few bytes
// that declare a huge picture are refused rather than inflated. A 1 MB file
// so stays below 256 MB.
std::uint64_t DefaultMemoryBudget(std::uint64_t fileBytes);
// The memory the whole run takes for a picture of that size: its pixels,
// their luma, the filter's frame and work plane, and the written file.
std::uint64_t ImageWorkingBytes(int width, int height, int channels, int bitDepth);

// How a JPEG was coded, so that a JPEG written from it can be coded alike.
struct JpegCoding {
    bool present = false;
    int components = 0;
    std::array<std::array<std::uint16_t, 64>, 4> tables{};  // natural order
    std::array<bool, 4> haveTable{};
    std::array<int, 4> tableOf{};      // each component's table
    std::array<int, 4> hSampling{}, vSampling{};
    bool progressive = false;
    int quality = 0;                   // the standard quality its luma table is nearest to
    std::string SamplingName() const;  // "4:2:0", "4:4:4", ...
};

struct DecodedImage {
    Image image;          // upright: EXIF orientation applied
    ImageMetadata meta;
    std::string kind;     // the format's name in the table
    int gifFrames = 0;    // images in a GIF file
    int orientation = 1;  // EXIF orientation as stored, now applied
    JpegCoding jpeg;      // a JPEG's coding
};

// What a caller hears while a picture is decoded.
struct DecodeHooks {
    std::function<void(double)> progress;  // the fraction decoded
    // Once the size is known and allowed: the format, the size and the
    // memory the run will take.
    std::function<void(const std::string&, int, int, std::uint64_t)> admitted;
};

class DecodeContext {
public:
    DecodeContext(const ImageLimits& limits, std::uint64_t fileBytes, const DecodeHooks& hooks)
        : limits_(limits), fileBytes_(fileBytes), hooks_(hooks) {}
    // Whether a picture of this size may be decoded: the limits, then the
    // memory it takes (plus `extraBytes` the reader needs beside it).
    bool Admit(const std::string& kind, int width, int height, int channels, int bitDepth,
               std::uint64_t extraBytes, std::string* error) const;
    // Rows done of all rows to decode.
    void Rows(std::uint64_t done, std::uint64_t total) const {
        if (hooks_.progress && total > 0) hooks_.progress(static_cast<double>(done) / static_cast<double>(total));
    }
    std::uint64_t MemoryBudget() const;

private:
    const ImageLimits& limits_;
    std::uint64_t fileBytes_;
    const DecodeHooks& hooks_;
};

struct EncodeSettings {
    int quality = 0;                       // JPEG; 0: the source's coding or kDefaultJpegQuality
    const JpegCoding* source = nullptr;    // a JPEG input's coding, or null
    bool swapAxes = false;                 // the picture was turned by 90 degrees since
    std::function<void(double)> progress;  // fraction of the rows written
};
constexpr int kDefaultJpegQuality = 92;

using ImageReader = bool (*)(const ByteVector& file, const DecodeContext& context, DecodedImage* out,
                             std::string* error);
using ImageWriter = bool (*)(const Image& image, const ImageMetadata& meta,
                             const EncodeSettings& settings, ByteVector* out,
                             std::vector<std::string>* notes, std::string* error);
using ImageMatcher = bool (*)(const ByteVector& file);

bool IsPng(const ByteVector& file);
bool ReadPng(const ByteVector& file, const DecodeContext& context, DecodedImage* out, std::string* error);
bool WritePng(const Image& image, const ImageMetadata& meta, const EncodeSettings& settings,
              ByteVector* out, std::vector<std::string>* notes, std::string* error);

bool IsJpeg(const ByteVector& file);
bool ReadJpeg(const ByteVector& file, const DecodeContext& context, DecodedImage* out, std::string* error);
bool WriteJpeg(const Image& image, const ImageMetadata& meta, const EncodeSettings& settings,
               ByteVector* out, std::vector<std::string>* notes, std::string* error);

// How WriteJpeg codes `image`: "JPEG quality 92, 4:4:4", or the source's
// tables "(quality about 95, 4:2:2)".
std::string JpegCodingNote(const Image& image, const EncodeSettings& settings);

bool IsBmp(const ByteVector& file);
bool ReadBmp(const ByteVector& file, const DecodeContext& context, DecodedImage* out, std::string* error);
bool WriteBmp(const Image& image, const ImageMetadata& meta, const EncodeSettings& settings,
              ByteVector* out, std::vector<std::string>* notes, std::string* error);

bool IsGif(const ByteVector& file);
bool ReadGif(const ByteVector& file, const DecodeContext& context, DecodedImage* out, std::string* error);

bool IsTga(const ByteVector& file);
bool ReadTga(const ByteVector& file, const DecodeContext& context, DecodedImage* out, std::string* error);

bool IsPnm(const ByteVector& file);
bool ReadPnm(const ByteVector& file, const DecodeContext& context, DecodedImage* out, std::string* error);

// "truncated BMP: the file ends in row 12 of 40" and the like.
std::string TruncatedMessage(const std::string& kind, std::uint64_t rowsDone, std::uint64_t rows);

}  // namespace velgarde
