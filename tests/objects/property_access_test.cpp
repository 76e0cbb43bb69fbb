#include "script/param.h"
#include "objects/property_access.h"
#include "objects/base_list.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "tests/objects/scene_fixture.h"

#include <gtest/gtest.h>

namespace {
// A kind that answers the indexed and converted slots, recording what the
// dispatcher handed it.
class TSlotKind : public TTestBox {
public:
    using TTestBox::TTestBox;
    std::string GetBorderSource(int cell) const override { return "cell" + std::to_string(cell); }
    void SetBorderSource(int cell, const std::string& v) override { Last = "src" + std::to_string(cell) + "=" + v; }
    uint8_t GetBorderHAlign(int cell) const override { return static_cast<uint8_t>(200 + cell); }
    void SetBorderHAlign(int cell, uint8_t v) override { Last = "h" + std::to_string(cell) + "=" + std::to_string(v); }
    uint8_t GetBorderVAlign(int cell) const override { return static_cast<uint8_t>(100 + cell); }
    void SetBorderVAlign(int cell, uint8_t v) override { Last = "v" + std::to_string(cell) + "=" + std::to_string(v); }
    long double GetParam(int i) const override { return 0.5L + i; }
    void SetParam(int i, long double v) override { Last = "p" + std::to_string(i) + "=" + std::to_string(double(v)); }
    TFontStyles GetFontStyle() const override { return Style; }
    void SetFontStyle(TFontStyles s) override { Style = s; }
    TPoint GetCaret() const override { return TPoint{7, 9}; }
    std::string GetText() const override { return Text; }
    void SetText(const std::string& t) override {
        Last += "|text";
        Text = t;
    }
    void ClearTextOrigin() override { Last += "|clear"; }
    std::string Last, Text;
    TFontStyles Style;
};

int32_t get_int(TVorqObject& o, int id) {
    TParamInt v;
    GetPropertyValue(v, o, id);
    return v.GetAsInt();
}
std::string get_str(TVorqObject& o, int id) {
    TParamStr v;
    GetPropertyValue(v, o, id);
    return v.GetAsString();
}
template <class P, class T>
void set(TVorqObject& o, int id, T value) {
    P p;
    if constexpr (std::is_same_v<P, TParamStr>)
        p.SetAsString(value);
    else if constexpr (std::is_same_v<P, TParamFloat>)
        p.SetAsFloat(value);
    else
        p.SetAsInt(value);
    SetPropertyValue(o, id, p);
}
}  // namespace

using PropertyAccessTest = SceneTest;

TEST_F(PropertyAccessTest, AComponentReadsTheDefaultsAndIgnoresWrites) {
    auto* t = new TTestTimer(reg.get());
    t->SetName("t");
    // The root class's defaults that are not 0, false or empty.
    const std::pair<int, int> non_zero[] = {{PR_ZOOMX, 256},       {PR_ZOOMY, 256},        {PR_COLOR, 0xFFFFFF},
                                            {PR_BORDERCOLOR, -1},  {PR_ALPHA, 255},        {PR_BRIGHTNESS, 255},
                                            {PR_INDEX, -1},        {PR_HOVERCOLOR, -1},    {PR_TEXTDELAY, 256},
                                            {PR_SMALLCHANGE, 1},   {PR_LARGECHANGE, 1},    {PR_PARTMOTION, 1},
                                            {PR_REWINDONLOAD, 1},  {PR_OVERLAY, 1},        {PR_COMPOTYPE, LT_TIMER}};
    for (int id = 0; id < PROPERTY_COUNT; ++id) {
        int want = 0;
        for (auto& [pid, v] : non_zero)
            if (pid == id) want = v;
        if (PropertyInfos[id].Type == PT_STR || id == PR_ONPLAYING) {
            if (id == PR_NAME) continue;
            EXPECT_EQ(get_str(*t, id), "") << PropertyInfos[id].Name;
        } else if (id != PR_PRIORITY) {
            EXPECT_EQ(get_int(*t, id), want) << PropertyInfos[id].Name;
        }
    }
    // Writes of every id except the ones that act or fail change nothing.
    for (int id = 0; id < PROPERTY_COUNT; ++id) {
        if (id == PR_NAME || id == PR_PRIORITY || id == PR_TAG || id == PR_APPEARX || id == PR_APPEARY) continue;
        set<TParamInt>(*t, id, 77);
    }
    EXPECT_EQ(get_int(*t, PR_LEFT), 0);
    EXPECT_EQ(get_int(*t, PR_ALPHA), 255);
    EXPECT_EQ(get_str(*t, PR_ONNOTIFY), "");
    EXPECT_EQ(t->GetName(), "t");
}

