// The output is never lost or left half-written, under real faults: a
// file-size limit, a damaged or unreadable input, a folder in the way of the
// rename, killed and concurrent runs, write-protected files, terminals.
#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "cli/Files.h"
#include "cli/Interrupt.h"
#include "cli/TemporaryNames.h"
#include "tests/cli/CliImages.h"

namespace velgarde {
namespace {

using test::Bytes;

const std::string kExe = VELGARDE_EXE;
constexpr uid_t kNobody = 65534;

struct Result {
    int status = -1;  // the exit status, or 128 + the signal
    std::string err;
};

struct Child {
    std::vector<std::string> args;
    int in = -1, out = -1;  // -1: /dev/null
    rlim_t fileSizeLimit = RLIM_INFINITY;
    bool asNobody = false;  // an ordinary user, when the tests run as root
};

class OutputSafety : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::string(VELGARDE_BUILD_DIR) + "/cli_output_safety.tmp/" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_EQ(std::system(("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'").c_str()), 0);
        chmod(dir_.c_str(), 0777);
    }
    std::string P(const std::string& name) const { return dir_ + "/" + name; }
    Bytes Read(const std::string& name) const { return test::ReadFile(P(name)); }

    pid_t Start(const Child& c) {
        const std::string err = P("stderr.txt");
        const pid_t pid = fork();
        if (pid != 0) return pid;
        const int null = open("/dev/null", O_RDWR);
        dup2(c.in >= 0 ? c.in : null, 0);
        dup2(c.out >= 0 ? c.out : null, 1);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        dup2(e, 2);
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        const rlimit limit{c.fileSizeLimit, c.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        if (c.asNobody && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(126);
        std::vector<char*> argv{const_cast<char*>(kExe.c_str())};
        for (const auto& a : c.args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(kExe.c_str(), argv.data());
        _exit(127);
    }
    Result Wait(pid_t pid) {
        int raw = 0;
        waitpid(pid, &raw, 0);
        const Bytes err = Read("stderr.txt");
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), std::string(err.begin(), err.end())};
    }
    Result Run(const Child& c) { return Wait(Start(c)); }

    // When the tests run as root: whether the ordinary user reaches the tool
    // and the scratch folder (a build inside a private home does not).
    bool NobodyCanRun() const {
        if (geteuid() != 0) return true;
        const pid_t pid = fork();
        if (pid == 0)
            _exit(setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0 &&
                          access(kExe.c_str(), X_OK) == 0 && access(dir_.c_str(), W_OK | X_OK) == 0
                      ? 0
                      : 1);
        int raw = 0;
        waitpid(pid, &raw, 0);
        return WIFEXITED(raw) && WEXITSTATUS(raw) == 0;
    }

    // Waits for a paused run's temporary file to appear.
    std::vector<std::string> AwaitTemporaries(std::size_t count) {
        std::vector<std::string> found;
        for (int i = 0; i < 1000 && (found = TemporariesIn(dir_)).size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return found;
    }
    static void Age(const std::string& path) {
        const timeval old[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
        ASSERT_EQ(utimes(path.c_str(), old), 0);
    }

    std::string dir_;
};

// A stream written into a fifo: the run waits on it until the test feeds it.
struct Fifo {
    std::string path;
    int fd = -1;
    explicit Fifo(const std::string& p) : path(p) { mkfifo(path.c_str(), 0666); }
    void Open() { fd = open(path.c_str(), O_WRONLY); }
    void Write(const Bytes& b) { EXPECT_EQ(write(fd, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
    void Close() { close(fd); }
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(OutputSafety, InPlaceReplacesTheOriginalOnlyAfterACompleteRun) {
    const Bytes in = test::MakeStream("YUV4MPEG2 W32 H16 C420jpeg", 30);
    const std::size_t frame = 6 + 32 * 16 * 3 / 2, header = 27;
    // One flipped bit in frame 11's marker, in the only copy.
    Bytes damaged = in;
    damaged[header + 10 * frame] ^= 0x04;
    ASSERT_TRUE(test::WriteFile(P("clip.y4m"), damaged));
    Result r = Run({{"--in-place", P("clip.y4m"), P("clip.y4m")}});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "frame 11: missing FRAME marker; nothing written: --in-place leaves it as it was"))
        << r.err;
    EXPECT_EQ(Read("clip.y4m"), damaged);
    // A frame limit would cut it.
    ASSERT_TRUE(test::WriteFile(P("clip.y4m"), in));
    r = Run({{"--in-place", "--frames", "10", P("clip.y4m"), P("clip.y4m")}});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(Read("clip.y4m"), in);
    // Whole: replaced, all 30 frames.
    r = Run({{"-q", "--in-place", P("clip.y4m"), P("clip.y4m")}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ParseStream(Read("clip.y4m")).frames.size(), 30u);
    EXPECT_NE(Read("clip.y4m"), in);
    EXPECT_TRUE(TemporariesIn(dir_).empty());
}

TEST_F(OutputSafety, AReadErrorIsAnErrorAndLeavesTheOutputAsItWas) {
    // A pipe left non-blocking by whoever shares it: the read fails with
    // EAGAIN in the middle of the stream, although more data would come.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    const Bytes in = test::MakeStream("YUV4MPEG2 W32 H16 C420jpeg", 3);
    ASSERT_EQ(write(fds[1], in.data(), in.size() - 100), static_cast<ssize_t>(in.size() - 100));
    ASSERT_TRUE(test::WriteFile(P("out.y4m"), {'o', 'l', 'd'}));
    const Result r = Run({{"-q", "-", P("out.y4m")}, fds[0]});
    close(fds[0]);
    close(fds[1]);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "stdin: frame 3: read failed: Resource temporarily unavailable")) << r.err;
    EXPECT_EQ(Read("out.y4m"), (Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(TemporariesIn(dir_).empty());
}

TEST_F(OutputSafety, EveryFailureAfterTheTemporaryFileExistsLeavesNothingBehind) {
    const Bytes old{'o', 'l', 'd'};
    ASSERT_TRUE(test::WriteFile(P("big.y4m"), test::MakeStream("YUV4MPEG2 W320 H240 C420jpeg", 20)));
    ASSERT_TRUE(test::WriteFile(P("in.png"), test::DemoPng()));
    struct Case {
        const char* what;
        std::string input, output;
        rlim_t limit;
    } cases[] = {
        // Frames beyond the stdio buffer: a write fails.
        {"write", P("big.y4m"), P("out.y4m"), 300000},
        // A picture that fits in the buffer: the flush at the end fails.
        {"flush", P("in.png"), P("out.png"), 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(test::WriteFile(c.output, old));
        const Result r = Run({{"-q", c.input, c.output}, -1, -1, c.limit});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(Contains(r.err, "write failed: File too large")) << r.err;
        EXPECT_EQ(test::ReadFile(c.output), old);
        EXPECT_TRUE(TemporariesIn(dir_).empty());
    }
    // The rename: a folder takes the output's place while the run waits for input.
    Fifo fifo(P("in.fifo"));
    const pid_t pid = Start({{"-q", fifo.path, P("out.y4m")}});
    fifo.Open();
    fifo.Write(test::MakeStream("YUV4MPEG2 W32 H16 C420jpeg", 2));
    ASSERT_EQ(AwaitTemporaries(1).size(), 1u);
    ASSERT_EQ(unlink(P("out.y4m").c_str()), 0);
    ASSERT_EQ(mkdir(P("out.y4m").c_str(), 0755), 0);
    ASSERT_TRUE(test::WriteFile(P("out.y4m/keep"), old));
    fifo.Close();
    const Result r = Wait(pid);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "cannot replace it: ")) << r.err;
    EXPECT_EQ(Read("out.y4m/keep"), old);
    EXPECT_TRUE(TemporariesIn(dir_).empty());
}

TEST_F(OutputSafety, TemporaryNamesAreFreshFitLongNamesAndNeverFollowALink) {
    const std::string longName(250, 'n');
    const std::string a = NewTemporaryPath(P(longName + ".y4m")), b = NewTemporaryPath(P(longName + ".y4m"));
    EXPECT_NE(a, b);
    const std::string name = a.substr(a.rfind('/') + 1);
    EXPECT_LE(name.size(), 255u);
    EXPECT_TRUE(IsTemporaryName(name)) << name;
    EXPECT_FALSE(IsTemporaryName("clip.y4m.velgarde-abc.tmp"));
    EXPECT_FALSE(IsTemporaryName("clip.y4m.12345.tmp"));
    // A link placed at the name is refused, and its target left alone.
    ASSERT_TRUE(test::WriteFile(P("victim"), {'v'}));
    ASSERT_EQ(symlink("victim", a.c_str()), 0);
    errno = 0;
    EXPECT_EQ(CreateNewFile(a, 0666), nullptr);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(Read("victim"), (Bytes{'v'}));
    unlink(a.c_str());
    // A 250-character output name works.
    ASSERT_TRUE(test::WriteFile(P("in.y4m"), test::MakeStream("YUV4MPEG2 W32 H16", 1)));
    const Result r = Run({{"-q", P("in.y4m"), P(longName)}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ParseStream(Read(longName)).frames.size(), 1u);
}

TEST_F(OutputSafety, LeftoversOfKilledRunsAreRemovedAndLiveRunsLeftAlone) {
    const Bytes stream = test::MakeStream("YUV4MPEG2 W32 H16 C420jpeg", 2);
    // A live run that has not written for an hour.
    Fifo liveInput(P("live.fifo"));
    const pid_t live = Start({{"-q", liveInput.path, P("live.y4m")}});
    liveInput.Open();
    liveInput.Write(Bytes(stream.begin(), stream.begin() + 100));
    const auto first = AwaitTemporaries(1);
    ASSERT_EQ(first.size(), 1u);
    const std::string liveTemporary = first[0];
    Age(liveTemporary);
    // A run killed where it cannot clean up.
    Fifo killedInput(P("killed.fifo"));
    const pid_t killed = Start({{"-q", killedInput.path, P("killed.y4m")}});
    killedInput.Open();
    killedInput.Write(stream);
    std::string leftover;
    for (const auto& t : AwaitTemporaries(2))
        if (t != liveTemporary) leftover = t;
    ASSERT_FALSE(leftover.empty());
    kill(killed, SIGKILL);
    EXPECT_EQ(Wait(killed).status, 128 + SIGKILL);
    killedInput.Close();
    Age(leftover);
    // And a file just created.
    const std::string young = P("young.y4m.velgarde-AAAAAAAAAAAA.tmp");
    ASSERT_TRUE(test::WriteFile(young, {'y'}));
    // Another user's: named for the user to remove, not removed.
    const std::string others = P("others.y4m.velgarde-BBBBBBBBBBBB.tmp");
    ASSERT_TRUE(test::WriteFile(others, {'o'}));
    Age(others);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(others.c_str(), kNobody, kNobody), 0);
    }

    ASSERT_TRUE(test::WriteFile(P("in.y4m"), stream));
    // The next run in the folder.
    const Result r = Run({{P("in.y4m"), P("next.y4m")}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "removed 1 temporary file left by interrupted runs")) << r.err;
    EXPECT_FALSE(test::FileExists(leftover));
    EXPECT_TRUE(test::FileExists(liveTemporary));
    EXPECT_TRUE(test::FileExists(young));
    if (root) {
        EXPECT_TRUE(test::FileExists(others));
        EXPECT_TRUE(Contains(r.err, others + ": left by an interrupted run (1 KiB); not ours to remove")) << r.err;
    }

    liveInput.Write(Bytes(stream.begin() + 100, stream.end()));
    liveInput.Close();
    const Result liveResult = Wait(live);
    EXPECT_EQ(liveResult.status, 0) << liveResult.err;
    EXPECT_EQ(test::ParseStream(Read("live.y4m")).frames.size(), 2u);
}

TEST_F(OutputSafety, TwoRunsOnOneOutputNeverMix) {
    const Bytes stream = test::MakeStream("YUV4MPEG2 W64 H32 C420jpeg", 4);
    ASSERT_TRUE(test::WriteFile(P("in.y4m"), stream));
    ASSERT_EQ(Run({{"-q", "--amount-plus", "0", P("in.y4m"), P("a.y4m")}}).status, 0);
    ASSERT_EQ(Run({{"-q", "--amount-plus", "300", P("in.y4m"), P("b.y4m")}}).status, 0);
    Fifo first(P("1.fifo")), second(P("2.fifo"));
    const pid_t a = Start({{"-q", "--amount-plus", "0", first.path, P("out.y4m")}});
    first.Open();
    const pid_t b = Start({{"-q", "--amount-plus", "300", second.path, P("out.y4m")}});
    second.Open();
    // Frames of both runs interleaved in time, into one output.
    const std::size_t half = stream.size() / 2;
    first.Write(Bytes(stream.begin(), stream.begin() + half));
    second.Write(Bytes(stream.begin(), stream.begin() + half));
    ASSERT_EQ(AwaitTemporaries(2).size(), 2u);
    second.Write(Bytes(stream.begin() + half, stream.end()));
    first.Write(Bytes(stream.begin() + half, stream.end()));
    second.Close();
    EXPECT_EQ(Wait(b).status, 0);
    first.Close();
    EXPECT_EQ(Wait(a).status, 0);
    EXPECT_EQ(Read("out.y4m"), Read("a.y4m"));  // the last to finish
    EXPECT_TRUE(TemporariesIn(dir_).empty());
}

// In a child, as the handlers end the process.
int SignalledChild(const std::string& temporary, bool renamed, bool finished) {
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGTERM, SIG_DFL);
        InstallInterruptHandlers();
        SetInterruptCleanup(temporary);
        BeginReplacingOutput();
        if (renamed) unlink(temporary.c_str());
        if (finished) OutputReplaced();
        raise(SIGTERM);
        _exit(0);
    }
    int raw = 0;
    waitpid(pid, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

TEST_F(OutputSafety, ASignalAfterTheOutputWasReplacedIsNoInterrupt) {
    const std::string temporary = P("out.velgarde-AAAAAAAAAAAA.tmp");
    ASSERT_TRUE(test::WriteFile(temporary, {'t'}));
    // Before the rename: interrupted, and the temporary file goes.
    EXPECT_EQ(SignalledChild(temporary, false, false), 128 + SIGTERM);
    EXPECT_FALSE(test::FileExists(temporary));
    // Renamed, but not yet marked, and marked: the run ends normally.
    ASSERT_TRUE(test::WriteFile(temporary, {'t'}));
    EXPECT_EQ(SignalledChild(temporary, true, false), 0);
    EXPECT_EQ(SignalledChild(temporary, true, true), 0);
}

TEST_F(OutputSafety, AnExistingOutputKeepsItsAclAndAttributesAndSplitLinksAreSaid) {
    ASSERT_TRUE(test::WriteFile(P("in.y4m"), test::MakeStream("YUV4MPEG2 W32 H16", 1)));
    ASSERT_TRUE(test::WriteFile(P("out.y4m"), {'o', 'l', 'd'}));
    ASSERT_EQ(chmod(P("out.y4m").c_str(), 0640), 0);
    // user::rw- user:nobody:rw- group::r-- mask::rw- other::---, as setfacl stores it.
    const std::uint32_t acl[] = {2, 0x0001 | (6u << 16), 0xffffffff, 0x0002 | (6u << 16), kNobody,
                                 0x0004 | (4u << 16), 0xffffffff, 0x0010 | (6u << 16), 0xffffffff,
                                 0x0020 | (0u << 16), 0xffffffff};
    if (setxattr(P("out.y4m").c_str(), "user.origin", "camera", 6, 0) != 0 ||
        setxattr(P("out.y4m").c_str(), "system.posix_acl_access", acl, sizeof acl, 0) != 0)
        GTEST_SKIP() << "this file system keeps no extended attributes or ACLs: " << std::strerror(errno);
    struct stat before, after;
    ASSERT_EQ(stat(P("out.y4m").c_str(), &before), 0);
    ASSERT_EQ(link(P("out.y4m").c_str(), P("other-name.y4m").c_str()), 0);
    const Result r = Run({{"-q", P("in.y4m"), P("out.y4m")}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "was one of 2 hard links to a file; this name now has the new content")) << r.err;
    EXPECT_EQ(Read("other-name.y4m"), (Bytes{'o', 'l', 'd'}));
    ASSERT_EQ(stat(P("out.y4m").c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    char value[64] = {};
    EXPECT_EQ(getxattr(P("out.y4m").c_str(), "user.origin", value, sizeof value), 6);
    EXPECT_STREQ(value, "camera");
    std::uint32_t kept[16] = {};
    ASSERT_EQ(getxattr(P("out.y4m").c_str(), "system.posix_acl_access", kept, sizeof kept),
              static_cast<ssize_t>(sizeof acl));
    EXPECT_EQ(std::memcmp(kept, acl, sizeof acl), 0);
}

TEST_F(OutputSafety, WriteProtectedFilesAndReadOnlyFoldersAreRefused) {
    if (!NobodyCanRun())
        GTEST_SKIP() << "user " << kNobody << " cannot reach " << kExe << " and " << dir_
                     << ": the refusals of write-protected files and read-only folders need an ordinary user";
    ASSERT_TRUE(test::WriteFile(P("in.y4m"), test::MakeStream("YUV4MPEG2 W32 H16", 1)));
    const bool root = geteuid() == 0;
    const auto own = [&](const std::string& path) {
        if (root) {
            ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
        }
    };
    const Bytes old{'o', 'l', 'd'};
    ASSERT_TRUE(test::WriteFile(P("protected.y4m"), old));
    own(P("protected.y4m"));
    chmod(P("protected.y4m").c_str(), 0444);
    Result r = Run({{P("in.y4m"), P("protected.y4m")}, -1, -1, RLIM_INFINITY, true});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "protected.y4m: is write-protected; give --force to replace it")) << r.err;
    EXPECT_EQ(Read("protected.y4m"), old);
    r = Run({{"-q", "--force", P("in.y4m"), P("protected.y4m")}, -1, -1, RLIM_INFINITY, true});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ParseStream(Read("protected.y4m")).frames.size(), 1u);
    struct stat st;
    ASSERT_EQ(stat(P("protected.y4m").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    // A video file, written by ffmpeg, is refused the same way, before ffmpeg runs.
    ASSERT_TRUE(test::WriteFile(P("protected.mkv"), old));
    own(P("protected.mkv"));
    chmod(P("protected.mkv").c_str(), 0444);
    r = Run({{P("in.y4m"), P("protected.mkv")}, -1, -1, RLIM_INFINITY, true});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "protected.mkv: is write-protected; give --force to replace it")) << r.err;
    EXPECT_EQ(Read("protected.mkv"), old);
    EXPECT_TRUE(TemporariesIn(dir_).empty());

    // A writable file in a folder that is not: the folder is named.
    mkdir(P("locked").c_str(), 0755);
    ASSERT_TRUE(test::WriteFile(P("locked/out.y4m"), old));
    own(P("locked/out.y4m"));
    chmod(P("locked/out.y4m").c_str(), 0666);
    own(P("locked"));
    chmod(P("locked").c_str(), 0555);
    r = Run({{P("in.y4m"), P("locked/out.y4m")}, -1, -1, RLIM_INFINITY, true});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "cannot create: Permission denied in its folder " + P("locked") + " ")) << r.err;
    EXPECT_EQ(Read("locked/out.y4m"), old);
}

TEST_F(OutputSafety, StdoutOnATerminalOrIntoTheInputIsRefusedAndAClosedPipeIs141) {
    const Bytes in = test::MakeStream("YUV4MPEG2 W32 H16", 2);
    ASSERT_TRUE(test::WriteFile(P("in.y4m"), in));
    const int appended = open(P("in.y4m").c_str(), O_WRONLY | O_APPEND);
    Result r = Run({{P("in.y4m"), "-"}, -1, appended});
    close(appended);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "stdout: is the input file " + P("in.y4m"))) << r.err;
    EXPECT_EQ(Read("in.y4m"), in);
    // Nobody reads the pipe any more.
    ASSERT_TRUE(test::WriteFile(P("in.png"), test::DemoPng()));
    for (const char* input : {"in.png", "in.y4m"}) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        close(fds[0]);
        r = Run({{P(input), "-"}, -1, fds[1]});
        close(fds[1]);
        EXPECT_EQ(r.status, 141) << input << ": " << r.err;
        EXPECT_TRUE(Contains(r.err, "stdout: the program reading it closed the pipe")) << r.err;
    }
    // stdout on a terminal.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) GTEST_SKIP() << "no pseudo-terminal here: " << std::strerror(errno);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    // A stream, a picture, a video's frames: none reaches it.
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i testsrc2=size=32x16 -frames:v 2 -c:v ffv1 '" + P("in.mkv") +
                           "'").c_str()), 0);
    for (const char* input : {"in.y4m", "in.png", "in.mkv"}) {
        r = Run({{P(input), "-"}, -1, terminal});
        EXPECT_EQ(r.status, 1) << input << ": " << r.err;
        EXPECT_TRUE(Contains(r.err, "stdout: is a terminal, and picture or stream bytes are not written to one; "
                                    "redirect it")) << r.err;
    }
    fcntl(master, F_SETFL, O_NONBLOCK);
    char byte;
    EXPECT_LE(read(master, &byte, 1), 0);  // nothing reached it
    close(terminal);
    close(master);
}

}  // namespace
}  // namespace velgarde
