// The names of the temporary files an output is written under before it is
// renamed into place: "<output name>.velgarde-<12 random letters>.tmp" in the
// output's folder. Nobody can guess one in advance, and a file a killed run
// left behind (SIGKILL, out of memory, a power cut) is recognisable by name,
// so that the next run in that folder can remove it.
#pragma once

#include <string>
#include <vector>

namespace velgarde {

// A fresh name beside `outputPath`; the output's own name is shortened when
// needed so that the temporary name stays within file-name limits.
std::string NewTemporaryPath(const std::string& outputPath);
bool IsTemporaryName(const std::string& fileName);
// The temporary files of any run in `folder` (paths).
std::vector<std::string> TemporariesIn(const std::string& folder);

// How old an unused temporary file must be before it is taken for a leftover:
// a run holds its file locked (POSIX) or open (Windows), and a file it has
// just created is younger than this.
constexpr int kLeftoverSeconds = 60;

// Removes the leftovers of runs that are gone from `folder`; a file in use
// by a live run is never touched. Adds a note for what it removed, and for
// leftovers it may not remove (another user's) so that the user can.
void RemoveLeftovers(const std::string& folder, std::vector<std::string>* notes);

}  // namespace velgarde
