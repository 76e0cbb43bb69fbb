#include "objects/base_list.h"
#include "files/save_stream.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "tests/objects/scene_fixture.h"

#include <vector>

namespace {
std::vector<std::string> ChildNames(const TVorqControl& c) {
    std::vector<std::string> r;
    for (TVorqControl* k : c.Children()) r.push_back(k->GetName());
    return r;
}
}  // namespace

using ObjectTest = SceneTest;

TEST_F(ObjectTest, UnnamedObjectsTakeTheFirstFreeNumberAndAScrappedNameIsFreeAtOnce) {
    auto* a = new TTestBox(reg.get());
    auto* b = new TTestBox(reg.get());
    auto* c = new TTestBox(reg.get());
    EXPECT_EQ(a->GetName(), "object0");
    EXPECT_EQ(b->GetName(), "object1");
    EXPECT_EQ(c->GetName(), "object2");
    b->Scrap();
    EXPECT_EQ(b->GetName(), "");
    auto* d = new TTestBox(reg.get());
    EXPECT_EQ(d->GetName(), "object1");
    reg->Update();  // frees b
    EXPECT_EQ(reg->IndexOfObject(b), -1);
    EXPECT_EQ(reg->GetObjectCount(), 3);
}

TEST_F(ObjectTest, ControlTakingAHeldNameRenamesTheHolder) {
    TTestBox* first = Box("btn", 0, 0, 1, 1);
    TTestBox* second = Box("x", 0, 0, 1, 1);
    second->SetName("btn");
    EXPECT_EQ(first->GetName(), "btn_2");
    TTestBox* third = Box("y", 0, 0, 1, 1);
    third->SetName("btn");
    EXPECT_EQ(second->GetName(), "btn_3");
    EXPECT_EQ(third->GetName(), "btn");

    TTestBox* ax = Box("a_x", 0, 0, 1, 1);
    Box("z", 0, 0, 1, 1)->SetName("a_x");
    EXPECT_EQ(ax->GetName(), "a_x_2");
    TTestBox* a5 = Box("a_5", 0, 0, 1, 1);
    Box("w", 0, 0, 1, 1)->SetName("a_5");
    EXPECT_EQ(a5->GetName(), "a_6");
    // "_1" is no counter (counters start at 2): the whole name is kept.
    TTestBox* b1 = Box("b_1", 0, 0, 1, 1);
    Box("v", 0, 0, 1, 1)->SetName("b_1");
    EXPECT_EQ(b1->GetName(), "b_1_2");
    EXPECT_EQ(reg->FindObject("btn"), third);
}

TEST_F(ObjectTest, NonControlTakingAHeldNameScrapsTheHolder) {
    auto* t1 = new TTestTimer(reg.get());
    t1->SetName("t");
    auto* t2 = new TTestTimer(reg.get());
    t2->SetName("t");
    EXPECT_TRUE(t1->IsScheduledForDeletion());
    EXPECT_EQ(t1->GetName(), "");
    EXPECT_EQ(reg->FindObject("t"), t2);
    // Taking the empty name scraps nothing else.
    auto* t3 = new TTestTimer(reg.get());
    t3->SetName("");
    EXPECT_FALSE(t2->IsScheduledForDeletion());
    reg->Update();
    EXPECT_EQ(reg->IndexOfObject(t1), -1);
    EXPECT_GE(reg->IndexOfObject(t2), 0);
}

TEST_F(ObjectTest, ChildOrderUsesInternalNamesPriorityOrderAndNames) {
    TVorqControl& L = Layer();
    TTestBox* p10 = Box("p10", 0, 0, 1, 1);
    p10->SetPriority(10);
    TTestBox* p5o5 = Box("a5", 0, 0, 1, 1);
    p5o5->SetPriority(5);
    p5o5->SetOrder(5);
    TTestBox* last = Box(std::string("\x01\x01"), 0, 0, 1, 1);
    last->SetPriority(-1000);
    TTestBox* internal = Box(std::string("\x01zz"), 0, 0, 1, 1);
    internal->SetPriority(999);
    TTestBox* low = Box("low", 0, 0, 1, 1);
    low->SetPriority(-5);
    TTestBox* prefix = Box("a", 0, 0, 1, 1);
    prefix->SetPriority(10);
    EXPECT_EQ(ChildNames(L), (std::vector<std::string>{"\x01zz", "low", "a", "a5", "p10", "\x01\x01"}));
    // Changing the priority resets the secondary order and re-sorts.
    p5o5->SetPriority(20);
    EXPECT_EQ(p5o5->GetOrder(), 0);
    EXPECT_EQ(ChildNames(L).at(4), "a5");
}

