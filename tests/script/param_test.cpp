// Value kinds: conversions, shape, bulk operations and the stored form.
#include "script/param.h"

#include "script/param_collection.h"
#include "files/save_stream.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

std::string message_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

TEST(Param, NewValuesAndConversions) {
    TParamInt i;
    EXPECT_EQ(i.GetAsInt(), 0);
    EXPECT_EQ(i.GetAsString(), "0");
    EXPECT_FALSE(i.GetAsBool());
    TParamStr s;
    EXPECT_EQ(s.GetAsString(), "");
    EXPECT_EQ(s.GetAsInt(), 0);

    TParamFloat f;
    f.SetAsFloat(2.9L);
    EXPECT_EQ(f.GetAsInt(), 2);
    f.SetAsFloat(-2.9L);
    EXPECT_EQ(f.GetAsInt(), -2);
    f.SetAsString("1e3");
    EXPECT_EQ(f.GetAsString(), "1000");
    f.SetAsString("x");
    EXPECT_EQ(f.GetAsFloat(), 0);

    for (auto [text, want] : {std::pair{"12abc", 0}, {" 12", 12}, {"$1F", 31}, {"0x10", 16}, {"-5", -5}}) {
        s.SetAsString(text);
        EXPECT_EQ(s.GetAsInt(), want) << text;
        i.SetAsString(text);
        EXPECT_EQ(i.GetAsInt(), want) << text;
    }
    s.SetAsString("true");
    EXPECT_FALSE(s.GetAsBool());  // only "TRUE" is true
    TParamFlag b;
    b.SetAsString("TRUE");
    EXPECT_EQ(b.GetAsString(), "TRUE");
    EXPECT_EQ(b.GetAsFloat(), 1.0L);
    b.SetAsFloat(0.0L);
    EXPECT_EQ(b.GetAsString(), "FALSE");
    s.SetAsFloat(0.1L);
    EXPECT_EQ(s.GetAsString(), "0.1");
    i.SetAsFloat(4294967298.5L);  // low 32 bits of the 64-bit truncation
    EXPECT_EQ(i.GetAsInt(), 2);
}

TEST(Param, ScalarWritesAndShape) {
    TParamInt a;
    int32_t dims[] = {3, 2};
    a.SetDims(dims);
    EXPECT_EQ(a.Count(), 6);
    EXPECT_EQ(a.DimCount(), 2);
    EXPECT_EQ(a.DimSize(1), 2);
    EXPECT_EQ(a.DimSize(2), 1);
    a.SetAsInt(5);  // drops the shape and keeps one element
    EXPECT_EQ(a.Count(), 1);
    EXPECT_EQ(a.DimCount(), 1);
    EXPECT_EQ(a.GetAsInt(), 5);

    TParamInt list;
    list.SetCount(6);
    list.SetIntAt(5, 9);
    list.SetAsInt(1);  // no shape: element 0 written, the rest kept
    EXPECT_EQ(list.Count(), 6);
    EXPECT_EQ(list.GetIntAt(5), 9);

    EXPECT_EQ(message_of([&] { list.GetIntAt(6); }), Sjis("配列の添字が不正です"));
    EXPECT_EQ(message_of([&] { list.SetIntAt(-1, 3); }), Sjis("配列の添字が不正です"));
    int32_t bad[] = {2, 0};
    EXPECT_EQ(message_of([&] { list.SetDims(bad); }), Sjis("配列の要素数[2,0]が不正です"));
    EXPECT_EQ(list.Count(), 6);
    // Products are taken in 64 bits and capped instead of wrapping.
    int32_t huge[] = {65536, 65536, 2};
    EXPECT_EQ(message_of([&] { list.SetDims(huge); }), Sjis("配列の要素数[65536,65536,2]が不正です"));
    EXPECT_EQ(list.Count(), 6);
}

TEST(Param, FillsCopyMemAndIndexOf) {
    TParamFloat f;
    f.SetCount(3);
    f.FillInt(7);  // another type's fill is ignored
    EXPECT_EQ(f.GetFloatAt(2), 0);
    f.FillFloat(7);
    EXPECT_EQ(f.GetFloatAt(2), 7);

    TParamInt src, dst;
    int32_t dims[] = {2, 2};
    src.SetDims(dims);
    src.SetIntAt(3, 4);
    dst.CopyMem(src);
    EXPECT_EQ(dst.Count(), 4);
    EXPECT_EQ(dst.DimSize(1), 2);
    EXPECT_EQ(dst.GetIntAt(3), 4);
    EXPECT_EQ(message_of([&] { dst.CopyMem(f); }), Sjis("CopyMem:変数の型があいません"));
    TParamInt plain;
    dst.CopyMem(plain);  // a source without shape gives the single dimension 1
    EXPECT_EQ(dst.Dims(), std::vector<int32_t>{1});

    TParamStr s;
    s.SetCount(3);
    s.SetStrAt(0, "Apple");
    s.SetStrAt(1, "banana");
    s.SetStrAt(2, "APPLE pie");
    EXPECT_EQ(s.IndexOf("apple", true, false), -1);
    EXPECT_EQ(s.IndexOf("apple", false, false), 0);
    EXPECT_EQ(s.IndexOf("pie", true, true), 2);
    EXPECT_EQ(s.IndexOf("NAN", false, true), 1);
    TParamInt n;
    n.SetCount(2);
    n.SetIntAt(1, 42);
    EXPECT_EQ(n.IndexOf("42", true, false), 1);
}

