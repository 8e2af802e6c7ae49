// The sky shadow maps: projector indices; the light matrices against GLM
// (the cut eye, the vertical and the zero direction); map 0 kept within
// 1024 units and rebuilt beyond, every frame on request or in a cut-scene;
// map 1's size and bias by shadow quality and free video memory, the bias
// factor on every update; and on the headless device: which objects each
// map holds (read back at the texel where GLM projects their top), the
// effect's parameters, RecalculateSkyShadow off, the creation failures and
// their retry, SetProjector and the device hooks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/FocusMgr.h"
#include "app/GameFrame.h"
#include "app/Options.h"
#include "app/VideoConfig.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Draw.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/Renderer.h"
#include "render/SkyShadowMap.h"
#include "skinmesh/SkinMesh.h"
#include "tests/EffectDevice.h"
#include "tests/world/BehaviourFixture.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectKeys.h"

namespace {

// The sky light of most tests: down and toward +x, so that the eye's offset
// of half a map's depth is whole (3 : 4 : 5).
const math::Vec3 kLight{0.6f, -0.8f, 0.0f};
const math::Vec3 kCamera{0, 100, 0};

glm::vec3 G(const math::Vec3& v) {
    return {v.x, v.y, v.z};
}

void ExpectMatrixNear(const math::Matrix& m, const glm::mat4& g, float eps, const std::string& what) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            ASSERT_TRUE(std::isfinite(m.m[r][c])) << what << " " << r << "," << c;
            EXPECT_NEAR(m.m[r][c], g[r][c], eps) << what << " " << r << "," << c;
        }
}

// The light of a map as SkyShadowMap builds it, computed with GLM.
struct Light {
    glm::vec3 eye, direction;
    glm::mat4 view, projection;
};

Light Expected(const math::Vec3& camera, const math::Vec3& direction, uint32_t width, uint32_t depth) {
    Light l;
    l.direction = glm::normalize(G(direction));
    l.eye = glm::trunc(G(camera) - l.direction * (float(depth) / 2.0f));
    const bool vertical = std::hypot(l.direction.x, l.direction.z) < 0.01f;
    l.view = glm::lookAtLH(l.eye, G(camera), vertical ? glm::vec3(0, 0, 1) : glm::vec3(0, 1, 0));
    const float h = float(width) / 2.0f;
    l.projection = glm::orthoLH_ZO(-h, h, -h, h, 1.0f, float(depth));
    return l;
}

class SkyMapTest : public BehaviourTest {
  protected:
    void SetUp() override {
        BehaviourTest::SetUp();
        g_SkyShadowMap.EndWorld();
        savedMaps_[0] = g_SkyShadowMap.m_Maps[0];
        savedMaps_[1] = g_SkyShadowMap.m_Maps[1];
        for (SkyShadowMap::Map& m : g_SkyShadowMap.m_Maps)
            m = SkyShadowMap::Map{};
        saved_ = {DrawShadows,
                  DrawAnimatedShadows,
                  ShadowMapLevel,
                  RecalculateSkyShadow,
                  RecalculateSkyLightEveryFrame,
                  g_Debug.m_dwVideoMemoryAtCreation,
                  g_EnvironmentSettings.m_bSkyLightInUse};
        const float* d = g_EnvironmentSettings.SkyLightDirection();
        std::memcpy(savedDirection_, d, sizeof savedDirection_);
        savedFrame_ = TheGameFrame();
        DrawShadows = DrawAnimatedShadows = RecalculateSkyShadow = true;
        RecalculateSkyLightEveryFrame = false;
        ShadowMapLevel = 2;
        g_Debug.m_dwVideoMemoryAtCreation = 512u << 20;
        g_EnvironmentSettings.m_bSkyLightInUse = true;
        SetDirection(kLight);
        g_Camera.SetPosition(kCamera);
        g_SkyShadowMap.Reset();
    }
    void TearDown() override {
        g_Renderer.StopPassRecording();
        g_SkyShadowMap.EndWorld();
        g_SkyShadowMap.m_Maps[0] = savedMaps_[0];
        g_SkyShadowMap.m_Maps[1] = savedMaps_[1];
        std::tie(DrawShadows, DrawAnimatedShadows, ShadowMapLevel, RecalculateSkyShadow,
                 RecalculateSkyLightEveryFrame, g_Debug.m_dwVideoMemoryAtCreation,
                 g_EnvironmentSettings.m_bSkyLightInUse) = saved_;
        g_EnvironmentSettings.SetSkyLightDirection(savedDirection_);
        InstallGameFrame(savedFrame_);
        BehaviourTest::TearDown();
    }

    static void SetDirection(const math::Vec3& d) {
        const float v[3] = {d.x, d.y, d.z};
        g_EnvironmentSettings.SetSkyLightDirection(v);
    }
    static SkyShadowMap::Map& MapOf(int i) { return g_SkyShadowMap.m_Maps[i]; }

    SkyShadowMap::Map savedMaps_[2];
    std::tuple<bool, bool, uint32_t, bool, bool, uint32_t, bool> saved_;
    float savedDirection_[3] = {};
    GameFrame savedFrame_;
};

// ---- Projectors and matrices -----------------------------------------------------------------------

