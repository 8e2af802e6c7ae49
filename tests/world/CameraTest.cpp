// The camera: projection and orthographic matrices, the view, gamma clamps
// and ramp, the screen shakes, the look modes and the save block.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include "WorldFixture.h"
#include "app/Options.h"
#include "platform/math/Math.h"
#include "platform/os/Os.h"
#include "world/Camera.h"

namespace {

void ExpectMatrixNear(const math::Matrix& m, const glm::mat4& g, float eps) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(m.m[r][c], g[r][c], eps) << r << "," << c;
}

struct Options {
    float fov = 1.1f, currentFov = 1.1f;
    uint32_t width = 640, height = 480;
    Options() : fov(FOV), currentFov(CurrentFOV), width(screenwidth), height(screenheight) {}
    ~Options() {
        FOV = fov;
        CurrentFOV = currentFov;
        screenwidth = width;
        screenheight = height;
    }
};

float MaxOffset(const ECamera::Shake& s) {
    return std::fmax(std::fabs(s.fOffset[0]), std::fmax(std::fabs(s.fOffset[1]), std::fabs(s.fOffset[2])));
}

} // namespace

class CameraTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        camera_ = new ECamera;
    }
    void TearDown() override {
        delete camera_;
        WorldTest::TearDown();
    }
    ECamera* camera_ = nullptr;
    Options options_;
};

TEST_F(CameraTest, PerspectiveHasNoFarPlaneAndFollowsFieldOfViewAndAspect) {
    struct Case {
        float currentFov, factor;
        uint32_t width, height;
        float m11, m22; // hand values: 1 / tan(fov a / 2), 1 / tan(fov / 2)
    } cases[] = {
        {1.0f, 1.0f, 640, 480, 1.7320508f, 2.4142136f}, // fov pi/4, a 4/3
        {2.0f, 1.0f, 1024, 768, 0.5773503f, 1.0f},      // fov pi/2
        {1.0f, 1.0f, 512, 512, 2.4142136f, 2.4142136f}, // square screen
        {0.5f, 2.0f, 800, 600, 1.7320508f, 2.4142136f}, // the factor scales the fov
    };
    for (const Case& c : cases) {
        CurrentFOV = c.currentFov;
        camera_->m_fFovFactor = c.factor;
        screenwidth = c.width;
        screenheight = c.height;
        camera_->SetProjection();
        const math::Matrix& m = camera_->Projection();
        EXPECT_NEAR(m.m[0][0], c.m11, 1e-5);
        EXPECT_NEAR(m.m[1][1], c.m22, 1e-5);
        EXPECT_EQ(m.m[2][2], 1.0f);
        EXPECT_EQ(m.m[2][3], 1.0f);
        EXPECT_EQ(m.m[3][2], -1.0f);
        int nonZero = 0;
        for (auto& row : m.m)
            for (float v : row)
                nonZero += v != 0.0f;
        EXPECT_EQ(nonZero, 5);
        // A point at the near plane (z = 1) lands at depth 0, far points tend to 1.
        const math::Vec4 near = math::Vec3Transform({0, 0, 1}, m);
        const math::Vec4 far = math::Vec3Transform({0, 0, 1e6f}, m);
        EXPECT_NEAR(near.z / near.w, 0.0f, 1e-6);
        EXPECT_NEAR(far.z / far.w, 1.0f, 1e-5);
    }
}

TEST_F(CameraTest, FarCornersSpanTheViewAtTheFarDistance) {
    CurrentFOV = 1.0f;
    screenwidth = 640;
    screenheight = 480;
    camera_->SetFarZ(1000.0f);
    const float h = 2.0f * std::tan(0.5f * 0.7853982f) * 1000.0f, w = h * 4.0f / 3.0f;
    const math::Vec3* corners = camera_->FarCorners();
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(std::fabs(corners[i].x), w / 2, 1e-2);
        EXPECT_NEAR(std::fabs(corners[i].y), h / 2, 1e-2);
        EXPECT_EQ(corners[i].z, 1000.0f);
    }
    EXPECT_LT(corners[0].x, corners[1].x);
    EXPECT_GT(corners[1].y, corners[2].y);
}

TEST_F(CameraTest, OrthographicMatchesAnIndependentLeftHandedOrtho) {
    for (float size : {480.0f, 1000.0f}) {
        camera_->SetFarZ(3000.0f);
        camera_->SetOrthographic(true, size);
        const float w = size * 4.0f / 3.0f;
        ExpectMatrixNear(camera_->Projection(),
                         glm::orthoLH_ZO(-w / 2, w / 2, -size / 2, size / 2, 1.0f, 3000.0f), 1e-6f);
    }
}

