// Pictures shared by the velgarde tests that link the demo scene.
#pragma once

#include <string>

#include "cli/ImageIO.h"
#include "demo/DemoScene.h"
#include "tests/cli/CliTestUtil.h"

namespace velgarde::test {

// An image encoded as PNG (with metadata, if any).
inline Bytes PngOf(const Image& image, const ImageMetadata& meta = {}) {
    MemorySink sink;
    std::string error;
    EncodeImage(image, meta, OutputFormat::Png, 90, sink, &error);
    return sink.Bytes();
}

// The demo scene as a PNG file's bytes.
inline Bytes DemoPng() { return PngOf(DemoScene()); }

inline Image DecodeBytes(const Bytes& bytes) {
    Image image;
    std::string error;
    DecodeImage(bytes, ImageLimits{}, &image, &error);
    return image;
}

}  // namespace velgarde::test
