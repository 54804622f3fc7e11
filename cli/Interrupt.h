// Ctrl-C, SIGTERM, SIGHUP (and on Windows Ctrl-C, Ctrl-Break and closing the
// console): the unfinished output's temporary file is removed and the process
// ends as interrupted, with the status shells expect (130 for an interrupt,
// 143 for a termination; 128 + the signal number in general). Once the
// output has replaced the old file the run is done, and a signal no longer
// says otherwise: it is ignored and the run ends as it would have.
#pragma once

#include <cstdint>
#include <string>

namespace velgarde {

// Once, from main.
void InstallInterruptHandlers();
// The temporary file to remove if the process is interrupted now; empty
// clears it. One file at a time.
void SetInterruptCleanup(const std::string& temporaryPath);
// Around the rename of the temporary file over the output: before it, and
// once it has succeeded (the cleanup is then cleared too).
void BeginReplacingOutput();
void OutputReplaced();
// Programs started by the tool (a process id; on Windows a process handle)
// that an interrupt ends, and waits for, before the temporary file goes, so
// that none of them writes it again or outlives the tool. Up to eight.
void AddInterruptChild(std::intptr_t process);
void RemoveInterruptChild(std::intptr_t process);

// Holds the interrupt signals back on this thread while it lives, so that a
// file and the note to remove it come into being together (POSIX; Windows
// handles console events on a thread of its own and is not held).
class InterruptsHeld {
public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    alignas(16) unsigned char saved_[256];  // the previous signal mask
};

}  // namespace velgarde
