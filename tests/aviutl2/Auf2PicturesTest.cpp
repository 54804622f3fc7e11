// Pictures through the module as the 64-bit editor hands them over: equal to
// the model for every size and setting, several objects at once from several
// threads, hostile values and sizes, allocation failures, and the module
// loaded and unloaded again and again.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "host/Auf2Host.h"
#include "tests/aviutl2/Auf2Pictures.h"
#include "tests/aviutl2/ProcessCounters.h"

namespace {

using velgarde::Auf2Host;
using velgarde::Auf2Object;
using namespace auf2_test;

const std::string modulePath = VELGARDE_AUF2_MODULE;
const std::string testModulePath = VELGARDE_AUF2_TEST_MODULE;

void Open(Auf2Host& host, const std::string& path = modulePath) {
    std::string error;
    ASSERT_TRUE(host.Open(path, &error)) << error;
}

Auf2Object MakeObject(const Auf2Host& host, int width, int height, const std::int32_t (&tracks)[TrackCount],
                      std::uint32_t seed) {
    Auf2Object object = host.NewObject(width, height);
    object.pixels = RandomPicture(width, height, seed);
    object.values.assign(std::begin(tracks), std::end(tracks));
    return object;
}

std::string Describe(const Auf2Object& o) {
    std::string s = std::to_string(o.width) + "x" + std::to_string(o.height) + " tracks";
    for (double v : o.values) s += " " + std::to_string(v);
    return s;
}

// Processes the object and checks it against the model for `tracks`.
void ExpectModelResult(Auf2Host& host, Auf2Object& object, const std::int32_t (&tracks)[TrackCount]) {
    SCOPED_TRACE(Describe(object));
    const std::vector<Auf2PixelRgba> expected = ModelPicture(object.pixels, object.width, object.height, tracks);
    const int width = object.width, height = object.height;
    ASSERT_TRUE(host.Process(object));
    EXPECT_EQ(object.width, width);
    EXPECT_EQ(object.height, height);
    EXPECT_TRUE(SamePixels(object.pixels, expected));
}

const std::int32_t SettingsUnderTest[][TrackCount] = {
    {25, 50, 10, 50, 0},      // the defaults
    {300, 300, 100, 100, 0},  // every bar at its top
    {300, 0, 1, 0, 1000},     // narrowest blur, brightening only, full threshold
    {0, 120, 37, 73, 12},
};

TEST(Auf2Pictures, EverySizeAndSettingAsTheModel) {
    Auf2Host host;
    Open(host);
    const int sizes[][2] = {{1, 1},    {2, 1},    {1, 2},     {3, 5},   {17, 9}, {64, 33},
                            {257, 19}, {2051, 3}, {3, 1501}, {20011, 2}, {2, 9001}};
    std::uint32_t seed = 1;
    for (const auto& tracks : SettingsUnderTest)
        for (const auto& size : sizes) {
            Auf2Object object = MakeObject(host, size[0], size[1], tracks, seed++);
            ExpectModelResult(host, object, tracks);
            EXPECT_EQ(object.imageReads, 1);
            EXPECT_EQ(object.imageWrites, 1);
        }
}

TEST(Auf2Pictures, NoAmountGivesThePictureBackUntouched) {
    Auf2Host host;
    Open(host);
    const std::int32_t tracks[TrackCount] = {0, 0, 100, 0, 0};
    Auf2Object object = MakeObject(host, 123, 45, tracks, 7);
    const std::vector<Auf2PixelRgba> original = object.pixels;
    ASSERT_TRUE(host.Process(object));
    EXPECT_TRUE(SamePixels(object.pixels, original));
}

TEST(Auf2Pictures, HostileValuesActAsTheBarsTheyAreHeldTo) {
    Auf2Host host;
    Open(host);
    const double inf = std::numeric_limits<double>::infinity();
    Auf2Object object = MakeObject(host, 40, 30, SettingsUnderTest[0], 11);
    object.values = {std::nan(""), inf, -inf, 1e308, -7.6};
    ExpectModelResult(host, object, {25, 300, 1, 100, 0});
}

TEST(Auf2Pictures, SizesWithNothingToDoOrNoSense) {
    Auf2Host host;
    Open(host);
    for (const auto& size : {std::pair<int, int>{0, 0}, {0, 7}, {7, 0}}) {
        Auf2Object object = host.NewObject(size.first, size.second);
        EXPECT_TRUE(host.Process(object));
        EXPECT_EQ(object.imageReads + object.imageWrites, 0);
    }
    Auf2Object negative = host.NewObject(0, 0);
    negative.width = -5;
    negative.height = 3;
    EXPECT_FALSE(host.Process(negative));
    EXPECT_EQ(negative.imageReads + negative.imageWrites, 0);
}

// Objects with their own settings, more of them than the module keeps
// sharpeners for, two of them alike, on four threads at once: each frame must
// come out as its own object's model, whichever sharpener served it.
TEST(Auf2Pictures, ConcurrentObjectsEachGetTheirOwnResult) {
    Auf2Host host;
    Open(host);
    const std::int32_t settings[][TrackCount] = {
        {25, 50, 10, 50, 0}, {300, 300, 100, 100, 0}, {300, 0, 1, 0, 1000}, {0, 120, 37, 73, 12},
        {80, 10, 3, 90, 5},  {25, 50, 10, 50, 0},     {150, 150, 60, 20, 300}};
    constexpr int objectCount = 7, threads = 4, frames = 6;
    std::vector<Auf2Object> objects;
    std::vector<std::vector<Auf2PixelRgba>> originals, expected;
    for (int i = 0; i < objectCount; ++i) {
        objects.push_back(MakeObject(host, 96 + 13 * i, 40 + 7 * i, settings[i], 100 + i));
        objects.back().id = i;
        originals.push_back(objects.back().pixels);
        expected.push_back(ModelPicture(originals[i], objects[i].width, objects[i].height, settings[i]));
    }
    std::vector<int> failures(threads, 0);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            // Thread t runs objects t, t+4, ...: no object on two threads at once.
            for (int frame = 0; frame < frames; ++frame)
                for (int i = t; i < objectCount; i += threads) {
                    Auf2Object& object = objects[i];
                    object.pixels = originals[i];
                    if (!host.Process(object) || !SamePixels(object.pixels, expected[i])) ++failures[t];
                }
        });
    for (std::thread& worker : workers) worker.join();
    for (int t = 0; t < threads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

using FailAllocationsFunc = void (*)(int);

// Every allocation the call makes, failed in turn: the call answers false and
// the host's picture stays as it was, or it succeeds with the model's result.
TEST(Auf2Pictures, AllocationFailureLeavesThePictureAsItWas) {
    Auf2Host host;
    const std::int32_t(&tracks)[TrackCount] = SettingsUnderTest[3];
    bool succeeded = false;
    for (int countdown = 1; countdown <= 64 && !succeeded; ++countdown) {
        SCOPED_TRACE("failing allocation " + std::to_string(countdown));
        // A fresh module each round: nothing cached from the last.
        Open(host, testModulePath);
        auto failAllocations = reinterpret_cast<FailAllocationsFunc>(host.Symbol("VelgardeTestFailAllocations"));
        ASSERT_NE(failAllocations, nullptr);
        Auf2Object object = MakeObject(host, 77, 31, tracks, 5);
        const std::vector<Auf2PixelRgba> original = object.pixels;
        const std::vector<Auf2PixelRgba> expected = ModelPicture(original, 77, 31, tracks);
        failAllocations(countdown);
        succeeded = host.Process(object);
        failAllocations(-1);
        if (succeeded) {
            EXPECT_TRUE(SamePixels(object.pixels, expected));
        } else {
            EXPECT_EQ(object.imageWrites, 0);
            EXPECT_TRUE(SamePixels(object.pixels, original));
            // Nothing half-built stays behind: the next call works.
            object.pixels = original;
            ASSERT_TRUE(host.Process(object));
            EXPECT_TRUE(SamePixels(object.pixels, expected));
        }
    }
    EXPECT_TRUE(succeeded) << "more allocations than the test fails in turn";
}

// The pool's threads end with UninitializePlugin and nothing stays behind:
// the thread count returns to where it was and memory stays flat.
TEST(Auf2Pictures, LoadAndUnloadInALoop) {
    const std::int32_t(&tracks)[TrackCount] = SettingsUnderTest[0];
    auto cycle = [&](int rounds) {
        for (int i = 0; i < rounds; ++i) {
            Auf2Host host;
            Open(host);
            Auf2Object object = MakeObject(host, 320, 180, tracks, 9);
            ASSERT_TRUE(host.Process(object));
        }
    };
    // Counted after a warm-up: a sanitizer's runtime may start a helper
    // thread of its own during the first loads.
    cycle(5);
    const int threadsBefore = ProcessThreadCount();
    const long long memoryAfterWarmUp = ProcessPrivateBytes();
    cycle(40);
    EXPECT_EQ(ProcessThreadCount(), threadsBefore);
#if !defined(__SANITIZE_ADDRESS__)
    // (Under AddressSanitizer freed blocks wait in its quarantine, and its
    // leak checker reports at exit instead.)
    const long long growth = ProcessPrivateBytes() - memoryAfterWarmUp;
    // A load's pool, sharpener and picture come to over 1 MB here: forty of
    // them left behind would be far beyond this.
    EXPECT_LT(growth, 16ll << 20) << "bytes kept across loads";
#else
    (void)memoryAfterWarmUp;
#endif
}

}  // namespace