TEST_F(SkyMapTest, ProjectorIndicesOutsideZeroAndOneMeanMap1) {
    g_SkyShadowMap.EndWorld(); // only stored while no world is open
    struct Case {
        int set;
        int size;
        int read; // the map whose values GetProjector(set) must give
    } cases[] = {{0, 100, 0}, {1, 200, 1}, {2, 300, 1}, {-1, 400, 1}, {5, 500, 1}};
    for (const Case& c : cases) {
        g_SkyShadowMap.SetProjector(c.set, c.size, c.size + 1, c.size + 2, float(c.size) / 1000.0f);
        EXPECT_EQ(int(MapOf(c.read).dwSize), c.size) << "SetProjector(" << c.set << ")";
        EXPECT_EQ(int(MapOf(c.read).dwDepth), c.size + 2) << "SetProjector(" << c.set << ")";
    }
    EXPECT_EQ(MapOf(0).dwSize, 100u) << "map 0 kept its own";
    int size = 0, width = 0, depth = 0;
    float bias = 0;
    g_SkyShadowMap.GetProjector(5, &size, &width, &depth, &bias);
    EXPECT_EQ(size, 500);
    EXPECT_EQ(width, 501);
    EXPECT_EQ(depth, 502);
    EXPECT_FLOAT_EQ(bias, 0.5f);
    g_SkyShadowMap.GetProjector(0, &size, nullptr, nullptr, nullptr);
    EXPECT_EQ(size, 100);
    EXPECT_FALSE(g_SkyShadowMap.HasTargets(0) || g_SkyShadowMap.HasTargets(1)) << "nothing made";
}

TEST_F(SkyMapTest, ConstructorValuesAndTheNearMapsUpdate) {
    const SkyShadowMap::Map fresh;
    EXPECT_EQ(fresh.dwSize, 2048u);
    EXPECT_EQ(fresh.dwWidth, 12000u);
    EXPECT_EQ(fresh.dwDepth, 9000u);
    EXPECT_FLOAT_EQ(fresh.fBias, 0.76f);
    EXPECT_EQ(fresh.vCentre.x, -1e8f);
    g_SkyShadowMap.Update();
    EXPECT_EQ(MapOf(1).dwWidth, 4400u);
    EXPECT_EQ(MapOf(1).dwDepth, 9200u);
    EXPECT_EQ(MapOf(0).dwWidth, 12000u) << "map 0 keeps its projector";
    // Without "Draw shadows" nothing changes.
    MapOf(1).dwWidth = 7;
    DrawShadows = false;
    g_SkyShadowMap.Update();
    EXPECT_EQ(MapOf(1).dwWidth, 7u);
}

struct MatrixCase {
    const char* name;
    math::Vec3 direction;
    math::Vec3 camera;
};

class LightMatrices : public SkyMapTest, public ::testing::WithParamInterface<MatrixCase> {};

