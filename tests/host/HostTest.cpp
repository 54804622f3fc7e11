// The host library against stand-in modules: loading errors, the table
// checks, and the order in which callbacks are driven.
#include "host/EmulatedHost.h"
#include "host/PluginModule.h"
#include "host/WorkerPool.h"
#include "tests/host/FakePlugin.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

using velgarde::EmulatedHost;
using velgarde::PluginModule;

const std::string fakePath = FAKE_PLUGIN;
const std::string noEntryPath = NO_ENTRY_MODULE;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Holds the stand-in loaded for the whole test so that its record survives
// the host's unloading, and resets the record.
class FakeHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(fake_.Load(fakePath, &error)) << error;
        auto recordOf = reinterpret_cast<FakeRecordFunc>(fake_.Symbol(FakeRecordName, &error));
        ASSERT_NE(recordOf, nullptr) << error;
        record_ = recordOf();
        std::memset(record_, 0, sizeof *record_);
    }
    std::string LogText() const { return std::string(record_->Log, static_cast<size_t>(record_->LogLength)); }

    PluginModule fake_;
    FakeRecord* record_ = nullptr;
};

TEST(PluginModule, MissingFileIsAClearOneLineError) {
    PluginModule module;
    std::string error;
    EXPECT_FALSE(module.Load("no-such-module.auf", &error));
    EXPECT_FALSE(module.IsLoaded());
    EXPECT_TRUE(Contains(error, "no-such-module.auf")) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_FALSE(module.Load("", &error));
    EXPECT_FALSE(error.empty());
}

TEST(PluginModule, AFileThatIsNotAModuleIsRefused) {
    const char* name = "host-test-not-a-module.auf";
    {
        std::ofstream out(name, std::ios::binary);
        out << "MZ but not really a module\n";
    }
    PluginModule module;
    std::string error;
    EXPECT_FALSE(module.Load(name, &error));
    EXPECT_TRUE(Contains(error, name)) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;

    EmulatedHost host;
    EXPECT_FALSE(host.Open(name, 1, &error));
    EXPECT_TRUE(Contains(error, name)) << error;
    EXPECT_FALSE(host.IsOpen());
    std::remove(name);
}

TEST(PluginModule, AModuleWithoutTheEntryIsRefusedByName) {
    PluginModule module;
    std::string error;
    ASSERT_TRUE(module.Load(noEntryPath, &error)) << error;
    EXPECT_NE(module.Symbol("SomethingElse", &error), nullptr);
    EXPECT_EQ(module.Symbol(GetFilterTableName, &error), nullptr);
    EXPECT_TRUE(Contains(error, "GetFilterTable")) << error;
    module.Unload();
    EXPECT_EQ(module.Symbol("SomethingElse", &error), nullptr);

    EmulatedHost host;
    EXPECT_FALSE(host.Open(noEntryPath, 1, &error));
    EXPECT_TRUE(Contains(error, "GetFilterTable")) << error;
    EXPECT_TRUE(Contains(error, noEntryPath)) << error;
}

