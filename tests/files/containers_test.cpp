#include "files/containers.h"
#include "files/path_parser.h"
#include "files/save_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

static std::vector<TRect> rects(TClipList& c) {
    std::vector<TRect> v;
    for (int32_t i = 0; i < c.Count(); ++i) v.push_back(c.GetRect(i));
    return v;
}

TEST(ClipList, MergesNeighboursWithinTwentyPixels) {
    TClipList c;
    c.AddRect({0, 0, 10, 10});
    c.AddRect({25, 0, 35, 10});  // 15 apart: merged
    EXPECT_EQ(rects(c), (std::vector<TRect>{{0, 0, 35, 10}}));
    TClipList d;
    d.AddRect({0, 0, 10, 10});
    d.AddRect({31, 0, 40, 10});  // 21 apart: kept
    EXPECT_EQ(d.Count(), 2);
    d.SetChanged(false);
    d.AddRect({2, 2, 5, 5});  // covered
    d.AddRect({5, 5, 5, 9});  // empty
    EXPECT_EQ(d.Count(), 2);
    EXPECT_FALSE(d.Changed());
    // A rectangle bridging both pulls them into one, merge after merge.
    d.AddRect({12, 0, 29, 4});
    EXPECT_EQ(rects(d), (std::vector<TRect>{{0, 0, 40, 10}}));
    EXPECT_TRUE(d.Changed());
    d.SetChanged(false);
    d.Delete(0);
    EXPECT_TRUE(d.Changed());
    EXPECT_THROW(d.GetRect(0), EListError);
    // Near the integer limits the 20-pixel reach must not wrap.
    EXPECT_FALSE(RectNear({INT32_MIN, 0, INT32_MIN + 1, 1}, {0, 0, INT32_MAX, 1}));
    EXPECT_TRUE(RectInside({1, 1, 2, 2}, {0, 0, 2, 2}));
    EXPECT_FALSE(RectInside({1, 1, 3, 2}, {0, 0, 2, 2}));
}

TEST(IntLists, PutGrowsWithZerosAndIndicesAreChecked) {
    TIntList l;
    l.Put(5, 7);
    ASSERT_EQ(l.Count(), 6);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(l.Get(i), 0);
    EXPECT_EQ(l.Get(5), 7);
    EXPECT_EQ(l.Add(9), 6);
    EXPECT_THROW(l.Get(7), EListError);
    EXPECT_THROW(l.Put(-1, 1), EListError);
    EXPECT_THROW(l.Put(TIntList::kMaxCount, 1), EListError);
    TIntArray a;
    a.Add(3);
    EXPECT_EQ(a.Count(), 1);
    EXPECT_EQ(a.Get(0), 3);
    EXPECT_THROW(a.Get(1), EListError);
}

TEST(ObjList, OwnsAndFreesItsItems) {
    struct Counted {
        int* live;
        explicit Counted(int* l) : live(l) { ++*live; }
        ~Counted() { --*live; }
    };
    int live = 0;
    {
        TObjList<Counted> l;
        for (int i = 0; i < 3; ++i) l.Add(std::make_unique<Counted>(&live));
        l.Delete(1);
        EXPECT_EQ(live, 2);
        EXPECT_EQ(l.Count(), 2);
    }
    EXPECT_EQ(live, 0);
}

TEST(TabStrings, FieldsBetweenTabs) {
    TTabStrings t;
    t.SetTabText("a\t\tb");
    EXPECT_EQ(t.Count(), 3);
    EXPECT_EQ(t.GetField(0), "a");
    EXPECT_EQ(t.GetField(1), "");
    EXPECT_EQ(t.GetField(2), "b");
    EXPECT_EQ(t.GetField(3), "");
    t.SetTabText("a\t");
    EXPECT_EQ(t.Count(), 1);
    t.SetTabText("");
    EXPECT_EQ(t.Count(), 0);
    t.SetTabText("\tx");
    EXPECT_EQ(t.Count(), 2);
    EXPECT_EQ(t.GetField(0), "");
    // 0x81 0x09 is one double-byte character: its trail byte is no delimiter.
    t.SetTabText("\x81\x09z\ty");
    ASSERT_EQ(t.Count(), 2);
    EXPECT_EQ(t.GetField(0), "\x81\x09z");
    // A lead byte at the very end stands alone.
    t.SetTabText("q\t\x81");
    EXPECT_EQ(t.GetField(1), "\x81");
}

