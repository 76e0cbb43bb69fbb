// The player's own reproducible generator. Its sequences are part of stored
// forms (archive directory scrambling, tile order of layered images, block
// order of some transitions), so the exact arithmetic must never change.
#pragma once
#include <cstdint>
#include <vector>

class TWzRandom {
public:
    explicit TWzRandom(uint32_t c) : c_(c) {}

    // x := 5x + c (mod 2^32); the first value of a fresh generator is c.
    uint32_t Next() {
        x_ = 5u * x_ + c_;
        return x_;
    }

    static constexpr int32_t kMaxPool = 134217727;

    // Fills the pool with 0..n-1 in order (n <= 0 leaves it empty); n beyond
    // kMaxPool raises EListError rather than allocating it.
    void SetCount(int32_t n);
    // Advances the state like Next, then takes out and returns the pool
    // entry at x mod (entries left). Raises EListError on an empty pool.
    int32_t Pick();
    int32_t PoolCount() const { return left_; }

private:
    uint32_t c_;
    uint32_t x_ = 0;
    int32_t count_ = 0;
    // The pool is always a subset of 0..count-1 kept in ascending order, so
    // it is held as a Fenwick tree of presence flags: taking the i-th
    // remaining entry is a logarithmic descent instead of shifting a list.
    std::vector<int32_t> tree_;  // 1-based
    int32_t left_ = 0;
    int32_t top_bit_ = 0;  // highest power of two <= count
};
