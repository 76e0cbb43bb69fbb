#include "files/packing.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Golden data in tests/data/packing was made by Debian's Python with
// zlib.compress(data, 1); see the README there.
static std::vector<uint8_t> load(const std::string& name) {
    TMemoryStream m;
    m.LoadFromFile(std::string(VORQ_TEST_DATA) + "/packing/" + name);
    return {m.Memory(), m.Memory() + m.GetSize()};
}

static TMemoryStream stream_of(const std::vector<uint8_t>& v) {
    TMemoryStream m;
    m.Write(v.data(), static_cast<int64_t>(v.size()));
    m.SetPosition(0);
    return m;
}

static std::vector<uint8_t> bytes_of(TMemoryStream& m) { return {m.Memory(), m.Memory() + m.GetSize()}; }

TEST(Packing, CompressMatchesZlibLevelOneExactly) {
    for (const char* base : {"mixed", "zeros_1m", "empty"}) {
        std::vector<uint8_t> plain = std::string(base) == "mixed" ? load("mixed.bin")
                                     : std::string(base) == "zeros_1m" ? std::vector<uint8_t>(1048576, 0)
                                                                       : std::vector<uint8_t>{};
        TMemoryStream m = stream_of(plain);
        m.SetPosition(plain.size() / 2);  // packing always starts from position 0
        CompressStream(m);
        EXPECT_EQ(bytes_of(m), load(std::string(base) + ".z")) << base;
        EXPECT_EQ(m.GetPosition(), 0);
        DecompressStream(m);
        EXPECT_EQ(bytes_of(m), plain) << base;
    }
}

TEST(Packing, DecompressGrowsPastItsFirstGuess) {
    // 4596 packed bytes inflate to 1 MiB, far beyond four times the input.
    TMemoryStream m = stream_of(load("zeros_1m.z"));
    DecompressStream(m);
    EXPECT_EQ(bytes_of(m), std::vector<uint8_t>(1048576, 0));
}

TEST(Packing, CorruptOrTruncatedDataRaisesAndKeepsTheStream) {
    std::vector<uint8_t> z = load("mixed.z");
    std::vector<std::vector<uint8_t>> bad;
    bad.emplace_back(z.begin(), z.begin() + static_cast<ptrdiff_t>(z.size() / 2));  // cut in the middle
    bad.emplace_back(z.begin(), z.end() - 2);                                        // checksum cut
    std::vector<uint8_t> flipped = z;
    flipped[z.size() - 1] ^= 0x55;  // checksum wrong
    bad.push_back(flipped);
    std::vector<uint8_t> garbage = z;
    garbage[100] ^= 0xFF;
    bad.push_back(garbage);
    bad.push_back({});                  // nothing at all
    bad.push_back({0x78, 0x01});        // a header only
    for (size_t i = 0; i < bad.size(); ++i) {
        TMemoryStream m = stream_of(bad[i]);
        EXPECT_THROW(DecompressStream(m), ECorruptData) << i;
        EXPECT_EQ(bytes_of(m), bad[i]) << i;
    }
}

TEST(Packing, InflatingStopsAtItsLimitAndAtWhatThePackedBytesCanHold) {
    const std::vector<uint8_t> z = load("zeros_1m.z");  // 4596 bytes of 1 MiB of zeros
    struct Case {
        const char* what;
        int64_t limit;
        bool fits;
    };
    for (const Case& c : {Case{"exactly the content", 1048576, true}, Case{"one byte short", 1048575, false},
                          Case{"far below", 1000, false}, Case{"the default cap", kMaxUnpackedSize, true}}) {
        TMemoryStream out;
        out.WriteBuffer("old", 3);
        if (c.fits) {
            InflateTo(z.data(), z.size(), out, c.limit);
            EXPECT_EQ(bytes_of(out), std::vector<uint8_t>(1048576, 0)) << c.what;
            EXPECT_EQ(out.GetPosition(), 0) << c.what;
        } else {
            EXPECT_THROW(InflateTo(z.data(), z.size(), out, c.limit), ECorruptData) << c.what;
            EXPECT_EQ(out.GetSize(), 0) << c.what;
        }
    }
    // Whatever the limit, n packed bytes never hold more than 1032 n (plus a
    // match): the first 600 bytes of the stream are refused, not unpacked
    // into a huge buffer first.
    TMemoryStream out;
    EXPECT_THROW(InflateTo(z.data(), 600, out, INT64_MAX), ECorruptData);
    EXPECT_LE(out.GetSize(), 600 * 1032 + 258);
    // Bytes after the end of the zlib stream are ignored.
    std::vector<uint8_t> tail = load("mixed.z");
    tail.insert(tail.end(), {1, 2, 3});
    InflateTo(tail.data(), tail.size(), out);
    EXPECT_EQ(bytes_of(out), load("mixed.bin"));
}