TEST_F(ObjectTest, VisibilityNeedsAParentChainAndLayersReadOnlyTheirOwnFlag) {
    auto* loose = new TTestBox(reg.get());
    EXPECT_FALSE(loose->GetVisible());
    TTestBox* p = Box("p", 0, 0, 10, 10);
    TTestBox* c = Box("c", 0, 0, 5, 5, p);
    EXPECT_TRUE(c->GetVisible());
    p->SetVisible(false);
    EXPECT_FALSE(c->GetVisible());
    EXPECT_TRUE(reg->GetBaseAt(1)->GetVisible());
}

TEST_F(ObjectTest, ParentChangesRefuseCyclesAndSelf) {
    TTestBox* a = Box("a", 0, 0, 10, 10);
    TTestBox* b = Box("b", 0, 0, 10, 10, a);
    TTestBox* c = Box("c", 0, 0, 10, 10, b);
    a->SetParent(c);  // would make a cycle
    EXPECT_EQ(a->GetParent(), reg->ActiveBase());
    a->SetParent(a);
    EXPECT_EQ(a->GetParent(), reg->ActiveBase());
    c->SetParent(a);
    EXPECT_EQ(c->GetParent(), a);
    EXPECT_EQ(b->GetChildCount(), 0);
    EXPECT_EQ(a->GetChildCount(), 2);
}

// Screen position with zoom and flip comes from the kinds; a control that
// answers them lets the rules be checked.
class TZoomBox : public TTestBox {
public:
    using TTestBox::TTestBox;
    int32_t GetZoomX() const override { return Zoom; }
    int32_t GetZoomY() const override { return Zoom; }
    bool GetFlipH() const override { return Flip; }
    int32_t GetScrollX() const override { return ScrollX; }
    TCustomDIBX* GetOwnSurface() const override { return Own.get(); }
    int32_t Zoom = 256;
    bool Flip = false;
    int32_t ScrollX = 0;
    std::unique_ptr<TPlainDIBX> Own;
};

TEST_F(ObjectTest, ScreenPositionWithZoomFlipScrollAndPlus) {
    auto* z = new TZoomBox(reg.get());
    z->SetParent(reg->ActiveBase());
    z->Zoom = 128;
    z->SetLeft(100);
    z->SetOffsetX(40);
    z->SetPosZoomed(true);
    EXPECT_EQ(z->GetScreenX(), 30);
    z->SetPosZoomed(false);
    EXPECT_EQ(z->GetScreenX(), 80);  // 100 - 40·128/256
    z->Zoom = 256;
    z->SetWidth(50);
    z->Flip = true;
    EXPECT_EQ(z->GetScreenX(), 100 - (49 - 40));
    EXPECT_EQ(z->GetLocalX(), 100 - (50 - 40));
    z->Flip = false;
    z->SetPlusX(7);
    z->ScrollX = 5;
    TTestBox* child = Box("child", 3, 4, 1, 1, z);
    EXPECT_EQ(child->GetScreenX(), 100 - 40 + 7 - 5 + 3);
    EXPECT_EQ(child->GetDrawPos().X, 100 - 40 + 7 - 5 + 3);
    EXPECT_EQ(child->GetRect(), Bounds(65, 4, 1, 1));
}

TEST_F(ObjectTest, PictureScaledChildPositionAndAParentWithoutWidth) {
    auto* parent = new TZoomBox(reg.get());
    parent->SetParent(reg->ActiveBase());
    parent->Own = std::make_unique<TPlainDIBX>(200, 100, 32);
    parent->SetRect(10, 0, 100, 50);  // picture shown at half size
    auto* child = new TZoomBox(reg.get());
    child->Own = std::make_unique<TPlainDIBX>(20, 20, 32);
    child->SetParent(parent);
    child->SetPosZoomed(true);
    child->SetLeft(60);
    EXPECT_EQ(child->GetScreenX(), 10 + 30);
    child->Flip = true;
    EXPECT_EQ(child->GetScreenX(), 10 + (200 - 60 - 20) / 2);
    // A parent of width 0 gives no scale: the plain rule applies, no crash.
    child->Flip = false;
    parent->SetWidth(0);
    EXPECT_EQ(child->GetScreenX(), 10 + 60);
}

