// The filter table as the host reads it before calling anything: on 32-bit
// targets byte for byte through the 140-byte record, on 64-bit through the
// fields of the natural layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "plugin/AviUtlPlugin.h"
#include "filter/ThreadSlots.h"

extern "C" FilterTable* AVIUTL_CDECL GetFilterTable();

namespace {

const std::string TrackNameBytes[5] = {
    std::string("\x93\x4B\x97\x70\x97\xCA\x28\x2B\x29", 9),  // amount (+)
    std::string("\x93\x4B\x97\x70\x97\xCA\x28\x2D\x29", 9),  // amount (-)
    std::string("\x94\xCD\x88\xCD", 4),                      // range
    std::string("\x95\xAA\x8E\x55", 4),                      // variance
    std::string("\xE8\x87\x92\x6C", 4),                      // threshold
};
const std::int32_t Defaults[5] = {25, 50, 10, 50, 0};
const std::int32_t Minimums[5] = {0, 0, 1, 0, 0};
const std::int32_t Maximums[5] = {300, 300, 100, 100, 1000};

// A zero-terminated text read back including its terminator.
void ExpectText(const char* Text, const std::string& Bytes) {
    ASSERT_NE(Text, nullptr);
    EXPECT_EQ(std::string(Text), Bytes);
    EXPECT_EQ(std::memcmp(Text, Bytes.c_str(), Bytes.size() + 1), 0);
}

TEST(FilterTable, SameAddressEveryCall) {
    FilterTable* First = GetFilterTable();
    ASSERT_NE(First, nullptr);
    EXPECT_EQ(GetFilterTable(), First);
    EXPECT_EQ(GetFilterTable(), First);
}

#if defined(__i386__) || defined(_M_IX86)

std::uint32_t WordAt(const FilterTable* T, std::size_t Offset) {
    std::uint32_t W;
    std::memcpy(&W, reinterpret_cast<const unsigned char*>(T) + Offset, 4);
    return W;
}
template <typename T>
const T* PointerAt(const FilterTable* Table, std::size_t Offset) {
    return reinterpret_cast<const T*>(static_cast<std::uintptr_t>(WordAt(Table, Offset)));
}

TEST(FilterTable, EveryByteOfTheRecordAsTheHostReadsIt) {
    const FilterTable* T = GetFilterTable();
    ASSERT_EQ(sizeof(FilterTable), 140u);
    EXPECT_EQ(WordAt(T, 0), 0x40000u);  // Information holds a text
    ExpectText(PointerAt<char>(T, 12), "Velgarde");
    EXPECT_EQ(WordAt(T, 16), 5u);
    const std::uint32_t* Names = PointerAt<std::uint32_t>(T, 20);
    const std::int32_t* Def = PointerAt<std::int32_t>(T, 24);
    const std::int32_t* Min = PointerAt<std::int32_t>(T, 28);
    const std::int32_t* Max = PointerAt<std::int32_t>(T, 32);
    ASSERT_NE(Names, nullptr);
    ASSERT_NE(Def, nullptr);
    ASSERT_NE(Min, nullptr);
    ASSERT_NE(Max, nullptr);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE("track " + std::to_string(i));
        ExpectText(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(Names[i])), TrackNameBytes[i]);
        EXPECT_EQ(Def[i], Defaults[i]);
        EXPECT_EQ(Min[i], Minimums[i]);
        EXPECT_EQ(Max[i], Maximums[i]);
    }
    // The four callbacks: present and distinct.
    std::set<std::uint32_t> Callbacks;
    for (std::size_t Offset : {48u, 52u, 56u, 60u}) {
        EXPECT_NE(WordAt(T, Offset), 0u) << "offset " << Offset;
        Callbacks.insert(WordAt(T, Offset));
    }
    EXPECT_EQ(Callbacks.size(), 4u);
    ExpectText(PointerAt<char>(T, 84), "Velgarde Ver.091112");
    // Everything else is 0, including TrackValues (68) and Functions (96),
    // which only the host fills in.
    const std::set<std::size_t> Used = {0, 12, 16, 20, 24, 28, 32, 48, 52, 56, 60, 84};
    for (std::size_t Offset = 0; Offset < 140; Offset += 4) {
        if (Used.count(Offset) != 0) continue;
        EXPECT_EQ(WordAt(T, Offset), 0u) << "offset " << Offset;
    }
    // The fields the callbacks use sit where the host puts them.
    EXPECT_EQ(WordAt(T, 48), reinterpret_cast<std::uintptr_t>(T->ProcFunc));
    EXPECT_EQ(WordAt(T, 52), reinterpret_cast<std::uintptr_t>(T->InitFunc));
    EXPECT_EQ(WordAt(T, 56), reinterpret_cast<std::uintptr_t>(T->ExitFunc));
    EXPECT_EQ(WordAt(T, 60), reinterpret_cast<std::uintptr_t>(T->UpdateFunc));
}

