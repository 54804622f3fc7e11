#include "cli/ChildProcess.h"

#include <cerrno>
#include <cstring>

#include "cli/Files.h"
#include "cli/Interrupt.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#endif

namespace velgarde {
namespace {

constexpr std::size_t kMaxMessages = 64 * 1024;

}  // namespace

void ChildProcess::CollectMessages(std::FILE* err) {
    reader_ = std::thread([this, err] {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, err)) > 0)
            if (messages_.size() < kMaxMessages)
                messages_.append(buffer, std::min(n, kMaxMessages - messages_.size()));
        std::fclose(err);
    });
}

void ChildProcess::CloseStdin() {
    if (stdin_ != nullptr) std::fclose(stdin_);
    stdin_ = nullptr;
}

void ChildProcess::CloseStdout() {
    if (stdout_ != nullptr) std::fclose(stdout_);
    stdout_ = nullptr;
}

ChildProcess::~ChildProcess() {
    if (Running()) Kill();
    Wait();
}

std::string LastMessageLine(const std::string& messages, const std::string& fallback) {
    // The libraries' own lines ("[mp4 @ 0x55d0c8] flac in MP4 ...") say what
    // went wrong; the program's closing lines only that it did.
    std::string last, tagged;
    std::size_t at = 0;
    while (at < messages.size()) {
        std::size_t end = messages.find_first_of("\r\n", at);
        if (end == std::string::npos) end = messages.size();
        std::string line = messages.substr(at, end - at);
        at = end + 1;
        bool isTagged = false;
        if (!line.empty() && line[0] == '[') {
            const auto close = line.find("] ");
            if (close != std::string::npos) {
                line = line.substr(close + 2);
                isTagged = true;
            }
        }
        while (!line.empty() && (line.back() == ' ' || line.back() == '.' || line.back() == '-')) line.pop_back();
        if (line.empty()) continue;
        last = line;
        if (isTagged) tagged = line;
    }
    if (!tagged.empty()) return tagged;
    return last.empty() ? fallback : last;
}

#if defined(_WIN32)

namespace {

// One job for every child: it ends them all when the tool's last handle to
// it closes, that is when the tool ends, however it ends.
HANDLE ChildJob() {
    static HANDLE job = [] {
        HANDLE j = CreateJobObjectW(nullptr, nullptr);
        if (j != nullptr) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            SetInformationJobObject(j, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
        return j;
    }();
    return job;
}

// One argument as the C runtime splits a command line again: quoted, with
// backslashes doubled where they precede a quote.
std::wstring Quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

std::FILE* Wrap(HANDLE handle, bool write) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), (write ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    return _fdopen(fd, write ? "wb" : "rb");
}

}  // namespace

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args, bool pipeStdin,
                         bool pipeStdout, std::string* error) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr, errRead = nullptr,
           errWrite = nullptr;
    const HANDLE null = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherit, OPEN_EXISTING, 0, nullptr);
    bool ok = CreatePipe(&errRead, &errWrite, &inherit, 0) &&
              (!pipeStdin || CreatePipe(&inRead, &inWrite, &inherit, 1 << 20)) &&
              (!pipeStdout || CreatePipe(&outRead, &outWrite, &inherit, 1 << 20));
    // Our ends stay ours: a second child must not hold them open.
    for (HANDLE h : {inWrite, outRead, errRead})
        if (h != nullptr) SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = pipeStdin ? inRead : null;
    startup.hStdOutput = pipeStdout ? outWrite : null;
    startup.hStdError = errWrite;
    std::wstring commandLine = Quoted(Widen(program));
    for (const auto& a : args) commandLine += L" " + Quoted(Widen(a));
    PROCESS_INFORMATION info{};
    ok = ok && CreateProcessW(Widen(program).c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                              CREATE_NEW_PROCESS_GROUP | CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                              nullptr, &startup, &info);
    const DWORD failure = GetLastError();
    for (HANDLE h : {inRead, outWrite, errWrite, null})
        if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!ok) {
        for (HANDLE h : {inWrite, outRead, errRead})
            if (h != nullptr) CloseHandle(h);
        *error = "cannot start " + program + " (Windows error " + std::to_string(failure) + ")";
        return false;
    }
    if (ChildJob() != nullptr) AssignProcessToJobObject(ChildJob(), info.hProcess);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    AddInterruptChild(reinterpret_cast<std::intptr_t>(process_));
    if (inWrite != nullptr) stdin_ = Wrap(inWrite, true);
    if (outRead != nullptr) stdout_ = Wrap(outRead, false);
    CollectMessages(Wrap(errRead, false));
    return true;
}

