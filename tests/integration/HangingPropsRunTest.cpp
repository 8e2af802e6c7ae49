// The demo world's hanging props drawn in this process after they were woken,
// the chain pushed and the stack knocked, and ten seconds went by: the lamp
// and both chain links are drawn where they hung when the world opened,
// under the beam, and nothing of them where a fallen link would lie.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "tests/integration/DeviceWorldRun.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace {

// The beam's props seen from the front, a little below them.
const math::Vec3 kEye{-300, 180, -80}, kAt{-300, 200, 100};
const char* const kHanging[] = {"hanging_lamp", "chain_top", "chain_bottom"};

class HangingPropsRun : public DeviceWorldRun {
  protected:
    static int Distance(uint32_t a, uint32_t b) {
        int d = 0;
        for (int shift = 0; shift <= 16; shift += 8)
            d += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
        return d;
    }
    // The pixel a point projects to, drawn from the eye with the named
    // object shown or hidden.
    static uint32_t PixelWith(const char* object, bool shown, const math::Vec3& point) {
        ObjectRecord* h = Find(object);
        EXPECT_TRUE(h) << object;
        if (!h) return 0;
        const uint32_t flags = h->dwFlags;
        if (!shown) h->dwFlags &= ~objflags::kFlagVisible;
        RunAt(kEye, kAt);
        uint32_t x = 0, y = 0;
        EXPECT_TRUE(Project(point, &x, &y)) << object;
        const uint32_t pixel = ReadBack()[y * kW + x];
        h->dwFlags = flags;
        return pixel;
    }
    // Engine frames without drawing, as the in-process world runs them.
    static void Step(int frames) {
        for (int i = 0; i < frames; ++i) {
            stepclock::StepFrame();
            ASSERT_TRUE(g_Engine.EngineFrameTiming());
            ASSERT_TRUE(g_Engine.EngineFrame());
            g_MainGame.Update();
        }
    }
};

TEST_F(HangingPropsRun, WokenPushedAndLeftTheLampAndTheChainAreDrawnWhereTheyHung) {
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    g_Engine.m_bWorldShown = 1;
    // The camera ride's trigger zone, within reach of the player, would
    // take the view: it goes.
    g_Engine.DeleteObject(Find("ride_start"));
    std::vector<math::Vec3> hung;
    for (const char* name : kHanging) {
        ObjectRecord* h = Find(name);
        ASSERT_TRUE(h) << name;
        hung.push_back(h->vPosition);
    }
    for (const char* name : kHanging)
        PutForceToObject(Find(name), math::Vec3{});
    PutForceToObject(Find("chain_bottom"), math::Vec3{0, 0, 600});
    g_Engine.FireAction("knock", 0);
    Step(600);

    // ZT_HANGING_PICTURE=DIR saves the view as DIR/hanging.bmp, to be looked at.
    RunAt(kEye, kAt);
    ASSERT_EQ(g_Camera.GetPosition(), kEye);
    if (const char* dir = std::getenv("ZT_HANGING_PICTURE"))
        g_pD3DInterface->SaveSurfaceToFile((std::string(dir) + "/hanging.bmp").c_str(), g_pBackBufferSurface);
    for (size_t i = 0; i < std::size(kHanging); ++i) {
        SCOPED_TRACE(kHanging[i]);
        EXPECT_GT(Distance(PixelWith(kHanging[i], true, hung[i]), PixelWith(kHanging[i], false, hung[i])), 24)
            << "drawn where it hung";
        const math::Vec3 fallen = hung[i] - math::Vec3{0, 60, 0};
        EXPECT_EQ(PixelWith(kHanging[i], true, fallen), PixelWith(kHanging[i], false, fallen))
            << "nothing of it lower down";
    }
}

} // namespace