TEST(ArrayString, StreamFormRoundTripsAndBadCountsRaise) {
    TArrayString a;
    a.Add("one");
    a.Add("");
    a.Add("three");
    TMemoryStream m;
    a.SaveToStream(m);
    const uint8_t head[] = {3, 0, 0, 0, 3, 0, 0, 0, 'o', 'n', 'e', 0, 0, 0, 0, 5, 0, 0, 0};
    ASSERT_EQ(m.GetSize(), 24);
    EXPECT_EQ(std::memcmp(m.Memory(), head, sizeof head), 0);
    m.SetPosition(0);
    TArrayString b;
    b.Add("old");
    b.LoadFromStream(m);
    ASSERT_EQ(b.Count(), 3);
    EXPECT_EQ(b.Get(2), "three");
    TArrayString c;
    c.Assign(b);
    EXPECT_EQ(c.Get(0), "one");

    for (int32_t bad_count : {-1, 1000000000, 4}) {
        TMemoryStream bad;
        WriteStreamInteger(bad, bad_count);
        WriteStreamString(bad, "x");
        WriteStreamString(bad, "y");
        bad.SetPosition(0);
        EXPECT_THROW(c.LoadFromStream(bad), ECorruptData) << bad_count;
        EXPECT_EQ(c.Count(), 0);
    }
    TMemoryStream long_string;
    WriteStreamInteger(long_string, 1);
    WriteStreamInteger(long_string, 100);
    long_string.Write("abc", 3);
    long_string.SetPosition(0);
    EXPECT_THROW(c.LoadFromStream(long_string), ECorruptData);
}

TEST(PathParser, SplitsDriveNetworkAndFolders) {
    TPathParser p;
    p.Parse("c:\\Game\\data");
    ASSERT_EQ(p.Count(), 3);
    EXPECT_EQ(p[0], "C:\\");
    EXPECT_EQ(p[1], "GAME\\");
    EXPECT_EQ(p[2], "DATA\\");
    EXPECT_EQ(p.Join(), "C:\\GAME\\DATA\\");
    p.Parse("\\\\server\\share\\x\\");
    ASSERT_EQ(p.Count(), 3);
    EXPECT_EQ(p[0], "\\\\SERVER\\");
    EXPECT_EQ(p[1], "SHARE\\");
    p.Parse("");
    EXPECT_EQ(p.Count(), 0);
    // 0x95 0x5C is one character whose trail byte is "\".
    p.Parse("a\\\x95\x5c");
    ASSERT_EQ(p.Count(), 2);
    EXPECT_EQ(p[1], "\x95\x5c\\");
}

TEST(PathParser, ExpandRelativePath) {
    EXPECT_EQ(ExpandRelativePath("..\\..\\x.txt", "c:\\game\\data\\"), "C:\\x.txt");
    EXPECT_EQ(ExpandRelativePath("..\\x.txt", "c:\\game\\data\\"), "C:\\GAME\\x.txt");
    EXPECT_EQ(ExpandRelativePath("sub\\x.txt", "c:\\Game\\"), "c:\\Game\\sub\\x.txt");
    EXPECT_EQ(ExpandRelativePath("d:\\x", "c:\\game\\"), "d:\\x");
    EXPECT_EQ(ExpandRelativePath("\\x", "c:\\game\\"), "\\x");
    EXPECT_EQ(ExpandRelativePath("x", "c:\\game\\"), "x");
    // More steps than folders: what is left of the name stays.
    EXPECT_EQ(ExpandRelativePath("..\\..\\..\\..\\x", "c:\\game\\"), "..\\..\\x");
    // Native base folders use "/".
    EXPECT_EQ(ExpandRelativePath("..\\x.txt", "/home/u/game/"), "/HOME/U/x.txt");
}
