// PNG through libpng: every colour type and depth in; 8 or 16 bits out at
// libpng's default compression, with the metadata spliced in after IHDR.
// Colour is given as stored (no gamma), palettes and transparency expanded
// into RGB(A) as stb_image does. libpng reports through longjmp, so the
// functions that call it hold nothing with a destructor.
#include <csetjmp>
#include <cstring>

#include <png.h>

#include "cli/ImageCodecs.h"

namespace velgarde {
namespace {

bool LittleEndian() {
    const std::uint16_t one = 1;
    std::uint8_t first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

struct PngRead {
    const ByteVector* file;
    std::size_t at = 0;
    bool ranOut = false;
    bool badIndex = false;
    char message[200] = "";
    // Filled by ReadInfo.
    png_uint_32 width = 0, height = 0;
    int channels = 0, depth = 0, passes = 1;
    // A palette image's colours as RGBA, expanded here: libpng would make
    // indices beyond the palette black without a word.
    int paletteSize = -1;
    bool paletteAlpha = false;
    std::uint8_t palette[256][4] = {};
    // Rows done across all passes, by ReadRows.
    std::uint64_t rowsDone = 0;
};

void ReadData(png_structp png, png_bytep out, png_size_t count) {
    auto* s = static_cast<PngRead*>(png_get_io_ptr(png));
    if (count > s->file->size() - s->at) {
        s->ranOut = true;
        png_error(png, "the file ends");
    }
    std::memcpy(out, s->file->data() + s->at, count);
    s->at += count;
}

void OnError(png_structp png, png_const_charp message) {
    auto* s = static_cast<PngRead*>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof s->message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// The header and the transforms: pixels as stb_image gives them.
bool ReadInfo(png_structp png, png_infop info, PngRead* s) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, s, ReadData);
    // The metadata reader handles these; libpng need not inflate them.
    static const png_byte ignored[] = "iCCP\0zTXt\0iTXt\0tEXt\0eXIf\0sPLT\0";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, ignored, 6);
    png_read_info(png, info);
    const int type = png_get_color_type(png, info);
    const int bits = png_get_bit_depth(png, info);
    if (type == PNG_COLOR_TYPE_PALETTE) {
        png_colorp colours = nullptr;
        if (png_get_PLTE(png, info, &colours, &s->paletteSize) == 0) s->paletteSize = 0;
        for (int i = 0; i < s->paletteSize && i < 256; ++i)
            s->palette[i][0] = colours[i].red, s->palette[i][1] = colours[i].green, s->palette[i][2] = colours[i].blue,
            s->palette[i][3] = 255;
        png_bytep alpha = nullptr;
        int alphas = 0;
        if (png_get_tRNS(png, info, &alpha, &alphas, nullptr) != 0 && alpha != nullptr) {
            s->paletteAlpha = true;
            for (int i = 0; i < alphas && i < 256; ++i) s->palette[i][3] = alpha[i];
        }
        if (bits < 8) png_set_packing(png);  // one index a byte
    } else {
        if (type == PNG_COLOR_TYPE_GRAY && bits < 8) png_set_expand_gray_1_2_4_to_8(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    }
    if (bits == 16 && LittleEndian()) png_set_swap(png);
    s->passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    s->width = png_get_image_width(png, info);
    s->height = png_get_image_height(png, info);
    s->channels = s->paletteSize >= 0 ? (s->paletteAlpha ? 4 : 3) : png_get_channels(png, info);
    s->depth = s->paletteSize >= 0 ? 8 : png_get_bit_depth(png, info);
    return true;
}

// Indices of row `y` (kept across interlace passes in `indices`) into RGB(A).
void ExpandPalette(PngRead* s, const std::uint8_t* indices, std::uint8_t* out) {
    const int channels = s->channels;
    for (png_uint_32 x = 0; x < s->width; ++x, out += channels) {
        const unsigned i = indices[x];
        if (static_cast<int>(i) >= s->paletteSize) s->badIndex = true;
        std::memcpy(out, s->palette[i], static_cast<std::size_t>(channels));
    }
}

bool ReadRows(png_structp png, PngRead* s, std::uint8_t* pixels, std::size_t rowBytes, std::uint8_t* indices,
              const DecodeContext* context) {
    if (setjmp(png_jmpbuf(png))) return false;
    const std::uint64_t total = std::uint64_t{s->height} * static_cast<std::uint64_t>(s->passes);
    for (int pass = 0; pass < s->passes; ++pass)
        for (png_uint_32 y = 0; y < s->height; ++y) {
            if (indices != nullptr) {
                std::uint8_t* row = indices + std::size_t{s->width} * y;
                png_read_row(png, row, nullptr);
                if (pass + 1 == s->passes) ExpandPalette(s, row, pixels + rowBytes * y);
            } else {
                png_read_row(png, pixels + rowBytes * y, nullptr);
            }
            ++s->rowsDone;
            if ((y & 255) == 0) context->Rows(s->rowsDone, total);
        }
    return true;
}

struct PngReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReadStructs() { png_destroy_read_struct(&png, &info, nullptr); }
};

struct PngWrite {
    ByteVector* out;
    char message[200] = "";
};

void WriteData(png_structp png, png_bytep data, png_size_t count) {
    auto* s = static_cast<PngWrite*>(png_get_io_ptr(png));
    s->out->insert(s->out->end(), data, data + count);
}
void Flush(png_structp) {}
void OnWriteError(png_structp png, png_const_charp message) {
    auto* s = static_cast<PngWrite*>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof s->message, "%s", message);
    png_longjmp(png, 1);
}
void OnWriteWarning(png_structp, png_const_charp) {}

