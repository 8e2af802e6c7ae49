// Rigid bodies on the real object table: a data directory with the
// construction prefabs and the L-shaped prop, a fresh simulation for each
// test, and helpers that make a prop object and give it a body.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "physics/RigidBodySimulation.h"
#include "tests/world/WorldFixture.h"

class RigidBodyWorldTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        std::filesystem::create_directories(dir_ / "prefabs" / "special");
        const std::filesystem::path data = std::filesystem::path(ZT_SOURCE_DIR) / "data";
        for (const char* name : {"rigidbody_box.x", "rigidbody_cylinder.x", "rigidbody_sphere.x"})
            std::filesystem::copy_file(data / "prefabs" / "special" / name,
                                       dir_ / "prefabs" / "special" / name);
        std::filesystem::copy_file(data / "models" / "l_prop.x", dir_ / "models" / "l_prop.x");
        g_RigidBodySimulation.Reset();
    }
    void TearDown() override {
        g_RigidBodySimulation.Destroy();
        g_Engine.m_bReducedRenderMode = 0;
        WorldTest::TearDown();
    }

    // A visible object of the unit box mesh, scaled, with the given settings.
    static ObjectRecord* Prop(int shape, float mass, const math::Vec3& scale = {2, 4, 6},
                              const char* mesh = "prefabs\\special\\rigidbody_box.x") {
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", mesh);
        ObjectRecord* h = g_Engine.AddObject(p);
        if (!h) return nullptr;
        SetObjectName(h, "prop");
        SetObjectScale(h, scale);
        RigidBodyPhysicsParams params;
        params.Reset();
        params.iShape = shape;
        params.fMass = mass;
        SetObjectRigidBodyPhysicsParams(h, params);
        return h;
    }
    static ERigidBodyPhysics* BodyOf(ObjectRecord* h) {
        ERigidBodyPhysics* b = nullptr;
        g_RigidBodySimulation.FindBody(h, &b);
        return b;
    }
    static ERigidBodyPhysics* Add(ObjectRecord* h) {
        RigidBodySlot* s = g_RigidBodySimulation.AddBody(h);
        if (!s) return nullptr;
        h->dwRigidBody = g_RigidBodySimulation.RefOf(s);
        return s->pBody;
    }
};