TEST_F(CameraTest, TheViewLooksAlongTheOrientationFromTheEye) {
    orientation o;
    o.SetDirection(math::Vec3Normalize({1, -0.5f, 2}));
    camera_->SetPosition({10, 20, 30});
    camera_->SetOrientation(o);
    const glm::vec3 eye(10, 20, 30), f(o.forward.x, o.forward.y, o.forward.z), up(o.up.x, o.up.y, o.up.z);
    ExpectMatrixNear(camera_->View(), glm::lookAtLH(eye, eye + f, up), 1e-5f);
    // The camera transform puts the eye at its translation.
    EXPECT_NEAR(camera_->CameraTransform().m[3][0], 10, 1e-5);
    EXPECT_NEAR(camera_->CameraTransform().m[3][2], 30, 1e-5);
}

TEST_F(CameraTest, GammaIsClampedForGammaButNotForSingleFactors) {
    struct Case {
        float in, out;
    } cases[] = {{5.0f, 3.0f}, {0.2f, 0.5f}, {1.7f, 1.7f}, {3.0f, 3.0f}, {0.5f, 0.5f}};
    for (const Case& c : cases) {
        camera_->SetGamma(c.in);
        EXPECT_EQ(camera_->GetGamma(), c.out) << c.in;
        EXPECT_EQ(camera_->GammaR(), c.out);
        EXPECT_EQ(camera_->GammaG(), c.out);
        EXPECT_EQ(camera_->GammaB(), c.out);
    }
    camera_->SetGammaG(0.0f);
    EXPECT_EQ(camera_->GammaG(), 0.0f);
    EXPECT_EQ(camera_->GetGamma(), 0.5f);
}

TEST_F(CameraTest, TheRampRaisesEachChannelToOneOverItsFactor) {
    camera_->SetGamma(1.0f);
    camera_->SetGammaG(2.0f);
    camera_->SetGammaB(0.0f);
    gfx::GammaRamp ramp;
    camera_->BuildGammaRamp(&ramp);
    for (int i = 0; i < 256; ++i) {
        const double x = i / 255.0;
        EXPECT_NEAR(ramp.red[i], std::floor(65535.0 * x), 1.0) << i;
        EXPECT_NEAR(ramp.green[i], std::floor(65535.0 * std::sqrt(x)), 1.0) << i;
        EXPECT_NEAR(ramp.blue[i], std::floor(65535.0 * std::pow(x, 100.0)), 1.0) << i;
    }
    EXPECT_EQ(ramp.red[255], 65535);
    EXPECT_EQ(ramp.green[0], 0);
    // A factor of 0 gives the ramp of 0.01.
    gfx::GammaRamp hundredth;
    camera_->SetGammaB(0.01f);
    camera_->BuildGammaRamp(&hundredth);
    EXPECT_TRUE(std::equal(std::begin(ramp.blue), std::end(ramp.blue), std::begin(hundredth.blue)));
}

TEST_F(CameraTest, AShakeFadesOverItsDurationAndEnds) {
    ShakeScreenParams p;
    p.fDistance = 0; // no distance fade
    p.fDuration = 2.0f;
    std::vector<float> first;
    for (int run = 0; run < 2; ++run) {
        ECamera c;
        os::Srand(1234);
        c.ShakeScreen(p, {});
        ASSERT_TRUE(c.TimedShake().bOn);
        std::vector<float> offsets;
        for (int frame = 0; frame < 40; ++frame) {
            c.Update(0.05f);
            const ECamera::Shake& s = c.TimedShake();
            // Never beyond the largest amplitude scaled by the time left.
            const float bound = 20.0f * 0.0174533f * (s.fRemaining + 0.05f) / 2.0f;
            EXPECT_LE(MaxOffset(s), bound + 1e-5f) << frame;
            offsets.push_back(s.fOffset[0]);
        }
        if (run == 0) {
            first = offsets;
        } else {
            EXPECT_EQ(offsets, first); // the same seed shakes the same way
        }
        // 40 frames of 0.05 s: the 2-second shake has run out.
        c.Update(0.05f);
        EXPECT_FALSE(c.TimedShake().bOn);
        EXPECT_EQ(MaxOffset(c.TimedShake()), 0.0f);
    }
    EXPECT_NE(first[5], 0.0f);
}