bool ChildProcess::Running() const {
    return process_ != nullptr && WaitForSingleObject(static_cast<HANDLE>(process_), 0) == WAIT_TIMEOUT;
}

void ChildProcess::Kill() {
    if (process_ != nullptr) TerminateProcess(static_cast<HANDLE>(process_), 1);
}

int ChildProcess::Wait() {
    CloseStdin();
    CloseStdout();
    if (process_ != nullptr) {
        WaitForSingleObject(static_cast<HANDLE>(process_), INFINITE);
        DWORD code = 1;
        GetExitCodeProcess(static_cast<HANDLE>(process_), &code);
        status_ = static_cast<int>(code);
        RemoveInterruptChild(reinterpret_cast<std::intptr_t>(process_));
        CloseHandle(static_cast<HANDLE>(process_));
        process_ = nullptr;
    }
    if (reader_.joinable()) reader_.join();
    return status_;
}

#else

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args, bool pipeStdin,
                         bool pipeStdout, std::string* error) {
    // Everything the child needs is made before fork: between fork and exec
    // it may only make async-signal-safe calls, as other threads exist.
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    const auto closeAll = [&] {
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            if (fd >= 0) close(fd);
    };
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0 || pipe2(err, O_CLOEXEC) != 0 || (pipeStdin && pipe2(in, O_CLOEXEC) != 0) ||
        (pipeStdout && pipe2(out, O_CLOEXEC) != 0)) {
        *error = "cannot start " + program + ": " + ErrnoText();
        closeAll();
        if (null >= 0) close(null);
        return false;
    }
    const int passed = passed_ != nullptr ? fileno(passed_) : -1;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
#if defined(__linux__)
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
#endif
        (void)parent;
        setpgid(0, 0);  // the terminal's Ctrl-C reaches the tool, which ends us
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        signal(SIGXFSZ, SIG_DFL);
        dup2(pipeStdin ? in[0] : null, 0);
        dup2(pipeStdout ? out[1] : null, 1);
        dup2(err[1], 2);
        if (passed >= 0) {
            if (passed == 3)
                fcntl(3, F_SETFD, 0);  // dup2 onto itself would keep close-on-exec
            else
                dup2(passed, 3);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    const int saved = errno;
    close(null);
    for (int* fd : {&in[0], &out[1], &err[1]}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
    if (pid < 0) {
        errno = saved;
        *error = "cannot start " + program + ": " + ErrnoText();
        closeAll();
        return false;
    }
    pid_ = pid;
    AddInterruptChild(pid);
    if (pipeStdin) stdin_ = fdopen(in[1], "wb");
    if (pipeStdout) stdout_ = fdopen(out[0], "rb");
    CollectMessages(fdopen(err[0], "rb"));
    return true;
}

bool ChildProcess::Running() const { return pid_ > 0; }

void ChildProcess::Kill() {
    if (pid_ > 0) kill(pid_, SIGKILL);
}

int ChildProcess::Wait() {
    CloseStdin();
    CloseStdout();
    if (pid_ > 0) {
        int raw = 0;
        pid_t r;
        while ((r = waitpid(pid_, &raw, 0)) < 0 && errno == EINTR) {
        }
        status_ = r < 0 ? 127 : WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        RemoveInterruptChild(pid_);
        pid_ = -1;
    }
    if (reader_.joinable()) reader_.join();
    return status_;
}

#endif

}  // namespace velgarde
