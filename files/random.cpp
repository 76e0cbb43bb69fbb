#include "files/random.h"
#include "platform/exception.h"

#include <string>

void TWzRandom::SetCount(int32_t n) {
    // The pool was a runtime list, whose capacity stops at this bound.
    if (n > kMaxPool) throw EListError("TWzRandom.SetCount: pool of " + std::to_string(n) + " entries is too large");
    count_ = n > 0 ? n : 0;
    left_ = count_;
    tree_.assign(static_cast<size_t>(count_) + 1, 0);
    // Every slot present: node i covers (i - lowbit(i), i], so it holds lowbit(i).
    for (int32_t i = 1; i <= count_; ++i) tree_[static_cast<size_t>(i)] = i & -i;
    top_bit_ = 1;
    while (top_bit_ <= count_ / 2) top_bit_ <<= 1;
}

int32_t TWzRandom::Pick() {
    if (left_ <= 0) throw EListError("TWzRandom.Pick: the pool is empty");
    x_ = 5u * x_ + c_;
    int32_t rank = static_cast<int32_t>(x_ % static_cast<uint32_t>(left_));  // 0-based among those left
    // Find the smallest position whose prefix count exceeds rank.
    int32_t pos = 0;
    const int32_t* t = tree_.data();
    for (int32_t step = top_bit_; step > 0; step >>= 1) {
        int32_t next = pos + step;
        if (next <= count_ && t[next] <= rank) {
            pos = next;
            rank -= t[next];
        }
    }
    // pos is 0-based value of the picked entry; remove its flag.
    for (int32_t i = pos + 1; i <= count_; i += i & -i) --tree_[static_cast<size_t>(i)];
    --left_;
    return pos;
}
