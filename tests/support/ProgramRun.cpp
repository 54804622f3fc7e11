#include "tests/support/ProgramRun.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

namespace velgarde_test {
namespace {

constexpr uid_t kNobody = 65534;

void ReadAll(int fd, std::string* into) {
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) into->append(buffer, static_cast<std::size_t>(n));
}

}  // namespace

RunningProgram StartProgram(const Program& p) {
    RunningProgram running;
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    if (p.stdinFd < 0 && pipe2(in, O_CLOEXEC) != 0) return running;
    if (p.stdoutFd < 0 && pipe2(out, O_CLOEXEC) != 0) return running;
    if (p.stderrFd < 0 && pipe2(err, O_CLOEXEC) != 0) return running;
    std::vector<char*> argv;
    for (const auto& a : p.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(p.stdinFd >= 0 ? p.stdinFd : in[0], 0);
        dup2(p.stdoutFd >= 0 ? p.stdoutFd : out[1], 1);
        dup2(p.stderrFd >= 0 ? p.stderrFd : err[1], 2);
        // As from a shell: nothing ignored or blocked that the test runner had.
        for (int s : {SIGINT, SIGTERM, SIGPIPE, SIGHUP}) signal(s, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (p.fileSizeLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(p.fileSizeLimit), static_cast<rlim_t>(p.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (p.asNobody && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    for (int fd : {in[0], out[1], err[1]})
        if (fd >= 0) close(fd);
    running.pid = pid;
    running.out = out[0];
    running.err = err[0];
    if (in[1] >= 0) {
        // Fed from a thread, so that a program that writes before it has
        // read everything never blocks the test.
        std::thread([fd = in[1], input = p.input] {
            signal(SIGPIPE, SIG_IGN);
            std::size_t at = 0;
            while (at < input.size()) {
                const ssize_t n = write(fd, input.data() + at, input.size() - at);
                if (n <= 0) break;
                at += static_cast<std::size_t>(n);
            }
            close(fd);
        }).detach();
    }
    return running;
}

ProgramResult FinishProgram(RunningProgram& running) {
    ProgramResult result;
    std::thread outReader;
    if (running.out >= 0) outReader = std::thread([&] { ReadAll(running.out, &result.out); });
    if (running.err >= 0) ReadAll(running.err, &result.err);
    if (outReader.joinable()) outReader.join();
    for (int fd : {running.out, running.err})
        if (fd >= 0) close(fd);
    int raw = 0;
    if (running.pid > 0 && waitpid(running.pid, &raw, 0) == running.pid)
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    running = RunningProgram{};
    return result;
}

ProgramResult RunProgram(const Program& program) {
    RunningProgram running = StartProgram(program);
    return FinishProgram(running);
}

std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return children;
    while (const dirent* entry = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent)
            children.push_back(pid);
    }
    closedir(proc);
    return children;
}

bool ProcessExists(pid_t pid) { return kill(pid, 0) == 0 || errno != ESRCH; }

PseudoTerminal::PseudoTerminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) return;
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        (terminal = open(ptsname(master), O_RDWR | O_NOCTTY)) < 0) {
        close(master);
        master = -1;
        return;
    }
    fcntl(master, F_SETFL, O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal() {
    for (int fd : {terminal, master})
        if (fd >= 0) close(fd);
}

std::string PseudoTerminal::Read() {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while (master >= 0 && (n = read(master, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

}  // namespace velgarde_test