TEST_F(ObjectTest, HitTestingFollowsIgnoreMouseMasksAndParentBounds) {
    TTestBox* back = Box("back", 0, 0, 100, 100);
    TTestBox* front = Box("front", 10, 10, 50, 50);
    front->SetPriority(1);
    TTestBox* inner = Box("inner", 40, 40, 100, 100, front);  // reaches outside its parent
    TPoint p{20, 20};
    EXPECT_EQ(Layer().HitTest(p, kMaskLeftPress), front);
    front->SetIgnoreMouse(IM_LCLICK);  // 3: movement and right presses only
    EXPECT_EQ(Layer().HitTest(p, kMaskLeftPress), back);
    EXPECT_EQ(Layer().HitTest(p, kMaskRightPress), front);
    EXPECT_EQ(Layer().HitTest(p, kMaskPointer), front);
    front->SetIgnoreMouse(IM_CLICK);  // 2: movement only
    EXPECT_EQ(Layer().HitTest(p, kMaskRightPress), back);
    EXPECT_EQ(Layer().HitTest(p, kMaskPointer), front);
    front->SetIgnoreMouse(IM_ALL);  // 1: never hit, children still can be
    EXPECT_EQ(Layer().HitTest(p, kMaskPointer), back);
    EXPECT_EQ(Layer().HitTest(TPoint{55, 55}, kMaskPointer), inner);
    // Outside the parent's rectangle the child is clipped away.
    EXPECT_EQ(Layer().HitTest(TPoint{80, 80}, kMaskPointer), back);
    front->SetIgnoreMouse(9);  // beyond the mask's range
    EXPECT_EQ(Layer().HitTest(p, 0xFFFFFFFF), back);
    back->SetVisible(false);
    EXPECT_EQ(Layer().HitTest(TPoint{90, 5}, kMaskPointer), &Layer());
}

TEST_F(ObjectTest, InvalidationIsClippedToParentAndClipRectangle) {
    TTestBox* p = Box("p", 100, 100, 50, 50);
    reg->ClearDirty();
    TTestBox* c = Box("c", 40, 40, 100, 100, p);
    ASSERT_EQ(Layer().DirtyList.Count(), 1);
    EXPECT_EQ(Layer().DirtyList.GetRect(0), MakeRect(140, 140, 150, 150));
    reg->ClearDirty();
    c->SetClipLeft(0);
    c->SetClipWidth(5);
    c->SetClipHeight(5);
    reg->ClearDirty();
    c->SetColor(3);
    ASSERT_EQ(Layer().DirtyList.Count(), 1);
    EXPECT_EQ(Layer().DirtyList.GetRect(0), MakeRect(140, 140, 145, 145));
    // Hidden controls and controls off a layer invalidate nothing.
    reg->ClearDirty();
    p->SetVisible(false);
    c->SetColor(4);
    auto* loose = new TTestBox(reg.get());
    loose->SetRect(0, 0, 10, 10);
    EXPECT_EQ(Layer().DirtyList.Count(), 1);  // only p's own hiding
}

TEST_F(ObjectTest, DirtyRectanglesAreClampedAndNearOnesMerged) {
    Layer().AddDirtyRect(MakeRect(-10, -10, 5, 5));
    Layer().AddDirtyRect(MakeRect(15, 0, 30, 5));  // within 20 px: merged
    ASSERT_EQ(Layer().DirtyList.Count(), 1);
    EXPECT_EQ(Layer().DirtyList.GetRect(0), MakeRect(0, 0, 30, 5));
    Layer().AddDirtyRect(MakeRect(200, 200, 210, 210));
    Layer().AddDirtyRect(MakeRect(700, 500, 800, 600));  // off the layer
    Layer().AddDirtyRect(MakeRect(630, 470, 700, 500));
    ASSERT_EQ(Layer().DirtyList.Count(), 3);
    EXPECT_EQ(Layer().DirtyList.GetRect(2), MakeRect(630, 470, 640, 480));
}

TEST_F(ObjectTest, RenderPassDrawsOnlyDirtyAreasInChildOrder) {
    TTestBox* a = Box("a", 0, 0, 10, 10);
    TTestBox* b = Box("b", 300, 300, 10, 10);
    Layer().SetColor(0x0000FF);
    reg->ClearDirty();
    a->SetLeft(1);  // dirty (0,0)-(11,10)
    reg->Draw();
    EXPECT_EQ(a->Draws, 1);
    EXPECT_EQ(b->Draws, 0);
    auto* screen = static_cast<TPlainDIBX*>(reg->GetOwnSurface());
    EXPECT_EQ(screen->GetPixel(5, 5), uint32_t(screen->ColorToPixel(0x0000FF)));
    EXPECT_EQ(screen->GetPixel(50, 50), 0u);
    reg->ClearDirty();
    reg->Draw();
    EXPECT_EQ(a->Draws, 1);
}

