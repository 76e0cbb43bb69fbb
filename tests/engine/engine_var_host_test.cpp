// The system variables answered from the display-object registry and the
// project: mouse, clicks, keys, wheel, sound, focus, screen size and title.
#include "engine/engine_var_host.h"

#include "script/param_collection.h"
#include "objects/base_list.h"
#include "platform/text/fonts.h"

#include <gtest/gtest.h>

namespace {

struct RegistryVars : ::testing::Test {
    TParamCollection table;
    TEngineVarHost host;
    std::unique_ptr<TVorqBaseList> registry = std::make_unique<TVorqBaseList>();
    void SetUp() override {
        Params = &table;
        VorqBaseList = registry.get();
        SetSystemVarHost(&host);
    }
    void TearDown() override {
        SetSystemVarHost(nullptr);
        VorqBaseList = nullptr;
        Params = nullptr;
    }
    TParamCollectionItem& v(const char* name) { return *table.Find(name); }
    TVorqBase& layer() { return *registry->ActiveBase(); }
};

TEST_F(RegistryVars, ClicksPressesAndMouseOfTheActiveLayer) {
    EXPECT_FALSE(v("@LClick").GetAsBool());
    layer().LClicked = 1;
    EXPECT_TRUE(v("@LClick").GetAsBool());
    v("@LClick").SetAsBool(false);  // scripts consume a click
    EXPECT_EQ(layer().LClicked, 0);
    v("@RClick").SetAsInt(1);
    EXPECT_EQ(layer().RClicked, 1);

    layer().LHeld = 1;
    EXPECT_TRUE(v("@LPush").GetAsBool());
    layer().PressFlags = TVorqBase::kLeftTaken;  // an object took the press
    EXPECT_FALSE(v("@LPush").GetAsBool());
    v("@LPush").SetAsBool(true);  // read-only
    EXPECT_EQ(layer().LHeld, 1);

    layer().MouseX = 123;
    layer().MouseY = -4;
    EXPECT_EQ(v("@MouseX").GetAsInt(), 123);
    EXPECT_EQ(v("@MouseY").GetAsString(), "-4");
    // The other layer is not the one scripts see.
    registry->InactiveBase()->MouseX = 9;
    EXPECT_EQ(v("@MouseX").GetAsInt(), 123);
}

TEST_F(RegistryVars, KeyArraysAndWheel) {
    registry->SetKeyPush(13, true);
    EXPECT_TRUE(v("@KeyPush").GetBoolAt(13));
    EXPECT_FALSE(v("@KeyPush").GetBoolAt(14));
    EXPECT_FALSE(v("@KeyPush").GetAsBool());  // without an index
    EXPECT_FALSE(v("@KeyPush").GetBoolAt(300));
    EXPECT_FALSE(v("@KeyPush").GetBoolAt(-1));
    EXPECT_EQ(v("@KeyPush").Count(), 258);
    layer().WheelDown = 1;
    EXPECT_TRUE(v("@WheelDown").GetAsBool());
    EXPECT_TRUE(v("@KeyPush").GetBoolAt(256));
    EXPECT_TRUE(v("@KeyRepeat").GetBoolAt(256));
    EXPECT_FALSE(v("@KeyClick").GetBoolAt(257));
    layer().WheelUp = 1;
    EXPECT_TRUE(v("@KeyClick").GetBoolAt(257));
    EXPECT_TRUE(v("@WheelUp").GetAsBool());
}

TEST_F(RegistryVars, SoundFocusAndDefaultsWithoutARegistry) {
    bool passed = true;
    registry->OnSoundOn = [&](bool on) { passed = on; };
    v("@SoundON").SetAsString("TRUE");  // read as an integer: 0
    EXPECT_FALSE(v("@SoundON").GetAsBool());
    EXPECT_FALSE(passed);
    v("@SoundON").SetAsInt(1);
    EXPECT_TRUE(v("@SoundON").GetAsBool());
    EXPECT_TRUE(passed);

    EXPECT_EQ(v("@ActiveCompo").GetAsString(), "");
    v("@ActiveCompo").SetAsString("nothing");  // no such control: nothing
    EXPECT_EQ(registry->Focus(), nullptr);

    VorqBaseList = nullptr;
    EXPECT_FALSE(v("@LClick").GetAsBool());
    EXPECT_EQ(v("@MouseX").GetAsInt(), 0);
    EXPECT_FALSE(v("@KeyPush").GetBoolAt(13));
    v("@LClick").SetAsBool(true);
    v("@SoundON").SetAsBool(false);
    EXPECT_EQ(v("@ScrWidth").GetAsInt(), 0);
    EXPECT_EQ(v("@Title").GetAsString(), "");
}

TEST_F(RegistryVars, FontListsOnePerLine) {
    const std::vector<std::string> all = GetFontNames(true, false, false);
    const std::string fonts = v("@Fonts").GetAsString();
    std::string joined;
    for (const std::string& n : all) joined += (joined.empty() ? "" : "\r\n") + n;
    EXPECT_EQ(fonts, joined);
    EXPECT_EQ(fonts.find('@'), std::string::npos);
    const std::string fixed = v("@FixedFonts").GetAsString();
    EXPECT_LE(fixed.size(), fonts.size());
    EXPECT_NE(fixed.substr(0, 2), "\r\n");
}

}  // namespace
