// Scratch folders for tests that write files: one per test case, under the
// build folder, emptied when the case asks for it, so that nothing a
// previous run (or case) left can change the result.
#pragma once

#include <string>

namespace velgarde_test {

// "<build>/test-scratch/<program>/<Suite>.<Case>", removed with whatever it
// held and made again; the running GoogleTest case names it. The path has
// no trailing separator.
std::string FreshScratchFolder();

// path/name, with the separator of the folder's own spelling.
std::string InFolder(const std::string& folder, const std::string& name);

// A whole file as bytes in a string, and back; false or empty on failure.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
std::string ReadWholeFile(const std::string& path);

}  // namespace velgarde_test