TEST_F(ObjectTest, ControlRecordsRoundTripAndVersionGates) {
    TTestBox* p = Box("parent", 1, 2, 30, 40);
    p->Tag = "tag";
    p->SetPriority(3);
    p->SetOrder(4);
    p->SetOffsetX(5);
    p->SetPlusY(6);
    p->SetClipWidth(7);
    p->SetCursor("hand.cur");
    p->SetOnMouseIn("in.vsb");
    p->SetOnLBtnDown("down.vsb:l");
    p->SetHandleKey(true);
    p->SetOnKeyDown("key.vsb");
    p->SetPartRect(MakeRect(1, 2, 3, 4));
    TTestBox* c1 = Box("kid1", 5, 5, 5, 5, p);
    c1->SetOnWheelUp("wheel.vsb");
    Box("kid2", 6, 6, 6, 6, p)->SetPriority(-1);
    Box(std::string("\x01inner"), 0, 0, 1, 1, p);  // internal: not saved
    auto* plain = new TVorqControl(reg.get());      // type 0: not saved
    plain->SetParent(p);

    TMemoryStream first;
    p->SaveToStream(first);

    TVorqBaseList other;
    other.SurfaceBits = 32;
    RegisterComponentType(LT_BOX, [](TVorqBaseList* r) -> TVorqObject* { return new TTestBox(r); });
    auto* q = new TTestBox(&other);
    first.SetPosition(0);
    q->LoadFromStream(first, 130);
    EXPECT_EQ(first.Remaining(), 0);
    EXPECT_EQ(q->GetName(), "parent");
    EXPECT_EQ(q->GetChildCount(), 2);
    EXPECT_EQ(q->GetChild(0)->GetName(), "kid2");
    TMemoryStream second;
    q->SaveToStream(second);
    ASSERT_EQ(second.GetSize(), first.GetSize());
    EXPECT_TRUE(std::equal(first.Bytes().begin(), first.Bytes().end(), second.Bytes().begin()));

    // A version-103 record has no order, clip fields, aniPaused, motion or
    // key fields; loading one leaves them at their defaults.
    TMemoryStream old;
    auto* lone = new TTestBox(reg.get());
    lone->SetName("old");
    lone->SetRect(9, 8, 7, 6);
    WriteStreamString(old, "old");
    WriteStreamInteger(old, 2);
    for (int v : {9, 8, 7, 6, 0, 0}) WriteStreamInteger(old, v);
    WriteStreamByte(old, 0);
    WriteStreamByte(old, 1);
    WriteStreamInteger(old, 0);
    for (int v : {0, 0, 1, 1}) WriteStreamInteger(old, v);
    WriteStreamByte(old, 0);
    for (int i = 0; i < 9; ++i) WriteStreamString(old, i == 2 ? "out.vsb" : "");
    WriteStreamInteger(old, 0);
    auto* r = new TTestBox(&other);
    r->SetOrder(9);
    old.SetPosition(0);
    r->LoadFromStream(old, 101);
    EXPECT_EQ(old.Remaining(), 0);
    EXPECT_EQ(r->GetOrder(), 9);  // untouched below 104
    EXPECT_EQ(r->GetOnMouseIn(), "");
    EXPECT_EQ(r->GetOnMouseOut(), "out.vsb");  // no onMouseIn below 102
    EXPECT_EQ(r->GetRect(), Bounds(9, 8, 7, 6));
}

TEST_F(ObjectTest, DamagedRecordsRaiseClearErrors) {
    TTestBox* p = Box("p", 0, 0, 5, 5);
    Box("kid", 0, 0, 1, 1, p);
    TMemoryStream s;
    p->SaveToStream(s);
    // Every truncation fails with ECorruptData, never reads zeros.
    for (int64_t cut : {int64_t(2), int64_t(10), s.GetSize() / 2, s.GetSize() - 1}) {
        TMemoryStream t;
        t.WriteBuffer(s.Memory(), cut);
        t.SetPosition(0);
        auto* q = new TTestBox(reg.get());
        EXPECT_THROW(q->LoadFromStream(t, 130), ECorruptData) << cut;
    }
    // A child of a type without a kind is refused by name.
    std::vector<uint8_t> bytes(s.Bytes().begin(), s.Bytes().end());
    TMemoryStream probe;
    p->GetChild(0)->SaveToStream(probe);
    size_t type_at = bytes.size() - static_cast<size_t>(probe.GetSize()) - 1;
    ASSERT_EQ(bytes[type_at], LT_BOX);
    for (uint8_t bad : {uint8_t(0), uint8_t(10), uint8_t(99)}) {
        bytes[type_at] = bad;
        TMemoryStream t;
        t.WriteBuffer(bytes.data(), int64_t(bytes.size()));
        t.SetPosition(0);
        auto* q = new TTestBox(reg.get());
        try {
            q->LoadFromStream(t, 130);
            ADD_FAILURE() << "type " << int(bad) << " accepted";
        } catch (const ECorruptData& e) {
            EXPECT_NE(std::string(e.what()).find("unknown component type"), std::string::npos);
        }
    }
    // A kind of the table that this build has not registered.
    bytes[type_at] = LT_CINEMA;
    TMemoryStream t;
    t.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    t.SetPosition(0);
    EXPECT_THROW((new TTestBox(reg.get()))->LoadFromStream(t, 130), ECorruptData);
    // A child count beyond the data.
    TMemoryStream huge;
    auto* h = new TTestBox(reg.get());
    h->SaveToStream(huge);
    huge.SetPosition(huge.GetSize() - 4);
    WriteStreamInteger(huge, 0x7FFFFFFF);
    huge.SetPosition(0);
    EXPECT_THROW((new TTestBox(reg.get()))->LoadFromStream(huge, 130), ECorruptData);
}

