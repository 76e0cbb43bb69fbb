#include "files/save_stream.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {
// A stream that claims bytes it never delivers, like a device gone away.
struct DryStream : TStream {
    int64_t reads = 0;
    int64_t Read(void*, int64_t) override {
        ++reads;
        return 0;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t, SeekOrigin) override { return 0; }
    int64_t GetSize() override { return 1 << 20; }
};

// Hands out at most 3 bytes per read, as a pipe may.
struct TrickleStream : TStream {
    TMemoryStream m;
    int64_t Read(void* b, int64_t n) override { return m.Read(b, std::min<int64_t>(n, 3)); }
    int64_t Write(const void* b, int64_t n) override { return m.Write(b, n); }
    int64_t Seek(int64_t o, SeekOrigin g) override { return m.Seek(o, g); }
};
}  // namespace

TEST(SaveStream, EncodingsRoundTripAndEndReadsAsZero) {
    TMemoryStream m;
    WriteStreamString(m, "abc");
    WriteStreamString(m, "");
    WriteStreamInteger(m, -2);
    WriteStreamByte(m, 1);
    const uint8_t expect[] = {3, 0, 0, 0, 'a', 'b', 'c', 0, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1};
    ASSERT_EQ(m.GetSize(), 16);
    EXPECT_EQ(std::memcmp(m.Memory(), expect, 16), 0);
    m.SetPosition(0);
    EXPECT_EQ(ReadStreamString(m), "abc");
    EXPECT_EQ(ReadStringFromStream(m), "");
    EXPECT_EQ(ReadStreamInteger(m), -2);
    EXPECT_EQ(ReadStreamByte(m), 1);
    EXPECT_EQ(ReadStreamInteger(m), 0);
    EXPECT_EQ(ReadStreamByte(m), 0);
    EXPECT_EQ(ReadStreamString(m), "");
}

TEST(SaveStream, StringLengthsAreCheckedBeforeAllocating) {
    TMemoryStream m;
    WriteStreamInteger(m, 0x7FFFFFFF);
    m.Write("xy", 2);
    m.SetPosition(0);
    EXPECT_THROW(ReadStreamString(m), ECorruptData);
    TMemoryStream n;
    WriteStreamInteger(n, -5);  // a negative length reads as empty
    n.SetPosition(0);
    EXPECT_EQ(ReadStreamString(n), "");
    EXPECT_EQ(n.GetPosition(), 4);
}

TEST(CopyStream, CountZeroMeansWholeButComputedCountsCopyExactly) {
    TMemoryStream src;
    src.Write("0123456789", 10);
    src.SetPosition(4);
    TMemoryStream a;
    EXPECT_EQ(CopyStream(a, src, 0), 10);  // whole source from position 0
    EXPECT_EQ(a.GetSize(), 10);
    src.SetPosition(4);
    TMemoryStream b;
    EXPECT_EQ(CopyStreamBytes(b, src, 0), 0);  // a computed 0 copies nothing
    EXPECT_EQ(b.GetSize(), 0);
    EXPECT_EQ(CopyStreamBytes(b, src, 100), 6);  // short source: what was there
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.Memory()), 6), "456789");
    src.SetPosition(7);
    TMemoryStream c;
    EXPECT_EQ(CopyStreamAll(c, src), 10);
}

TEST(CopyStream, StopsWhenTheSourceYieldsNothing) {
    DryStream dry;
    TMemoryStream out;
    EXPECT_EQ(CopyStream(out, dry, 0), 0);
    EXPECT_EQ(dry.reads, 1);
    TrickleStream t;
    t.m.Write("abcdefghij", 10);
    t.m.SetPosition(0);
    EXPECT_EQ(CopyStream(out, t, 8), 8);  // short reads are continued
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.Memory()), 8), "abcdefgh");
}
