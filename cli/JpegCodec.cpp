// JPEG through libjpeg(-turbo): baseline, progressive and arithmetic-coded
// files of 1, 3 or 4 components in, with the default (accurate integer)
// transform and smooth chroma upsampling; written with the source's own
// quantisation tables and chroma sampling when the picture came from a
// JPEG, else at a quality with full chroma. libjpeg reports through
// longjmp, so the functions that call it hold nothing with a destructor.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

#include "cli/ImageCodecs.h"

namespace velgarde {
namespace {

// A file of more scans than this is a way to burn time, not a picture.
constexpr int kMaxScans = 256;

struct JpegErrors {
    jpeg_error_mgr base;  // first: libjpeg passes a pointer to it
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = "";
    bool truncated = false;
    bool damaged = false;
    JDIMENSION rowAtFault = 0;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    auto* e = reinterpret_cast<JpegErrors*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, e->message);
    std::longjmp(e->jump, 1);
}

// Warnings about the data are damage: libjpeg would go on with grey or
// repeated blocks. Extra bytes between segments harm nothing.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // traces
    auto* e = reinterpret_cast<JpegErrors*>(cinfo->err);
    const int code = cinfo->err->msg_code;
    if (code == JWRN_EXTRANEOUS_DATA || code == JWRN_ADOBE_XFORM || code == JWRN_JFIF_MAJOR) return;
    (*cinfo->err->format_message)(cinfo, e->message);
    if (code == JWRN_JPEG_EOF)
        e->truncated = true;
    else
        e->damaged = true;
    if (cinfo->is_decompressor) e->rowAtFault = reinterpret_cast<j_decompress_ptr>(cinfo)->output_scanline;
    std::longjmp(e->jump, 1);
}

void OnProgress(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (cinfo->is_decompressor && d->input_scan_number > kMaxScans) {
        auto* e = reinterpret_cast<JpegErrors*>(cinfo->err);
        std::snprintf(e->message, sizeof e->message, "more than %d scans", kMaxScans);
        e->damaged = true;
        std::longjmp(e->jump, 1);
    }
}

std::uint8_t Blend(unsigned x, unsigned y) {  // x * y / 255, rounded
    const unsigned t = x * y + 128;
    return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}

struct JpegHeader {
    int width = 0, height = 0, components = 0, channels = 0;
    bool progressive = false;
};

