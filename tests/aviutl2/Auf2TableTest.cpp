// The module's table and items as the editor reads them, and track values
// from the host turned into the whole steps of the track bars.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "aviutl2/TrackItems.h"
#include "host/Auf2Host.h"

namespace {

using velgarde::Auf2Host;

const std::string modulePath = VELGARDE_AUF2_MODULE;

TEST(Auf2Table, ReadBackAsTheEditorShowsIt) {
    Auf2Host host;
    std::string error;
    ASSERT_TRUE(host.Open(modulePath, &error)) << error;
    EXPECT_EQ(host.Flag(), Auf2FlagVideo | Auf2FlagFilterObject);
    EXPECT_EQ(host.Name(), L"Velgarde");
    EXPECT_EQ(host.Information(), L"Velgarde " VELGARDE_VERSION_TEXT);
    EXPECT_EQ(host.RawTable()->ProcAudio, nullptr);

    // By code point, so that a misread source file cannot pass on both sides.
    const wchar_t* const names[TrackCount] = {L"\u9069\u7528\u91CF(+)", L"\u9069\u7528\u91CF(-)",
                                              L"\u7BC4\u56F2", L"\u5206\u6563", L"\u95BE\u5024"};
    ASSERT_EQ(host.Tracks().size(), std::size_t{TrackCount});
    for (int i = 0; i < TrackCount; ++i) {
        SCOPED_TRACE("track " + std::to_string(i));
        const velgarde::Auf2Track& track = host.Tracks()[i];
        EXPECT_EQ(track.name, names[i]);
        // The bars of the 32-bit filter, through the same tables.
        EXPECT_EQ(track.value, TrackDefaults[i]);
        EXPECT_EQ(track.minimum, TrackMinimums[i]);
        EXPECT_EQ(track.maximum, TrackMaximums[i]);
        EXPECT_EQ(track.step, 1.0);
    }
    // After the tracks, the change view's checkbox, off.
    ASSERT_EQ(host.Checks().size(), 1u);
    EXPECT_EQ(host.Checks()[0].name, L"\u5909\u5316\u3092\u8868\u793A");
    EXPECT_FALSE(host.Checks()[0].value);
}

// The host reads the items afresh at every Open: a second host on the module,
// which the first keeps loaded, sees the items as the test rewrote them.
TEST(Auf2Table, TrackItemsAreCheckedAtTheirEdges) {
    Auf2Host keeper;
    std::string error;
    ASSERT_TRUE(keeper.Open(modulePath, &error)) << error;
    Auf2TrackItem& item = *static_cast<Auf2TrackItem*>(keeper.RawTable()->Items[TrackRange]);
    const Auf2TrackItem saved = item;
    struct Case {
        double value, minimum, maximum, step;
        bool accepted;
    };
    const Case cases[] = {
        {100, 1, 100, 1, true},   {1, 1, 100, 1, true},    {5, 5, 5, 1, true},
        {100.5, 1, 100, 1, false}, {0.5, 1, 100, 1, false}, {std::nan(""), 1, 100, 1, false},
        {10, 1, 100, 0, false},   {10, 1, 100, -1, false}, {10, 100, 1, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("default " + std::to_string(c.value) + " in " + std::to_string(c.minimum) + ".." +
                     std::to_string(c.maximum) + " step " + std::to_string(c.step));
        item.Value = c.value;
        item.Minimum = c.minimum;
        item.Maximum = c.maximum;
        item.Step = c.step;
        Auf2Host host;
        EXPECT_EQ(host.Open(modulePath, &error), c.accepted) << error;
        if (c.accepted) {
            ASSERT_EQ(host.Tracks().size(), std::size_t{TrackCount});
            EXPECT_EQ(host.Tracks()[TrackRange].value, c.value);
        } else {
            EXPECT_NE(error.find("item 2"), std::string::npos) << error;
            EXPECT_FALSE(host.IsOpen());
        }
    }
    item = saved;
}

TEST(Auf2Table, HostRefusesAModuleWithoutTheTable) {
    Auf2Host host;
    std::string error;
    EXPECT_FALSE(host.Open(OLD_FILTER_MODULE, &error));
    EXPECT_NE(error.find("GetFilterPluginTable"), std::string::npos) << error;
    EXPECT_FALSE(host.IsOpen());
    EXPECT_FALSE(host.Open("no-such-module.auf2", &error));
}

TEST(Auf2TrackValues, HeldToTheBarsAndRoundedToWholeSteps) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const double nan = std::nan("");
    struct Case {
        TrackIndex track;
        double value;
        std::int32_t expected;
    };
    const Case cases[] = {
        {TrackAmountPlus, nan, 25},   {TrackAmountMinus, -nan, 50},  {TrackRange, inf, 100},
        {TrackRange, -inf, 1},        {TrackRange, 0.0, 1},          {TrackRange, -1e300, 1},
        {TrackThreshold, 1e300, 1000}, {TrackThreshold, 2147483648.0, 1000},
        {TrackThreshold, -0.0, 0},    {TrackVariance, 49.5, 50},     {TrackVariance, 49.49, 49},
        {TrackVariance, 100.4, 100},  {TrackAmountPlus, 299.5, 300}, {TrackAmountPlus, 0.4, 0},
        {TrackRange, std::numeric_limits<double>::denorm_min(), 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClampTrackValue(c.value, c.track), c.expected) << "track " << c.track << " value " << c.value;
}

}  // namespace