TEST_F(FakeHostTest, ATableAHostCannotDriveIsRefusedBeforeFilterInit) {
    const struct {
        FakeFlaw flaw;
        const char* reason;
    } cases[] = {
        {FakeNullTable, "null"},         {FakeFourTracks, "4 track bars"},
        {FakeNoTrackNames, "names"},     {FakeNoDefaults, "defaults"},
        {FakeNoMinimums, "minimums"},    {FakeNoMaximums, "maximums"},
        {FakeNullTrackName, "track bar 2"}, {FakeNoProc, "ProcFunc"},
        {FakeNoInit, "InitFunc"},        {FakeNoExit, "ExitFunc"},
        {FakeNoUpdate, "UpdateFunc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        record_->Flaw = c.flaw;
        EmulatedHost host;
        std::string error;
        EXPECT_FALSE(host.Open(fakePath, 1, &error));
        EXPECT_TRUE(Contains(error, c.reason)) << error;
        EXPECT_TRUE(Contains(error, fakePath)) << error;
        EXPECT_FALSE(host.IsOpen());
        EXPECT_EQ(host.ThreadCount(), 0);
    }
    EXPECT_EQ(LogText(), "");
}

TEST_F(FakeHostTest, FilterInitFailingFailsOpenWithoutFilterExit) {
    record_->Flaw = FakeInitFails;
    {
        EmulatedHost host;
        std::string error;
        EXPECT_FALSE(host.Open(fakePath, 2, &error));
        EXPECT_TRUE(Contains(error, "FilterInit")) << error;
        EXPECT_FALSE(host.IsOpen());
        std::string processError;
        EXPECT_FALSE(host.Process(&processError));
    }
    EXPECT_EQ(LogText(), "I");
}

TEST_F(FakeHostTest, CallbacksAreDrivenInTheHostsOrder) {
    {
        EmulatedHost host;
        std::string error;
        ASSERT_TRUE(host.Open(fakePath, 3, &error)) << error;
        EXPECT_EQ(LogText(), "I");
        const FilterTable& table = host.Table();
        ASSERT_NE(table.TrackValues, nullptr);
        ASSERT_NE(table.Functions, nullptr);
        EXPECT_NE(table.Functions->MultiThreadRun, nullptr);
        for (int i = 0; i < EmulatedHost::TrackCount; ++i) {
            EXPECT_EQ(host.Track(i), table.TrackDefaults[i]);
            EXPECT_EQ(table.TrackValues[i], table.TrackDefaults[i]);
        }

        PixelYC* frame = host.PrepareFrame(3, 2, 5);
        ASSERT_NE(frame, nullptr);
        frame[5 * 1 + 2] = PixelYC{100, 7, -7};
        // The defaults reach the plug-in before the first frame.
        ASSERT_TRUE(host.Process(&error)) << error;
        EXPECT_EQ(LogText(), "IUP");
        EXPECT_EQ(record_->TracksAtUpdate[0], 25);
        EXPECT_EQ(frame[5 * 1 + 2].Y, 125);
        EXPECT_EQ(frame[5 * 1 + 2].Cb, 7);

        ASSERT_TRUE(host.Process(&error)) << error;
        host.SetTrack(0, 25);  // unchanged: no update
        ASSERT_TRUE(host.Process(&error)) << error;
        EXPECT_EQ(LogText(), "IUPPP");

        host.SetTrack(0, 1);
        host.SetTrack(4, 2000);  // not clamped: the filter sees what was set
        EXPECT_EQ(host.Track(0), 1);
        EXPECT_EQ(host.Track(4), 2000);
        ASSERT_TRUE(host.Process(&error)) << error;
        EXPECT_EQ(LogText(), "IUPPPUP");
        EXPECT_EQ(record_->TracksAtUpdate[0], 1);
        EXPECT_EQ(record_->TracksAtUpdate[4], 2000);

        host.SetTrack(-1, 9);
        host.SetTrack(5, 9);
        EXPECT_EQ(host.Track(5), 0);

        // The frame record describes the host's buffers.
        EXPECT_EQ(record_->LastInfo.EditFrame, frame);
        EXPECT_EQ(record_->LastInfo.Width, 3);
        EXPECT_EQ(record_->LastInfo.Height, 2);
        EXPECT_EQ(record_->LastInfo.MaxWidth, 5);
        EXPECT_EQ(static_cast<void*>(record_->LastInfo.TempFrame), host.TempFrame());
        EXPECT_EQ(record_->TempAligned, 1);

        host.Close();
        EXPECT_EQ(LogText(), "IUPPPUPE");
        host.Close();
        EXPECT_FALSE(host.IsOpen());
        EXPECT_FALSE(host.Process(&error));
    }
    // Closed before destruction: no second FilterExit.
    EXPECT_EQ(LogText(), "IUPPPUPE");
}

TEST_F(FakeHostTest, TheDestructorShutsThePlugInDown) {
    {
        EmulatedHost host;
        std::string error;
        ASSERT_TRUE(host.Open(fakePath, 1, &error)) << error;
    }
    EXPECT_EQ(LogText(), "IE");
}

TEST_F(FakeHostTest, AFailedUpdateIsReportedAndRetriedBeforeTheNextFrame) {
    EmulatedHost host;
    std::string error;
    ASSERT_TRUE(host.Open(fakePath, 1, &error)) << error;
    ASSERT_NE(host.PrepareFrame(4, 4, 4), nullptr);
    record_->Flaw = FakeUpdateFails;
    EXPECT_FALSE(host.Process(&error));
    EXPECT_TRUE(Contains(error, "FilterUpdate")) << error;
    EXPECT_EQ(LogText(), "IU");  // no frame after a failed update
    record_->Flaw = FakeNoFlaw;
    ASSERT_TRUE(host.Process(&error)) << error;
    EXPECT_EQ(LogText(), "IUUP");
}

TEST_F(FakeHostTest, AFailedFrameIsReported) {
    EmulatedHost host;
    std::string error;
    ASSERT_TRUE(host.Open(fakePath, 1, &error)) << error;
    ASSERT_NE(host.PrepareFrame(4, 4, 4), nullptr);
    record_->Flaw = FakeProcFails;
    EXPECT_FALSE(host.Process(&error));
    EXPECT_TRUE(Contains(error, "FilterProc")) << error;
    record_->Flaw = FakeNoFlaw;
    EXPECT_TRUE(host.Process(&error)) << error;
}

TEST_F(FakeHostTest, ExitThroughTheRawCallLeavesCloseNothingToDo) {
    EmulatedHost host;
    std::string error;
    ASSERT_TRUE(host.Open(fakePath, 1, &error)) << error;
    EXPECT_EQ(host.CallExit(), -1);
    ASSERT_NE(host.PrepareFrame(4, 4, 4), nullptr);
    EXPECT_FALSE(host.Process(&error));
    EXPECT_TRUE(Contains(error, "FilterExit")) << error;
    host.Close();
    EXPECT_EQ(LogText(), "IE");
}

TEST_F(FakeHostTest, ThePlugInsRunsReachThePoolWithEveryIndexOnce) {
    for (int threads : {1, 13, 0}) {
        SCOPED_TRACE(threads);
        std::memset(record_, 0, sizeof *record_);
        EmulatedHost host;
        std::string error;
        ASSERT_TRUE(host.Open(fakePath, threads, &error)) << error;
        int expected = threads ? threads : velgarde::WorkerPool::DefaultThreadCount();
        EXPECT_EQ(host.ThreadCount(), expected);
        ASSERT_NE(host.PrepareFrame(1, 1, 1), nullptr);
        ASSERT_TRUE(host.Process(&error)) << error;
        EXPECT_EQ(record_->ThreadCountSeen, expected);
        EXPECT_NE(record_->RunResult, 0);
        for (int i = 0; i < 64; ++i) EXPECT_EQ(record_->IndexCalls[i], i < expected ? 1 : 0) << i;
    }
}

TEST_F(FakeHostTest, OnlyOneHostDrivesAPlugInAtATime) {
    EmulatedHost first;
    EmulatedHost second;
    std::string error;
    ASSERT_TRUE(first.Open(fakePath, 2, &error)) << error;
    EXPECT_FALSE(second.Open(fakePath, 2, &error));
    EXPECT_TRUE(Contains(error, "another host")) << error;
    // The refused host changed nothing of the open one.
    EXPECT_EQ(LogText(), "I");
    ASSERT_NE(first.PrepareFrame(2, 2, 2), nullptr);
    EXPECT_TRUE(first.Process(&error)) << error;
    first.Close();
    ASSERT_TRUE(second.Open(fakePath, 2, &error)) << error;
    // Reopening the same host closes what it had open first.
    ASSERT_TRUE(second.Open(fakePath, 1, &error)) << error;
    EXPECT_EQ(second.ThreadCount(), 1);
    second.Close();
    EXPECT_EQ(LogText(), "IUPEIEIE");
}

TEST_F(FakeHostTest, FramesAreRefusedOrAllocatedSoundly) {
    EmulatedHost host;
    std::string error;
    EXPECT_FALSE(host.Process(&error));  // nothing open
    ASSERT_TRUE(host.Open(fakePath, 1, &error)) << error;
    EXPECT_FALSE(host.Process(&error));  // no frame
    EXPECT_TRUE(Contains(error, "frame")) << error;

    EXPECT_EQ(host.PrepareFrame(-1, 4, 4), nullptr);
    EXPECT_EQ(host.PrepareFrame(4, -1, 4), nullptr);
    EXPECT_EQ(host.PrepareFrame(5, 4, 4), nullptr);
    EXPECT_EQ(host.Frame(), nullptr);
    // A 4-row stride beyond int32 is no frame a plug-in can address.
    EXPECT_EQ(host.PrepareFrame(1, 1, 0x7fffffff / 24 + 1), nullptr);

    // An empty frame still has buffers.
    EXPECT_NE(host.PrepareFrame(0, 0, 0), nullptr);
    EXPECT_NE(host.TempFrame(), nullptr);
    EXPECT_TRUE(host.Process(&error)) << error;

    // The work plane of a narrow frame is larger than the frame itself.
    const struct {
        int w, h, maxWidth;
    } sizes[] = {{1, 1, 1}, {7, 5, 9}, {8, 4, 8}, {9, 3, 9}, {33, 17, 40}};
    for (const auto& z : sizes) {
        PixelYC* frame = host.PrepareFrame(z.w, z.h, z.maxWidth);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(host.Width(), z.w);
        EXPECT_EQ(host.Height(), z.h);
        EXPECT_EQ(host.MaxWidth(), z.maxWidth);
        std::size_t plane = static_cast<std::size_t>((z.h + 3) / 4) * ((z.w + 7) / 8 * 8) * 8;
        std::size_t frameBytes = static_cast<std::size_t>(z.maxWidth) * z.h * sizeof(PixelYC);
        EXPECT_GE(host.TempFrameSize(), plane);
        EXPECT_GE(host.TempFrameSize(), frameBytes);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(host.TempFrame()) % 16, 0u);
        // New geometry starts zeroed; the same geometry keeps the contents.
        EXPECT_EQ(frame[z.maxWidth * z.h - 1].Cr, 0);
        frame[z.maxWidth * z.h - 1].Cr = 99;
        EXPECT_EQ(host.PrepareFrame(z.w, z.h, z.maxWidth), frame);
        EXPECT_EQ(frame[z.maxWidth * z.h - 1].Cr, 99);
        EXPECT_TRUE(host.Process(&error)) << error;
    }
}

}  // namespace
