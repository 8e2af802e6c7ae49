// The demo world run headless through the game frame: its props fall and come
// to rest on the floor and the ramp, the knocked stack scatters and settles,
// the lamp hangs under its beam, a saved world loads every body back where it
// lay, and a run replays byte for byte on the timer's test clock.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "physics/RigidBodySimulation.h"
#include "tests/integration/InProcessWorld.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

namespace {

// The loose props of the demo world (crate_physics is left out: its settings
// let it through the floor).
const char* const kProps[] = {"oil_drum",      "ball",          "l_prop",        "can",
                              "stack_crate_1", "stack_crate_2", "stack_crate_3", "stack_crate_4",
                              "stack_crate_5", "ramp_crate",    "ramp_drum",     "niche_crate"};

// The jointed props: each body's socket and the socket it hangs from. The
// chain's lower link hangs from the upper one, a level below it. The sign
// hangs from the shuttle, which keeps going round its path and turning its
// corners: the sign swings with it.
struct Joined {
    const char *body, *socket, *holder, *holderSocket;
    bool holderStill;
};
const Joined kJoined[] = {{"hanging_lamp", "hook", "ceiling_beam", "lamp_hook", true},
                          {"chain_top", "top", "ceiling_beam", "chain_hook", true},
                          {"chain_bottom", "top", "chain_top", "bottom", true},
                          {"shuttle_sign", "top", "shuttle", "hinge", false}};

class RigidBodyRun : public InProcessWorld {
  protected:
    // The world started at the same moment of the test clock every time.
    static void Start() {
        stepclock::Install();
        g_Engine.m_fFrameTime = 0.0f;
        g_Engine.m_fLastTime = DXUtilTimer(TIMER_GETABSOLUTETIME);
        ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    }
    // World props sleep until something moves them: each gets a force of
    // nothing through the object API, as an explosion's edge would give.
    static void WakeProps() {
        for (const char* name : kProps)
            PutForceToObject(g_Engine.FindObjectByName(name), math::Vec3{});
        for (const auto& j : kJoined)
            PutForceToObject(g_Engine.FindObjectByName(j.body), math::Vec3{});
    }
    // How far the body's socket lies from its holder's.
    static float SocketGap(const char* body, const char* socket, const char* holder,
                           const char* holderSocket) {
        math::Vec3 a, b;
        EXPECT_TRUE(ReadObjectSocket(g_Engine.FindObjectByName(body), socket, &a, nullptr)) << body;
        EXPECT_TRUE(ReadObjectSocket(g_Engine.FindObjectByName(holder), holderSocket, &b, nullptr)) << holder;
        return math::Vec3Length(a - b);
    }
    static ERigidBodyPhysics* Body(const char* name) {
        ERigidBodyPhysics* b = nullptr;
        g_RigidBodySimulation.FindBody(g_Engine.FindObjectByName(name), &b);
        return b;
    }
    // Runs until no body is awake (at most `limit` frames); the frames run.
    static int RunUntilAllRest(int limit) {
        int frames = 0;
        for (; frames < limit; ++frames) {
            bool awake = false;
            for (const char* name : kProps)
                if (ERigidBodyPhysics* b = Body(name)) awake |= b->m_bActive != 0;
            if (!awake && frames > 0) break;
            RunFrames(1);
        }
        return frames;
    }
    // Every used slot's body state, snapshots and last result, as bytes.
    static std::vector<uint8_t> Bodies() {
        std::vector<uint8_t> bytes;
        for (uint32_t i = 0; i < g_RigidBodySimulation.NumSlots(); ++i) {
            RigidBodySlot& s = g_RigidBodySimulation.Slot(i);
            if (!s.bUsed || !s.pBody) continue;
            const auto* state = reinterpret_cast<const uint8_t*>(&s.pBody->m_State);
            bytes.insert(bytes.end(), state, state + sizeof(RigidBodyState));
            const auto* snaps = reinterpret_cast<const uint8_t*>(s.Snapshots);
            bytes.insert(bytes.end(), snaps, snaps + sizeof s.Snapshots);
            const auto* result = reinterpret_cast<const uint8_t*>(&s.dwLastResult);
            bytes.insert(bytes.end(), result, result + 4);
        }
        return bytes;
    }
    // The lowest hull point of a body.
    static double Bottom(const ERigidBodyPhysics* b) {
        double lowest = 1e30;
        for (uint32_t i = 0; i < b->m_iNumParticles; ++i) {
            const double* p = b->m_pParticles[i].vBody;
            double y = b->m_State.x[1];
            for (int k = 0; k < 3; ++k)
                y += b->m_State.R[3 + k] * p[k];
            lowest = std::min(lowest, y);
        }
        return lowest;
    }
};

TEST_F(RigidBodyRun, SixHundredFramesReplayByteForByte) {
    auto run = [] {
        Start();
        WakeProps();
        RunFrames(300);
        Type("action knock");
        RunFrames(300);
        return Bodies();
    };
    // The first bodies compute and write the inertia files that later ones
    // read: the two compared runs both read them.
    Start();
    WakeProps();
    const std::vector<uint8_t> first = run();
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(run() == first);
}

// Woken and left to gravity for 600 frames, every jointed body hangs at its
// holder's socket (the chain's lower link at the upper one's), and once the
// swinging has died down none under a holder standing still carries speed.
TEST_F(RigidBodyRun, JointedPropsHangAtTheirHoldersSockets) {
    Start();
    WakeProps();
    Type("action knock");
    for (int frame = 0; frame < 600; ++frame) {
        RunFrames(1);
        for (const Joined& j : kJoined)
            ASSERT_LT(SocketGap(j.body, j.socket, j.holder, j.holderSocket), 2.0f) << j.body << " " << frame;
    }
    for (const Joined& j : kJoined) {
        const ERigidBodyPhysics* b = Body(j.body);
        ASSERT_NE(b, nullptr) << j.body;
        if (!j.holderStill) continue;
        const double* v = b->m_State.v;
        EXPECT_LT(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]), 1.0) << j.body;
    }
}

