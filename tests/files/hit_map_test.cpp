// The hit-map file of map images: a file laid out byte by byte here reads as
// its areas and is written back the same, and every damaged copy (each
// prefix, each byte replaced, counts beyond the file) is refused with the
// map file's message or read as something else, never more.
#include "files/hit_map.h"

#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// Two areas laid out by hand: a rectangle "A" and a triangle "港" (Shift-JIS
// 0x8D 0x60) with shape byte 7.
std::vector<uint8_t> sample_file() {
    std::vector<uint8_t> b;
    auto put = [&](const std::vector<uint8_t>& v) { b.insert(b.end(), v.begin(), v.end()); };
    put(le32(2));
    put(le32(1));
    b.push_back('A');
    b.push_back(0);
    for (int32_t v : {10, 20, 30, -40}) put(le32(uint32_t(v)));
    put(le32(2));
    b.push_back(0x8D);
    b.push_back(0x60);
    b.push_back(7);
    put(le32(3));
    for (int32_t v : {0, 0, 100, 0, 50, -2147483647 - 1}) put(le32(uint32_t(v)));
    return b;
}

TMemoryStream stream_of(const std::vector<uint8_t>& b) {
    TMemoryStream s;
    if (!b.empty()) s.WriteBuffer(b.data(), int64_t(b.size()));
    s.SetPosition(0);
    return s;
}

TEST(HitMap, ReadsAndWritesTheLayout) {
    TMemoryStream s = stream_of(sample_file());
    const std::vector<THitArea> areas = ReadHitMap(s, "town.map");
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[0].Text, "A");
    EXPECT_EQ(areas[0].Shape, kHitRectangle);
    EXPECT_EQ(areas[0].Left, 10);
    EXPECT_EQ(areas[0].Top, 20);
    EXPECT_EQ(areas[0].Right, 30);
    EXPECT_EQ(areas[0].Bottom, -40);
    EXPECT_EQ(areas[1].Text, Sjis("港"));
    EXPECT_EQ(areas[1].Shape, 7);
    const std::vector<TPoint> tri = {{0, 0}, {100, 0}, {50, -2147483647 - 1}};
    EXPECT_EQ(areas[1].Points, tri);
    TMemoryStream out;
    WriteHitMap(out, areas);
    EXPECT_EQ(std::vector<uint8_t>(out.Bytes().begin(), out.Bytes().end()), sample_file());
}

TEST(HitMap, EmptyMapAndTrailingBytes) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        size_t areas;
    };
    std::vector<uint8_t> trailing = sample_file();
    trailing.push_back(0xEE);
    const Case cases[] = {
        {"no areas", le32(0), 0},
        {"bytes after the last area are left alone", trailing, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TMemoryStream s = stream_of(c.bytes);
        EXPECT_EQ(ReadHitMap(s, "m.map").size(), c.areas);
    }
}

TEST(HitMap, DamagedFilesAreRefused) {
    const std::vector<uint8_t> good = sample_file();
    const std::string message = "town.map" + Sjis(":マップファイルが壊れています");
    for (size_t n = 0; n < good.size(); ++n) {
        TMemoryStream s = stream_of(std::vector<uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(n)));
        try {
            ReadHitMap(s, "town.map");
            ADD_FAILURE() << "a file cut to " << n << " bytes was read";
        } catch (const ECorruptData& e) {
            EXPECT_EQ(e.Message().rfind(message, 0), 0u) << n;
        }
    }
    int refused = 0;
    for (size_t i = 0; i < good.size(); ++i)
        for (int v : {-1, 0x00, 0x7F, 0x80, 0xFF}) {
            std::vector<uint8_t> b = good;
            b[i] = v < 0 ? uint8_t(~b[i]) : uint8_t(v);
            TMemoryStream s = stream_of(b);
            try {
                const std::vector<THitArea> areas = ReadHitMap(s, "town.map");
                EXPECT_LE(areas.size(), 2u);
            } catch (const ECorruptData&) {
                ++refused;
            }
        }
    EXPECT_GT(refused, 0);
    // Counts the file cannot hold are refused before anything is made.
    for (const std::vector<uint8_t>& b : {le32(0xFFFFFFFF), le32(1000)}) {
        TMemoryStream s = stream_of(b);
        EXPECT_THROW(ReadHitMap(s, "town.map"), ECorruptData);
    }
    std::vector<uint8_t> many_vertices = le32(1);
    for (uint8_t v : le32(0)) many_vertices.push_back(v);
    many_vertices.push_back(2);
    for (uint8_t v : le32(0x20000000)) many_vertices.push_back(v);
    TMemoryStream s = stream_of(many_vertices);
    EXPECT_THROW(ReadHitMap(s, "town.map"), ECorruptData);
}

}  // namespace