TEST_F(CameraTest, AShakeFadesWithDistanceFromItsSource) {
    ShakeScreenParams p; // range 640
    struct Case {
        float distance, scale;
    } cases[] = {{0, 1.0f}, {320, 0.5f}, {480, 0.25f}, {640, 0.0f}, {2000, 0.0f}};
    std::vector<float> atSource;
    for (const Case& c : cases) {
        ECamera cam;
        cam.SetPosition({0, 0, 0});
        os::Srand(99);
        cam.ShakeScreen(p, {c.distance, 0, 0});
        std::vector<float> offsets;
        for (int frame = 0; frame < 10; ++frame) {
            cam.Update(0.1f);
            offsets.push_back(cam.TimedShake().fOffset[1]);
        }
        if (c.distance == 0) atSource = offsets;
        for (size_t i = 0; i < offsets.size(); ++i)
            EXPECT_NEAR(offsets[i], atSource[i] * c.scale, 1e-5) << c.distance;
    }
}

TEST_F(CameraTest, ShakeStartsStopsAndChoosesItsSign) {
    ShakeScreenParams p;
    p.bNegativeStart = 1;
    camera_->ShakeScreen(p, {});
    EXPECT_TRUE(camera_->TimedShake().bOn);
    EXPECT_EQ(camera_->TimedShake().fSign, -1.0f);
    EXPECT_EQ(camera_->TimedShake().fPhase[0], 6.2831855f);
    EXPECT_EQ(camera_->TimedShake().fPeriod[2], 1.0f);
    EXPECT_EQ(camera_->TimedShake().fRemaining, 4.0f);
    // All amplitudes 0 stop a running shake.
    ShakeScreenParams none;
    none.fAmplitude1 = none.fAmplitude2 = none.fAmplitude3 = 0;
    camera_->ShakeScreen(none, {});
    EXPECT_FALSE(camera_->TimedShake().bOn);
    // A shake without a positive duration does not start.
    ShakeScreenParams brief;
    brief.fDuration = 0;
    camera_->ShakeScreen(brief, {});
    EXPECT_FALSE(camera_->TimedShake().bOn);
    // Random signs: both appear over a few starts.
    bool seen[2] = {};
    p.bNegativeStart = 0;
    os::Srand(7);
    for (int i = 0; i < 20; ++i) {
        camera_->ShakeScreen(p, {});
        seen[camera_->TimedShake().fSign > 0] = true;
    }
    EXPECT_TRUE(seen[0] && seen[1]);
}

TEST_F(CameraTest, AShakeTurnsTheViewAboutItsAxes) {
    ShakeScreenParams p;
    p.fDistance = 0;
    camera_->SetPosition({});
    os::Srand(5);
    camera_->ShakeScreen(p, {});
    camera_->Update(0.3f);
    camera_->UpdateViewMatrix();
    const orientation& o = camera_->ViewOrientation();
    EXPECT_GT(math::Vec3Length(o.forward - math::Vec3(0, 0, 1)), 1e-4f);
    EXPECT_NEAR(math::Vec3Length(o.forward), 1.0f, 1e-5);
}

TEST_F(CameraTest, TheConstantShakeFollowsItsObject) {
    ObjectRecord* h = Make(OT_MESH, {0, 0, 0}, "engine_room");
    ShakeScreenParams p;
    MarkConsole();
    camera_->SetConstantShakeScreen(p, h);
    EXPECT_TRUE(Printed("ConstantShakeScreen set by engine_room"));
    EXPECT_TRUE(camera_->ConstantShake().bOn);
    camera_->SetPosition({0, 0, 0});
    camera_->Update(0.3f);
    EXPECT_GT(MaxOffset(camera_->ConstantShake()), 0.0f);
    // Moved beyond its range: nothing is felt.
    SetObjectPosition(h, {5000, 0, 0});
    camera_->Update(0.3f);
    EXPECT_EQ(MaxOffset(camera_->ConstantShake()), 0.0f);
    // It has no duration: it keeps running.
    for (int i = 0; i < 50; ++i)
        camera_->Update(0.1f);
    EXPECT_TRUE(camera_->ConstantShake().bOn);
    camera_->StopShakes();
    EXPECT_FALSE(camera_->ConstantShake().bOn);
}

TEST_F(CameraTest, LookingFromAnObjectCapsItsFieldOfView) {
    Make(OT_MESH, {1, 2, 3}, "tower");
    struct Case {
        const char* name;
        float fov;
        bool on;
        float used;
    } cases[] = {{"tower", 120, true, 88}, {"TOWER", 60, true, 60}, {"missing", 60, false, 0}};
    for (const Case& c : cases) {
        camera_->LookFromObject(c.name, c.fov);
        EXPECT_EQ(camera_->IsLookingFromObject(), c.on) << c.name;
        if (c.on) {
            EXPECT_EQ(camera_->LookFromObjectFov(), c.used);
        }
    }
    camera_->LookFromObject("tower", 10);
    camera_->ApplyLookModes();
    EXPECT_EQ(camera_->GetPosition(), math::Vec3(1, 2, 3));
}

