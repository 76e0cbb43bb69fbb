#include "files/random.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

#include <vector>

TEST(WzRandom, NextFollowsTheLinearRecurrence) {
    TWzRandom r(1);
    std::vector<uint32_t> got;
    for (int i = 0; i < 5; ++i) got.push_back(r.Next());
    EXPECT_EQ(got, (std::vector<uint32_t>{1, 6, 31, 156, 781}));
    // Wraps mod 2^32: 5 * 0xFFFFFFFF + 7 = 2 (mod 2^32) after a state of -1.
    TWzRandom w(0xFFFFFFFFu);
    EXPECT_EQ(w.Next(), 0xFFFFFFFFu);
    EXPECT_EQ(w.Next(), 5u * 0xFFFFFFFFu + 0xFFFFFFFFu);
}

TEST(WzRandom, PickTakesFromTheShrinkingPool) {
    TWzRandom r(1);
    r.SetCount(4);
    EXPECT_EQ(r.Pick(), 1);  // x = 1, 1 mod 4
    EXPECT_EQ(r.Pick(), 0);  // x = 6, 6 mod 3 over 0, 2, 3
    // x = 31, 31 mod 2 = 1 over 2, 3; then only 2 is left.
    EXPECT_EQ(r.Pick(), 3);
    EXPECT_EQ(r.Pick(), 2);
    EXPECT_EQ(r.PoolCount(), 0);
    EXPECT_THROW(r.Pick(), EListError);
    r.SetCount(0);
    EXPECT_THROW(r.Pick(), EListError);
    EXPECT_THROW(r.SetCount(TWzRandom::kMaxPool + 1), EListError);
}

// Reference: the plain list the pool is described as.
static std::vector<int32_t> list_picks(uint32_t c, int32_t n, int warmup) {
    std::vector<int32_t> pool(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) pool[static_cast<size_t>(i)] = i;
    uint32_t x = 0;
    for (int i = 0; i < warmup; ++i) x = 5u * x + c;
    std::vector<int32_t> out;
    while (!pool.empty()) {
        x = 5u * x + c;
        size_t i = x % static_cast<uint32_t>(pool.size());
        out.push_back(pool[i]);
        pool.erase(pool.begin() + static_cast<ptrdiff_t>(i));
    }
    return out;
}

TEST(WzRandom, LargePoolIsAPermutationMatchingThePlainList) {
    const int32_t n = 100000;
    TWzRandom r(0x3C6EF35Fu);
    for (int i = 0; i < 3; ++i) r.Next();  // Next and Pick share the state
    r.SetCount(n);
    std::vector<int32_t> got;
    std::vector<bool> seen(n, false);
    for (int32_t i = 0; i < n; ++i) {
        int32_t v = r.Pick();
        ASSERT_TRUE(v >= 0 && v < n && !seen[static_cast<size_t>(v)]);
        seen[static_cast<size_t>(v)] = true;
        got.push_back(v);
    }
    EXPECT_EQ(got, list_picks(0x3C6EF35Fu, n, 3));
}

TEST(WzRandom, OddSizesAndRefillMatchThePlainList) {
    for (int32_t n : {1, 2, 3, 5, 7, 8, 9, 31, 33, 1000}) {
        TWzRandom r(12345);
        r.SetCount(n);
        std::vector<int32_t> got;
        while (r.PoolCount() > 0) got.push_back(r.Pick());
        EXPECT_EQ(got, list_picks(12345, n, 0)) << n;
    }
}
