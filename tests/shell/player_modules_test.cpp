// What InstallPlayerModules puts in, family by family: which ids and kinds
// have a maker, which are not built yet, and which stand for nothing.
#include "shell/player_modules.h"

#include "shell/headless_runner.h"
#include "script/param_collection.h"
#include "shell/sys_func_families.h"
#include "media/base/media_managers.h"
#include "objects/scene/motion_kinds.h"
#include "objects/object_kinds.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "render/wipes/custom_wipe.h"
#include "tests/support/plain_dibx.h"
#include "tests/support/scripted_video.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {
// Each test starts from nothing installed and leaves nothing behind.
struct Installed : ::testing::Test {
    void SetUp() override {
        uninstall();
        InstallPlayerModules();
    }
    void TearDown() override { uninstall(); }
    static void uninstall() {
        SetComponentFactory(nullptr);
        SetMotionMaker(nullptr);
        SetMediaManagerFactory(nullptr);
        TSysFuncMan::SetFamilyTable(nullptr);
    }
};

class Plain : public TVorqControl {
public:
    using TVorqControl::TVorqControl;
};
}  // namespace

TEST_F(Installed, ObjectKindsByTypeId) {
    // Deliberately absent: no scene or script may name these ids.
    std::set<int32_t> absent = {0, 1, 10};
    for (int32_t id = 28; id < 128; ++id) absent.insert(id);
    // Built so far: box, timer, property motion, cabinet, sound, message
    // window, image set, gauge, map image, tile, button, label,
    // character-sheet label, slider, scroll bar, cinema, video, selection menu, prepared menu, fire,
    // HTTP fetcher, wave, particle emitter, edit and memo: every kind.
    const std::set<int32_t> built = {LT_BOX,   LT_TIMER,  LT_PROPMOTION, LT_CABINET, LT_SOUND,    LT_MES,
                                     LT_IMAGES, LT_GAUGE, LT_MAPIMG,     LT_TILE,    LT_BUTTON,   LT_LABEL,
                                     LT_CGLABEL, LT_SLIDER, LT_SCROLLBAR, LT_CINEMA, LT_VIDEO, LT_MENU, LT_PREVMENU,
                                     LT_FIRE,    LT_HTTP,   LT_WAVE, LT_PARTICLE, LT_EDIT, LT_MEMO};
    TVorqBaseList registry;
    for (int32_t id = 0; id < 256; ++id) {
        SCOPED_TRACE(id);
        const int32_t low = id & 0x7F;
        const TKindStatus want = absent.count(low)  ? TKindStatus::NoKind
                                 : built.count(low) ? TKindStatus::Built
                                                    : TKindStatus::NotBuilt;
        EXPECT_EQ(ObjectKindStatus(id), want);
        EXPECT_EQ(ObjectKindMaker(id) != nullptr, want == TKindStatus::Built);
        switch (want) {
        case TKindStatus::NoKind:
            EXPECT_EQ(CreateObjectByType(&registry, id), nullptr);
            EXPECT_THROW(CreateStoredObject(&registry, id), ECorruptData);
            break;
        case TKindStatus::NotBuilt:
            EXPECT_THROW(CreateObjectByType(&registry, id), Exception);
            EXPECT_THROW(CreateStoredObject(&registry, id), ECorruptData);
            break;
        case TKindStatus::Built: {
            TVorqObject* obj = CreateObjectByType(&registry, id);
            ASSERT_NE(obj, nullptr);
            EXPECT_EQ(obj->GetCompoType(), low);
            obj->FreeNow();
            break;
        }
        }
    }
    EXPECT_EQ(128 - absent.size(), 25u);
}

TEST_F(Installed, ATestMakerTakesPrecedenceOverTheInstalledKinds) {
    TVorqBaseList registry;
    RegisterComponentType(LT_PARTICLE, [](TVorqBaseList* r) -> TVorqObject* { return new Plain(r); });
    TVorqObject* plain = CreateObjectByType(&registry, LT_PARTICLE);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->GetCompoType(), LT_NONE);
    RegisterComponentType(LT_PARTICLE, nullptr);
    // Removed again: the installed table answers with the real emitter.
    TVorqObject* emitter = CreateObjectByType(&registry, LT_PARTICLE);
    ASSERT_NE(emitter, nullptr);
    EXPECT_EQ(emitter->GetCompoType(), LT_PARTICLE);
}