#else

TEST(FilterTable, EveryFieldAsTheHostReadsIt) {
    const FilterTable* T = GetFilterTable();
    EXPECT_EQ(T->Flag, 0x40000);
    ExpectText(T->Name, "Velgarde");
    ASSERT_EQ(T->TrackCount, 5);
    ASSERT_NE(T->TrackNames, nullptr);
    ASSERT_NE(T->TrackDefaults, nullptr);
    ASSERT_NE(T->TrackMinimums, nullptr);
    ASSERT_NE(T->TrackMaximums, nullptr);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE("track " + std::to_string(i));
        ExpectText(T->TrackNames[i], TrackNameBytes[i]);
        EXPECT_EQ(T->TrackDefaults[i], Defaults[i]);
        EXPECT_EQ(T->TrackMinimums[i], Minimums[i]);
        EXPECT_EQ(T->TrackMaximums[i], Maximums[i]);
    }
    ASSERT_NE(T->ProcFunc, nullptr);
    ASSERT_NE(T->InitFunc, nullptr);
    ASSERT_NE(T->ExitFunc, nullptr);
    ASSERT_NE(T->UpdateFunc, nullptr);
    const std::set<const void*> Callbacks = {
        reinterpret_cast<const void*>(T->ProcFunc), reinterpret_cast<const void*>(T->InitFunc),
        reinterpret_cast<const void*>(T->ExitFunc), reinterpret_cast<const void*>(T->UpdateFunc)};
    EXPECT_EQ(Callbacks.size(), 4u);
    ExpectText(T->Information, "Velgarde Ver.091112");
    EXPECT_EQ(T->TrackValues, nullptr);
    EXPECT_EQ(T->Functions, nullptr);

    EXPECT_EQ(T->Reserved04, 0);
    EXPECT_EQ(T->Reserved08, 0);
    EXPECT_EQ(T->Reserved36, 0);
    EXPECT_EQ(T->Reserved80, 0);
    for (const void* P : {T->Reserved40, T->Reserved44, T->Reserved64, T->Reserved72, T->Reserved76,
                          T->Reserved88, T->Reserved92, T->Reserved100, T->Reserved104, T->Reserved108,
                          T->Reserved112, T->Reserved116, T->Reserved120, T->Reserved124, T->Reserved128,
                          T->Reserved132, T->Reserved136})
        EXPECT_EQ(P, nullptr);
}

#endif

}  // namespace

TEST(ThreadSlots, AtLeastEightAndOnePerProcessorBeyond) {
    EXPECT_EQ(ThreadSlotsFor(0), 8u);
    EXPECT_EQ(ThreadSlotsFor(1), 8u);
    EXPECT_EQ(ThreadSlotsFor(8), 8u);
    EXPECT_EQ(ThreadSlotsFor(9), 9u);
    EXPECT_EQ(ThreadSlotsFor(12), 12u);
    EXPECT_EQ(ThreadSlotsFor(0xFFFFFFFFu), 0xFFFFFFFFu);  // compared unsigned
}
