// Ctrl-C, SIGTERM, SIGHUP (and on Windows Ctrl-C, Ctrl-Break and closing the
// console): the unfinished output's temporary file is removed and the process
// ends as interrupted, with the status shells expect (130 for an interrupt,
// 143 for a termination; 128 + the signal number in general).
#pragma once

#include <string>

namespace velgarde {

// Once, from main.
void InstallInterruptHandlers();
// The temporary file to remove if the process is interrupted now; empty
// clears it. One file at a time.
void SetInterruptCleanup(const std::string& temporaryPath);

}  // namespace velgarde
