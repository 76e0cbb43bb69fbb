#include "files/big_stream.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/resources.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace {
std::vector<uint8_t> pattern(size_t n, uint8_t seed = 0) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
    return v;
}

std::string folder(const char* name) {
    std::string d = PrivateTempFolder() + name + "/";
    ForceDirectories(d);
    return d;
}

void write_file(const std::string& path, size_t n) {
    TFileStream f(path, fmCreate);
    auto v = pattern(n);
    f.WriteBuffer(v.data(), static_cast<int64_t>(n));
}

std::vector<uint8_t> bytes_of(TMemoryStream& m) { return {m.Memory(), m.Memory() + m.GetSize()}; }
}  // namespace

TEST(BigFileStream, WritesSplitIntoVolumesAndReadBack) {
    const std::string dir = folder("bigvol");
    const std::string name = dir + "save.dat";
    const auto data = pattern(1024 + 10);
    {
        TWzBigFileStream s(name, fmCreate, 1024);
        EXPECT_EQ(s.Write(data.data(), static_cast<int64_t>(data.size())), 1034);
        EXPECT_EQ(s.GetSize(), 1034);
        EXPECT_EQ(s.GetPosition(), 1034);
    }
    EXPECT_EQ(FileSizeOf(name), 1024);
    EXPECT_EQ(FileSizeOf(dir + "save.001"), 10);
    EXPECT_FALSE(FileExists(dir + "save.002"));

    TWzBigFileStream r(name, fmOpenRead | fmShareDenyWrite, 1024);
    EXPECT_EQ(r.GetSize(), 1034);
    r.SetPosition(5000);
    EXPECT_EQ(r.GetPosition(), 1034);  // never beyond the end
    r.SetPosition(1000);
    std::vector<uint8_t> got(100);
    EXPECT_EQ(r.Read(got.data(), 100), 34);  // across the volume seam, then the end
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 34, data.begin() + 1000));
    EXPECT_EQ(r.Read(got.data(), 100), 0);
    r.SetPosition(3);
    TMemoryStream m;
    EXPECT_EQ(r.CopyToStream(m, 1031), 1031);
    EXPECT_TRUE(std::equal(data.begin() + 3, data.end(), m.Memory()));
    EXPECT_EQ(r.CopyToStream(m, 0), 0);  // zero copies nothing here
}

TEST(BigFileStream, CreatingDeletesOldVolumesUpToTheFirstGap) {
    const std::string dir = folder("bigdel");
    write_file(dir + "save.dat", 5);
    write_file(dir + "save.001", 5);
    write_file(dir + "save.003", 5);
    {
        TWzBigFileStream s(dir + "save.dat", fmCreate, 1024);
        EXPECT_EQ(s.GetSize(), 0);
    }
    EXPECT_FALSE(FileExists(dir + "save.dat"));
    EXPECT_FALSE(FileExists(dir + "save.001"));
    EXPECT_TRUE(FileExists(dir + "save.003"));
    EXPECT_THROW(TWzBigFileStream(dir + "save.dat", fmOpenRead), EFOpenError);
}

TEST(BigFileStream, CopiesBetweenKindsAndVolumeSizes) {
    const std::string dir = folder("bigcopy");
    const auto data = pattern(5000, 3);
    TMemoryStream src;
    src.Write(data.data(), 5000);
    src.SetPosition(77);
    {
        TWzBigFileStream a(dir + "a.bin", fmCreate, 1000);
        EXPECT_EQ(a.CopyFromStream(src, 0), 5000);  // 0: whole source from 0
        EXPECT_EQ(a.GetSize(), 5000);
        TWzBigFileStream b(dir + "b.bin", fmCreate, 1536);
        a.SetPosition(123);
        EXPECT_EQ(b.CopyFrom(a, 0), 5000);  // volume piece by piece
        TWzBigMemoryStream mem;
        mem.Write(data.data(), 5000);
        TWzBigFileStream c(dir + "c.bin", fmCreate, 700);
        EXPECT_EQ(c.CopyFrom(mem, 4000), 0);  // mem stands at its end
        EXPECT_EQ(c.CopyFrom(mem, 0), 5000);  // through the copy buffer
    }
    for (const char* n : {"a.bin", "b.bin", "c.bin"}) {
        TWzBigMemoryStream whole;
        TWzBigFileStream f(dir + n, fmOpenRead, n[0] == 'a' ? 1000 : n[0] == 'b' ? 1536 : 700);
        EXPECT_EQ(f.CopyToStream(whole.Inner(), f.GetSize()), 5000) << n;
        EXPECT_EQ(bytes_of(whole.Inner()), data) << n;
    }
    EXPECT_EQ(FileSizeOf(dir + "b.001"), 1536);
    EXPECT_EQ(FileSizeOf(dir + "b.003"), 5000 - 3 * 1536);
}

