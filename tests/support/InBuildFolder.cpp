// Linked into every test program: it works in its build folder wherever it
// is started from, so the modules it loads by name are found there and its
// scratch files are made there, never in the folder of whoever ran it (the
// source tree, say). If the folder cannot be entered, the current one stays.
#if defined(_WIN32)
#include <direct.h>
#else
#include <unistd.h>
#endif

namespace {

[[maybe_unused]] const bool InBuildFolder = [] {
#if defined(_WIN32)
    return _chdir(VELGARDE_BUILD_DIR) == 0;
#else
    return chdir(VELGARDE_BUILD_DIR) == 0;
#endif
}();

}  // namespace
