// A rigid body against world triangles: what gathering takes and leaves out
// and when it runs again, the contacts of a box on a floor, on a wall and in
// a corner, world vertices touching a face, edge/edge normals, the fallback
// generator, the first-contact normal, the full contact list, and the move
// test against a brute-force test of every edge against every triangle.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "app/Geometry.h"
#include "physics/CollisionMgr.h"
#include "physics/PhysicsWorld.h"
#include "physics/RigidBodySimulation.h"
#include "tests/physics/CollisionFixture.h"
#include "tests/physics/RigidBodyFixture.h"

namespace {

using coltest::Subset;
using coltest::Triangle;
using math::Vec3;

// Two triangles of the quad a b c d, turned to face along `facing`.
void AddQuad(Subset& s, Vec3 a, Vec3 b, Vec3 c, Vec3 d, Vec3 facing) {
    for (Triangle t : {Triangle{a, b, c}, Triangle{a, c, d}}) {
        if (math::Vec3Dot(math::Vec3Cross(t.b - t.a, t.c - t.a), facing) < 0) std::swap(t.b, t.c);
        s.push_back(t);
    }
}

// The floor: y = 0 over -64..64, split along x = z.
Subset Floor() {
    Subset s;
    AddQuad(s, {-64, 0, -64}, {-64, 0, 64}, {64, 0, 64}, {64, 0, -64}, {0, 1, 0});
    return s;
}
// A wall in the plane x = 30 facing -x, reaching below the floor.
Subset Wall() {
    Subset s;
    AddQuad(s, {30, -8, -64}, {30, 64, -64}, {30, 64, 64}, {30, -8, 64}, {-1, 0, 0});
    return s;
}

double Dist(const double* a, const double* b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}

class RigidContactTest : public RigidBodyWorldTest {
  protected:
    void SetUp() override {
        RigidBodyWorldTest::SetUp();
        saved_ = physicsworld::World();
    }
    void TearDown() override {
        physicsworld::InstallPhysicsWorld(saved_);
        RigidBodyWorldTest::TearDown();
    }

    // A world object of the triangles, taking part in gathering.
    ObjectRecord* World(const char* file, const std::vector<Subset>& subsets, const char* name) {
        std::string path = file;
        for (char& c : path)
            if (c == '\\') c = '/';
        coltest::WriteMesh(dir_ / path, subsets);
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", file);
        p.dwFlags = 13;
        ObjectRecord* h = g_Engine.AddObject(p);
        if (h) SetObjectName(h, name);
        return h;
    }

    // A box body with sides of `size`, centred at the position.
    ERigidBodyPhysics* Box(const Vec3& at, float size = 2.0f, const char* name = "body") {
        ObjectRecord* h = Prop(1, 4.0f, {size, size, size});
        SetObjectName(h, name);
        SetObjectPosition(h, at);
        return Add(h);
    }

    // The body's state moved to the position and turned by the quaternion.
    static RigidBodyState Placed(const ERigidBodyPhysics* b, const double x[3], const double q[4] = nullptr) {
        RigidBodyState s = b->m_State;
        std::memcpy(s.x, x, sizeof s.x);
        if (q) std::memcpy(s.q, q, sizeof s.q);
        ERigidBodyPhysics::SetNewState(&s);
        return s;
    }

    // The contacts of the new generator at the body's own state.
    static RigidBodyContactList Contacts(ERigidBodyPhysics* b, bool* found = nullptr) {
        RigidBodyContactList list;
        bool f = false;
        b->GatherWorldTriangles(&b->m_State, &b->m_State, true);
        b->TestCollisions_NOWA_KONCEPCJA(&b->m_State, &b->m_State, &f, &list, false);
        if (found) *found = f;
        return list;
    }

    static bool Gathered(const ERigidBodyPhysics* b, const ObjectRecord* h) {
        for (uint32_t i = 0; i < b->m_dwNumTriangles; ++i)
            if (b->m_pTrojkaty[i].hOwner == h) return true;
        return false;
    }