bool ReadHeader(j_decompress_ptr d, const ByteVector& file, JpegHeader* h, JpegCoding* coding,
                std::uint64_t budget) {
    JpegErrors* e = reinterpret_cast<JpegErrors*>(d->err);
    if (setjmp(e->jump)) return false;
    jpeg_create_decompress(d);
    d->mem->max_memory_to_use = static_cast<long>(std::min<std::uint64_t>(budget, 0x7fffffff));
    jpeg_mem_src(d, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(d, TRUE);
    h->width = static_cast<int>(d->image_width);
    h->height = static_cast<int>(d->image_height);
    h->components = d->num_components;
    h->progressive = d->progressive_mode != 0;
    h->channels = d->num_components == 1 ? 1 : 3;
    if (d->num_components == 4) d->out_color_space = JCS_CMYK;
    else if (d->num_components == 3) d->out_color_space = JCS_RGB;
    else if (d->num_components != 1) {
        std::snprintf(e->message, sizeof e->message, "%d colour components", d->num_components);
        return false;
    }
    coding->present = true;
    coding->components = d->num_components;
    coding->progressive = h->progressive;
    for (int t = 0; t < 4; ++t) {
        const JQUANT_TBL* table = d->quant_tbl_ptrs[t];
        coding->haveTable[t] = table != nullptr;
        if (table != nullptr)
            for (int i = 0; i < 64; ++i) coding->tables[t][i] = table->quantval[i];
    }
    for (int c = 0; c < d->num_components && c < 4; ++c) {
        coding->tableOf[c] = d->comp_info[c].quant_tbl_no;
        coding->hSampling[c] = d->comp_info[c].h_samp_factor;
        coding->vSampling[c] = d->comp_info[c].v_samp_factor;
    }
    // A YCbCr or grey file, not CMYK or RGB, can be coded alike again.
    coding->present = d->jpeg_color_space == JCS_YCbCr || d->jpeg_color_space == JCS_GRAYSCALE;
    return true;
}

bool ReadPixels(j_decompress_ptr d, Image* image, std::uint8_t* cmykRow, const DecodeContext* context) {
    JpegErrors* e = reinterpret_cast<JpegErrors*>(d->err);
    if (setjmp(e->jump)) return false;
    jpeg_start_decompress(d);
    const bool cmyk = d->out_color_space == JCS_CMYK;
    while (d->output_scanline < d->output_height) {
        const JDIMENSION y = d->output_scanline;
        JSAMPROW row = cmyk ? cmykRow : image->At(0, static_cast<int>(y));
        jpeg_read_scanlines(d, &row, 1);
        if (cmyk) {
            // Adobe's inverted CMYK: each colour times the black.
            std::uint8_t* dst = image->At(0, static_cast<int>(y));
            for (JDIMENSION x = 0; x < d->output_width; ++x, dst += 3) {
                const std::uint8_t* p = cmykRow + 4 * x;
                dst[0] = Blend(p[0], p[3]), dst[1] = Blend(p[1], p[3]), dst[2] = Blend(p[2], p[3]);
            }
        }
        if ((y & 255) == 0) context->Rows(y, d->output_height);
    }
    // The pixels are complete; what follows them needs no reading.
    return true;
}

// The quality whose standard luminance table is nearest to `table`.
int NearestQuality(const std::array<std::uint16_t, 64>& table) {
    static const unsigned luma[64] = {
        16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55, 14, 13, 16, 24, 40, 57,
        69, 56, 14, 17, 22, 29, 51, 87, 80, 62, 18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64,
        81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    int best = 1;
    std::uint64_t bestDistance = ~std::uint64_t{0};
    for (int q = 1; q <= 100; ++q) {
        const unsigned scale = q < 50 ? 5000 / q : 200 - 2 * q;
        std::uint64_t distance = 0;
        for (int i = 0; i < 64; ++i) {
            const long v = std::clamp<long>((luma[i] * scale + 50) / 100, 1, 255);
            distance += static_cast<std::uint64_t>(std::labs(v - table[i]));
        }
        if (distance < bestDistance) bestDistance = distance, best = q;
    }
    return best;
}

struct JpegWrite {
    JpegErrors errors;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
};

// A JPEG of as many components is coded with the source's tables and sampling.
bool CodedAlike(const Image& image, const EncodeSettings& settings) {
    return settings.source != nullptr && settings.source->present &&
           settings.source->components == (image.channels <= 2 ? 1 : 3);
}

bool Compress(j_compress_ptr c, JpegWrite* w, const Image& image, const EncodeSettings* settings,
              std::uint8_t* rowBuffer) {
    if (setjmp(w->errors.jump)) return false;
    jpeg_create_compress(c);
    jpeg_mem_dest(c, &w->buffer, &w->size);
    const bool grey = image.channels <= 2;
    c->image_width = static_cast<JDIMENSION>(image.width);
    c->image_height = static_cast<JDIMENSION>(image.height);
    c->input_components = grey ? 1 : 3;
    c->in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(c);
    const JpegCoding* source = settings->source;
    const bool alike = CodedAlike(image, *settings);
    if (settings->quality == 0 && alike) {
        for (int t = 0; t < 4; ++t) {
            if (!source->haveTable[t]) continue;
            unsigned table[64];
            for (int i = 0; i < 64; ++i) table[i] = source->tables[t][i];
            jpeg_add_quant_table(c, t, table, 100, FALSE);
        }
        for (int i = 0; i < c->num_components; ++i) c->comp_info[i].quant_tbl_no = source->tableOf[i];
    } else {
        jpeg_set_quality(c, settings->quality > 0 ? settings->quality : kDefaultJpegQuality, TRUE);
    }
    for (int i = 0; i < c->num_components; ++i) {
        // The source's chroma sampling, turned with the picture; else full.
        const bool keep = alike;
        const int h = keep ? source->hSampling[i] : 1, v = keep ? source->vSampling[i] : 1;
        c->comp_info[i].h_samp_factor = settings->swapAxes ? v : h;
        c->comp_info[i].v_samp_factor = settings->swapAxes ? h : v;
    }
    c->optimize_coding = TRUE;
    if (source != nullptr && source->progressive) jpeg_simple_progression(c);
    jpeg_start_compress(c, TRUE);
    const int channels = image.channels;
    while (c->next_scanline < c->image_height) {
        const int y = static_cast<int>(c->next_scanline);
        const std::uint8_t* src = image.At(0, y);
        JSAMPROW row = rowBuffer;
        if (channels == 1 || channels == 3) {
            row = const_cast<JSAMPROW>(src);
        } else {  // alpha left out
            const int keep = channels - 1;
            for (int x = 0; x < image.width; ++x)
                std::memcpy(rowBuffer + static_cast<std::size_t>(x) * keep, src + static_cast<std::size_t>(x) * channels,
                            static_cast<std::size_t>(keep));
        }
        jpeg_write_scanlines(c, &row, 1);
        if (settings->progress && (y & 255) == 0) settings->progress(static_cast<double>(y) / image.height);
    }
    jpeg_finish_compress(c);
    return true;
}

}  // namespace

std::string JpegCoding::SamplingName() const {
    if (components != 3) return components == 1 ? "grey" : std::to_string(components) + " components";
    const int h = hSampling[0], v = vSampling[0];
    if (hSampling[1] != hSampling[2] || vSampling[1] != vSampling[2] || hSampling[1] != 1 || vSampling[1] != 1)
        return "mixed sampling";
    if (h == 1 && v == 1) return "4:4:4";
    if (h == 2 && v == 1) return "4:2:2";
    if (h == 1 && v == 2) return "4:4:0";
    if (h == 2 && v == 2) return "4:2:0";
    if (h == 4 && v == 1) return "4:1:1";
    return std::to_string(h) + "x" + std::to_string(v);
}

std::string JpegCodingNote(const Image& image, const EncodeSettings& settings) {
    const bool alike = CodedAlike(image, settings);
    std::string sampling = image.channels <= 2 ? "grey" : "4:4:4";
    if (alike) {
        JpegCoding turned = *settings.source;
        if (settings.swapAxes) std::swap(turned.hSampling, turned.vSampling);
        sampling = turned.SamplingName();
    }
    if (settings.quality > 0) return "JPEG quality " + std::to_string(settings.quality) + ", " + sampling;
    if (alike) return "JPEG coded as its source (quality about " + std::to_string(settings.source->quality) + ", " + sampling + ")";
    return "JPEG quality " + std::to_string(kDefaultJpegQuality) + ", " + sampling;
}

bool IsJpeg(const ByteVector& b) { return b.size() >= 3 && b[0] == 0xff && b[1] == 0xd8 && b[2] == 0xff; }

bool ReadJpeg(const ByteVector& file, const DecodeContext& context, DecodedImage* out, std::string* error) {
    jpeg_decompress_struct d;
    JpegErrors e;
    d.err = jpeg_std_error(&e.base);
    e.base.error_exit = OnError;
    e.base.emit_message = OnMessage;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = OnProgress;
    JpegHeader h;
    JpegCoding coding;
    const auto failed = [&](const char* stage) {
        if (e.truncated)
            *error = std::string("truncated JPEG: the file ends ") +
                     (h.progressive || h.height == 0 ? stage
                                                     : ("after row " + std::to_string(e.rowAtFault) + " of " +
                                                        std::to_string(h.height)).c_str());
        else
            *error = "damaged JPEG: " + std::string(e.message);
        jpeg_destroy_decompress(&d);
        return false;
    };
    if (!ReadHeader(&d, file, &h, &coding, context.MemoryBudget())) return failed("inside its header");
    d.progress = &progress;
    // A progressive file keeps every coefficient until its last scan.
    const std::uint64_t coefficients =
        h.progressive ? 2 * static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.height) * h.components
                      : 0;
    if (!context.Admit("JPEG", h.width, h.height, h.channels, 8, coefficients, error)) {
        jpeg_destroy_decompress(&d);
        return false;
    }
    Image image(h.width, h.height, h.channels);
    std::vector<std::uint8_t> cmykRow(h.components == 4 ? 4 * static_cast<std::size_t>(h.width) : 0);
    if (!ReadPixels(&d, &image, cmykRow.data(), &context))
        return failed(h.progressive ? "before its last scan" : "inside its pixels");
    jpeg_destroy_decompress(&d);
    coding.quality = coding.haveTable[coding.tableOf[0] & 3] ? NearestQuality(coding.tables[coding.tableOf[0] & 3]) : 0;
    out->image = std::move(image);
    out->meta = ReadJpegMetadata(file);
    out->jpeg = coding;
    return true;
}

bool WriteJpeg(const Image& image, const ImageMetadata& meta, const EncodeSettings& settings, ByteVector* out,
               std::vector<std::string>* notes, std::string* error) {
    jpeg_compress_struct c;
    JpegWrite w;
    c.err = jpeg_std_error(&w.errors.base);
    w.errors.base.error_exit = OnError;
    w.errors.base.emit_message = OnMessage;
    std::vector<std::uint8_t> rowBuffer(3 * static_cast<std::size_t>(image.width));
    const bool ok = Compress(&c, &w, image, &settings, rowBuffer.data());
    jpeg_destroy_compress(&c);
    if (!ok || w.buffer == nullptr) {
        std::free(w.buffer);
        *error = "cannot encode JPEG: " + std::string(w.errors.message);
        return false;
    }
    const ByteVector bytes(w.buffer, w.buffer + w.size);
    std::free(w.buffer);
    *out = WithJpegMetadata(bytes, meta, notes);
    return true;
}

}  // namespace velgarde