TEST_F(ObjectTest, FactoryKnowsWhichTypesHaveKinds) {
    // Only the fixture's test kinds, whatever an earlier test installed.
    SetComponentFactory(nullptr);
    EXPECT_EQ(CreateObjectByType(reg.get(), LT_NONE), nullptr);
    EXPECT_EQ(CreateObjectByType(reg.get(), LT_AUDIO), nullptr);
    EXPECT_EQ(CreateObjectByType(reg.get(), LT_MAP), nullptr);
    EXPECT_EQ(CreateObjectByType(reg.get(), 28), nullptr);
    EXPECT_EQ(CreateObjectByType(reg.get(), 127), nullptr);
    TVorqObject* b = CreateObjectByType(reg.get(), 0x80 | LT_BOX);  // the high bit is ignored
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetCompoType(), LT_BOX);
    // A kind of the table that nothing makes.
    EXPECT_THROW(CreateObjectByType(reg.get(), LT_PARTICLE), Exception);
}

TEST_F(ObjectTest, ChildOrderAfterEachAppendMatchesAFullSort) {
    // Children appended one at a time (the common case the order keeps
    // cheap) and after a priority change land where a stable sort of the
    // whole list puts them, equal keys in the order they came.
    TTestBox* parent = Box("parent", 0, 0, 10, 10);
    const struct {
        const char* name;
        int32_t priority;
    } adds[] = {{"m", 0}, {"\x01z", 5}, {"a", 0}, {"b", -3}, {"m", 0}, {"\x01\x01", -100}, {"\x01" "a", 9},
                {"c", 2}, {"", 0}, {"aa", 0}, {"a", 0}, {"\x01z", 5}};
    std::vector<TVorqControl*> expect;
    for (const auto& a : adds) {
        auto* b = new TTestBox(reg.get());
        b->StoreName(a.name);
        b->SetPriority(a.priority);
        b->SetParent(parent);
        expect.push_back(b);
        std::stable_sort(expect.begin(), expect.end(), ChildBefore);
        ASSERT_EQ(parent->Children(), expect) << a.name;
    }
    expect[3]->SetPriority(-50);
    std::stable_sort(expect.begin(), expect.end(), ChildBefore);
    EXPECT_EQ(parent->Children(), expect);
}

TEST_F(ObjectTest, SeveralAppendedChildrenSortAsAFullSortWould) {
    TTestBox* parent = Box("parent", 0, 0, 10, 10);
    std::vector<TVorqControl*> expect;
    auto add = [&](const char* name, int32_t priority) {
        auto* b = new TTestBox(reg.get());
        b->StoreName(name);
        b->SetPriority(priority);
        b->SetParent(parent);
        return b;
    };
    for (int i = 0; i < 40; ++i) expect.push_back(add(std::to_string(i * 7 % 13).c_str(), i % 3 - 1));
    // Appended without sorting: a short tail and a long one.
    for (int tail : {5, 30}) {
        for (int i = 0; i < tail; ++i) {
            auto* b = new TTestBox(reg.get());
            b->StoreName(i % 2 ? "\x01s" : std::to_string(i % 4));
            b->SetPriority(i % 5 - 2);
            parent->AddChild(b);
            expect.push_back(b);
        }
        parent->SortChildren();
        std::stable_sort(expect.begin(), expect.end(), ChildBefore);
        EXPECT_EQ(parent->Children(), expect) << tail;
    }
}
