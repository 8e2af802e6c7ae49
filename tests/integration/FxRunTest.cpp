// The demo world's effects in the running game: the smouldering crate's
// endless smoke column from its set_fx key, and the explosive crate's death,
// whose "explosion_small" pushes the loose crate beside it, plays a sound of
// the explosion table, takes a flash slot and starts its sub-effects, which
// all end. A saved game's load ends every instance; the objects' own
// effects start again from their restored names.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "game/SaveMgr.h"
#include "physics/RigidBodyPhysics.h"
#include "physics/RigidBodySimulation.h"
#include "render/FxMgr.h"
#include "render/Renderer.h"
#include "sound/SoundMgr.h"
#include "tests/integration/InProcessWorld.h"
#include "world/EngineObject.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace {

class FxRun : public InProcessWorld {
  protected:
    void SetUp() override {
        InProcessWorld::SetUp();
        g_SoundMgr.SetBackend(audio::Backend::Silent);
        ASSERT_TRUE(g_SoundMgr.Init());
    }
    void TearDown() override {
        g_Engine.StartWorld("*"); // the world's radios and voices go before the sounds
        g_SoundMgr.Lock().SetActive(false);
        g_SoundMgr.Release();
        g_SoundMgr.SetBackend(audio::Backend::Auto);
        InProcessWorld::TearDown();
    }
    static int Live(const char* name) {
        int n = 0;
        for (int i = 1; i < FxMgr::MAX_INSTANCES; ++i)
            if (g_FxMgr.Instance(i)->bInUse && std::strcmp(g_FxMgr.Instance(i)->szName, name) == 0) ++n;
        return n;
    }
    static int LiveAll() {
        int n = 0;
        for (int i = 1; i < FxMgr::MAX_INSTANCES; ++i)
            n += g_FxMgr.Instance(i)->bInUse;
        return n;
    }
    static bool TableSoundMade() {
        for (strSound* s = g_SoundMgr.FirstSound(); s; s = s->pNext)
            if (std::strstr(s->szName, "weapons")) return true;
        return false;
    }
    static int Flashes() {
        int n = 0;
        for (const ERenderer::Flash& f : g_Renderer.m_Flashes)
            n += f.fTime > 0.0f;
        return n;
    }
};

TEST_F(FxRun, TheExplosiveCrateExplodesAndItsEffectsEnd) {
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    RunFrames(210);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "!fx_bugs.txt"));
    EXPECT_EQ(Log().find("MAX_FXCACHE"), std::string::npos);
    EXPECT_NE(g_FxMgr.FindDescription("explosion_small"), nullptr);
    // The crate smoulders from its set_fx key.
    ObjectRecord* crate = g_Engine.FindObjectByName("crate_explosive");
    ASSERT_NE(crate, nullptr);
    ASSERT_NE(crate->pFx, nullptr);
    EXPECT_STREQ(crate->pFx->szName, "smoke_column");
    EXPECT_GT(Live("smoke_wisp"), 0);

    // Beside the loose crate, so that the blast reaches it.
    ObjectRecord* loose = g_Engine.FindObjectByName("crate_physics");
    ASSERT_NE(loose, nullptr);
    ERigidBodyPhysics* body = nullptr;
    ASSERT_TRUE(g_RigidBodySimulation.FindBody(loose, &body));
    SetObjectPosition(crate, loose->vPosition + math::Vec3{80, 0, 0});
    RunFrames(30); // the loose crate comes to rest
    const double before[3] = {body->m_State.x[0], body->m_State.x[1], body->m_State.x[2]};
    for (ERenderer::Flash& f : g_Renderer.m_Flashes)
        f.fTime = 0.0f;

    g_EngineObject.HandleDeath(crate, nullptr, nullptr);
    EXPECT_EQ(Live("explosion_small"), 1);
    EXPECT_EQ(Live("smoke_column"), 0);
    EXPECT_TRUE(TableSoundMade());
    EXPECT_GE(Flashes(), 1);
    RunFrames(10);
    for (const char* sub : {"flash", "debris_chunk", "explosion_light", "heat_haze", "smoke_puff"})
        EXPECT_GT(Live(sub), 0) << sub;
    const double moved = std::hypot(body->m_State.x[0] - before[0], body->m_State.x[1] - before[1],
                                    body->m_State.x[2] - before[2]);
    EXPECT_GT(moved, 1.0);

    // Everything the explosion started ends within a few seconds, with the
    // debris models it made.
    RunFrames(300);
    EXPECT_EQ(Live("explosion_small"), 0);
    EXPECT_EQ(LiveAll() - Live("smoke_wisp"), 0);
    RunFrames(200);
    EXPECT_EQ(LiveAll(), 0);
    for (int i = 0; i < EEngine::MAX_OBJECTS; ++i) {
        const ObjectRecord* h = g_Engine.Object(i);
        if (h->bUsed) {
            EXPECT_NE(std::string(h->szFileName), "models\\debris_chunk.x");
        }
    }
}

TEST_F(FxRun, ASavedGamesLoadEndsEveryInstance) {
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    RunFrames(210);
    ASSERT_GT(Live("smoke_wisp"), 0);
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    g_SaveMgr.WriteBlocks(f);
    std::rewind(f);
    g_SaveMgr.ReadBlocks(f);
    std::fclose(f);
    // Only the crate's own effect starts again, from its restored set_fx.
    EXPECT_EQ(Live("smoke_wisp"), 0);
    EXPECT_EQ(Live("smoke_column"), 1);
    EXPECT_EQ(LiveAll(), 1);
}

} // namespace
