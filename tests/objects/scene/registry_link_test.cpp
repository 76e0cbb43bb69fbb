// The call manager on the object registry: events queued by a display
// object run their handler pages, @Sender names the object, ObjDel scraps it.
#include "shell/headless_runner.h"
#include "script/param_collection.h"
#include "objects/scene/registry_link.h"
#include "objects/base_list.h"
#include "objects/vorq_object.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/plain_dibx.h"

#include <gtest/gtest.h>

namespace {

class TLinkTimer : public TVorqComponent {
public:
    using TVorqComponent::TVorqComponent;
    uint8_t GetCompoType() const override { return LT_TIMER; }
};

}  // namespace

TEST(RegistryLink, EventsOfObjectsRunTheirHandlers) {
    SetSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
        return std::make_unique<TPlainDIBX>(w, h, bits);
    });
    {
        TVorqBaseList reg;
        reg.SurfaceBits = 32;
        reg.SetWidth(64);
        reg.SetHeight(48);
        auto* timer = new TLinkTimer(&reg);
        timer->SetName("clock");
        TRegistrySceneLink link(reg);

        TTestGameFolder g;
        g.WriteProject(TestProjectData("main.vsb"));
        TPageWriter handler;
        handler.Calc("who = @Sender");
        handler.ObjDel("@Sender");
        g.WritePage("tick.vsb", handler);
        TPageWriter w;
        w.VarNew("who", PT_STR, "\"\"");
        w.Wait("0");
        g.WritePage("main.vsb", w);
        THeadlessRunner runner(g.Path(), &link);
        ASSERT_TRUE(runner.Running());
        runner.Frame();
        reg.Events.AddEvent(timer, "tick.vsb", nullptr, 0);
        EXPECT_TRUE(link.ObjectExists("clock"));
        runner.Frame();
        EXPECT_EQ(Params->Find("who")->GetAsString(), "clock");
        EXPECT_TRUE(reg.IsPendingDelete(timer));
        EXPECT_EQ(reg.Events.Count(), 0);
    }
    SetSurfaceMaker(nullptr);
}
