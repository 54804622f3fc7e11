// The emulated host's i686 builds call the plug-in as the editor does: on
// stacks that are 4-byte but never 16-byte aligned and with the x87 unit at
// 53-bit precision. Functions that do not realign really misbehave under it,
// the plug-in's worked values still come out bit for bit, and the plug-in
// hands the control word back as it found it.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "filter/GaussianBlurWeight.h"
#include "filter/TrackParameters.h"
#include "host/EditorCall.h"
#include "host/EmulatedHost.h"
#include "host/WorkerPool.h"
#include "tests/host/NonRealigningProbe.h"
#include "tests/support/Plugin.h"

namespace {

using namespace velgarde;

std::uint16_t ControlWord() {
    std::uint16_t word = 0;
#if defined(__i386__) || defined(__x86_64__)
    __asm__ volatile("fnstcw %0" : "=m"(word));
#endif
    return word;
}

TEST(EditorConditions, EveryCallSeesAMisalignedStackAnd53BitPrecision) {
    if (!EditorConditionsApply) GTEST_SKIP() << "64-bit hosts keep the stack aligned";
    const std::uint16_t before = ControlWord();
    WorkerPool pool(4);
    std::set<std::uint32_t> offsets;
    for (int run = 0; run < 6; ++run) {
        ProbeRecord record{};
        ASSERT_TRUE(pool.Run(ProbeConditions, &record, nullptr));
        for (int i = 0; i < pool.ThreadCount(); ++i) {
            SCOPED_TRACE("run " + std::to_string(run) + " index " + std::to_string(i));
            EXPECT_NE(record.Misalignment[i], 0u) << "the non-realigning probe found its local aligned";
            EXPECT_EQ(record.Misalignment[i] % 4, 0u) << "the stack is not even 4-byte aligned";
            EXPECT_EQ(record.ControlWord[i], EditorControlWord);
            EXPECT_TRUE(record.Rounded53[i]) << "the x87 unit did not round to 53 bits";
            offsets.insert(record.Misalignment[i]);
        }
    }
    EXPECT_EQ(offsets.size(), 3u) << "the misalignment does not vary over 4, 8 and 12";
    EXPECT_EQ(ControlWord(), before) << "the host did not restore its own control word";
}

// Linux only: on Windows the fault would be a crash report from the system
// (under wine, its debugger) rather than a quiet death of a child process.
#if !defined(_WIN32)
TEST(EditorConditionsDeathTest, AnAlignedSseStoreOnTheEditorsStackFaults) {
    if (!EditorConditionsApply) GTEST_SKIP() << "64-bit hosts keep the stack aligned";
    // Under qemu the child cannot exec the i686 program again: fork only.
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_DEATH(
        {
            for (int i = 0; i < 3; ++i) EditorCall(ProbeAlignedStore, 0, 1, nullptr, nullptr);
        },
        "");
}
#endif

// The worked weights and the default variance, computed at the editor's
// precision on every target whose long double is the x87 type.
struct Worked {
    double Construction[4];
    double Variance32[4];
    FilterParameters Defaults;
};

void AVIUTL_CDECL ComputeWorked(std::int32_t, std::int32_t, void* param1, void*) {
    Worked& w = *static_cast<Worked*>(param1);
    const TGaussianBlurWeight a(2.5, 2.0);
    const TGaussianBlurWeight b(2.5, 32.0);
    for (int i = 0; i < 4; ++i) {
        w.Construction[i] = a.Weights()[static_cast<std::size_t>(i)];
        w.Variance32[i] = b.Weights()[static_cast<std::size_t>(i)];
    }
    w.Defaults = ConvertTrackValues(TrackDefaults);
}

void At53Bits(MultiThreadFunc function, void* param1) {
#if defined(__x86_64__)
    // No host sets it here; set it as a 64-bit Windows thread has it.
    const std::uint16_t saved = ControlWord();
    const std::uint16_t editor = EditorControlWord;
    __asm__ volatile("fldcw %0" : : "m"(editor));
    function(0, 1, param1, nullptr);
    EXPECT_EQ(ControlWord(), EditorControlWord) << "the caller's control word was not restored";
    __asm__ volatile("fldcw %0" : : "m"(saved));
#else
    const long before = EditorControlWordChanges();
    EditorCall(function, 0, 1, param1, nullptr);
    EXPECT_EQ(EditorControlWordChanges(), before) << "the caller's control word was not restored";
#endif
}

TEST(EditorConditions, WorkedWeightsAndVarianceBitForBitAt53Bits) {
    Worked w{};
    At53Bits(ComputeWorked, &w);
    const double construction[4] = {1, 0.0059760228950059401, 1.2754076295260417e-09,
                                    9.7209850203007969e-21};
    const double variance32[4] = {1, 0.72614903707369094, 0.27803730045319408, 0.056134762834133732};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(w.Construction[i], construction[i]) << "radius 2.5 variance 2, weight " << i;
        EXPECT_EQ(w.Variance32[i], variance32[i]) << "radius 2.5 variance 32, weight " << i;
    }
    EXPECT_EQ(w.Defaults.Variance, 0x1.2423a94873e57p+5);
    EXPECT_EQ(w.Defaults.Radius, 1.5);
}

TEST(EditorConditions, ThePlugInHandsTheControlWordBack) {
    const long before = EditorControlWordChanges();
    EmulatedHost host;
    std::string error;
    ASSERT_TRUE(host.Open(velgarde_test::TarnwickModule(), 3, &error)) << error;
    host.SetTrack(TrackRange, 37);
    host.SetTrack(TrackVariance, 77);
    ASSERT_NE(host.PrepareFrame(33, 17, 40), nullptr);
    ASSERT_TRUE(host.Process(&error)) << error;
    host.Close();
    EXPECT_EQ(EditorControlWordChanges(), before);
}

}  // namespace
