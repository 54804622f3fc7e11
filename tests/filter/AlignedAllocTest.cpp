// Aligned blocks for vector data: the alignment, the word below the block
// that remembers where the memory manager's block starts, and failures.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "util/xmmutil.h"

namespace {

std::uintptr_t StoredWord(const void* P) {
    void* Raw;
    std::memcpy(&Raw, static_cast<const char*>(P) - sizeof(void*), sizeof(void*));
    return reinterpret_cast<std::uintptr_t>(Raw);
}

bool FailAlways() { return true; }

TEST(AlignedAlloc, BlocksAreAlignedAndRememberTheirStart) {
    constexpr std::size_t Word = sizeof(void*);
    for (std::size_t A : {1u, 2u, 4u, 8u, 16u, 32u, 64u, 128u, 256u, 4096u}) {
        const std::size_t Effective = A < Word ? Word : A;
        for (std::size_t Bytes : {0u, 1u, 3u, 16u, 100u, 15488u}) {
            SCOPED_TRACE("alignment " + std::to_string(A) + " bytes " + std::to_string(Bytes));
            void* P = AlignedAlloc(Bytes, A);
            ASSERT_NE(P, nullptr);
            const std::uintptr_t Address = reinterpret_cast<std::uintptr_t>(P);
            EXPECT_EQ(Address % Effective, 0u);
            // The start R lies below the block with room for the word, and the
            // block is the first aligned address at or above R + the word.
            const std::uintptr_t R = StoredWord(P);
            EXPECT_GE(Address - R, Word);
            EXPECT_LE(Address - R, Effective + Word - 1);
            EXPECT_LT(Address - Effective, R + Word);
            // Every byte asked for is usable (the sanitizers watch this).
            std::memset(P, 0xCD, Bytes);
            AlignedFree(P);
        }
    }
}

TEST(AlignedAlloc, OnThirtyTwoBitTargetsTheWordIsFourBytes) {
    // The host's records and our blocks share one rule: R sits in the 4-byte
    // word just below the block, and A is raised to at least 4.
    if (sizeof(void*) != 4) GTEST_SKIP() << "64-bit target: the word is pointer-sized";
    for (std::size_t A : {1u, 2u, 4u, 8u, 128u}) {
        void* P = AlignedAlloc(24, A);
        const std::uintptr_t Address = reinterpret_cast<std::uintptr_t>(P);
        std::uint32_t Word;
        std::memcpy(&Word, static_cast<char*>(P) - 4, 4);
        EXPECT_EQ(Address % (A < 4 ? 4 : A), 0u);
        EXPECT_EQ(Word, StoredWord(P));
        EXPECT_GE(Address - Word, 4u);
        EXPECT_LE(Address - Word, (A < 4 ? 4 : A) + 3);
        AlignedFree(P);
    }
}

TEST(AlignedAlloc, ManyBlocksLiveSideBySide) {
    // Blocks do not overlap and each keeps its own word while others come and go.
    std::vector<void*> Blocks;
    for (int i = 0; i < 64; ++i) {
        void* P = AlignedAlloc(40 + i, 128);
        std::memset(P, i, 40 + i);
        Blocks.push_back(P);
    }
    for (int i = 0; i < 64; i += 2) AlignedFree(Blocks[i]);
    for (int i = 1; i < 64; i += 2) {
        const unsigned char* P = static_cast<unsigned char*>(Blocks[i]);
        for (int k = 0; k < 40 + i; ++k) ASSERT_EQ(P[k], i) << "block " << i << " byte " << k;
        AlignedFree(Blocks[i]);
    }
}

TEST(AlignedAlloc, FailureThrowsBadAlloc) {
    EXPECT_THROW(AlignedAlloc(SIZE_MAX, 8), std::bad_alloc);
    EXPECT_THROW(AlignedAlloc(SIZE_MAX - 4, 128), std::bad_alloc);
    SetAllocationFaultHook(FailAlways);
    EXPECT_THROW(AlignedAlloc(16, 16), std::bad_alloc);
    EXPECT_THROW(CheckAllocationFault(), std::bad_alloc);
    SetAllocationFaultHook(nullptr);
    EXPECT_NO_THROW(CheckAllocationFault());
    void* P = AlignedAlloc(16, 16);
    AlignedFree(P);
}

}  // namespace