bool WriteRows(png_structp png, png_infop info, PngWrite* s, const Image& image,
               const EncodeSettings* settings) {
    if (setjmp(png_jmpbuf(png))) return false;
    static const int types[5] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                 PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_write_fn(png, s, WriteData, Flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
                 image.bitDepth, types[image.channels], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (image.bitDepth == 16 && LittleEndian()) png_set_swap(png);
    const std::size_t rowSamples = static_cast<std::size_t>(image.width) * image.channels;
    for (int y = 0; y < image.height; ++y) {
        const void* row = image.bitDepth == 16
                              ? static_cast<const void*>(image.pixels16.data() + rowSamples * y)
                              : static_cast<const void*>(image.pixels.data() + rowSamples * y);
        png_write_row(png, static_cast<png_const_bytep>(row));
        if (settings->progress && (y & 255) == 0) settings->progress(static_cast<double>(y) / image.height);
    }
    png_write_end(png, nullptr);
    return true;
}

struct PngWriteStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriteStructs() { png_destroy_write_struct(&png, &info); }
};

}  // namespace

bool IsPng(const ByteVector& b) {
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    return b.size() >= 8 && std::memcmp(b.data(), signature, 8) == 0;
}

bool ReadPng(const ByteVector& file, const DecodeContext& context, DecodedImage* out, std::string* error) {
    PngRead s;
    s.file = &file;
    PngReadStructs p;
    p.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, OnError, OnWarning);
    if (p.png != nullptr) p.info = png_create_info_struct(p.png);
    if (p.png == nullptr || p.info == nullptr) {
        *error = "out of memory for the PNG reader";
        return false;
    }
    if (!ReadInfo(p.png, p.info, &s)) {
        *error = s.ranOut ? "truncated PNG: the file ends before its pixels" : "damaged PNG: " + std::string(s.message);
        return false;
    }
    const int w = static_cast<int>(s.width), h = static_cast<int>(s.height);
    if (!context.Admit("PNG", w, h, s.channels, s.depth, 0, error)) return false;
    Image image(w, h, s.channels, s.depth);
    const std::size_t rowBytes = static_cast<std::size_t>(w) * s.channels * (s.depth / 8);
    auto* pixels = s.depth == 16 ? reinterpret_cast<std::uint8_t*>(image.pixels16.data()) : image.pixels.data();
    // A palette image's indices, kept across interlace passes.
    std::vector<std::uint8_t> indices(s.paletteSize < 0 ? 0 : std::size_t{s.width} * s.height);
    if (!ReadRows(p.png, &s, pixels, rowBytes, indices.empty() ? nullptr : indices.data(), &context)) {
        if (s.passes > 1)
            *error = std::string(s.ranOut ? "truncated PNG: the file ends" : "damaged PNG: " + std::string(s.message)) +
                     " in pass " + std::to_string(s.rowsDone / s.height + 1) + " of its 7 interlace passes";
        else if (s.ranOut)
            *error = TruncatedMessage("PNG", s.rowsDone, s.height);
        else
            *error = "damaged PNG: " + std::string(s.message) + " (row " + std::to_string(s.rowsDone + 1) + " of " +
                     std::to_string(s.height) + ")";
        return false;
    }
    if (s.badIndex) {
        *error = "damaged PNG: pixels use colours beyond its palette";
        return false;
    }
    out->image = std::move(image);
    out->meta = ReadPngMetadata(file);
    return true;
}

bool WritePng(const Image& image, const ImageMetadata& meta, const EncodeSettings& settings, ByteVector* out,
              std::vector<std::string>*, std::string* error) {
    ByteVector bytes;
    PngWrite s{&bytes};
    PngWriteStructs p;
    p.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, OnWriteError, OnWriteWarning);
    if (p.png != nullptr) p.info = png_create_info_struct(p.png);
    if (p.png == nullptr || p.info == nullptr) {
        *error = "out of memory for the PNG writer";
        return false;
    }
    if (!WriteRows(p.png, p.info, &s, image, &settings)) {
        *error = "cannot encode PNG: " + std::string(s.message);
        return false;
    }
    *out = WithPngMetadata(bytes, meta);
    return true;
}

}  // namespace velgarde