TEST_F(RigidBodyRun, PropsSettleTheStackScattersAndASaveBringsThemBack) {
    Start();
    WakeProps();
    const int settled = RunUntilAllRest(1800);
    EXPECT_LT(settled, 1800);
    for (const char* name : kProps) {
        ERigidBodyPhysics* b = Body(name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->m_bActive, 0) << name;
        EXPECT_GT(Bottom(b), -1.0) << name; // on the floor, not through it
    }
    // The stack stands: each crate on the one below.
    for (int k = 1; k <= 5; ++k) {
        const ERigidBodyPhysics* b = Body(("stack_crate_" + std::to_string(k)).c_str());
        EXPECT_NEAR(b->m_State.x[1], 12.0 + 24.0 * (k - 1), 2.0) << k;
        EXPECT_NEAR(b->m_State.x[0], -280.0, 2.0) << k;
    }
    // The ramp's props slid down its slope and lie at its foot.
    for (const char* name : {"ramp_crate", "ramp_drum"}) {
        const ERigidBodyPhysics* b = Body(name);
        EXPECT_LT(b->m_State.x[2], -200.0) << name;
        EXPECT_LT(Bottom(b), 1.0) << name;
    }
    // The niche's crate went through the wall's top into it and lies on its
    // floor there.
    const ERigidBodyPhysics* niche = Body("niche_crate");
    EXPECT_NEAR(niche->m_State.x[0], -512.0, 2.0);
    EXPECT_LT(niche->m_State.x[1], 20.0);
    // The lamp and the chain's upper link hang under their beam, the sign
    // from the shuttle: woken and left to gravity, each is still at its
    // holder's socket.
    ObjectRecord* beam = g_Engine.FindObjectByName("ceiling_beam");
    ERigidBodyPhysics* lamp = Body("hanging_lamp");
    ASSERT_TRUE(beam && lamp);
    EXPECT_LT(lamp->m_State.x[1], beam->vPosition.y);
    for (const Joined& j : kJoined)
        EXPECT_LT(SocketGap(j.body, j.socket, j.holder, j.holderSocket), 0.5f) << j.body;

    // The knock: the fourth crate flies, the one above it falls, the stack
    // scatters and settles.
    double before[6][3];
    for (int k = 1; k <= 5; ++k)
        std::memcpy(before[k], Body(("stack_crate_" + std::to_string(k)).c_str())->m_State.x,
                    sizeof before[k]);
    Type("action knock");
    RunFrames(2);
    EXPECT_EQ(Body("stack_crate_4")->m_bActive, 1);
    EXPECT_LT(RunUntilAllRest(1800), 1800);
    const double* knocked = Body("stack_crate_4")->m_State.x;
    EXPECT_GT(std::hypot(knocked[0] - before[4][0], knocked[2] - before[4][2]), 20.0);
    EXPECT_LT(Body("stack_crate_5")->m_State.x[1], before[5][1] - 12.0);
    EXPECT_NEAR(Body("stack_crate_1")->m_State.x[1], before[1][1], 2.0); // the bottom one stays

    // Saved, disturbed and loaded: every body where it lay.
    const std::vector<uint8_t> lying = Bodies();
    const std::string save = (dir_ / "bodies.sav").string();
    std::FILE* f = std::fopen(save.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    g_Engine.Save(f);
    std::fclose(f);
    Type("action knock");
    RunFrames(30);
    f = std::fopen(save.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    g_Engine.Load(f);
    std::fclose(f);
    for (const char* name : kProps) {
        const ERigidBodyPhysics* b = Body(name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->m_bActive, 0) << name;
        EXPECT_NEAR(b->m_hObject->vPosition.y, b->m_State.x[1], 1e-3) << name;
    }
    EXPECT_TRUE(Bodies() == lying);
}

} // namespace
