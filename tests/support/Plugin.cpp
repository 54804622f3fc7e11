#include "tests/support/Plugin.h"

namespace velgarde_test {

const char* TarnwickModule() { return TARNWICK_MODULE; }

const char* TarnwickTestModule() {
#if defined(TARNWICK_TEST_MODULE)
    return TARNWICK_TEST_MODULE;
#else
    return "";
#endif
}

std::string Open(velgarde::EmulatedHost& host, const std::string& module, int threads) {
    std::string error;
    return host.Open(module, threads, &error) ? "" : error.empty() ? "Open failed" : error;
}

void SetTracks(velgarde::EmulatedHost& host, const Tracks& tracks) {
    for (int i = 0; i < TrackCount; ++i) host.SetTrack(i, tracks.Value[i]);
}

std::string Describe(const GuardedFrame& frame, const Tracks& tracks) {
    return std::to_string(frame.Width) + "x" + std::to_string(frame.Height) + " pitch " +
           std::to_string(frame.MaxWidth) + " " + Describe(tracks);
}

}  // namespace velgarde_test