    physicsworld::Hooks saved_;
};

// ---- Gathering ---------------------------------------------------------------------------------

TEST_F(RigidContactTest, FirstGatheringGrowsByFourAndLaterOnesOnlyWhenTheMoveLeavesTheBox) {
    World("models\\floor.x", {Floor()}, "floor");
    ERigidBodyPhysics* b = Box({20, 10, -30});
    ASSERT_NE(b, nullptr);
    const double r = std::sqrt(3.0) + 1.0; // the local box of a 2-unit box
    RigidBodyState s = b->m_State;
    b->GatherWorldTriangles(&s, &s, true);
    EXPECT_FLOAT_EQ(b->m_vGatheredMin[0], float(20 - r) - 4.0f);
    EXPECT_FLOAT_EQ(b->m_vGatheredMax[1], float(10 + r) + 4.0f);
    EXPECT_EQ(b->m_dwNumTriangles, 0u); // the floor lies below the gathered box

    // A piece of floor that appears now is seen only by a new gathering.
    Subset near;
    AddQuad(near, {16, 4, -34}, {16, 4, -26}, {24, 4, -26}, {24, 4, -34}, {0, 1, 0});
    ObjectRecord* ledge = World("models\\ledge.x", {near}, "ledge");
    const float gmin = b->m_vGatheredMin[1];

    // Down by 2.9: the swept box grown by 1.0 still lies inside.
    RigidBodyState down = s;
    down.x[1] -= 2.9;
    EXPECT_FALSE(b->IsCollision(&s, &down, false));
    EXPECT_FALSE(Gathered(b, ledge));
    EXPECT_FLOAT_EQ(b->m_vGatheredMin[1], gmin);

    // Down by 3.5: the grown swept box leaves the gathered box, so the
    // triangles are gathered again; the placed boxes fit, so the gathered box
    // keeps its size (a later gathering adds no margin).
    down.x[1] = s.x[1] - 3.5;
    b->IsCollision(&s, &down, false);
    EXPECT_TRUE(Gathered(b, ledge));
    EXPECT_FLOAT_EQ(b->m_vGatheredMin[1], gmin);

    // One unit beyond the gathered box along x: gathered again, box extended.
    RigidBodyState far = s;
    far.x[0] = b->m_vGatheredMax[0] + 1.0 - r;
    const float before = b->m_vGatheredMax[0];
    b->RefreshWorldTriangles(&s, &far);
    EXPECT_NEAR(b->m_vGatheredMax[0], before + 1.0f, 1e-4);
}

struct ExclusionCase {
    const char* name;
    void (*setUp)(RigidBodyPhysicsParams& p, ObjectRecord* other);
    int playerSlot; // which of the player's three objects the other object is, -1 none
    bool excluded;
};

ObjectRecord* g_Player3[3];

class ExclusionTest : public RigidContactTest, public ::testing::WithParamInterface<ExclusionCase> {};

TEST_P(ExclusionTest, TrianglesOfTheOtherObject) {
    const ExclusionCase& c = GetParam();
    World("models\\floor.x", {Floor()}, "floor");
    ObjectRecord* other =
        World("models\\ledge.x", {[] {
                  Subset s;
                  AddQuad(s, {16, 1, -34}, {16, 1, -26}, {24, 1, -26}, {24, 1, -34}, {0, 1, 0});
                  return s;
              }()},
              "other");
    ASSERT_NE(other, nullptr);
    g_Player3[0] = g_Player3[1] = g_Player3[2] = nullptr;
    if (c.playerSlot >= 0) g_Player3[c.playerSlot] = other;
    physicsworld::Hooks hooks = saved_;
    hooks.PlayerExcludedObject = [](int i) { return g_Player3[i]; };
    physicsworld::InstallPhysicsWorld(hooks);

    ObjectRecord* h = Prop(1, 4.0f, {2, 2, 2});
    SetObjectPosition(h, {20, 3, -30});
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(h, &p);
    c.setUp(p, other);
    SetObjectRigidBodyPhysicsParams(h, p);
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    c.setUp(b->m_Params, other); // as the case says, whatever creation wrote back
    b->GatherWorldTriangles(&b->m_State, &b->m_State, true);
    EXPECT_EQ(Gathered(b, other), !c.excluded);
    EXPECT_TRUE(Gathered(b, g_Engine.FindObjectByName("floor"))); // the floor is always taken
    other->dwRigidBody = other->dwRigidBody2 = 0;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ExclusionTest,
    ::testing::Values(
        ExclusionCase{"Plain", [](RigidBodyPhysicsParams&, ObjectRecord*) {}, -1, false},
        ExclusionCase{"Named",
                      [](RigidBodyPhysicsParams& p, ObjectRecord*) {
                          std::snprintf(p.szDisableCollisionWith[7], 32, "%s", "OTHER");
                      },
                      -1, true},
        ExclusionCase{"PlayerWithCollideOff",
                      [](RigidBodyPhysicsParams& p, ObjectRecord*) { p.bCollideWithPlayer = 0; }, 2, true},
        ExclusionCase{"PlayerWithCollideOn", [](RigidBodyPhysicsParams&, ObjectRecord*) {}, 0, false},
        ExclusionCase{"PlayerWithSpherePreset",
                      [](RigidBodyPhysicsParams& p, ObjectRecord*) {
                          p.bSpherePreset = 1;
                          p.bCollideWithPlayer = 1;
                      },
                      1, true},
        ExclusionCase{"PhysicsWithBoxPreset",
                      [](RigidBodyPhysicsParams& p, ObjectRecord* o) {
                          p.bBoxPreset = 1;
                          o->dwRigidBody2 = 9;
                      },
                      -1, true},
        ExclusionCase{"PhysicsWithOtherPhysicsOff",
                      [](RigidBodyPhysicsParams& p, ObjectRecord* o) {
                          p.bDisableCollisionsWithOtherPhysics = 1;
                          o->dwRigidBody = 9;
                      },
                      -1, true},
        ExclusionCase{"PhysicsOtherwise",
                      [](RigidBodyPhysicsParams&, ObjectRecord* o) { o->dwRigidBody = 9; }, -1, false},
        ExclusionCase{"SubRecordFlag", [](RigidBodyPhysicsParams&, ObjectRecord* o) { o->bNoGathering = 1; },
                      -1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RigidContactTest, DisableAllCollisionsGathersNothingAndNoTestReports) {
    World("models\\floor.x", {Floor()}, "floor");
    ObjectRecord* h = Prop(1, 4.0f, {2, 2, 2});
    SetObjectPosition(h, {20, 0.0f, -30}); // half sunk into the floor
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(h, &p);
    p.bDisableAllCollisions = 1;
    SetObjectRigidBodyPhysicsParams(h, p);
    ERigidBodyPhysics* b = Add(h);
    ASSERT_NE(b, nullptr);
    RigidBodyState s = b->m_State;
    b->m_dwNumTriangles = 7;
    b->GatherWorldTriangles(&s, &s, true);
    EXPECT_EQ(b->m_dwNumTriangles, 0u);
    EXPECT_FALSE(b->IsCollision(&s, &s, false));
    RigidBodyContactList list;
    bool found = true;
    b->TestCollisions_NOWA_KONCEPCJA(&s, &s, &found, &list, false);
    EXPECT_FALSE(found);
    b->TestCollisions(&s, &s, &found, &list, false);
    EXPECT_FALSE(found);
    EXPECT_EQ(list.dwNumContacts, 0u);
    double n[3];
    EXPECT_FALSE(b->Get_First_Collision_Normal(&s, n, false));
}

// ---- Vertex/face contacts of the body's points ------------------------------------------------------

struct PlacementCase {
    const char* name;
    Vec3 at;
    bool wall;
    // The expected contacts: particles selected by their body-space signs
    // (0: any), each with its normal.
    struct Expect {
        int sx, sy;
        double n[3];
        bool wall; // object B
    } expect[3];
    int numExpect;
    uint32_t total;
};

class PlacementTest : public RigidContactTest, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(PlacementTest, OneContactPerPointBeyondAFaceWithTheAveragedNormal) {
    const PlacementCase& c = GetParam();
    World("models\\floor.x", {Floor()}, "floor");
    ObjectRecord* wall = c.wall ? World("models\\wall.x", {Wall()}, "wall") : nullptr;
    ERigidBodyPhysics* b = Box(c.at);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->m_iNumParticles, 8u);
    bool found = false;
    const RigidBodyContactList list = Contacts(b, &found);
    EXPECT_TRUE(found);
    ASSERT_EQ(list.dwNumContacts, c.total);
    uint32_t matched = 0;
    for (uint32_t p = 0; p < b->m_iNumParticles; ++p) {
        const RigidBodyParticle& part = b->m_pParticles[p];
        const double* body = part.vBody;
        const PlacementCase::Expect* e = nullptr;
        for (int k = 0; k < c.numExpect; ++k)
            if ((c.expect[k].sx == 0 || c.expect[k].sx * body[0] > 0) &&
                (c.expect[k].sy == 0 || c.expect[k].sy * body[1] > 0)) {
                e = &c.expect[k];
                break;
            }
        EXPECT_EQ(part.bContact, e ? 1 : 0) << p;
        if (!e) continue;
        const RigidBodyContact* hit = nullptr;
        for (uint32_t i = 0; i < list.dwNumContacts; ++i)
            if (Dist(list.Contacts[i].p, part.vWorld) < 1e-9) hit = &list.Contacts[i];
        ASSERT_NE(hit, nullptr) << p;
        ++matched;
        EXPECT_EQ(hit->dwType, RigidBodyContact::VERTEX_FACE);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(hit->n[k], e->n[k], 1e-9) << p;
        EXPECT_EQ(hit->hObjectA, b->m_hConstructionObj);
        EXPECT_EQ(hit->hObjectB, e->wall ? wall : g_Engine.FindObjectByName("floor"));
    }
    EXPECT_EQ(matched, c.total);
}

const double kH = std::sqrt(0.5);
INSTANTIATE_TEST_SUITE_P(
    Scenes, PlacementTest,
    ::testing::Values(PlacementCase{"Floor", {20, 0.5f, -30}, false, {{0, -1, {0, 1, 0}, false}}, 1, 4},
                      PlacementCase{"Wall", {29.6f, 20, -30}, true, {{1, 0, {-1, 0, 0}, true}}, 1, 4},
                      // The bottom points on the wall's side cross both: the normal is the
                      // average of the two, the object the one crossed first (the wall).
                      PlacementCase{
                          "Corner",
                          {29.6f, 0.5f, -30},
                          true,
                          {{1, -1, {-kH, kH, 0}, true}, {0, -1, {0, 1, 0}, false}, {1, 0, {-1, 0, 0}, true}},
                          3,
                          6}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- World vertices on body faces ---------------------------------------------------------------

// A thin upright triangle whose lowest vertex is at w, in the plane z = w.z.
Subset Spike(const Vec3& w) {
    return {{w, w + Vec3(-0.2f, 2, 0), w + Vec3(0.2f, 2, 0)}};
}

struct VertexCase {
    const char* name;
    std::vector<Vec3> tips; // relative to the body's centre; the body's top face is at y = 1
    uint32_t contacts;
};

class VertexOnFaceTest : public RigidContactTest, public ::testing::WithParamInterface<VertexCase> {};

TEST_P(VertexOnFaceTest, ContactOnlyWithinATenthOfTheCrossingAndNotNearAnEarlierOne) {
    const VertexCase& c = GetParam();
    const Vec3 centre{0, 40, 0};
    Subset spikes;
    for (const Vec3& t : c.tips)
        for (const Triangle& tri : Spike(centre + t))
            spikes.push_back(tri);
    ObjectRecord* world = World("models\\spikes.x", {spikes}, "spikes");
    ERigidBodyPhysics* b = Box(centre);
    ASSERT_NE(b, nullptr);
    bool found = false;
    const RigidBodyContactList list = Contacts(b, &found);
    EXPECT_EQ(found, c.contacts > 0);
    ASSERT_EQ(list.dwNumContacts, c.contacts);
    for (uint32_t i = 0; i < list.dwNumContacts; ++i) {
        const RigidBodyContact& k = list.Contacts[i];
        EXPECT_EQ(k.dwType, RigidBodyContact::VERTEX_FACE);
        EXPECT_NEAR(k.p[1], centre.y + 1.0, 1e-9); // on the top face
        EXPECT_NEAR(k.n[0], 0.0, 1e-12);
        EXPECT_NEAR(k.n[1], -1.0, 1e-12); // from the world into the body
        EXPECT_EQ(k.hObjectB, world);
    }
    for (uint32_t p = 0; p < b->m_iNumParticles; ++p)
        EXPECT_EQ(b->m_pParticles[p].bContact, 0);
}

INSTANTIATE_TEST_SUITE_P(Tips, VertexOnFaceTest,
                         ::testing::Values(
                             // The crossing lies |w| d / (1 - d) from a tip d below the face.
                             VertexCase{"JustInside", {{0.5f, 0.95f, 0.2f}}, 1},
                             VertexCase{"TooDeep", {{0.5f, 0.7f, 0.2f}}, 0},
                             VertexCase{"JustAbove", {{0.5f, 1.05f, 0.2f}}, 1},
                             VertexCase{"WellAbove", {{0.5f, 1.3f, 0.2f}}, 0},
                             // Two tips 0.64 apart: the second lies near the first and is dropped.
                             VertexCase{"TwoClose", {{0.5f, 0.95f, 0.2f}, {0.9f, 0.95f, -0.3f}}, 1},
                             VertexCase{"TwoApart", {{0.7f, 0.97f, 0.3f}, {-0.6f, 0.97f, -0.9f}}, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RigidContactTest, PointsOfTheBodyAreKeptEvenWhenCloseToEachOther) {
    World("models\\floor.x", {Floor()}, "floor");
    ERigidBodyPhysics* b = Box({20, 0.4f, -30}, 1.0f); // bottom points one unit apart
    ASSERT_NE(b, nullptr);
    const RigidBodyContactList list = Contacts(b);
    ASSERT_EQ(list.dwNumContacts, 4u);
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_NEAR(list.Contacts[i].p[1], 0.4 - 0.5, 1e-6);
}

// ---- Edge against edge -------------------------------------------------------------------------

TEST_F(RigidContactTest, EdgeNormalsPointToTheBodysSideAndKeepClearOfEarlierContacts) {
    // A roof ridge along z at y = 10, and a box dropped on it in many poses.
    Subset roof;
    AddQuad(roof, {-20, 0, -40}, {0, 10, -40}, {0, 10, 40}, {-20, 0, 40}, {-1, 2, 0});
    AddQuad(roof, {0, 10, -40}, {20, 0, -40}, {20, 0, 40}, {0, 10, 40}, {1, 2, 0});
    World("models\\roof.x", {roof}, "roof");
    ERigidBodyPhysics* b = Box({0, 20, 0}, 6.0f);
    ASSERT_NE(b, nullptr);
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    int edges = 0;
    for (int i = 0; i < 200; ++i) {
        double q[4] = {u(rng), u(rng), u(rng), u(rng)};
        const double x[3] = {u(rng) * 2.0, 10.0 + 3.0 + u(rng) * 2.0, u(rng) * 5.0};
        RigidBodyState s = Placed(b, x, q);
        RigidBodyContactList list;
        bool found = false;
        b->GatherWorldTriangles(&s, &s, true);
        b->TestCollisions_NOWA_KONCEPCJA(&s, &s, &found, &list, false);
        for (uint32_t k = 0; k < (found ? list.dwNumContacts : 0u); ++k) {
            const RigidBodyContact& c = list.Contacts[k];
            if (c.dwType != RigidBodyContact::EDGE_EDGE) continue;
            ++edges;
            // Never within 1.5 of an earlier contact of the call.
            for (uint32_t e = 0; e < k; ++e)
                EXPECT_GE(Dist(c.p, list.Contacts[e].p), 1.5);
            const double d[3] = {c.p[0] - s.x[0], c.p[1] - s.x[1], c.p[2] - s.x[2]};
            EXPECT_LE(c.n[0] * d[0] + c.n[1] * d[1] + c.n[2] * d[2], 1e-9);
            // n is ea x eb normalised; one of the two runs along the ridge's
            // world edges, the other along a hull edge.
            const double cx[3] = {c.ea[1] * c.eb[2] - c.ea[2] * c.eb[1],
                                  c.ea[2] * c.eb[0] - c.ea[0] * c.eb[2],
                                  c.ea[0] * c.eb[1] - c.ea[1] * c.eb[0]};
            const double len = std::sqrt(cx[0] * cx[0] + cx[1] * cx[1] + cx[2] * cx[2]);
            if (len > 1e-9) {
                for (int a = 0; a < 3; ++a)
                    EXPECT_NEAR(c.n[a], cx[a] / len, 1e-9);
            }
            EXPECT_NEAR(std::sqrt(c.ea[0] * c.ea[0] + c.ea[1] * c.ea[1] + c.ea[2] * c.ea[2]), 1.0, 1e-9);
            EXPECT_NEAR(std::sqrt(c.eb[0] * c.eb[0] + c.eb[1] * c.eb[1] + c.eb[2] * c.eb[2]), 1.0, 1e-9);
        }
    }
    EXPECT_GT(edges, 20);
}

// ---- The fallback generator and the first normal -------------------------------------------------

TEST_F(RigidContactTest, FallbackTakesHullEdgesThroughTheFloorOnePerNeighbourhood) {
    World("models\\floor.x", {Floor()}, "floor");
    ERigidBodyPhysics* b = Box({20, 0.5f, -30}, 4.0f); // sunk 1.5 into the floor
    ASSERT_NE(b, nullptr);
    RigidBodyContactList list;
    list.dwNumContacts = 50; // earlier contacts are dropped at the start
    bool found = false;
    RigidBodyState s = b->m_State;
    b->GatherWorldTriangles(&s, &s, true);
    b->TestCollisions(&s, &s, &found, &list, false);
    EXPECT_TRUE(found);
    ASSERT_GE(list.dwNumContacts, 4u);
    for (uint32_t i = 0; i < list.dwNumContacts; ++i) {
        const RigidBodyContact& c = list.Contacts[i];
        EXPECT_NEAR(c.p[1], 0.0, 1e-9);
        EXPECT_EQ(c.n[1], 1.0);
        EXPECT_LE(std::fabs(c.p[0] - 20.0), 2.0 + 1e-9);
        for (uint32_t j = 0; j < i; ++j)
            EXPECT_GE(Dist(c.p, list.Contacts[j].p), 1.5);
    }
    // Clear of the floor: nothing, and the list is emptied.
    const double up[3] = {20, 10, -30};
    s = Placed(b, up);
    b->TestCollisions(&s, &s, &found, &list, false);
    EXPECT_FALSE(found);
    EXPECT_EQ(list.dwNumContacts, 0u);
    b->TestCollisions(&s, &s, nullptr, &list, false); // found may be null
}

struct NormalCase {
    const char* name;
    double y;               // the body's centre over the floor
    std::vector<Vec3> tips; // spikes from above, relative to the centre
    bool found;
    double n[3];
};

class FirstNormalTest : public RigidContactTest, public ::testing::WithParamInterface<NormalCase> {};

TEST_P(FirstNormalTest, WorldNormalFirstThenTheHullFacesReversed) {
    const NormalCase& c = GetParam();
    World("models\\floor.x", {Floor()}, "floor");
    const Vec3 centre{20, float(c.y), -30};
    if (!c.tips.empty()) {
        Subset spikes;
        for (const Vec3& t : c.tips)
            for (const Triangle& tri : Spike(centre + t))
                spikes.push_back(tri);
        World("models\\spikes.x", {spikes}, "spikes");
    }
    ERigidBodyPhysics* b = Box(centre);
    ASSERT_NE(b, nullptr);
    double n[3] = {7, 7, 7};
    EXPECT_EQ(b->Get_First_Collision_Normal(&b->m_State, n, false), c.found);
    if (c.found) {
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(n[k], c.n[k], 1e-12);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, FirstNormalTest,
    ::testing::Values(NormalCase{"Sunk", 0.5, {}, true, {0, 1, 0}},
                      NormalCase{"SpikeIntoTheTop", 10.0, {{0.5f, 0.9f, 0.2f}}, true, {0, -1, 0}},
                      NormalCase{"Clear", 10.0, {{0.5f, 1.2f, 0.2f}}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- A full contact list -------------------------------------------------------------------------

TEST_F(RigidContactTest, GeneratorsStopAtAHundredContactsWithOneLinePerCall) {
    // A 40-unit body (a mesh shape keeps its prefab's size) whose bottom
    // face carries 12 x 12 points, standing in a field of 11 x 11 thin blades
    // that pierce its bottom face.
    Subset solid;
    const float h = 20.0f;
    const int n = 11;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const float x0 = -h + 2 * h * float(i) / n, x1 = -h + 2 * h * float(i + 1) / n;
            const float z0 = -h + 2 * h * float(j) / n, z1 = -h + 2 * h * float(j + 1) / n;
            AddQuad(solid, {x0, -h, z0}, {x1, -h, z0}, {x1, -h, z1}, {x0, -h, z1}, {0, -1, 0});
        }
    AddQuad(solid, {-h, h, -h}, {h, h, -h}, {h, h, h}, {-h, h, h}, {0, 1, 0});
    AddQuad(solid, {-h, -h, -h}, {-h, h, -h}, {h, h, -h}, {h, -h, -h}, {0, 0, -1});
    AddQuad(solid, {-h, -h, h}, {-h, h, h}, {h, h, h}, {h, -h, h}, {0, 0, 1});
    AddQuad(solid, {-h, -h, -h}, {-h, -h, h}, {-h, h, h}, {-h, h, -h}, {-1, 0, 0});
    AddQuad(solid, {h, -h, -h}, {h, -h, h}, {h, h, h}, {h, h, -h}, {1, 0, 0});
    std::filesystem::create_directories(dir_ / "prefabs" / "test");
    coltest::WriteMesh(dir_ / "prefabs" / "test" / "grid_box.x", {solid});

    Subset world = Floor();
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const float x = 20 - 18 + 3.6f * float(i), z = -30 - 18 + 3.6f * float(j);
            world.push_back({{x - 0.2f, -6, z}, {x, 0.5f, z}, {x + 0.2f, -6, z}});
        }
    World("models\\field.x", {world}, "field");

    ObjectRecord* o = Prop(4, 10.0f, {1, 1, 1}, "prefabs\\test\\grid_box.x");
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(o, &p);
    std::snprintf(p.szConstructionPrefabFileName, sizeof p.szConstructionPrefabFileName,
                  "prefabs\\test\\grid_box.x");
    SetObjectRigidBodyPhysicsParams(o, p);
    SetObjectPosition(o, {20, 19, -30}); // the bottom face at y = -1
    ERigidBodyPhysics* b = Add(o);
    ASSERT_NE(b, nullptr);
    ASSERT_GT(b->m_iNumParticles, 144u);

    auto lines = [] {
        int count = 0;
        PrintedAfterMark([&](const char* line) {
            count += std::strstr(line, "MAX_RIGIDBODY_CONTACTS exceeded!") != nullptr;
            return false;
        });
        return count;
    };
    RigidBodyState s = b->m_State;
    b->GatherWorldTriangles(&s, &s, true);
    for (bool fallback : {false, true}) {
        MarkConsole();
        RigidBodyContactList list;
        bool found = false;
        if (fallback)
            b->TestCollisions(&s, &s, &found, &list, false);
        else
            b->TestCollisions_NOWA_KONCEPCJA(&s, &s, &found, &list, false);
        EXPECT_TRUE(found) << fallback;
        EXPECT_EQ(list.dwNumContacts, RigidBodyContactList::MAX_CONTACTS) << fallback;
        EXPECT_EQ(lines(), 1) << fallback;
    }
}

// ---- Bad hull indices ----------------------------------------------------------------------------

TEST_F(RigidContactTest, AnEdgeOutsideTheParticlesIsReportedAndSkippedInEveryTest) {
    World("models\\floor.x", {Floor()}, "floor");
    ERigidBodyPhysics* b = Box({20, 0.5f, -30});
    ASSERT_NE(b, nullptr);
    // Every hull triangle names particles 0..7 except the first, which names
    // one beyond the array at its second corner.
    b->m_pIndices[1] = b->m_iNumParticles;
    RigidBodyState s = b->m_State;
    b->GatherWorldTriangles(&s, &s, true);
    MarkConsole();
    EXPECT_TRUE(b->IsCollision(&s, &s, false));
    EXPECT_TRUE(PrintedLine("ERROR in ERigidBodyPhysics::TestCollisions(): jP>=m_iNumParticles"));
    MarkConsole();
    RigidBodyContactList list;
    bool found = false;
    b->TestCollisions(&s, &s, &found, &list, false);
    b->TestCollisions_NOWA_KONCEPCJA(&s, &s, &found, &list, false);
    EXPECT_TRUE(found);
    EXPECT_TRUE(PrintedLine("ERROR in ERigidBodyPhysics::TestCollisions(): iP>=m_iNumParticles"));
    MarkConsole();
    double n[3];
    b->m_pIndices[1] = 0;
    b->m_pIndices[0] = 99;
    EXPECT_TRUE(b->Get_First_Collision_Normal(&s, n, false));
    EXPECT_TRUE(PrintedLine("ERROR in ERigidBodyPhysics::Get_First_Collision_Normal(): iP>=m_iNumParticles"));

    // Both ends of the first edge out of range: each end is reported. The
    // fallback walks every edge once; the first triangle's other two edges
    // have one bad end each.
    b->m_pIndices[0] = b->m_pIndices[1] = 99;
    MarkConsole();
    b->TestCollisions(&s, &s, &found, &list, false);
    int ends[2] = {0, 0};
    PrintedAfterMark([&](const char* line) {
        ends[0] +=
            std::strcmp(line, "ERROR in ERigidBodyPhysics::TestCollisions(): iP>=m_iNumParticles") == 0;
        ends[1] +=
            std::strcmp(line, "ERROR in ERigidBodyPhysics::TestCollisions(): jP>=m_iNumParticles") == 0;
        return false;
    });
    EXPECT_EQ(ends[0], 2);
    EXPECT_EQ(ends[1], 2);
}

// ---- The move test against brute force ----------------------------------------------------------

TEST_F(RigidContactTest, IsCollisionAgreesWithEveryEdgeAgainstEveryTriangle) {
    World("models\\floor.x", {Floor()}, "floor");
    World("models\\wall.x", {Wall()}, "wall");
    World("models\\roof.x", {[] {
              Subset s;
              AddQuad(s, {-20, 0, -40}, {0, 10, -40}, {0, 10, 40}, {-20, 0, 40}, {-1, 2, 0});
              return s;
          }()},
          "slope");
    ERigidBodyPhysics* b = Box({0, 20, 0}, 5.0f);
    ASSERT_NE(b, nullptr);

    // Every face of every other object, in world space.
    std::vector<std::array<math::Vec3d, 3>> tris;
    for (int slot = 0; slot < EEngine::FIRST_SKINMESH; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!h->bUsed || h == b->m_hConstructionObj || h == b->m_hObject) continue;
        const CollisionMeshEntry* e = g_CollisionMgr.GetEntry(h);
        if (!e) continue;
        for (uint32_t f = 0; f < e->dwNumFaces; ++f) {
            std::array<math::Vec3d, 3> t;
            for (int k = 0; k < 3; ++k) {
                const math::Vec3& v = e->CM_vVerticesWorld[e->CM_dwFaces[f * 3 + k]];
                t[k] = {v.x, v.y, v.z};
            }
            tris.push_back(t);
        }
    }
    auto crosses = [](const math::Vec3d& a, const math::Vec3d& c, const std::array<math::Vec3d, 3>& t) {
        math::Vec3d q;
        double r;
        return SegmentTriangleIntersectDouble(a, c, t[0], t[1], t[2], &q, &r);
    };

    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    int hits = 0, total = 0;
    for (int i = 0; i < 400; ++i) {
        double q[4] = {u(rng), u(rng), u(rng), u(rng)};
        const double x[3] = {28.0 * u(rng) + 4.0, 3.5 * u(rng) + 2.5, 10.0 * u(rng)};
        RigidBodyState s = Placed(b, x, q);
        b->GatherWorldTriangles(&s, &s, true);
        const bool ours = b->IsCollision(&s, &s, false);

        bool brute = false;
        std::vector<std::array<math::Vec3d, 3>> hull;
        for (uint32_t f = 0; f < b->m_dwNumIndices; ++f) {
            std::array<math::Vec3d, 3> t;
            for (int k = 0; k < 3; ++k) {
                const double* w = b->m_pParticles[b->m_pIndices[f * 3 + k]].vWorld;
                t[k] = {w[0], w[1], w[2]};
            }
            hull.push_back(t);
        }
        for (const auto& ht : hull)
            for (const auto& wt : tris)
                for (int k = 0; k < 3 && !brute; ++k)
                    brute = crosses(ht[k], ht[(k + 1) % 3], wt) || crosses(wt[k], wt[(k + 1) % 3], ht);
        EXPECT_EQ(ours, brute) << i;
        hits += brute;
        ++total;
    }
    // Both outcomes are well represented.
    EXPECT_GT(hits, total / 5);
    EXPECT_LT(hits, total * 4 / 5);
}

TEST_F(RigidContactTest, VerboseMoveTestNamesWhatWasHit) {
    World("models\\floor.x", {Floor()}, "floor");
    ERigidBodyPhysics* b = Box({20, 0.5f, -30});
    ASSERT_NE(b, nullptr);
    RigidBodyState s = b->m_State;
    b->GatherWorldTriangles(&s, &s, true);
    MarkConsole();
    EXPECT_TRUE(b->IsCollision(&s, &s, true));
    EXPECT_TRUE(Printed(", IsCollision(): kolizja z obiektem BEZ fizyki"));
    EXPECT_TRUE(PrintedAfterMark([](const char* line) {
        return std::strncmp(line, "   obiekt: ", 11) == 0 && std::strstr(line, "floor.x");
    }));

    // Another body's construction object in the way: its slot is named.
    ERigidBodyPhysics* other = Box({24, 3.3f, -29.8f}, 2.0f, "other");
    ASSERT_NE(other, nullptr);
    const double x[3] = {22.5, 3, -30};
    RigidBodyState t = Placed(b, x);
    b->GatherWorldTriangles(&t, &t, true);
    MarkConsole();
    EXPECT_TRUE(b->IsCollision(&t, &t, true));
    char line[64];
    std::snprintf(line, sizeof line, " z fizyka body: %u", other->m_dwSlot - 1);
    EXPECT_TRUE(Printed(line));
    EXPECT_FALSE(Printed("BEZ fizyki"));
}

TEST(RigidContactNear, WithinOneAndAHalfOfAnyContactWhenEnabled) {
    RigidBodyContactList list;
    const double p[3] = {1, 2, 3};
    EXPECT_FALSE(IsNearContact(true, &list, p)); // empty
    list.dwNumContacts = 2;
    list.Contacts[0].p[0] = 10;
    list.Contacts[1].p[0] = 1;
    list.Contacts[1].p[1] = 2;
    list.Contacts[1].p[2] = 3 + 1.49;
    EXPECT_TRUE(IsNearContact(true, &list, p));
    EXPECT_FALSE(IsNearContact(false, &list, p));
    list.Contacts[1].p[2] = 3 + 1.5;
    EXPECT_FALSE(IsNearContact(true, &list, p));
    EXPECT_FALSE(IsNearContact(true, nullptr, p));
}

} // namespace
