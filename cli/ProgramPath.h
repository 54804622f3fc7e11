// Finding a program the tool runs (ffmpeg, ffprobe): named on the command
// line, beside the tool itself, or on PATH, in that order. On Windows the
// name gets ".exe" and PATH is split at ';', elsewhere at ':'.
#pragma once

#include <string>
#include <vector>

namespace velgarde {

// `given`: a program path, or a folder holding the program (--ffmpeg);
// empty to look beside the tool and on PATH. The places looked at, in
// order, are added to `looked` for the message when nothing was found.
std::string FindProgram(const std::string& name, const std::string& given, std::vector<std::string>* looked);

// The same with the tool's folder and PATH given, for tests.
std::string FindProgramIn(const std::string& name, const std::string& given, const std::string& toolFolder,
                          const std::string& pathVariable, std::vector<std::string>* looked);

// The folder of the running executable, with a trailing separator.
std::string ToolFolder();

}  // namespace velgarde