TEST(Param, AssignConverted) {
    TParamStr src;
    int32_t dims[] = {2};
    src.SetDims(dims);
    src.SetStrAt(0, "3");
    src.SetStrAt(1, "x");
    TParamInt dst;
    dst.AssignConverted(src);
    EXPECT_EQ(dst.Count(), 2);
    EXPECT_EQ(dst.GetIntAt(0), 3);
    EXPECT_EQ(dst.GetIntAt(1), 0);
}

TEST(Param, StoredFormRoundTrip) {
    TParamStr s;
    int32_t dims[] = {2, 1};
    s.SetDims(dims);
    s.SetStrAt(1, Sjis("表示"));
    TParamFloat f;
    f.SetAsFloat(-1.25L);
    TParamFlag b;
    b.SetCount(0);  // a stored count of 0 reads no element bytes
    TMemoryStream m;
    s.SaveToStream(m);
    f.SaveToStream(m);
    b.SaveToStream(m);
    m.SetPosition(0);
    TParamStr s2;
    TParamFloat f2;
    TParamFlag b2;
    s2.LoadFromStream(m);
    f2.LoadFromStream(m);
    b2.LoadFromStream(m);
    EXPECT_EQ(m.Remaining(), 0);
    EXPECT_EQ(s2.DimSize(0), 2);
    EXPECT_EQ(s2.GetStrAt(1), Sjis("表示"));
    EXPECT_EQ(f2.GetAsFloat(), -1.25L);
    EXPECT_EQ(b2.Count(), 0);
    EXPECT_FALSE(b2.GetAsBool());  // reading an empty value gives the default
    b2.SetAsBool(true);            // and a scalar write gives it one element
    EXPECT_EQ(b2.Count(), 1);
}

// Hand-made stored values: dims 1 x [3], count 3, three integers.
TEST(Param, StoredFormBytes) {
    TParamInt v;
    int32_t dims[] = {3};
    v.SetDims(dims);
    v.SetIntAt(2, -2);
    TMemoryStream m;
    v.SaveToStream(m);
    const uint8_t want[] = {1, 0, 0, 0, 3, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(m.GetSize(), static_cast<int64_t>(sizeof want));
    EXPECT_EQ(std::memcmp(m.Memory(), want, sizeof want), 0);
}

TEST(Param, CorruptStoredValues) {
    auto load = [](std::vector<int32_t> words, TCustomParam& into) {
        TMemoryStream m;
        for (int32_t w : words) WriteStreamInteger(m, w);
        m.SetPosition(0);
        into.LoadFromStream(m);
    };
    TParamInt i;
    EXPECT_THROW(load({-1}, i), ECorruptData);                       // negative dimension count
    EXPECT_THROW(load({100000, 1}, i), ECorruptData);                // more dimensions than bytes
    EXPECT_THROW(load({2, 65536, 65536, 0}, i), ECorruptData);       // product beyond the cap
    EXPECT_THROW(load({1, 0, 0}, i), ECorruptData);                  // size below 1
    EXPECT_THROW(load({0, 1000000, 1, 2}, i), ECorruptData);         // count beyond the bytes left
    EXPECT_THROW(load({0, -3}, i), ECorruptData);                    // negative count
    TParamFloat f;
    EXPECT_THROW(load({0, 1, 7, 7}, f), ECorruptData);               // 8 bytes for a 10-byte element
    TParamStr s;
    EXPECT_THROW(load({0, 1, 1000}, s), ECorruptData);               // string longer than the data
    EXPECT_EQ(i.Count(), 1);                                         // nothing half-loaded
}

TEST(Param, ReferenceWithoutTarget) {
    TParamVar r("nothing");
    EXPECT_EQ(r.ParamType(), PT_NONE);
    EXPECT_EQ(r.Count(), 0);
    EXPECT_EQ(r.DimCount(), 0);
    EXPECT_EQ(r.IndexOf("x", true, false), -1);
    EXPECT_EQ(r.GetAsString(), "");
    r.SetAsInt(5);  // ignored
    EXPECT_EQ(r.GetAsInt(), 0);
    EXPECT_EQ(CreateParam(0x80 | PT_STR)->ParamType(), PT_STR);  // codes are masked with 127
    EXPECT_EQ(CreateParam(5), nullptr);
}

}  // namespace