// Eye = camera - unit direction x depth / 2, each coordinate cut toward
// zero; an orthographic projection of the map's width and depth; a look at
// the (uncut) camera, up (0, 1, 0), or (0, 0, 1) for a vertical light.
TEST_P(LightMatrices, FollowTheCameraAsGlmBuildsThem) {
    const MatrixCase& c = GetParam();
    SetDirection(c.direction);
    g_Camera.SetPosition(c.camera);
    g_SkyShadowMap.m_Maps[0].dwWidth = 2048;
    g_SkyShadowMap.m_Maps[0].dwDepth = 4096;
    g_SkyShadowMap.Update();
    for (int i = 0; i < 2; ++i) {
        const SkyShadowMap::Map& m = MapOf(i);
        const Light want = Expected(c.camera, c.direction, m.dwWidth, m.dwDepth);
        const std::string what = std::string(c.name) + " map " + std::to_string(i);
        EXPECT_EQ(G(m.vCentre), want.eye) << what;
        EXPECT_NEAR(glm::length(G(m.vDirection) - want.direction), 0.0f, 1e-6f) << what;
        ExpectMatrixNear(m.mView, want.view, 2e-3f, what + " view");
        ExpectMatrixNear(m.mProjection, want.projection, 1e-7f, what + " projection");
        EXPECT_FALSE(m.bUpToDate) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Directions, LightMatrices,
    ::testing::Values(MatrixCase{"Slanted", kLight, kCamera},
                      MatrixCase{"NotOfUnitLength", {3, -4, 0}, {10.5f, 20.25f, -30.75f}},
                      MatrixCase{"TheDemoWorlds", {-0.5f, -0.70710677f, -0.5f}, {-417.3f, 96.8f, 233.1f}},
                      MatrixCase{"StraightDown", {0, -1, 0}, {0, 100, 0}},
                      MatrixCase{"StraightDownLong", {0, -7, 0}, {-12.5f, 60, 31.75f}},
                      MatrixCase{"StraightUp", {0, 1, 0}, {3, 4, 5}},
                      MatrixCase{"AlmostVertical", {0.001f, -1, 0.002f}, {250.5f, 80, -90.25f}},
                      MatrixCase{"JustNotVertical", {0.02f, -1, 0}, {0, 100, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// A zero direction would put the eye on the look-at point: the matrices stay
// as they were, and the map is drawn empty once; with a direction again the
// maps are built at once, wherever the camera is.
TEST_F(SkyMapTest, AZeroDirectionLeavesTheMatricesAsTheyWere) {
    g_SkyShadowMap.Update();
    const SkyShadowMap::Map before[2] = {MapOf(0), MapOf(1)};
    for (SkyShadowMap::Map& m : g_SkyShadowMap.m_Maps)
        m.bUpToDate = 1;
    SetDirection({0, 0, 0});
    g_Camera.SetPosition(kCamera + math::Vec3{3000, 0, 0});
    for (int frame = 0; frame < 2; ++frame) {
        g_SkyShadowMap.Update();
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(MapOf(i).mView, before[i].mView) << i;
            EXPECT_EQ(MapOf(i).mProjection, before[i].mProjection) << i;
            EXPECT_TRUE(MapOf(i).bNoDirection) << i;
            EXPECT_EQ(MapOf(i).bUpToDate, frame == 0 ? 0 : 1) << "stale once, to be drawn empty: " << i;
            MapOf(i).bUpToDate = 1; // drawn
        }
    }
    SetDirection(kLight);
    g_Camera.SetPosition(kCamera);
    g_SkyShadowMap.Update();
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(MapOf(i).bNoDirection) << i;
        EXPECT_FALSE(MapOf(i).bUpToDate) << "built again, though the camera is back where it was: " << i;
        EXPECT_EQ(MapOf(i).mView, before[i].mView) << i;
    }
}

// ---- Map 1's size and bias -------------------------------------------------------------------------

struct QualityCase {
    uint32_t quality;
    uint32_t freeVideoMemory;
    uint32_t size;
    float bias;
};

class NearMapQuality : public SkyMapTest, public ::testing::WithParamInterface<QualityCase> {};

// The quality factor is applied by every update (and by the creation, to the
// same value), so the bias does not depend on which ran last.
TEST_P(NearMapQuality, SizeAndBiasFollowTheShadowQualityAndTheFreeVideoMemory) {
    const QualityCase& c = GetParam();
    ShadowMapLevel = c.quality;
    g_Debug.m_dwVideoMemoryAtCreation = c.freeVideoMemory;
    for (int round = 0; round < 3; ++round) {
        g_SkyShadowMap.Update();
        EXPECT_FLOAT_EQ(MapOf(1).fBias, c.bias) << "update " << round;
        g_SkyShadowMap.CreateRenderTextures(1); // no device: only the values
        EXPECT_FLOAT_EQ(MapOf(1).fBias, c.bias) << "creation " << round;
        EXPECT_EQ(MapOf(1).dwSize, c.size);
    }
    EXPECT_FLOAT_EQ(g_SkyShadowMap.ShadowEpsilon(1), c.bias * 0.0037f);
    float bias = 0;
    g_SkyShadowMap.GetProjector(1, nullptr, nullptr, nullptr, &bias);
    EXPECT_FLOAT_EQ(bias, c.bias);
}

INSTANTIATE_TEST_SUITE_P(
    Options, NearMapQuality,
    ::testing::Values(QualityCase{0, 279999999, 2048, 0.4f}, QualityCase{0, 280000000, 2048, 0.3f},
                      QualityCase{1, 0, 1024, 0.8f}, QualityCase{1, 512u << 20, 1024, 0.6f},
                      QualityCase{2, 279999999, 512, 1.12f}, QualityCase{2, 280000000, 512, 0.84f},
                      QualityCase{5, 280000000, 512, 0.84f}));

// ---- On the device ----------------------------------------------------------------------------------

class SkyMapDeviceTest : public SkyMapTest {
  protected:
    void SetUp() override {
        SkyMapTest::SetUp();
        ASSERT_NE(d_.dev, nullptr);
        g_pD3DInterface = d_.dev;
        g_Renderer.m_pSkinMeshTextures[0] = nullptr;
        savedDepthFormat_ = g_DepthStencilFormat;
        g_DepthStencilFormat = gfx::Format::D24S8;
        d_.dev->CreateVertexDeclaration(mesh::kStaticMeshElements, &g_pVertexDeclarations[0]);
        d_.dev->CreateVertexDeclaration(mesh::kSkinnedMeshElements, &g_pVertexDeclarations[1]);
        const std::string path = std::string(ZT_SOURCE_DIR) + "/data/fx/SkyDepth.fxc";
        fx_ = g_EffectMgr.CreateEffect("SkyDepth", path.c_str());
        ASSERT_TRUE(fx_ && fx_->pEffect);
        SkyShadowMap::Map& far = MapOf(0);
        far.dwSize = 512;
        far.dwWidth = 4096;
        far.dwDepth = 4000;
        // A floor slab whose top is y = 0, 1024 units square.
        floor_ = Shown(Make(OT_MESH, {0, -16, 0}, "floor"));
        SetObjectScale(floor_, {16, 0.25f, 16});
    }
    void TearDown() override {
        g_Renderer.m_pSkinMeshTextures[0] = nullptr;
        g_Renderer.m_bNearMeshes = g_Renderer.m_bNearSkinMeshes = 0;
        g_SkyShadowMap.EndWorld();
        g_EffectMgr.Destroy();
        for (gfx::VertexDeclaration*& decl : g_pVertexDeclarations) {
            if (decl) decl->Release();
            decl = nullptr;
        }
        g_DepthStencilFormat = savedDepthFormat_;
        SkyMapTest::TearDown();
        g_Renderer.ReleaseTextures();
        g_Engine.m_bQuit = 0;
        g_pD3DInterface = nullptr;
    }

    static ObjectRecord* Shown(ObjectRecord* h) {
        EXPECT_TRUE(h);
        if (h) h->dwFlags |= objflags::kFlagVisible;
        return h;
    }

    // One frame: the object frame (casters), the maps' update, the skinned
    // list of the skinned meshes made so far, and both maps drawn.
    void DrawFrame() {
        Frame(0.02f);
        g_SkyShadowMap.Update();
        uint32_t n = 0;
        for (int slot = EEngine::FIRST_SKINMESH; slot < g_Engine.m_iSkinMeshHighWater; ++slot) {
            const ObjectRecord* h = g_Engine.Object(slot);
            strtexture* t =
                h->bUsed && h->SkinMesh() ? g_Renderer.GetTexture(h->SkinMesh()->m_dwTextureId[0]) : nullptr;
            bool listed = false;
            for (uint32_t k = 0; k < n; ++k)
                listed = listed || g_Renderer.m_pSkinMeshTextures[k] == t;
            if (t && !listed) g_Renderer.m_pSkinMeshTextures[n++] = t;
        }
        g_Renderer.m_pSkinMeshTextures[n] = nullptr;
        g_Renderer.RenderSkyDepth(0);
        g_Renderer.RenderSkyDepth(1);
    }

    // The map's texels, row after row.
    std::vector<float> ReadMap(int i) {
        const SkyShadowMap::Map& m = MapOf(i);
        std::vector<float> out;
        if (!m.pSurface) return out;
        gfx::Surface* memory = nullptr;
        EXPECT_EQ(d_.dev->CreateOffscreenPlainSurface(m.dwSize, m.dwSize, gfx::Format::R32F,
                                                      gfx::Pool::SystemMem, &memory),
                  gfx::Result::Ok);
        EXPECT_EQ(d_.dev->GetRenderTargetData(m.pSurface, memory), gfx::Result::Ok);
        gfx::LockedRect r;
        EXPECT_EQ(memory->LockRect(&r, nullptr, gfx::lock::ReadOnly), gfx::Result::Ok);
        out.resize(size_t(m.dwSize) * m.dwSize);
        for (uint32_t y = 0; y < m.dwSize; ++y)
            std::memcpy(&out[size_t(y) * m.dwSize],
                        static_cast<const uint8_t*>(r.pBits) + size_t(y) * r.Pitch, m.dwSize * sizeof(float));
        memory->UnlockRect();
        memory->Release();
        return out;
    }

    // What map i holds where a world point projects (GLM, from the camera
    // and the light), and that point's own light depth.
    struct Probe {
        float held = -1.0f, depth = -1.0f;
    };
    Probe At(int i, const std::vector<float>& texels, const math::Vec3& p) const {
        const SkyShadowMap::Map& m = MapOf(i);
        const Light l = Expected(g_Camera.GetPosition(), kLight, m.dwWidth, m.dwDepth);
        const glm::vec4 clip = l.projection * l.view * glm::vec4(G(p), 1.0f);
        const int x = int((clip.x + 1.0f) * 0.5f * float(m.dwSize));
        const int y = int((1.0f - clip.y) * 0.5f * float(m.dwSize));
        Probe out;
        out.depth = clip.z;
        if (x < 0 || y < 0 || x >= int(m.dwSize) || y >= int(m.dwSize) || texels.empty()) return out;
        out.held = texels[size_t(y) * m.dwSize + size_t(x)];
        return out;
    }
    // Whether the map holds the point's surface (its depth within a texel's
    // slope) rather than something behind it.
    static bool Holds(const Probe& p) { return std::fabs(p.held - p.depth) < 2e-3f; }
    static bool Behind(const Probe& p) { return p.held > p.depth + 4e-3f; }

    bool Recorded(const char* name) const {
        for (uint32_t k = 0; k < g_Renderer.PassRecordCount(); ++k)
            if (std::string(g_Renderer.GetPassRecord(k).szName) == name) return true;
        return false;
    }

    EffectDevice d_;
    EffectRecord* fx_ = nullptr;
    ObjectRecord* floor_ = nullptr;
    gfx::Format savedDepthFormat_ = gfx::Format::D16;
};

// The centre of a box's top (the box model stands on its origin, 64 high).
math::Vec3 TopOf(const ObjectRecord* h) {
    return h->vPosition + math::Vec3{0, 64.0f * (h->dwType == OT_SKINMESH ? 1.0f : h->vScale.y), 0};
}

void RigidBody(ObjectRecord* h) {
    RigidBodyPhysicsParams p;
    p.Reset();
    p.iShape = 1;
    SetObjectRigidBodyPhysicsParams(h, p);
}

// A texture record of its own for the object's subset 0, described by `set`.
void OwnTexture(ObjectRecord* h, const char* name, std::function<void(strtexture*)> set) {
    strtexture* t = g_Renderer.AddTextureRecord(name);
    ASSERT_TRUE(t);
    set(t);
    h->Mesh()->m_dwTextureId[0] = t->id;
}

struct CasterCase {
    const char* name;
    uint32_t type;
    std::function<void(ObjectRecord*)> prepare;
    math::Vec3 camera;
    bool inFar, inNear;
    // A rigid crate beside the camera (the near-meshes byte without a near
    // skinned mesh keeps the skinned meshes out of map 1).
    bool nearCrate = false;
};

class MapCasters : public SkyMapDeviceTest, public ::testing::WithParamInterface<CasterCase> {};

TEST_P(MapCasters, EachMapHoldsItsCastersAtTheTexelsWhereTheirTopsProject) {
    const CasterCase& c = GetParam();
    g_Camera.SetPosition(c.camera);
    ObjectRecord* h = Shown(Make(c.type, {0, 0, 0}, "caster"));
    ASSERT_TRUE(h);
    if (c.prepare) c.prepare(h);
    if (c.nearCrate) {
        ObjectRecord* crate = Shown(Make(OT_MESH, c.camera + math::Vec3{0, -100, 300}, "near_crate"));
        SetObjectScale(crate, {0.25f, 0.25f, 0.25f});
        RigidBody(crate);
    }
    DrawFrame();
    DrawFrame(); // the rigid bodies are made by the first object frame
    for (int i = 0; i < 2; ++i) {
        const std::vector<float> texels = ReadMap(i);
        ASSERT_FALSE(texels.empty()) << "map " << i;
        const Probe top = At(i, texels, TopOf(h));
        const bool wanted = i == 0 ? c.inFar : c.inNear;
        if (wanted) {
            EXPECT_TRUE(Holds(top)) << "map " << i << " holds the top: " << top.held << " for " << top.depth;
        } else {
            EXPECT_TRUE(Behind(top)) << "map " << i << " sees past it: " << top.held << " for " << top.depth;
        }
    }
}

const math::Vec3 kFarCamera{-1700, 100, 0};

INSTANTIATE_TEST_SUITE_P(
    Objects, MapCasters,
    ::testing::Values(
        CasterCase{"StaticMesh", OT_MESH, nullptr, kCamera, true, false},
        CasterCase{"NoShadowByte", OT_MESH, [](ObjectRecord* h) { h->bNoShadow = 1; }, kCamera, false, false},
        CasterCase{"CastsNoSkyShadow", OT_MESH,
                   [](ObjectRecord* h) { h->dwFlags2 |= objflags::kFlag2NoSkyShadow; }, kCamera, false,
                   false},
        CasterCase{"TranslucentSubset", OT_MESH,
                   [](ObjectRecord* h) {
                       OwnTexture(h, "glass_test.tga", [](strtexture* t) { t->desc.bTranslucent = 1; });
                   },
                   kCamera, false, false},
        CasterCase{"DoNotCastShadowSubset", OT_MESH,
                   [](ObjectRecord* h) {
                       OwnTexture(h, "leaves_test.tga", [](strtexture* t) { t->desc.bDoNotCastShadow = 1; });
                   },
                   kCamera, false, false},
        CasterCase{"TransparentSubset", OT_MESH,
                   [](ObjectRecord* h) {
                       OwnTexture(h, "grate_test.tga", [](strtexture* t) { t->desc.bTransparent = 1; });
                   },
                   kCamera, false, false},
        CasterCase{"TransparentSubsetOfARigidBodyIsSolidInTheNearMap", OT_MESH,
                   [](ObjectRecord* h) {
                       RigidBody(h);
                       OwnTexture(h, "grate_test.tga", [](strtexture* t) { t->desc.bTransparent = 1; });
                   },
                   kCamera, false, true},
        CasterCase{"RigidBody", OT_MESH, RigidBody, kCamera, false, true},
        CasterCase{"RigidBodyFarFromTheCamera", OT_MESH, RigidBody, kFarCamera, false, false},
        CasterCase{"RigidBodyWithTheNoShadowByte", OT_MESH,
                   [](ObjectRecord* h) {
                       RigidBody(h);
                       h->bNoShadow = 1;
                   },
                   kCamera, false, false},
        CasterCase{"SkinnedBox", OT_SKINMESH, nullptr, kCamera, false, true},
        CasterCase{"SkinnedBoxCastsNoSkyShadow", OT_SKINMESH,
                   [](ObjectRecord* h) { h->dwFlags2 |= objflags::kFlag2NoSkyShadow; }, kCamera, false,
                   false},
        CasterCase{"SkinnedBoxNotShown", OT_SKINMESH,
                   [](ObjectRecord* h) { h->dwFlags &= ~objflags::kFlagVisible; }, kCamera, false, false},
        CasterCase{"FarSkinnedBoxAlone", OT_SKINMESH, nullptr, kFarCamera, false, true},
        CasterCase{"FarSkinnedBoxBesideANearCrate", OT_SKINMESH, nullptr, kFarCamera, false, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The mend of the near bytes: a crate that came near and left does not keep
// the far skinned meshes out of map 1.
TEST_F(SkyMapDeviceTest, ACrateThatLeavesLetsTheSkinnedMeshesBackIntoTheNearMap) {
    ObjectRecord* skinned = Shown(Make(OT_SKINMESH, {0, 0, 0}, "skinned"));
    ObjectRecord* crate = Shown(Make(OT_MESH, {-1700, 0, 300}, "crate"));
    SetObjectScale(crate, {0.25f, 0.25f, 0.25f});
    RigidBody(crate);
    g_Camera.SetPosition(kFarCamera);
    DrawFrame();
    DrawFrame();
    EXPECT_TRUE(Behind(At(1, ReadMap(1), TopOf(skinned)))) << "kept out beside the near crate";
    SetObjectPosition(crate, {-1700, 0, -3000});
    g_Renderer.StartPassRecording();
    DrawFrame();
    g_Renderer.StopPassRecording();
    EXPECT_TRUE(Recorded("ERenderer::RenderShadowSkinmeshes"));
    EXPECT_FALSE(Recorded("ERenderer::RenderShadowNearMeshes")) << "nothing near any more";
    EXPECT_TRUE(Holds(At(1, ReadMap(1), TopOf(skinned))));
}

// The floor beside a static crate lies deeper in map 0 than the crate's top,
// and the whole map beyond the floor keeps the clear value 1.0.
TEST_F(SkyMapDeviceTest, Map0HoldsTheCratesTopAboveTheFloorBesideIt) {
    ObjectRecord* crate = Shown(Make(OT_MESH, {100, 0, 0}, "crate"));
    // What the maps' drawing keeps and puts back: render target, depth
    // surface and a viewport of the caller's.
    gfx::Surface *target = nullptr, *depth = nullptr;
    d_.dev->GetRenderTarget(0, &target);
    d_.dev->GetDepthStencilSurface(&depth);
    const gfx::Viewport viewport{2, 3, 20, 10, 0.25f, 0.75f};
    d_.dev->SetViewport(viewport);
    DrawFrame();
    gfx::Surface *targetAfter = nullptr, *depthAfter = nullptr;
    d_.dev->GetRenderTarget(0, &targetAfter);
    d_.dev->GetDepthStencilSurface(&depthAfter);
    gfx::Viewport viewportAfter;
    d_.dev->GetViewport(&viewportAfter);
    EXPECT_EQ(targetAfter, target);
    EXPECT_EQ(depthAfter, depth);
    EXPECT_EQ(viewportAfter.X, 2u);
    EXPECT_EQ(viewportAfter.Height, 10u);
    EXPECT_EQ(viewportAfter.MaxZ, 0.75f);
    for (gfx::Surface* s : {target, depth, targetAfter, depthAfter})
        s->Release();
    const std::vector<float> texels = ReadMap(0);
    const Probe top = At(0, texels, TopOf(crate));
    const Probe floor = At(0, texels, {100, 0, -100});
    EXPECT_TRUE(Holds(top)) << top.held << " for " << top.depth;
    EXPECT_TRUE(Holds(floor)) << floor.held << " for " << floor.depth;
    EXPECT_LT(top.held, floor.held);
    EXPECT_EQ(texels[0], 1.0f) << "a corner far beyond the floor";
}

struct MoveCase {
    const char* name;
    math::Vec3 move;
    bool everyFrame, cutScene;
    bool redrawn;
};

class FarMapMoves : public SkyMapDeviceTest, public ::testing::WithParamInterface<MoveCase> {};

bool g_bCutScene = false;

TEST_P(FarMapMoves, Map0IsRedrawnOnlyWhenItsCentreMustMove) {
    const MoveCase& c = GetParam();
    GameFrame frame = TheGameFrame();
    frame.CutSceneRunning = [] { return g_bCutScene; };
    InstallGameFrame(frame);
    g_bCutScene = false;
    ObjectRecord* crate = Shown(Make(OT_MESH, {100, 0, 0}, "crate"));
    DrawFrame();
    const math::Matrix view = MapOf(0).mView;
    const std::vector<float> before = ReadMap(0);
    // Something moves that only a redraw shows.
    SetObjectPosition(crate, {-200, 0, 0});
    RecalculateSkyLightEveryFrame = c.everyFrame;
    g_bCutScene = c.cutScene;
    g_Camera.SetPosition(kCamera + c.move);
    g_Renderer.StartPassRecording();
    DrawFrame();
    g_Renderer.StopPassRecording();
    g_bCutScene = false;
    EXPECT_EQ(Recorded("ERenderer::RenderShadowMeshes"), c.redrawn);
    if (c.redrawn) {
        const Light l = Expected(g_Camera.GetPosition(), kLight, MapOf(0).dwWidth, MapOf(0).dwDepth);
        ExpectMatrixNear(MapOf(0).mView, l.view, 2e-3f, "rebuilt view");
        EXPECT_TRUE(Holds(At(0, ReadMap(0), TopOf(crate)))) << "drawn where the crate is now";
    } else {
        EXPECT_EQ(ReadMap(0), before) << "the texture is kept";
        EXPECT_EQ(MapOf(0).mView, view);
    }
    EXPECT_TRUE(MapOf(0).bUpToDate);
}

INSTANTIATE_TEST_SUITE_P(Moves, FarMapMoves,
                         ::testing::Values(MoveCase{"Stays", {}, false, false, false},
                                           MoveCase{"Moves1000", {1000, 0, 0}, false, false, false},
                                           MoveCase{"Moves1023Up", {0, 1023, 0}, false, false, false},
                                           MoveCase{"Moves1024", {0, 0, 1024}, false, false, true},
                                           MoveCase{"Moves1024Back", {-1024, 0, 0}, false, false, true},
                                           MoveCase{"EveryFrameOn", {}, true, false, true},
                                           MoveCase{"InACutScene", {}, false, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The parameter table of RenderSkyDepth, checked on the effect after each map
// is drawn, against GLM.
TEST_F(SkyMapDeviceTest, TheEffectParametersOfEachMap) {
    g_Camera.SetPosition({33.5f, 120.25f, -70.75f});
    ShadowMapLevel = 1;
    g_Debug.m_dwVideoMemoryAtCreation = 100000000;
    effect::Effect* e = fx_->pEffect;
    auto param = [&](const char* name) { return e->GetParameterByName(effect::Handle(), name); };
    for (int i = 0; i < 2; ++i) {
        g_SkyShadowMap.Update();
        MapOf(0).bUpToDate = MapOf(1).bUpToDate = 1;
        MapOf(i).bUpToDate = 0;
        g_Renderer.RenderSkyDepth(i);
        ASSERT_TRUE(MapOf(i).bUpToDate) << i;
        const SkyShadowMap::Map& m = MapOf(i);
        const Light l = Expected(g_Camera.GetPosition(), kLight, m.dwWidth, m.dwDepth);
        const std::string what = "map " + std::to_string(i);
        math::Matrix got;
        e->GetMatrix(param("g_mView"), &got);
        ExpectMatrixNear(got, l.view, 2e-3f, what + " g_mView");
        e->GetMatrix(param("g_mProj"), &got);
        ExpectMatrixNear(got, l.projection, 1e-7f, what + " g_mProj");
        math::Vec4 v;
        e->GetVector(param("g_vLightDir"), &v);
        const glm::vec3 dir = glm::normalize(glm::vec3(l.view * glm::vec4(l.direction, 0.0f)));
        EXPECT_NEAR(v.x, dir.x, 1e-5f) << what;
        EXPECT_NEAR(v.y, dir.y, 1e-5f) << what;
        EXPECT_NEAR(v.z, dir.z, 1e-5f) << what;
        EXPECT_EQ(v.w, 0.0f) << what;
        e->GetVector(param("g_vLightPos"), &v);
        const glm::vec4 pos = l.view * glm::vec4(l.eye, 1.0f);
        EXPECT_NEAR(v.x, pos.x, 0.05f) << what;
        EXPECT_NEAR(v.y, pos.y, 0.05f) << what;
        EXPECT_NEAR(v.z, pos.z, 0.05f) << what;
        EXPECT_NEAR(v.w, 1.0f, 1e-6f) << what;
        e->GetVector(param("g_LightPos"), &v);
        EXPECT_EQ(glm::vec4(v.x, v.y, v.z, v.w), glm::vec4(l.eye, 0.0f)) << what;
        float f = 0;
        e->GetFloat(param("SMAP_SIZE"), &f);
        EXPECT_EQ(f, float(m.dwSize)) << what;
        e->GetFloat(param("SMAP_SIZE1"), &f);
        EXPECT_FLOAT_EQ(f, 1.0f / float(m.dwSize)) << what;
        e->GetFloat(param("SHADOW_EPSILON"), &f);
        EXPECT_FLOAT_EQ(f, m.fBias * 0.0037f) << what;
    }
    EXPECT_EQ(MapOf(1).dwSize, 1024u);
    EXPECT_FLOAT_EQ(MapOf(1).fBias, 0.8f);
    EXPECT_FLOAT_EQ(MapOf(0).fBias, 0.76f);
}

TEST_F(SkyMapDeviceTest, WithRecalculateSkyShadowOffNeitherMapIsDrawnAgain) {
    ObjectRecord* crate = Shown(Make(OT_SKINMESH, {100, 0, 0}, "crate"));
    DrawFrame();
    const std::vector<float> before[2] = {ReadMap(0), ReadMap(1)};
    SetObjectPosition(crate, {-200, 0, 0});
    RecalculateSkyShadow = false;
    g_SkyShadowMap.MarkStale();
    g_Renderer.StartPassRecording();
    DrawFrame();
    g_Renderer.StopPassRecording();
    EXPECT_FALSE(Recorded("ERenderer::RenderShadowMeshes") || Recorded("ERenderer::RenderShadowSkinmeshes"));
    EXPECT_EQ(ReadMap(0), before[0]);
    EXPECT_EQ(ReadMap(1), before[1]) << "map 1 keeps the crate where it was";
    RecalculateSkyShadow = true;
    DrawFrame();
    EXPECT_NE(ReadMap(1), before[1]);
}

// With a zero light direction both maps are made and cleared but hold
// nothing: every texel is 1.0, the far plane.
TEST_F(SkyMapDeviceTest, AZeroDirectionDrawsBothMapsEmpty) {
    Shown(Make(OT_SKINMESH, {0, 0, 0}, "skinned"));
    SetDirection({0, 0, 0});
    g_Renderer.StartPassRecording();
    DrawFrame();
    g_Renderer.StopPassRecording();
    EXPECT_FALSE(Recorded("ERenderer::RenderShadowMeshes") || Recorded("ERenderer::RenderShadowSkinmeshes"));
    for (int i = 0; i < 2; ++i) {
        const std::vector<float> texels = ReadMap(i);
        ASSERT_FALSE(texels.empty()) << i;
        for (float v : texels)
            ASSERT_EQ(v, 1.0f) << "map " << i;
        EXPECT_TRUE(MapOf(i).bUpToDate) << i;
    }
}

struct FailureCase {
    const char* name;
    std::function<void()> cause, cure;
    std::vector<const char*> printed;
};

class CreationFailures : public SkyMapDeviceTest, public ::testing::WithParamInterface<FailureCase> {};

// A failed creation prints its lines, leaves the map without targets and
// draws nothing (not into the back buffer either); the next frame tries
// again and, once the cause is gone, draws the map.
TEST_P(CreationFailures, PrintTheirLinesDrawNothingAndAreRetriedNextFrame) {
    const FailureCase& c = GetParam();
    Shown(Make(OT_MESH, {0, 0, 0}, "crate"));
    c.cause();
    d_.dev->Clear(0, nullptr, gfx::clear::Target, 0xFF102030, 1.0f, 0);
    MarkConsole();
    g_Renderer.StartPassRecording();
    DrawFrame();
    g_Renderer.StopPassRecording();
    for (const char* line : c.printed)
        EXPECT_TRUE(PrintedLine(line)) << line;
    EXPECT_FALSE(g_SkyShadowMap.HasTargets(0));
    EXPECT_EQ(MapOf(0).pTexture, nullptr) << "no texture is kept without its depth surface";
    EXPECT_FALSE(Recorded("ERenderer::RenderShadowMeshes"));
    EXPECT_FALSE(MapOf(0).bUpToDate);
    EXPECT_EQ(d_.Pixel(16, 16), 0x102030u) << "nothing reached the back buffer";
    gfx::Viewport vp;
    d_.dev->GetViewport(&vp);
    EXPECT_EQ(vp.Width, EffectDevice::kW);

    MarkConsole();
    DrawFrame();
    EXPECT_TRUE(PrintedLine(c.printed[0])) << "tried again";
    c.cure();
    g_Renderer.StartPassRecording();
    DrawFrame();
    g_Renderer.StopPassRecording();
    EXPECT_TRUE(g_SkyShadowMap.HasTargets(0));
    EXPECT_TRUE(Recorded("ERenderer::RenderShadowMeshes"));
    EXPECT_TRUE(Holds(At(0, ReadMap(0), {0, 64, 0})));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, CreationFailures,
    ::testing::Values(FailureCase{"Texture",
                                  [] { g_SkyShadowMap.m_Maps[0].dwSize = 20000; },
                                  [] { g_SkyShadowMap.m_Maps[0].dwSize = 512; },
                                  {"CreateRenderTextures 1 failed", "Shadow texture not created"}},
                      FailureCase{"DepthSurface",
                                  [] { g_DepthStencilFormat = gfx::Format::R32F; },
                                  [] { g_DepthStencilFormat = gfx::Format::D24S8; },
                                  {"Sky CreateRenderTextures 2 failed", "Sky Shadow depth not created"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The depth format without a stencil is cleared without asking for one (a
// clear that asks for a missing stencil clears nothing).
TEST_F(SkyMapDeviceTest, ADepthFormatWithoutStencilIsClearedToo) {
    g_DepthStencilFormat = gfx::Format::D16;
    SetDirection({0, 0, 0});
    DrawFrame();
    const std::vector<float> texels = ReadMap(0);
    ASSERT_FALSE(texels.empty());
    EXPECT_EQ(texels[texels.size() / 2], 1.0f);
}

TEST_F(SkyMapDeviceTest, SetProjectorWhileAWorldIsOpenMakesBothMapsAgain) {
    DrawFrame();
    ASSERT_TRUE(g_SkyShadowMap.HasTargets(0) && g_SkyShadowMap.HasTargets(1));
    g_SkyShadowMap.SetProjector(0, 128, 4096, 4000, 0.5f);
    ASSERT_TRUE(g_SkyShadowMap.HasTargets(0) && g_SkyShadowMap.HasTargets(1));
    EXPECT_EQ(MapOf(0).pSurface->Width(), 128u);
    EXPECT_FALSE(MapOf(0).bUpToDate || MapOf(1).bUpToDate) << "drawn again next frame";
    g_Renderer.StartPassRecording();
    DrawFrame();
    g_Renderer.StopPassRecording();
    EXPECT_TRUE(Recorded("ERenderer::RenderShadowMeshes"));

    // Map 1's size is the shadow quality's, whatever the projector says.
    g_SkyShadowMap.SetProjector(3, 64, 4400, 9200, 0.6f);
    EXPECT_EQ(MapOf(1).pSurface->Width(), 512u);
    // Outside a world the values are only kept.
    g_SkyShadowMap.EndWorld();
    g_SkyShadowMap.SetProjector(0, 256, 4096, 4000, 0.5f);
    EXPECT_FALSE(g_SkyShadowMap.HasTargets(0) || g_SkyShadowMap.HasTargets(1));
}

struct ResetCase {
    const char* name;
    bool shadows, animated, skyLight, world;
    bool map0, map1;
};

class DeviceHooks : public SkyMapDeviceTest, public ::testing::WithParamInterface<ResetCase> {};

// The focus manager's slot: the release drops both maps (so that the reset
// can succeed), the re-create makes them under the options.
TEST_P(DeviceHooks, ReleaseBothMapsAndMakeThemAgainUnderTheOptions) {
    const ResetCase& c = GetParam();
    DrawFrame();
    ASSERT_TRUE(g_SkyShadowMap.HasTargets(0) && g_SkyShadowMap.HasTargets(1));
    DeviceHookFn release = nullptr, recreate = nullptr;
    GetDeviceHook(DeviceHook::SkyShadowMaps, &release, &recreate);
    ASSERT_TRUE(release && recreate);
    release();
    EXPECT_FALSE(g_SkyShadowMap.HasTargets(0) || g_SkyShadowMap.HasTargets(1));
    EXPECT_EQ(MapOf(0).pTexture, nullptr);
    EXPECT_EQ(MapOf(1).pDepth, nullptr);
    DrawShadows = c.shadows;
    DrawAnimatedShadows = c.animated;
    g_EnvironmentSettings.m_bSkyLightInUse = c.skyLight;
    g_SkyShadowMap.m_bActive = c.world;
    recreate();
    EXPECT_EQ(g_SkyShadowMap.HasTargets(0), c.map0);
    EXPECT_EQ(g_SkyShadowMap.HasTargets(1), c.map1);
    // A map made again is drawn again; one left released is made on first use.
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(!g_SkyShadowMap.HasTargets(i) || !MapOf(i).bUpToDate) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Options, DeviceHooks,
                         ::testing::Values(ResetCase{"All", true, true, true, true, true, true},
                                           ResetCase{"StaticShadowsOnly", true, false, true, true, true,
                                                     false},
                                           ResetCase{"ShadowsOff", false, true, true, true, false, false},
                                           ResetCase{"NoSkyLight", true, true, false, true, false, false},
                                           ResetCase{"NoWorld", true, true, true, false, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
