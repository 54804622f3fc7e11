// GIF through giflib: the first image, on the logical screen, as RGBA.
// Pixels the image leaves out and its transparent colour are (0, 0, 0, 0),
// as stb_image gives them; its one difference is for screens with a
// background colour, which it fills with that colour's channels swapped.
#include <cstring>

#include <gif_lib.h>

#include "cli/ImageCodecs.h"

namespace velgarde {
namespace {

struct GifInput {
    const ByteVector* file;
    std::size_t at = 0;
    bool ranOut = false;
};

int ReadInput(GifFileType* gif, GifByteType* buffer, int count) {
    auto* in = static_cast<GifInput*>(gif->UserData);
    const std::size_t left = in->file->size() - in->at;
    std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    if (n > left) {
        n = left;
        in->ranOut = true;
    }
    if (n > 0) std::memcpy(buffer, in->file->data() + in->at, n);
    in->at += n;
    return static_cast<int>(n);
}

struct GifCloser {
    GifFileType* gif;
    ~GifCloser() {
        int ignored = 0;
        if (gif != nullptr) DGifCloseFile(gif, &ignored);
    }
};

}  // namespace

bool IsGif(const ByteVector& b) { return b.size() >= 6 && std::memcmp(b.data(), "GIF8", 4) == 0; }

bool ReadGif(const ByteVector& file, const DecodeContext& context, DecodedImage* out, std::string* error) {
    GifInput input{&file};
    int code = 0;
    GifCloser closer{DGifOpen(&input, ReadInput, &code)};
    GifFileType* gif = closer.gif;
    const auto fail = [&](const std::string& where) {
        const int e = gif != nullptr ? gif->Error : code;
        if (input.ranOut)
            *error = "truncated GIF: the file ends " + where;
        else
            *error = "damaged GIF: " + std::string(GifErrorString(e) ? GifErrorString(e) : "unreadable") +
                     " (" + where + ")";
        return false;
    };
    if (gif == nullptr) return fail("inside its header");
    const int w = gif->SWidth, h = gif->SHeight;
    if (w < 1 || h < 1) {
        *error = "damaged GIF: screen of " + std::to_string(w) + "x" + std::to_string(h);
        return false;
    }
    int transparent = -1;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return fail("before its first image");
        if (type == TERMINATE_RECORD_TYPE) {
            *error = "damaged GIF: it holds no image";
            return false;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int label = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &label, &block) == GIF_ERROR) return fail("inside an extension");
            if (label == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4)
                transparent = (block[1] & 1) ? block[4] : -1;
            while (block != nullptr)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return fail("inside an extension");
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) == GIF_ERROR) return fail("inside its first image's header");
        const GifImageDesc& d = gif->Image;
        if (d.Left < 0 || d.Top < 0 || d.Width < 0 || d.Height < 0 || d.Left + d.Width > w || d.Top + d.Height > h) {
            *error = "damaged GIF: its first image lies outside its screen";
            return false;
        }
        const ColorMapObject* map = d.ColorMap != nullptr ? d.ColorMap : gif->SColorMap;
        if (map == nullptr || map->Colors == nullptr) {
            *error = "damaged GIF: no colour table";
            return false;
        }
        if (!context.Admit("GIF", w, h, 4, 8, 0, error)) return false;
        Image image(w, h, 4);  // zero: transparent black
        std::vector<GifPixelType> line(static_cast<std::size_t>(d.Width) + 1);
        // Interlaced rows come in four passes.
        std::vector<int> rows;
        if (d.Interlace) {
            static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < d.Height; y += step[pass]) rows.push_back(y);
        } else {
            for (int y = 0; y < d.Height; ++y) rows.push_back(y);
        }
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (d.Width > 0 && DGifGetLine(gif, line.data(), d.Width) == GIF_ERROR) {
                if (input.ranOut) {
                    *error = d.Interlace ? "truncated GIF: the file ends inside its interlaced first image"
                                         : TruncatedMessage("GIF", i, static_cast<std::uint64_t>(d.Height));
                    return false;
                }
                return fail("row " + std::to_string(i + 1) + " of its first image");
            }
            std::uint8_t* dst = image.At(d.Left, d.Top + rows[i]);
            for (int x = 0; x < d.Width; ++x, dst += 4) {
                const int index = line[static_cast<std::size_t>(x)];
                if (index == transparent || index >= map->ColorCount) continue;
                const GifColorType& c = map->Colors[index];
                dst[0] = c.Red, dst[1] = c.Green, dst[2] = c.Blue, dst[3] = 255;
            }
            if ((i & 255) == 0) context.Rows(i, rows.size());
        }
        out->image = std::move(image);
        out->gifFrames = GifFrameCount(file);
        return true;
    }
}

}  // namespace velgarde
