#include "render/tesk_collection.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

#include "platform/text/codepage.h"
#include "platform/filesystem/stream.h"
#include "render/dibx.h"
#include "render/tesk.h"
#include "tests/support/plain_dibx.h"
#include "tests/support/tesk_writer.h"

namespace {

class FakeSource : public TTeskSource {
public:
    bool FileExists(const std::string& name) override { return files.count(AnsiLowerCase(name)) > 0; }
    bool ManagerFileExists(const std::string& name) override { return managerSees && FileExists(name); }
    void LoadToStream(TStream& stream, const std::string& name) override {
        ++loads;
        const auto& b = files.at(AnsiLowerCase(name));
        stream.WriteBuffer(b.data(), int64_t(b.size()));
    }
    uint32_t IdCode() override { return 0; }

    std::map<std::string, std::vector<uint8_t>> files;
    bool managerSees = true;
    int loads = 0;
};

std::vector<uint8_t> Bytes(TMemoryStream& s) { return {s.Memory(), s.Memory() + s.GetSize()}; }

// A layered image of w x h at 24 bpp, all pixels of one colour but a black
// border when keyed (the key is black).
std::vector<uint8_t> Picture(int w, int h, bool keyed, int frames = 1, int delay = 0) {
    TTeskFrameList list;
    for (int f = 0; f < frames; ++f) {
        TTeskFrame& fr = *list.AddFrame();
        fr.Image.SetSize(w, h, 24);
        fr.Image.FillRect(TRect{keyed ? 1 : 0, keyed ? 1 : 0, keyed ? w - 1 : w, keyed ? h - 1 : h}, 0x336699);
        fr.Delay = delay;
        if (keyed) fr.TransparentColor = 0;
    }
    TMemoryStream s;
    list.SaveToStream(s, 0);
    return Bytes(s);
}

std::vector<uint8_t> ReadData(const std::string& name) {
    std::ifstream f(std::string(VORQ_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

struct CacheTest : ::testing::Test {
    // Pictures at 32 bits, as on a 32-bit screen, drawn onto 32-bit surfaces.
    CacheTest() { SetDisplayBitCount(32); }
    ~CacheTest() override { SetDisplayBitCount(15); }
    FakeSource source;
    TTeskCollection cache{&source};
    int a = 0, b = 0, c = 0;
};

}  // namespace

TEST_F(CacheTest, FourKeysPerNameAndModifiersStripped) {
    source.files["pic.tes"] = Picture(6, 5, true);
    TTeskItem* both = cache.Acquire(&a, "pic.tes", true, true);
    EXPECT_EQ("pic.tes?m?t", both->GetName());
    // The picture, trimmed to its opaque part, not the placeholder.
    ASSERT_EQ(1, both->GetFrameCount());
    EXPECT_EQ(6, both->Width);
    EXPECT_EQ(4, both->Frames[0]->Image->Width());
    EXPECT_EQ(1, both->Frames[0]->TrimX);
    ASSERT_NE(nullptr, both->Frames[0]->Mask);
    TTeskItem* plain = cache.Acquire(&a, "PIC.TES", false, false);
    EXPECT_NE(both, plain);
    EXPECT_EQ(plain, cache.Acquire(&b, "pic.tes", false, false));
    EXPECT_EQ(2u, plain->Users().size());
    cache.Acquire(&a, "pic.tes", false, true);
    cache.Acquire(&a, "pic.tes", true, false);
    EXPECT_EQ(4, cache.Count());
    EXPECT_EQ(4, source.loads);
    // The key is a colour key in the surface's format; the reader made a
    // mask from it, which the frame keeps.
    EXPECT_EQ(0, plain->Frames[0]->Image->TransparentColor());
    ASSERT_NE(nullptr, plain->Frames[0]->Mask);
    EXPECT_EQ(0u, plain->Frames[0]->Mask->GetPixel(0, 0));
    EXPECT_EQ(255u, plain->Frames[0]->Mask->GetPixel(2, 2));
}

TEST_F(CacheTest, PlaceholderForMissingFilesHasAFullMask) {
    TTeskItem* item = cache.Acquire(&a, "none.tes", false, true);
    ASSERT_EQ(1, item->GetFrameCount());
    const TTeskItemFrame& f = *item->Frames[0];
    EXPECT_EQ(80, f.Image->Width());
    EXPECT_EQ(DisplayBitCount(), f.Image->BitCount());
    ASSERT_NE(nullptr, f.Mask);
    EXPECT_EQ(80, f.Mask->Width());
    EXPECT_EQ(80, f.Mask->Height());
    TPlainDIBX dest(100, 100, DisplayBitCount());
    dest.Fill(5);
    f.Draw(dest, 0, 0, 255, false, false, f.Image->BoundsRect());
    EXPECT_EQ(5u, dest.GetPixel(79, 79));  // all transparent
}

TEST_F(CacheTest, BitmapAndPngFilesDecodeBySignature) {
    source.files["a.bmp"] = ReadData("dib/bmp_24bit.bmp");
    source.files["b.png"] = ReadData("tesk/rgba.png");
    TTeskItem* bmp = cache.Acquire(&a, "a.bmp", false, false);
    TDIB ref;
    ref.LoadFromFile(std::string(VORQ_TEST_DATA) + "/dib/bmp_24bit.bmp");
    ASSERT_EQ(1, bmp->GetFrameCount());
    EXPECT_EQ(ref.Width(), bmp->Width);
    EXPECT_EQ(ref.GetPixel(1, 1), bmp->Frames[0]->Image->GetPixel(1, 1) & 0xFFFFFF);
    TTeskItem* png = cache.Acquire(&a, "b.png", false, false);
    EXPECT_EQ(37, png->Width);
    ASSERT_NE(nullptr, png->Frames[0]->Mask);
}

TEST_F(CacheTest, FailedDecodeLeavesNoEntry) {
    auto bad = Picture(4, 4, false);
    bad.resize(bad.size() - 10);
    source.files["bad.tes"] = bad;
    EXPECT_THROW(cache.Acquire(&a, "bad.tes", false, false), ECorruptData);
    EXPECT_EQ(0, cache.Count());
    EXPECT_EQ(-1, cache.IndexOf("bad.tes"));
    EXPECT_THROW(cache.Acquire(&a, "bad.tes", false, false), ECorruptData);
}

TEST_F(CacheTest, ReleaseAndIdleBudget) {
    // 1000 x 1000 at 32 bpp: 4,000,000 bytes each.
    SetDisplayBitCount(32);
    for (const char* n : {"1.tes", "2.tes", "3.tes"}) source.files[n] = Picture(1000, 1000, false);
    TTeskItem* one = cache.Acquire(&a, "1.tes", false, false);
    EXPECT_EQ(4000000, one->ByteCount());
    one->Release(&b);  // not a user: nothing happens
    EXPECT_TRUE(cache.IdleList().empty());
    cache.Acquire(&b, "2.tes", false, false);
    cache.Acquire(&c, "3.tes", false, false);
    one->Release(&a);
    EXPECT_EQ(1u, cache.IdleList().size());
    cache.Acquire(&b, "2.tes", false, false)->Release(&b);
    EXPECT_EQ(1, cache.IndexOf("1.tes") >= 0 ? 0 : 1);  // the oldest went
    cache.Acquire(&c, "3.tes", false, false)->Release(&c);
    ASSERT_EQ(1u, cache.IdleList().size());
    EXPECT_EQ("3.tes", cache.IdleList()[0]->GetName());
    EXPECT_EQ(1, cache.Count());

    // One idle picture above the budget stays.
    source.files["big.tes"] = Picture(2500, 1000, false);
    cache.Acquire(&a, "big.tes", false, false)->Release(&a);
    ASSERT_EQ(1u, cache.IdleList().size());
    EXPECT_EQ("big.tes", cache.IdleList()[0]->GetName());
    EXPECT_EQ(10000000, cache.IdleBytes());
    // Acquiring again takes it off the idle list without decoding.
    const int loads = source.loads;
    cache.Acquire(&a, "big.tes", false, false);
    EXPECT_EQ(loads, source.loads);
    EXPECT_TRUE(cache.IdleList().empty());
    EXPECT_EQ(0, cache.IdleBytes());
}

TEST_F(CacheTest, PurgeFreesOnlyIdleVariants) {
    source.files["p.tes"] = Picture(4, 4, false);
    cache.Acquire(&a, "p.tes", false, false)->Release(&a);
    cache.Acquire(&a, "p.tes", true, true)->Release(&a);
    cache.Acquire(&a, "p.tes", false, true);
    cache.Purge("P.TES");
    EXPECT_EQ(1, cache.Count());
    EXPECT_EQ("p.tes?m", cache.ItemAs<TTeskItem>(0)->GetName());
    EXPECT_TRUE(cache.IdleList().empty());
}

TEST_F(CacheTest, DelaysAndDrawCodes) {
    source.files["anim.tes"] = Picture(3, 3, false, 3, 0);
    TTeskItem* item = cache.Acquire(&a, "anim.tes", false, false);
    ASSERT_EQ(3, item->GetFrameCount());
    EXPECT_EQ(1, item->Frames[0]->Delay);
    EXPECT_EQ(3, item->TotalDelay);

    const TTeskItemFrame& f = *item->Frames[0];
    TPlainDIBX dest(3, 3, 32), ref(3, 3, 32);
    dest.Fill(0x101010);
    ref.Fill(0x101010);
    f.Draw(dest, 0, 0, 300, false, false, f.Image->BoundsRect());
    ref.DrawAdd(0, 0, *f.Image, f.Image->BoundsRect(), false, false, false, 44);
    EXPECT_EQ(ref.GetPixel(1, 1), dest.GetPixel(1, 1));
    EXPECT_NE(0x101010u, dest.GetPixel(1, 1));
    f.Draw(dest, 0, 0, 0, false, false, f.Image->BoundsRect());
    EXPECT_EQ(ref.GetPixel(1, 1), dest.GetPixel(1, 1));
}

TEST_F(CacheTest, DrawTiledCoversTheRectangleFromTheOffsets) {
    TTeskFrameList list;
    TTeskFrame& fr = *list.AddFrame();
    fr.Image.SetSize(2, 1, 24);
    fr.Image.SetPixel(0, 0, 0x000001);
    fr.Image.SetPixel(1, 0, 0x000002);
    TMemoryStream s;
    list.SaveToStream(s, 1);
    source.files["t.tes"] = Bytes(s);
    const TTeskItemFrame& f = *cache.Acquire(&a, "t.tes", false, false)->Frames[0];
    TPlainDIBX dest(5, 2, 32);
    f.DrawTiled(dest, TRect{0, 0, 5, 2}, 255, false, false, 0, 1, f.Image->BoundsRect());
    const uint32_t expect[5] = {2, 1, 2, 1, 2};
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(expect[x], dest.GetPixel(x, 0) & 0xFFFFFF) << x;
        EXPECT_EQ(expect[x], dest.GetPixel(x, 1) & 0xFFFFFF) << x;
    }
}

TEST_F(CacheTest, MatchDepthReloadsAndIsStored) {
    source.files["m.tes"] = Picture(4, 4, false);
    TTeskItem* item = cache.Acquire(&a, "m.tes", false, false);
    TCustomDIBX* surface = item->Frames[0]->Image.get();
    cache.SetMatchDepth(true);
    EXPECT_EQ(2, source.loads);
    EXPECT_EQ(surface, item->Frames[0]->Image.get());  // refreshed in place
    cache.SetMatchDepth(true);
    EXPECT_EQ(2, source.loads);
    TMemoryStream s;
    cache.SaveToStream(s);
    EXPECT_EQ(1, s.GetSize());
    s.SetPosition(0);
    cache.SetMatchDepth(false);
    cache.LoadFromStream(s, 100);  // too old to hold the flag
    EXPECT_FALSE(cache.MatchDepth());
    s.SetPosition(0);
    cache.LoadFromStream(s, 101);
    EXPECT_TRUE(cache.MatchDepth());
    TMemoryStream cut;  // the flag missing is refused, not read as false
    EXPECT_THROW(cache.LoadFromStream(cut, 101), ECorruptData);
    EXPECT_TRUE(cache.MatchDepth());

    // After a display change: new surfaces, unless the file went away.
    cache.ReleaseSurfaces();
    cache.RestoreSurfaces(true);
    EXPECT_NE(surface, item->Frames[0]->Image.get());
    EXPECT_EQ(4, item->Frames[0]->Image->Width());
    source.managerSees = false;
    surface = item->Frames[0]->Image.get();
    cache.RestoreSurfaces(true);
    EXPECT_EQ(surface, item->Frames[0]->Image.get());
}
