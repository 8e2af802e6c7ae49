// The demo world with its movement course, loaded through the world loader,
// and the player's two bodies made as the player makes them; the mover is
// driven as the player's update drives it: every frame, with force set and a
// fixed frame time, falling only while the mover reports no walkable ground.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "actors/player/Player.h"
#include "physics/MovePlayerSlide.h"
#include "tests/physics/CollisionFixture.h"
#include "tests/world/WorldReset.h"
#include "world/BezierMgr.h"
#include "world/VisBlockers.h"
#include "world/WorldMgr.h"

class SlideCourseTest : public CollisionTest {
  protected:
    static constexpr float kFrame = 0.02f;
    static constexpr float kFall = 4.0f;   // per frame while not on ground
    static constexpr float kFeet = 36.0f;  // the standing body's feet below its position
    static constexpr float kWalk = 180.0f; // walking speed

    void SetUp() override {
        CollisionTest::SetUp();
        namespace fs = std::filesystem;
        const fs::path data = fs::path(ZT_SOURCE_DIR) / "data";
        for (const char* folder : {"models", "worlds", "prefabs"})
            fs::copy(data / folder, dir_ / folder,
                     fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        ASSERT_TRUE(g_WorldMgr.LoadWorld("worlds\\test.w"));
        stand_ = MakeMesh("prefabs\\special\\hero.x", {-9999, -9999, -9999}, 2048 | 4, 0x18000040);
        crouch_ = MakeMesh("prefabs\\special\\hero_kuca.x", {-9999, -9999, -9999}, 2048, 0x18000040);
        ASSERT_TRUE(stand_ && crouch_);
        g_Player.m_hObjectStand = stand_;
        g_Player.m_hObjectCrouch = crouch_;
        savedFrameTime_ = g_Engine.m_fFrameTime;
        g_Engine.m_fFrameTime = kFrame;
        ResetMover();
    }
    void TearDown() override {
        ResetMover();
        g_Player.m_hObjectStand = g_Player.m_hObjectCrouch = nullptr;
        g_Engine.m_fFrameTime = savedFrameTime_;
        g_VisBlockers.Clear();
        g_BezierMgr.FreeAll();
        CollisionTest::TearDown();
    }

    static void ResetMover() {
        EMovePlayerSlide& m = g_MovePlayerSlide;
        m.ReleaseFinder(true);
        m.m_bPushActive = 0;
        m.m_fPushRemaining = 0;
        m.m_vContactNormal = math::Vec3(0, 1, 0);
        m.m_bOnGround = 1;
    }

    static ObjectRecord* Find(const char* name) {
        ObjectRecord* h = g_Engine.FindObjectByName(name);
        EXPECT_TRUE(h) << name;
        return h;
    }

    // Stands the body with its feet half a unit above the height.
    void Stand(float x, float feet, float z) { SetObjectPosition(stand_, {x, feet + kFeet + 0.5f, z}); }
    math::Vec3 Position() const {
        math::Vec3 p;
        GetObjectPosition(stand_, &p);
        return p;
    }
    float Feet() const { return Position().y - kFeet; }

    // One frame: the wanted move is the velocity's share plus the fall (by
    // default kFall off the ground, none on it); the body takes the returned
    // position.
    bool Frame(const math::Vec3& velocity, uint8_t* contact = nullptr, float fall = -1) {
        if (fall < 0) fall = g_MovePlayerSlide.IsOnGround() ? 0.0f : kFall;
        math::Vec3 wanted = Position() + velocity * g_Engine.m_fFrameTime - math::Vec3(0, fall, 0);
        uint8_t flag = 7;
        const bool moved = g_MovePlayerSlide.MovePlayerSlide(stand_, &wanted, &flag, true);
        if (contact) *contact = flag;
        SetObjectPosition(stand_, wanted);
        return moved;
    }
    // Frames for the given seconds; the highest feet on the way.
    float Walk(const math::Vec3& velocity, float seconds) {
        float highest = Feet();
        for (int i = 0; i < int(seconds / g_Engine.m_fFrameTime + 0.5f); ++i) {
            Frame(velocity);
            highest = std::max(highest, Feet());
        }
        return highest;
    }

    ObjectRecord* stand_ = nullptr;
    ObjectRecord* crouch_ = nullptr;
    float savedFrameTime_ = 0;
};
