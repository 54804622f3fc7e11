// The velgarde executable as a user runs it: the engine built in (a module
// only when named),
// streams on stdin and stdout, failing outputs, and what goes to stderr.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "cli/TemporaryNames.h"
#include "tests/cli/CliImages.h"
#include "tests/support/Scratch.h"

namespace velgarde {
namespace {

using test::Bytes;

const std::string kExe = VELGARDE_EXE;
// This case's own scratch folder, fresh for it (set up by the fixture).
std::string kDir;

class Exe : public ::testing::Test {
protected:
    void SetUp() override { kDir = velgarde_test::FreshScratchFolder(); }
};

struct Result {
    int status;
    std::string err;
};

// Runs a shell command line with stderr captured.
Result Shell(const std::string& command) {
    mkdir(kDir.c_str(), 0755);
    const std::string errFile = kDir + "/stderr.txt";
    const int raw = std::system((command + " 2>" + errFile).c_str());
    const Bytes err = test::ReadFile(errFile);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(err.begin(), err.end())};
}

std::string P(const std::string& name) { return kDir + "/" + name; }

TEST_F(Exe, RunsOnItsOwnAndThroughAModuleOnlyWhenNamed) {
    mkdir(kDir.c_str(), 0755);
    ASSERT_TRUE(test::WriteFile(P("in.y4m"), test::MakeStream("YUV4MPEG2 W32 H16 C420jpeg", 2)));
    // A copy of the executable alone in a folder needs no module.
    mkdir(P("alone").c_str(), 0755);
    ASSERT_TRUE(test::WriteFile(P("alone/velgarde"), test::ReadFile(kExe)));
    chmod(P("alone/velgarde").c_str(), 0755);
    Result r = Shell(P("alone/velgarde") + " -q " + P("in.y4m") + " " + P("out.y4m"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // Through the module beside the original: the same bytes.
    const std::string module = kExe.substr(0, kExe.find_last_of('/') + 1) + "Tarnwick.so";
    r = Shell(kExe + " -q --plugin " + module + " " + P("in.y4m") + " " + P("plugin.y4m"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ReadFile(P("out.y4m")), test::ReadFile(P("plugin.y4m")));
    // A module named but missing is an error that names it.
    unlink(P("out2.y4m").c_str());
    r = Shell(kExe + " --plugin " + P("alone/Tarnwick.so") + " " + P("in.y4m") + " " + P("out2.y4m"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("alone/Tarnwick.so"), std::string::npos) << r.err;
    EXPECT_FALSE(test::FileExists(P("out2.y4m")));
}

// cmake --install puts the plug-in where the installed tool looks for it.
TEST_F(Exe, InstalledToolFindsItsPlugin) {
    mkdir(kDir.c_str(), 0755);
    const std::string prefix = kDir + "/installed";
    Result r = Shell("cmake --install " + std::string(VELGARDE_BUILD_DIR) + " --prefix " + prefix + " >/dev/null");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(test::WriteFile(P("in.y4m"), test::MakeStream("YUV4MPEG2 W32 H16 C420jpeg", 2)));
    r = Shell(prefix + "/bin/velgarde -q " + P("in.y4m") + " " + P("installed.y4m"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ParseStream(test::ReadFile(P("installed.y4m"))).frames.size(), 2u);
}

TEST_F(Exe, PipesStopAfterTheLastWholeFrameOnBadInput) {
    const Bytes in = test::MakeStream("YUV4MPEG2 W32 H16 C444", 3);
    const std::size_t header = std::string("YUV4MPEG2 W32 H16 C444\n").size();
    const std::size_t frame = 6 + 3 * 32 * 16;
    ASSERT_TRUE(test::WriteFile(P("cut.y4m"), Bytes(in.begin(), in.end() - 100)));
    Result r = Shell(kExe + " -q - - <" + P("cut.y4m") + " >" + P("piped.y4m"));
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "velgarde: stdin: frame 3: truncated frame data (1436 of 1536 bytes); "
                     "the 2 good frames before it were written to stdout\n");
    const Bytes out = test::ReadFile(P("piped.y4m"));
    EXPECT_EQ(out.size(), header + 2 * frame);
    EXPECT_EQ(test::ParseStream(out).frames.size(), 2u);
    // A whole stream through the pipes.
    ASSERT_TRUE(test::WriteFile(P("in.y4m"), in));
    r = Shell("cat " + P("in.y4m") + " | " + kExe + " -q --amount-plus 0 --amount-minus 0 - - | cat >" +
              P("same.y4m"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ReadFile(P("same.y4m")), in);
    // An image on stdin becomes a PNG on stdout.
    ASSERT_TRUE(test::WriteFile(P("demo.png"), test::DemoPng()));
    r = Shell(kExe + " -q - - <" + P("demo.png") + " >" + P("demo-sharp.png"));
    EXPECT_EQ(r.status, 0) << r.err;
    const Bytes png = test::ReadFile(P("demo-sharp.png"));
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png[1], 'P');
}

TEST_F(Exe, WriteFailuresAreErrors) {
    ASSERT_TRUE(test::WriteFile(P("in.y4m"), test::MakeStream("YUV4MPEG2 W320 H240", 4)));
    Result r = Shell(kExe + " " + P("in.y4m") + " /dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "velgarde: /dev/full: write failed: No space left on device\n");
    r = Shell(kExe + " " + P("in.y4m") + " - >/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "velgarde: stdout: write failed: No space left on device\n");
    // A reader that stops early: status 141 as for SIGPIPE, and one line, not a death mid-message.
    r = Shell("bash -c '" + kExe + " " + P("in.y4m") + " - | head -c 10 >/dev/null; exit ${PIPESTATUS[0]}'");
    EXPECT_EQ(r.status, 141) << r.err;
    EXPECT_NE(r.err.find("velgarde: stdout: the program reading it closed the pipe after "), std::string::npos) << r.err;
}

TEST_F(Exe, MessagesHelpAndVersion) {
    ASSERT_TRUE(test::WriteFile(P("in.y4m"), test::MakeStream("YUV4MPEG2 W32 H16", 3)));
    // stderr is a file here: no progress line, just the summary.
    Result r = Shell(kExe + " " + P("in.y4m") + " " + P("out.y4m"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.rfind("velgarde: 3 frames, 32x16, ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    r = Shell(kExe + " --help >" + P("help.txt"));
    EXPECT_EQ(r.status, 0);
    const Bytes help = test::ReadFile(P("help.txt"));
    EXPECT_NE(std::string(help.begin(), help.end()).find("yuv4mpegpipe"), std::string::npos);
    r = Shell(kExe + " --version >" + P("version.txt"));
    EXPECT_EQ(r.status, 0);
    const Bytes version = test::ReadFile(P("version.txt"));
    EXPECT_EQ(std::string(version.begin(), version.end()).rfind("velgarde ", 0), 0u);
    r = Shell(kExe + " --threshold 1001 a b");
    EXPECT_EQ(r.status, 2);
    // A producer that wrote nothing is named as the cause.
    r = Shell("true | " + kExe + " - " + P("nothing.y4m"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("stdin: empty input: the program writing into velgarde wrote nothing"), std::string::npos)
        << r.err;
}

// Interrupted while waiting for input: the temporary file goes, and the
// process ends by the same signal, so that the shell reports 130 or 143.
TEST_F(Exe, InterruptsLeaveNoTemporaryFile) {
    mkdir(kDir.c_str(), 0755);
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        const std::string fifo = P("slow.fifo"), out = P("interrupted.y4m");
        unlink(fifo.c_str());
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(sig, SIG_DFL);  // not ignored, whatever this test inherited
            execl(kExe.c_str(), kExe.c_str(), "-q", fifo.c_str(), out.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        const int writer = open(fifo.c_str(), O_WRONLY);
        ASSERT_GE(writer, 0);
        const Bytes stream = test::MakeStream("YUV4MPEG2 W32 H16 C420jpeg", 1);
        ASSERT_EQ(write(writer, stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
        std::vector<std::string> temporaries;
        for (int i = 0; i < 500 && (temporaries = TemporariesIn(kDir)).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(temporaries.size(), 1u);
        const std::string temporary = temporaries[0];
        kill(child, sig);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        close(writer);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_FALSE(test::FileExists(temporary));
        EXPECT_FALSE(test::FileExists(out));
    }
}

}  // namespace
}  // namespace velgarde
