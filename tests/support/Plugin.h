// The plug-in as the tests meet it: the boundary's result values, the module
// files under test and a host opened on one of them.
#pragma once

#include <cstdint>
#include <string>

#include "host/EmulatedHost.h"
#include "tests/support/Model.h"

namespace velgarde_test {

// What the callbacks return: the host takes -1 as success.
constexpr std::int32_t Success = -1;
constexpr std::int32_t Failure = 0;

// File names in the build folder: the plug-in, and its test build with the
// allocation fault switch.
const char* TarnwickModule();
const char* TarnwickTestModule();

// Opens the host on a module; "" on success, else the host's error.
std::string Open(velgarde::EmulatedHost& host, const std::string& module, int threads);
void SetTracks(velgarde::EmulatedHost& host, const Tracks& tracks);
// "WxH pitch M tracks a b c d e", for failure messages.
std::string Describe(const GuardedFrame& frame, const Tracks& tracks);

}  // namespace velgarde_test