TEST_F(Installed, MotionKindsByExtension) {
    struct Case {
        const char* ext;
        TKindStatus status;
    };
    const Case cases[] = {{".vmt", TKindStatus::Built}, {".VMT", TKindStatus::Built},
                          {".vcm", TKindStatus::NoKind}, {".tes", TKindStatus::NoKind},
                          {"", TKindStatus::NoKind},     {"vmt", TKindStatus::NoKind}};
    TVorqBaseList registry;
    Plain target(&registry);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ext);
        EXPECT_EQ(MotionKindStatus(c.ext), c.status);
        // No file of that name exists (and a non-motion name is refused):
        // attaching fails without changing the control.
        EXPECT_THROW(target.AttachMotion(std::string("walk") + c.ext), Exception);
        EXPECT_EQ(target.GetMotion(), nullptr);
    }
}

TEST_F(Installed, MediaManagersByKindWithATestsOwnInItsPlace) {
    ScriptedVideo video;
    video.CreateWindow(8, 8, "");
    RegisterMediaManager(TMediaManagerKind::Midi, [] { return std::make_unique<TMediaManager>(); });
    InitMedia(&video, &video, {}, 0, 0, 0, 0);
    EXPECT_NE(MediaManager(TMediaManagerKind::Midi), nullptr);
    EXPECT_EQ(MidiManager(), nullptr);
    EXPECT_NE(VideoManager(), nullptr);
    EXPECT_NE(OggManager(), nullptr);
    FinalMedia();
    RegisterMediaManager(TMediaManagerKind::Midi, nullptr);
}

TEST_F(Installed, BuiltInFunctionFamilies) {
    // Core is TSysFuncMan's own; every other family has its dispatcher, so
    // no function of the table answers "not available".
    TParamCollection table;
    Params = &table;
    std::map<TSysFuncFamily, int> rows;
    for (int i = 0; i < kSysFuncCount; ++i) {
        const TSysFuncInfo& f = SysFuncTable[i];
        SCOPED_TRACE(f.name);
        ++rows[f.family];
        EXPECT_EQ(SysFuncFamilyHandler(f.family) != nullptr, f.family != TSysFuncFamily::Core);
    }
    const std::map<TSysFuncFamily, int> want = {{TSysFuncFamily::Core, 32}, {TSysFuncFamily::Text, 33},
                                                {TSysFuncFamily::Array, 13}, {TSysFuncFamily::Table, 38},
                                                {TSysFuncFamily::System, 24}};
    EXPECT_EQ(rows, want);
    // A test's own dispatcher takes precedence over the table.
    TSysFuncMan::SetFamilyHandler(TSysFuncFamily::Text, [](TSysFuncMan&, TParamCollectionItem& d, uint8_t,
                                                          TSysFuncArgs) { d.SetAsInt(7); });
    TParamCollectionItem dest;
    dest.SetType(PT_INT);
    TParamStr arg;
    TCustomParam* one[] = {&arg};
    SysFuncMan().CallFunction(dest, 5, one);  // Length
    EXPECT_EQ(dest.GetAsInt(), 7);
    TSysFuncMan::SetFamilyHandler(TSysFuncFamily::Text, nullptr);
    Params = nullptr;
}

TEST(PlayerModules, TheHeadlessRunnerInstallsThem) {
    Installed::uninstall();
    {
        THeadlessRunner runner(VORQ_TEST_DATA);
        TVorqBaseList registry;
        TVorqObject* box = CreateObjectByType(&registry, LT_BOX);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->GetCompoType(), LT_BOX);
        EXPECT_EQ(CreateObjectByType(&registry, LT_MAP), nullptr);
    }
    // Installed before: every family's factory is in place, not only the kinds.
    ScriptedVideo video;
    video.CreateWindow(8, 8, "");
    InitMedia(&video, &video, {}, 0, 0, 0, 0);
    EXPECT_NE(OggManager(), nullptr);
    FinalMedia();
    Installed::uninstall();
}

TEST_F(Installed, WipeKindsByNumber) {
    // The wipes have one compile-time factory: kinds 1..38 and nothing else.
    TPlainDIBX screen(16, 12, 32), leaving(16, 12, 32), entering(16, 12, 32);
    int made = 0;
    for (int32_t kind = -1; kind < 256; ++kind) {
        SCOPED_TRACE(kind);
        const bool built = CreateWipe(kind, &screen, &leaving, &entering) != nullptr;
        EXPECT_EQ(built, kind >= 1 && kind <= 38);
        made += built;
    }
    EXPECT_EQ(made, 38);
}