TEST(BigFileStream, ReadWriteModeExtendsExistingVolumes) {
    const std::string dir = folder("bigrw");
    const auto data = pattern(300);
    { TWzBigFileStream s(dir + "x.dat", fmCreate, 256); s.Write(data.data(), 200); }
    {
        TWzBigFileStream s(dir + "x.dat", fmOpenReadWrite, 256);
        EXPECT_EQ(s.GetSize(), 200);
        s.SetPosition(200);
        EXPECT_EQ(s.Write(data.data() + 200, 100), 100);
    }
    TWzBigFileStream r(dir + "x.dat", fmOpenRead, 256);
    std::vector<uint8_t> got(300);
    EXPECT_EQ(r.Read(got.data(), 300), 300);
    EXPECT_EQ(got, data);
}

TEST(BigMemoryStream, CopyFromOnlyFromItsOwnKind) {
    TWzBigMemoryStream a, b;
    a.Write("hello", 5);
    EXPECT_EQ(b.CopyFrom(a, 0), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.Inner().Memory()), 5), "hello");
    TWzBigStream base;
    EXPECT_EQ(b.CopyFrom(base, 0), 0);
    EXPECT_EQ(base.GetSize(), 0);
}

static const uint8_t kBlob[] = "0123456789abcdefghijklmnopqrstuvwxyz";

TEST(BigResourceStream, ReadsAndRefusesWrites) {
    RegisterResource("BIGTEST", "RCDATA", {kBlob, 36});
    TWzBigResourceStream r("bigtest", "rcdata");
    EXPECT_EQ(r.GetSize(), 36);
    EXPECT_THROW(r.Write("x", 1), EWriteError);
    TResourceRangeStream rr("BIGTEST", 0, 30, "RCDATA");
    EXPECT_EQ(rr.GetSize(), 6);
    char buf[16] = {};
    EXPECT_EQ(rr.Read(buf, 16), 6);
    EXPECT_STREQ(buf, "uvwxyz");
    UnregisterResource("BIGTEST", "RCDATA");
}

TEST(BuffBigStream, HandsOutChunksAndPutsBackWhatItReadAhead) {
    const auto data = pattern(2 * 102400 + 500);
    TWzBigMemoryStream src;
    src.Write(data.data(), static_cast<int64_t>(data.size()));
    src.SetPosition(100);
    {
        TWzBuffBigStream b(src);
        uint8_t got[10];
        EXPECT_EQ(b.Read(got, 10), 10);
        EXPECT_TRUE(std::equal(got, got + 10, data.begin() + 100));
        EXPECT_EQ(src.GetPosition(), 100 + 102400);  // a whole chunk was read ahead
    }
    EXPECT_EQ(src.GetPosition(), 110);
    {
        TWzBuffBigStream b(src);
        std::vector<uint8_t> all(data.size());
        EXPECT_EQ(b.Read(all.data(), static_cast<int32_t>(all.size())), static_cast<int32_t>(data.size() - 110));
        EXPECT_TRUE(std::equal(data.begin() + 110, data.end(), all.begin()));
        EXPECT_EQ(b.Read(all.data(), 10), 0);  // at the end it stops
    }
    EXPECT_EQ(src.GetPosition(), static_cast<int64_t>(data.size()));
}

TEST(RangeStream, PresentsAClampedWindow) {
    auto inner = std::make_unique<TWzBigMemoryStream>();
    const auto data = pattern(400);
    inner->Write(data.data(), 400);
    TRangeStream r(std::move(inner), 100, 50);
    EXPECT_EQ(r.GetSize(), 50);
    EXPECT_EQ(r.GetPosition(), 0);
    std::vector<uint8_t> got(80);
    EXPECT_EQ(r.Read(got.data(), 80), 50);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 50, data.begin() + 100));
    EXPECT_EQ(r.Read(got.data(), 80), 0);
    EXPECT_EQ(r.Seek(-10, SeekOrigin::Beginning), 0);
    EXPECT_EQ(r.Seek(-5, SeekOrigin::End), 45);
    EXPECT_EQ(r.Seek(100, SeekOrigin::Current), 50);
    EXPECT_EQ(r.Seek(INT64_MAX, SeekOrigin::Beginning), 50);
    EXPECT_EQ(r.Write("x", 1), 0);
    // A window past the inner stream is cut to it.
    auto small = std::make_unique<TWzBigMemoryStream>();
    small->Write(data.data(), 120);
    TRangeStream cut(std::move(small), 100, 50);
    EXPECT_EQ(cut.GetSize(), 20);
}

TEST(RangeStream, FileWindowSizeZeroTakesTheRest) {
    const std::string dir = folder("range");
    write_file(dir + "arc.dat", 1000);
    const auto data = pattern(1000);
    TFileRangeStream all(dir + "arc.dat", 0, 900);
    EXPECT_EQ(all.GetSize(), 100);
    TFileRangeStream part(dir + "ARC.DAT", 10, 500);
    uint8_t got[20];
    EXPECT_EQ(part.Read(got, 20), 10);
    EXPECT_TRUE(std::equal(got, got + 10, data.begin() + 500));
    EXPECT_THROW(TFileRangeStream(dir + "none.dat", 0, 0), EFOpenError);
}