TEST_F(CameraTest, AMoveToAnObjectReachesItInItsDuration) {
    ObjectRecord* h = Make(OT_MESH, {100, 0, 0}, "goal");
    orientation turned;
    turned.SetYawPitchRoll(1.0f, 0, 0);
    SetObjectOrientation(h, turned);
    camera_->SetPosition({});
    camera_->MoveToObject("goal", 2.0f);
    EXPECT_TRUE(camera_->IsMoving());
    camera_->Update(1.0f);
    EXPECT_NEAR(camera_->GetPosition().x, 50.0f, 1e-3);
    camera_->Update(1.5f);
    EXPECT_NEAR(camera_->GetPosition().x, 100.0f, 1e-3);
    EXPECT_FALSE(camera_->IsMoving());
    EXPECT_NEAR(std::fabs(math::QuatDot(camera_->Orientation().quaternion, turned.quaternion)), 1.0f, 1e-5);
    // A deleted target ends the move.
    camera_->MoveToObject("goal", 2.0f);
    camera_->ForgetObject(h);
    EXPECT_FALSE(camera_->IsMoving());
}

TEST_F(CameraTest, SocketLookReportsWhatIsMissing) {
    Make(OT_MESH, {}, "crate");
    struct Case {
        const char* name;
        bool character;
        const char* message;
    } cases[] = {
        {"nobody", true, "Character nobody not found!"},
        {"nothing", false, "No object to look from: nothing"},
        {"crate", false, "Socket to look from read failed: eye"},
    };
    for (const Case& c : cases) {
        MarkConsole();
        camera_->LookFromSocket(c.name, "eye", 1.0f, c.character);
        EXPECT_TRUE(Printed(c.message)) << c.message;
        EXPECT_FALSE(camera_->IsLookingFromSocket());
    }
}

TEST_F(CameraTest, SniperZoomWidensAndNarrowsTheFieldOfView) {
    FOV = 1.0f;
    camera_->SetSniperView();
    camera_->Update(0.5f);
    EXPECT_FLOAT_EQ(CurrentFOV, 1.0f + 0.5f * 0.25f);
    camera_->Update(0.1f); // released: twice as fast back
    EXPECT_FLOAT_EQ(camera_->SniperZoom(), 0.3f);
    g_GameAI.SetVariable("sniper_view", nullptr);
    camera_->Update(0.1f);
    EXPECT_FLOAT_EQ(CurrentFOV, 0.35f);
}

TEST_F(CameraTest, TheSaveBlockBringsTheCameraBack) {
    Make(OT_MESH, {4, 5, 6}, "lookout");
    ShakeScreenParams p;
    os::Srand(3);
    camera_->ShakeScreen(p, {1, 2, 3});
    camera_->Update(0.2f);
    camera_->SetPosition({7, 8, 9});
    orientation o;
    o.SetYawPitchRoll(0.3f, 0.2f, 0.1f);
    camera_->SetOrientation(o);
    camera_->SetBackgroundColor(0x00123456);
    camera_->SetFarZ(5000.0f);
    camera_->LookFromObject("lookout", 70);
    const std::string file = (dir_ / "camera.bin").string();
    std::FILE* f = std::fopen(file.c_str(), "wb");
    camera_->Save(f);
    std::fclose(f);

    ECamera loaded;
    f = std::fopen(file.c_str(), "rb");
    loaded.Load(f);
    std::fclose(f);
    uint8_t a[ECamera::SHAKE_IMAGE_SIZE], b[ECamera::SHAKE_IMAGE_SIZE];
    camera_->WriteShakeImage(a);
    loaded.WriteShakeImage(b);
    EXPECT_EQ(std::memcmp(a, b, sizeof a), 0);
    EXPECT_EQ(loaded.GetPosition(), math::Vec3(7, 8, 9));
    EXPECT_EQ(loaded.Orientation().quaternion, o.quaternion);
    EXPECT_EQ(loaded.GetBackgroundColor(), 0x00123456u);
    EXPECT_EQ(loaded.GetFarZ(), 5000.0f);
    EXPECT_TRUE(loaded.IsLookingFromObject());
    EXPECT_EQ(loaded.LookFromObjectFov(), 70.0f);
}
