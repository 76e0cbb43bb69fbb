// The registry's whole scene record: size, active layer, both layers'
// trees, the free objects, the event queue and the focus; what it leaves
// out, and the records it refuses.
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "tests/objects/scene_fixture.h"

#include <cstring>
#include <string>

namespace {

constexpr int32_t kVersion = 130;

class SceneSave : public SceneTest {
protected:
    TTestTimer* Timer(const std::string& name) {
        auto* t = new TTestTimer(reg.get());
        t->SetName(name);
        return t;
    }
    std::string Save() {
        TMemoryStream s;
        reg->SaveToStream(s);
        return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.GetSize()));
    }
    void Load(const std::string& bytes, int32_t version = kVersion) {
        TMemoryStream s;
        s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        s.SetPosition(0);
        reg->LoadFromStream(s, version);
    }
    int32_t CountOf(uint8_t type) const {
        int32_t n = 0;
        for (int32_t i = 0; i < reg->GetObjectCount(); ++i) n += reg->GetObjectAt(i)->GetCompoType() == type;
        return n;
    }
    static std::string I32(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
};

TEST_F(SceneSave, FreeObjectsAreTheNonControlsThatAreNeitherInternalNorScrapped) {
    Box("a", 1, 2, 30, 40, reg->GetBaseAt(1));
    Box("b", 5, 6, 30, 40, reg->GetBaseAt(1));
    Timer("t1");
    Timer("t2");
    Timer("\x01internal");
    Timer("gone")->Scrap();
    const std::string bytes = Save();
    // The two timers' records follow the layers: their count, then type and
    // name of each.
    const std::string t1 = std::string(1, char(LT_TIMER)) + I32(2) + "t1";
    EXPECT_NE(bytes.find(I32(2) + t1), std::string::npos);

    reg->ResetScene();
    Load(bytes);
    EXPECT_NE(reg->FindObject("t1"), nullptr);
    EXPECT_NE(reg->FindObject("t2"), nullptr);
    EXPECT_EQ(reg->FindObject("\x01internal"), nullptr);
    EXPECT_EQ(reg->FindObject("gone"), nullptr);
    EXPECT_EQ(CountOf(LT_TIMER), 2);
    for (const char* name : {"a", "b"}) {
        TVorqControl* c = reg->FindControl(name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(c->GetParent(), reg->GetBaseAt(1)) << name;
    }
    EXPECT_EQ(Save(), bytes);
}

TEST_F(SceneSave, SizeActiveLayerAndFocusComeBackWithoutATransitionOrFocusEvents) {
    reg->SetWidth(320);
    reg->SetHeight(200);
    TTestBox* f = Box("field", 0, 0, 10, 10, reg->GetBaseAt(1));
    f->SetHandleKey(true);
    f->SetOnFocusIn("in.vsb");
    f->SetOnFocusOut("out.vsb");
    reg->ActiveIndex = 1;
    reg->SetFocusObject(f);
    reg->Events.Clear();
    const std::string bytes = Save();

    reg->ActiveIndex = 0;
    reg->SetWidth(640);
    reg->SetHeight(480);
    Load(bytes);
    EXPECT_EQ(reg->GetWidth(), 320);
    EXPECT_EQ(reg->GetHeight(), 200);
    EXPECT_EQ(reg->ActiveIndex, 1);
    EXPECT_EQ(reg->Transition(), nullptr);
    ASSERT_NE(reg->Focus(), nullptr);
    EXPECT_EQ(reg->Focus()->GetName(), "field");
    EXPECT_FALSE(reg->FocusSearchRequested());
    EXPECT_EQ(reg->Events.Count(), 0) << "restoring the focus is no focus change";
    // Both layers redraw whole after a load.
    EXPECT_FALSE(reg->GetBaseAt(0)->DirtyList.Count() == 0);
    EXPECT_FALSE(reg->GetBaseAt(1)->DirtyList.Count() == 0);
}

TEST_F(SceneSave, AFocusNameThatNamesNothingLeavesTheFocusToTheSearch) {
    Box("x", 0, 0, 10, 10)->SetHandleKey(true);
    std::string bytes = Save();
    // The empty focus name at the end becomes "nobody".
    bytes.resize(bytes.size() - 4);
    bytes += I32(6) + "nobody";
    Load(bytes);
    EXPECT_EQ(reg->Focus(), nullptr);
    EXPECT_TRUE(reg->FocusSearchRequested());
}

// A control record in the form version 118 wrote it (no tag, no motion
// offsets), with no children.
std::string control_118(const std::string& name, uint8_t handle_key) {
    TMemoryStream s;
    WriteStreamString(s, name);
    for (int32_t v : {0, 0, 0, 0, 10, 10, 0, 0}) WriteStreamInteger(s, v);  // priority, order, rect, offsets
    WriteStreamByte(s, 0);                                                  // position zoomed
    for (int32_t v : {0, 0, 0, 0}) WriteStreamInteger(s, v);                // clip
    WriteStreamByte(s, 0);                                                  // animation paused
    WriteStreamByte(s, 1);                                                  // visible
    for (int32_t v : {0, 0, 0, 0, 0}) WriteStreamInteger(s, v);             // colour, part rectangle
    WriteStreamByte(s, 0);                                                  // ignore mouse
    for (int i = 0; i < 10; ++i) WriteStreamString(s, "");                  // cursor, mouse handlers
    WriteStreamByte(s, handle_key);
    for (int i = 0; i < 5; ++i) WriteStreamString(s, "");  // key and focus handlers
    WriteStreamInteger(s, 0);                              // children
    return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.GetSize()));
}

