#include "cli/Interrupt.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "cli/Files.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace velgarde {
namespace {

// Two slots so that a new path never overwrites the one a handler may be
// reading; `active` says which holds the current path (-1: none).
#if defined(_WIN32)
using PathChar = wchar_t;
#else
using PathChar = char;
#endif
constexpr std::size_t kMaxPath = 8192;
PathChar g_paths[2][kMaxPath];
std::atomic<int> g_active{-1};
std::atomic<bool> g_replacing{false}, g_replaced{false};
constexpr int kMaxChildren = 8;
std::atomic<std::intptr_t> g_children[kMaxChildren];

void EndChildren() {
    for (auto& slot : g_children) {
        const std::intptr_t child = slot.exchange(0);
        if (child == 0) continue;
#if defined(_WIN32)
        TerminateProcess(reinterpret_cast<HANDLE>(child), 1);
        WaitForSingleObject(reinterpret_cast<HANDLE>(child), 5000);
#else
        kill(static_cast<pid_t>(child), SIGKILL);
        waitpid(static_cast<pid_t>(child), nullptr, 0);
#endif
    }
}

// False when the output has already replaced the old file: the run is done.
bool RemoveTemporary() {
    if (g_replaced.load()) return false;
    EndChildren();
    const int slot = g_active.exchange(-1);
    if (slot < 0) return true;
#if defined(_WIN32)
    const bool gone = DeleteFileW(g_paths[slot]) == 0 && GetLastError() == ERROR_FILE_NOT_FOUND;
#else
    const bool gone = unlink(g_paths[slot]) != 0 && errno == ENOENT;
#endif
    // Missing while being renamed: the rename has happened.
    if (gone && g_replacing.load()) {
        g_replaced.store(true);
        return false;
    }
    return true;
}

#if defined(_WIN32)
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (!RemoveTemporary()) return TRUE;
    static const char message[] = "\nvelgarde: interrupted\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, sizeof message - 1, &written, nullptr);
    // Not ExitProcess: the main thread may hold the runtime's locks. The
    // temporary file, opened for deletion while open, goes with our handles.
    TerminateProcess(GetCurrentProcess(), event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 130 : 143);
    return TRUE;
}
#else
void OnSignal(int signal) {
    const int savedErrno = errno;
    if (!RemoveTemporary()) {
        errno = savedErrno;
        return;
    }
    static const char message[] = "\nvelgarde: interrupted\n";
    if (write(STDERR_FILENO, message, sizeof message - 1) < 0) {
        // Nothing more to say.
    }
    // Die of the same signal, so that the caller (a shell, make) sees it.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif

}  // namespace

void InstallInterruptHandlers() {
#if defined(_WIN32)
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old;
        // A signal ignored when we start (nohup, a background job) stays ignored.
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
#endif
}

void SetInterruptCleanup(const std::string& temporaryPath) {
    if (temporaryPath.empty()) {
        g_active.store(-1);
        g_replacing.store(false);
        return;
    }
    g_replacing.store(false);
    g_replaced.store(false);
    const int slot = g_active.load() == 0 ? 1 : 0;
#if defined(_WIN32)
    const std::wstring path = Widen(temporaryPath);
#else
    const std::string& path = temporaryPath;
#endif
    if (path.size() >= kMaxPath) return;
    std::memcpy(g_paths[slot], path.c_str(), (path.size() + 1) * sizeof(PathChar));
    g_active.store(slot);
}

void BeginReplacingOutput() { g_replacing.store(true); }

void AddInterruptChild(std::intptr_t process) {
    for (auto& slot : g_children) {
        std::intptr_t empty = 0;
        if (slot.compare_exchange_strong(empty, process)) return;
    }
}

void RemoveInterruptChild(std::intptr_t process) {
    for (auto& slot : g_children) {
        std::intptr_t expected = process;
        if (slot.compare_exchange_strong(expected, 0)) return;
    }
}

void OutputReplaced() {
    g_replaced.store(true);
    g_active.store(-1);
}

#if defined(_WIN32)
InterruptsHeld::InterruptsHeld() : saved_{} {}
InterruptsHeld::~InterruptsHeld() {}
#else
static_assert(sizeof(sigset_t) <= 256 && alignof(sigset_t) <= 16, "a signal mask fits");

InterruptsHeld::InterruptsHeld() : saved_{} {
    sigset_t held;
    sigemptyset(&held);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, s);
    pthread_sigmask(SIG_BLOCK, &held, reinterpret_cast<sigset_t*>(saved_));
}

InterruptsHeld::~InterruptsHeld() {
    pthread_sigmask(SIG_SETMASK, reinterpret_cast<const sigset_t*>(saved_), nullptr);
}
#endif

}  // namespace velgarde