TEST_F(PropertyAccessTest, IdsOutsideTheTableFailAndDoNotWrap) {
    TTestBox* b = Box("b", 1, 2, 3, 4);
    TParamStr v;
    EXPECT_THROW(GetPropertyValue(v, *b, 161), Exception);
    EXPECT_THROW(GetPropertyValue(v, *b, -1), Exception);
    try {
        set<TParamStr>(*b, 256, "renamed");  // 256 narrowed to a byte would be NAME
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), Sjis("SetPropエラー"));
    }
    EXPECT_EQ(b->GetName(), "b");
    EXPECT_EQ(get_int(*b, PR_APPEARX), 0);
    EXPECT_THROW(set<TParamInt>(*b, PR_APPEARY, 1), Exception);
    set<TParamInt>(*b, PR_PLAYING, 1);
    set<TParamInt>(*b, PR_COMPOTYPE, 9);
    EXPECT_EQ(get_int(*b, PR_COMPOTYPE), LT_BOX);
}

TEST_F(PropertyAccessTest, DirectFieldsParentNameAndPriority) {
    TTestBox* a = Box("a", 0, 0, 10, 10);
    TTestBox* b = Box("b", 0, 0, 10, 10);
    auto* loose = new TTestBox(reg.get());
    EXPECT_EQ(get_str(*loose, PR_PARENT), "");
    set<TParamStr>(*b, PR_PARENT, "a");
    EXPECT_EQ(b->GetParent(), a);
    EXPECT_EQ(get_str(*b, PR_PARENT), "a");
    set<TParamStr>(*b, PR_PARENT, "nothing");  // no control of that name
    EXPECT_EQ(b->GetParent(), a);
    set<TParamStr>(*reg->ActiveBase(), PR_PARENT, "a");  // a layer keeps its place
    EXPECT_EQ(reg->ActiveBase()->GetParent(), nullptr);
    set<TParamStr>(*b, PR_TAG, "hello");
    EXPECT_EQ(b->Tag, "hello");
    set<TParamInt>(*b, PR_PRIORITY, 5);
    EXPECT_EQ(get_int(*b, PR_PRIORITY), 5);
    set<TParamStr>(*b, PR_NAME, "c");
    EXPECT_EQ(reg->FindObject("c"), b);
    set<TParamInt>(*a, PR_LEFT, 12);
    EXPECT_EQ(a->GetLeft(), 12);
    set<TParamInt>(*a, PR_HANDLEKEY, 1);
    EXPECT_TRUE(a->GetHandleKey());
    TParamInt fresh;
    GetPropertyValue(fresh, *a, PR_HANDLEKEY);
    EXPECT_EQ(fresh.GetAsInt(), 1);
    set<TParamStr>(*a, PR_ONLBTNDOWN, "click.vsb");
    EXPECT_EQ(get_str(*a, PR_ONLBTNDOWN), "click.vsb");
    set<TParamInt>(*a, PR_IGNOREMOUSE, 260);  // a byte property keeps the low byte
    EXPECT_EQ(get_int(*a, PR_IGNOREMOUSE), 4);
}

TEST_F(PropertyAccessTest, IndexedGroupsStylesCaretAndText) {
    auto* k = new TSlotKind(reg.get());
    EXPECT_EQ(get_str(*k, PR_BORDERSOURCECC), "cell4");
    EXPECT_EQ(get_str(*k, PR_BORDERSOURCETL), "cell0");
    EXPECT_EQ(get_int(*k, PR_BORDERHALIGNB), 207);  // unsigned byte, cell 7
    EXPECT_EQ(get_int(*k, PR_BORDERVALIGNR), 105);
    set<TParamStr>(*k, PR_BORDERSOURCEBR, "x.png");
    EXPECT_EQ(k->Last, "src8=x.png");
    set<TParamInt>(*k, PR_BORDERHALIGNT, 2);
    EXPECT_EQ(k->Last, "h1=2");
    set<TParamInt>(*k, PR_BORDERVALIGNL, 1);
    EXPECT_EQ(k->Last, "v3=1");
    TParamFloat f;
    GetPropertyValue(f, *k, PR_PARAM3);
    EXPECT_EQ(f.GetAsFloat(), 2.5L);
    TParamInt as_int;  // an integer destination converts as it always does
    as_int.SetAsFloat(1.5L);
    EXPECT_EQ(get_int(*k, PR_PARAM2), as_int.GetAsInt());
    set<TParamFloat>(*k, PR_PARAM2, 0.25L);
    EXPECT_EQ(k->Last, "p1=0.250000");
    k->Style = TFontStyles{}.Include(fsBold).Include(fsItalic);
    EXPECT_EQ(get_int(*k, PR_FONTSTYLE), 3);
    set<TParamInt>(*k, PR_FONTSTYLE, 12);
    EXPECT_TRUE(k->Style.Contains(fsUnderline));
    EXPECT_TRUE(k->Style.Contains(fsStrikeOut));
    EXPECT_FALSE(k->Style.Contains(fsBold));
    EXPECT_EQ(get_int(*k, PR_CARETX), 7);
    EXPECT_EQ(get_int(*k, PR_CARETY), 9);
    set<TParamInt>(*k, PR_CARETX, 1);
    k->Last.clear();
    set<TParamStr>(*k, PR_TEXT, "hi");
    EXPECT_EQ(k->Last, "|clear|text");
    EXPECT_EQ(get_str(*k, PR_TEXT), "hi");
}
