// stb's image reader and writer, for the tests only: the decoder velgarde
// used before its hardened readers, which they must equal on valid files,
// and an independent encoder of test pictures. Warnings their code raises
// under this project's flags are silenced; StbImpl.cpp compiles them.
#pragma once

#define STBI_NO_STDIO
#define STBI_WRITE_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_image.h>
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
