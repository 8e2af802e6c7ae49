// The demo world started headless twice: every prop gets its body and its
// construction object, the NO COLLISION box leaves the world as a marker, and
// the first start writes the construction prefabs' inertia files that the
// second only loads. The jointed props get their joints, which go away with
// the objects they hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>

#include "physics/RigidBodyJointsMgr.h"
#include "physics/RigidBodyParametersMgr.h"
#include "physics/RigidBodySimulation.h"
#include "tests/integration/InProcessWorld.h"
#include "world/ObjectRecord.h"

namespace fs = std::filesystem;

namespace {

class RigidBodyWorldStart : public InProcessWorld {
  protected:
    std::map<std::string, fs::file_time_type> InertiaFiles() const {
        std::map<std::string, fs::file_time_type> files;
        const fs::path folder = dir_ / "!opt" / "rigid_body_physics_parameters";
        if (fs::is_directory(folder))
            for (const auto& e : fs::directory_iterator(folder))
                files[e.path().filename().string()] = e.last_write_time();
        return files;
    }
    void CheckProps() {
        for (const char* name : {"crate_physics", "oil_drum", "ball", "l_prop", "can", "hanging_lamp",
                                 "chain_top", "chain_bottom", "shuttle_sign", "stack_crate_1",
                                 "stack_crate_5", "ramp_crate", "ramp_drum", "niche_crate"}) {
            ObjectRecord* h = g_Engine.FindObjectByName(name);
            ASSERT_NE(h, nullptr) << name;
            ERigidBodyPhysics* b = nullptr;
            ASSERT_TRUE(g_RigidBodySimulation.FindBody(h, &b)) << name;
            ASSERT_NE(b->m_hConstructionObj, nullptr) << name;
            EXPECT_EQ(b->m_hConstructionObj->szName, std::string("physics_for_") + name);
            EXPECT_GT(b->m_iNumParticles, 0u) << name;
            EXPECT_NE(b->m_State.Ibody[0], 0.0) << name;
            // A prefab is centred: the body's centre is its object's position.
            EXPECT_FLOAT_EQ(float(b->m_State.x[0]), h->vPosition.x) << name;
        }
        EXPECT_EQ(g_Engine.FindObjectByName("no_collision_pit"), nullptr);
        EXPECT_EQ(g_Engine.FindObjectByName("no_collision_niche"), nullptr);
        EXPECT_EQ(g_RigidBodySimulation.NumMarkers(), 2u);
        EXPECT_TRUE(g_RigidBodySimulation.IsInNoCollisionMarker(-100, 32, -250));
        // The niche's box inside the west wall, above the floor.
        EXPECT_TRUE(g_RigidBodySimulation.IsInNoCollisionMarker(-512, 100, -60));
        EXPECT_FALSE(g_RigidBodySimulation.IsInNoCollisionMarker(-512, 20, -60));
    }

    static ERigidBodyPhysics* Body(const char* name) {
        ERigidBodyPhysics* b = nullptr;
        g_RigidBodySimulation.FindBody(g_Engine.FindObjectByName(name), &b);
        return b;
    }
    static int ListLength(const ERigidBodyPhysics* b) {
        int n = 0;
        while (n < ERigidBodyPhysics::MAX_JOINTS && b->m_pJoints[n])
            ++n;
        return n;
    }

};

TEST_F(RigidBodyWorldStart, PropsGetBodiesAndInertiaFilesAreWrittenOnce) {
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    RunFrames(2);
    CheckProps();
    const auto written = InertiaFiles();
    // The three shape prefabs and the L-shaped prop.
    EXPECT_EQ(written.size(), 4u);

    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    EXPECT_EQ(g_RigidBodyParametersMgr.NumRecords(), 4u); // loaded at the start
    RunFrames(2);
    CheckProps();
    EXPECT_EQ(InertiaFiles(), written); // nothing computed or written again
    EXPECT_EQ(g_RigidBodyParametersMgr.NumRecords(), 4u);
}

TEST_F(RigidBodyWorldStart, JointedPropsAreJoinedAndDeletingAnObjectUnjoinsIt) {
    ASSERT_TRUE(g_Engine.StartWorld("worlds\\test.w"));
    RunFrames(2);
    EXPECT_EQ(g_RigidBodyJointsMgr.NumInUse(), 4u);
    ObjectRecord* beam = g_Engine.FindObjectByName("ceiling_beam");
    ObjectRecord* shuttle = g_Engine.FindObjectByName("shuttle");
    ERigidBodyPhysics* lamp = Body("hanging_lamp");
    ERigidBodyPhysics* top = Body("chain_top");
    ERigidBodyPhysics* bottom = Body("chain_bottom");
    ERigidBodyPhysics* sign = Body("shuttle_sign");
    ASSERT_TRUE(beam && shuttle && lamp && top && bottom && sign);

    // Hung from objects without bodies: one joint, on the body's side.
    for (auto [body, holder] : {std::pair{lamp, beam}, std::pair{sign, shuttle}}) {
        ASSERT_EQ(ListLength(body), 1);
        const RigidBodyJoint* j = body->m_pJoints[0];
        EXPECT_EQ(j->hObjectA, body->m_hObject);
        EXPECT_EQ(j->hObjectB, holder);
        EXPECT_EQ(j->pBodyB, nullptr);
    }
    // The chain: the top link holds its own joint to the beam and the bottom
    // link's joint, which both links list.
    ASSERT_EQ(ListLength(top), 2);
    ASSERT_EQ(ListLength(bottom), 1);
    const RigidBodyJoint* link = bottom->m_pJoints[0];
    EXPECT_TRUE(top->m_pJoints[0] == link || top->m_pJoints[1] == link);
    EXPECT_EQ(link->pBodyA, bottom);
    EXPECT_EQ(link->pBodyB, top);
    // The socket vectors as the files give them: the beam's chain hook and
    // the shuttle's hinge.
    const RigidBodyJoint* hook = top->m_pJoints[0] == link ? top->m_pJoints[1] : top->m_pJoints[0];
    EXPECT_EQ(hook->vAnchorB[0], 64.0);
    EXPECT_EQ(hook->vAnchorB[2], -8.0);
    EXPECT_EQ(sign->m_pJoints[0]->vAnchorB[0], 32.0);

    // Deleting the top link takes both its joints; the bottom link is left
    // hanging on nothing.
    g_Engine.DeleteObject(g_Engine.FindObjectByName("chain_top"));
    EXPECT_EQ(ListLength(bottom), 0);
    EXPECT_EQ(g_RigidBodyJointsMgr.NumInUse(), 2u);
    // Deleting the beam, which has no body, frees the lamp.
    g_Engine.DeleteObject(beam);
    EXPECT_EQ(ListLength(lamp), 0);
    EXPECT_EQ(g_RigidBodyJointsMgr.NumInUse(), 1u);
}

} // namespace
