// The one place stb's implementations are compiled. Only the three formats
// velgarde promises are decoded; stb's other decoders stay out.
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "host/velgarde/Stb.h"