TEST_F(SceneSave, ARecordOlderThanTheFocusNameLeavesTheFocusToTheSearch) {
    // Layer 0 holds one key-handling box; the record ends with the event
    // queue: no focus name before version 119.
    std::string layer0 = control_118("\x01" "BASE0", 0);
    layer0.resize(layer0.size() - 4);
    layer0 += I32(1) + std::string(1, char(LT_BOX)) + control_118("field", 1);
    const std::string record =
        I32(640) + I32(480) + I32(0) + layer0 + control_118("\x01" "BASE1", 0) + I32(0) + I32(0);
    TMemoryStream s;
    s.WriteBuffer(record.data(), static_cast<int64_t>(record.size()));
    s.SetPosition(0);
    reg->LoadFromStream(s, 118);
    EXPECT_EQ(s.Remaining(), 0);
    ASSERT_NE(reg->FindControl("field"), nullptr);
    EXPECT_EQ(reg->Focus(), nullptr);
    EXPECT_TRUE(reg->FocusSearchRequested());
    Step(0, 0);
    ASSERT_NE(reg->Focus(), nullptr) << "the first input step finds the focus";
    EXPECT_EQ(reg->Focus()->GetName(), "field");
    // The same bytes are too short for the current form.
    EXPECT_THROW(Load(record), Exception);
}

TEST_F(SceneSave, AControlOnNoLayerIsLeftOutOfTheSave) {
    Box("placed", 0, 0, 10, 10);
    auto* loose = new TTestBox(reg.get());
    loose->SetName("loose");
    Box("inside", 0, 0, 5, 5, loose);
    Timer("t");
    std::string bytes;
    ASSERT_NO_THROW(bytes = Save());
    reg->ResetScene();
    Load(bytes);
    EXPECT_NE(reg->FindObject("placed"), nullptr);
    EXPECT_NE(reg->FindObject("t"), nullptr);
    EXPECT_EQ(reg->FindObject("loose"), nullptr);
    EXPECT_EQ(reg->FindObject("inside"), nullptr);
}

TEST_F(SceneSave, DamagedRecordsAreRefusedAndNeverFault) {
    Box("a", 1, 2, 30, 40, reg->GetBaseAt(0));
    Timer("t");
    const std::string good = Save();
    // Offsets: width 0, height 4, active index 8; the free objects' count
    // and the timer's type byte come right after the two layers.
    const size_t free_at = good.find(I32(1) + std::string(1, char(LT_TIMER)) + I32(1) + "t");
    ASSERT_NE(free_at, std::string::npos);
    const auto with = [&](size_t at, const std::string& bytes) {
        std::string s = good;
        s.replace(at, bytes.size(), bytes);
        return s;
    };
    const struct {
        const char* Name;
        std::string Record;
    } cases[] = {
        {"negative width", with(0, I32(-1))},
        {"gigantic width", with(0, I32(1 << 30))},
        {"gigantic height", with(4, I32(100000))},
        {"a billion pixels", with(0, I32(16384) + I32(16384))},
        {"active index 2", with(8, I32(2))},
        {"a control among the free objects", with(free_at + 4, std::string(1, char(LT_BOX)))},
        {"a type without a kind", with(free_at + 4, std::string(1, char(10)))},
        {"type 0", with(free_at + 4, std::string(1, char(0)))},
        {"a type nothing makes", with(free_at + 4, std::string(1, char(LT_MES)))},
        {"more free objects than bytes", with(free_at, I32(1 << 20))},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(Load(c.Record), Exception) << c.Name;
        // What is left of the scene still runs a frame.
        reg->Update();
        reg->Draw();
        reg->ClearDirty();
    }
    for (size_t n = 0; n < good.size(); ++n) EXPECT_THROW(Load(good.substr(0, n)), Exception) << n;
    Load(good);
    EXPECT_NE(reg->FindControl("a"), nullptr);
}

}  // namespace
