// The render lists of a frame, built from texture records made without files
// and object records that the tests place in view or not: the grouping by
// description keys, translucent textures last, a texture of both kinds of
// mesh, the culling after the occlusion test, the presence flags and the
// free list behind the lookup by name.
#include <gtest/gtest.h>

#include <cctype>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/Options.h"
#include "render/Renderer.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

namespace {

// The names of a null-terminated list, blank-separated.
std::string Names(strtexture* const* list) {
    std::string out;
    for (; *list; ++list) {
        if (!out.empty()) out += ' ';
        out += (*list)->szName;
    }
    return out;
}

size_t Count(strtexture* const* list) {
    size_t n = 0;
    while (list[n])
        ++n;
    return n;
}

class RenderLists : public ::testing::Test {
  protected:
    void SetUp() override { g_Renderer.ReleaseTextures(); }
    void TearDown() override {
        g_Renderer.ReleaseTextures();
        DrawPhysics = false;
    }

    // An object in view and seen, shown (flags bit 0x1).
    ObjectRecord* Object(bool inView = true, bool seen = true, bool shown = true) {
        objects_.push_back(std::make_unique<ObjectRecord>());
        ObjectRecord* h = objects_.back().get();
        h->bUsed = 1;
        h->bVisibleNow = inView;
        h->bSeen = seen;
        h->dwFlags = shown ? objflags::kFlagVisible : 0;
        return h;
    }
    strtexture* Texture(const char* name) {
        strtexture* t = g_Renderer.AddTextureRecord(name);
        EXPECT_NE(t, nullptr);
        return t;
    }
    static void UsedByMesh(strtexture* t, ObjectRecord* h) {
        auto* n = new strlistameshy();
        n->m_hObject = h;
        n->next = t->pMeshes;
        if (t->pMeshes) t->pMeshes->prev = n;
        t->pMeshes = n;
    }
    static void UsedBySkinMesh(strtexture* t, ObjectRecord* h) {
        auto* n = new strlistaskinmeshy();
        n->m_hObject = h;
        n->next = t->pSkinMeshes;
        if (t->pSkinMeshes) t->pSkinMeshes->prev = n;
        t->pSkinMeshes = n;
    }

    std::vector<std::unique_ptr<ObjectRecord>> objects_;
};

// ---- Grouping by key --------------------------------------------------------------------------

// The textures in the order the build meets them (newest first), each with
// a key class; the list puts a texture before the first one of its class,
// or at the end when there is none.
struct GroupingCase {
    const char* name;
    const char* met; // "name:class ..." in the order met
    const char* expected;
};

class Grouping : public RenderLists, public ::testing::WithParamInterface<GroupingCase> {};

TEST_P(Grouping, ARecordGoesBeforeTheFirstEntryOfItsKeyElseToTheEnd) {
    // Created in reverse, so that the walk (newest first) meets them in order.
    std::vector<std::pair<std::string, char>> met;
    std::string spec = GetParam().met;
    for (size_t at = 0; at < spec.size();) {
        const size_t end = spec.find(' ', at) == std::string::npos ? spec.size() : spec.find(' ', at);
        const std::string item = spec.substr(at, end - at);
        met.emplace_back(item.substr(0, item.find(':')), item.back());
        at = end + 1;
    }
    ObjectRecord* h = Object();
    for (auto it = met.rbegin(); it != met.rend(); ++it) {
        strtexture* t = Texture(it->first.c_str());
        // Classes differ in different key fields.
        t->desc.bSpecular = it->second == 'B';
        t->desc.bWater = it->second == 'C';
        t->bAnimated = it->second == 'D';
        UsedByMesh(t, h);
        UsedBySkinMesh(t, h);
    }
    g_Renderer.BuildRenderLists();
    EXPECT_EQ(Names(g_Renderer.m_pMeshTextures), GetParam().expected);
    EXPECT_EQ(Names(g_Renderer.m_pSkinMeshTextures), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, Grouping,
    ::testing::Values(GroupingCase{"OneTexture", "a:A", "a"},
                      GroupingCase{"AllKeysDifferent", "a:A b:B c:C d:D", "a b c d"},
                      GroupingCase{"AllKeysEqual", "a:A b:A c:A", "c b a"},
                      GroupingCase{"ReturningKeyJoinsItsGroup", "a:A b:B c:A", "c a b"},
                      GroupingCase{"TwoGroupsInterleaved", "a:A b:B c:A d:B e:C", "c a d b e"},
                      GroupingCase{"LaterGroupGrows", "a:A b:B c:C d:C e:B f:C", "a e b f d c"}),
    [](const auto& info) { return std::string(info.param.name); });

// Two textures differing in one field, with a third equal to the first in
// between: a field of the key splits them, any other field does not.
struct KeyFieldCase {
    const char* name;
    void (*differ)(strtexture*);
    bool inMeshKey;
    bool inSkinMeshKey;
};

class KeyField : public RenderLists, public ::testing::WithParamInterface<KeyFieldCase> {};

TEST_P(KeyField, SplitsTheGroupOnlyWhenItIsPartOfTheListsKey) {
    ObjectRecord* h = Object();
    // Met in the order a, b, c: a and c plain, b differing.
    for (const char* name : {"c", "b", "a"}) {
        strtexture* t = Texture(name);
        if (name[0] == 'b') GetParam().differ(t);
        UsedByMesh(t, h);
        UsedBySkinMesh(t, h);
    }
    g_Renderer.BuildRenderLists();
    EXPECT_EQ(Names(g_Renderer.m_pMeshTextures), GetParam().inMeshKey ? "c a b" : "c b a");
    EXPECT_EQ(Names(g_Renderer.m_pSkinMeshTextures), GetParam().inSkinMeshKey ? "c a b" : "c b a");
}

// A companion texture (normal map, detail, lava ...); only its presence counts.
strtexture g_Companion;
strtexture* const kSomeCompanion = &g_Companion;

INSTANTIATE_TEST_SUITE_P(
    Fields, KeyField,
    ::testing::Values(
        KeyFieldCase{"Specular", [](strtexture* t) { t->desc.bSpecular = 1; }, true, true},
        KeyFieldCase{"FullyBright", [](strtexture* t) { t->desc.bFullyBrightInNormalMask = 1; }, true, true},
        KeyFieldCase{"Water", [](strtexture* t) { t->desc.bWater = 1; }, true, true},
        KeyFieldCase{"Animated", [](strtexture* t) { t->bAnimated = 1; }, true, true},
        KeyFieldCase{"Detail", [](strtexture* t) { t->pDetail = kSomeCompanion; }, true, true},
        KeyFieldCase{"EnvironmentCube", [](strtexture* t) { t->pEnvironment = kSomeCompanion; }, true, true},
        KeyFieldCase{"AddWater", [](strtexture* t) { t->pAddWater = kSomeCompanion; }, true, true},
        KeyFieldCase{"Multitexture", [](strtexture* t) { t->bHasMultitexture = 1; }, true, false},
        KeyFieldCase{"Transparent", [](strtexture* t) { t->desc.bTransparent = 1; }, true, true},
        KeyFieldCase{"TwoSided", [](strtexture* t) { t->desc.b2Sided = 1; }, true, false},
        KeyFieldCase{"Additive", [](strtexture* t) { t->desc.bAdditive = 1; }, false, false},
        KeyFieldCase{"Stain", [](strtexture* t) { t->desc.bStain = 1; }, false, false},
        KeyFieldCase{"Lava", [](strtexture* t) { t->pLava = kSomeCompanion; }, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Translucent textures last -----------------------------------------------------------------

// Capital letters are translucent textures.
struct PartitionCase {
    const char* list;
    const char* expected;
};

class Partition : public RenderLists, public ::testing::WithParamInterface<PartitionCase> {};

TEST_P(Partition, MovesEveryTranslucentTextureBehindTheOthers) {
    std::vector<strtexture*> list;
    for (const char* c = GetParam().list; *c; ++c) {
        strtexture* t = Texture(std::string(1, *c).c_str());
        t->desc.bTranslucent = std::isupper(static_cast<unsigned char>(*c)) ? 1 : 0;
        list.push_back(t);
    }
    list.push_back(nullptr);
    PartitionTranslucentLast(list.data());
    std::string out;
    for (strtexture* t : list)
        if (t) out += t->szName;
    EXPECT_EQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(SmallLists, Partition,
                         ::testing::Values(PartitionCase{"", ""}, PartitionCase{"A", "A"},
                                           PartitionCase{"abc", "abc"}, PartitionCase{"ABC", "ABC"},
                                           // The first of otherwise opaque textures ends last.
                                           PartitionCase{"Abc", "cbA"}, PartitionCase{"aBc", "acB"},
                                           PartitionCase{"ABc", "cBA"}, PartitionCase{"AbC", "bAC"},
                                           PartitionCase{"AbcD", "cbAD"}, PartitionCase{"aBcDe", "aecDB"},
                                           PartitionCase{"AbBcCd", "dbcBCA"}));

TEST_F(RenderLists, TheBuiltListsHaveTheirTranslucentTexturesLast) {
    ObjectRecord* h = Object();
    // Met first, with a key of its own: it would lead the list.
    for (const char* name : {"c", "b", "glass"}) {
        strtexture* t = Texture(name);
        t->desc.bTranslucent = name[0] == 'g';
        UsedByMesh(t, h);
    }
    g_Renderer.BuildRenderLists();
    EXPECT_EQ(Names(g_Renderer.m_pMeshTextures), "b c glass");
    EXPECT_EQ(Names(g_Renderer.m_pAllTextures), "b c glass");
}

// ---- Both kinds of mesh, and a full registry ---------------------------------------------------

TEST_F(RenderLists, ATextureOfBothKindsIsInBothListsAndTwiceInTheJoinedOne) {
    strtexture* t = Texture("both.dds");
    UsedByMesh(t, Object());
    UsedBySkinMesh(t, Object());
    strtexture* meshOnly = Texture("mesh.dds");
    UsedByMesh(meshOnly, Object());
    g_Renderer.BuildRenderLists();
    EXPECT_EQ(Names(g_Renderer.m_pMeshTextures), "both.dds mesh.dds");
    EXPECT_EQ(Names(g_Renderer.m_pSkinMeshTextures), "both.dds");
    EXPECT_EQ(Names(g_Renderer.m_pAllTextures), "both.dds mesh.dds both.dds");
    EXPECT_TRUE(t->bListed);
}

TEST_F(RenderLists, AFullRegistryServingBothKindsFillsTheJoinedListWithoutOverrunningIt) {
    ObjectRecord* mesh = Object();
    ObjectRecord* skinned = Object();
    uint32_t made = 0;
    while (strtexture* t = g_Renderer.AddTextureRecord(("t" + std::to_string(made)).c_str())) {
        UsedByMesh(t, mesh);
        UsedBySkinMesh(t, skinned);
        ++made;
    }
    ASSERT_EQ(made, ERenderer::MAX_LISTED);
    g_Renderer.BuildRenderLists();
    g_Renderer.CullRenderLists();
    EXPECT_EQ(Count(g_Renderer.m_pMeshTextures), made);
    EXPECT_EQ(Count(g_Renderer.m_pSkinMeshTextures), made);
    EXPECT_EQ(Count(g_Renderer.m_pAllTextures), 2 * made);
    EXPECT_EQ(std::size(g_Renderer.m_pAllTextures), 2 * made + 1);
}

// ---- What enters the lists ---------------------------------------------------------------------

TEST_F(RenderLists, OnlyRenderedTexturesWithAUserInViewAreListedAndMarked) {
    strtexture* hidden = Texture("hidden.dds");
    UsedByMesh(hidden, Object(false));
    strtexture* companion = Texture("normal.dds");
    companion->bDoNotRender = 1;
    UsedByMesh(companion, Object());
    strtexture* some = Texture("some.dds");
    UsedBySkinMesh(some, Object(false));
    UsedBySkinMesh(some, Object(true));
    // A mark of the last frame goes.
    hidden->bListed = companion->bListed = 1;
    g_Renderer.BuildRenderLists();
    EXPECT_EQ(Names(g_Renderer.m_pMeshTextures), "");
    EXPECT_EQ(Names(g_Renderer.m_pSkinMeshTextures), "some.dds");
    EXPECT_FALSE(hidden->bListed);
    EXPECT_FALSE(companion->bListed);
    EXPECT_TRUE(some->bListed);
}

// ---- Culling ---------------------------------------------------------------------------------

// One texture of a class in one list, whose only user is in the given state.
struct CullCase {
    const char* name;
    void (*mark)(strtexture*);
    bool skinned;
    bool inView, seen, shown, drawPhysics;
    bool kept;
};

class Cull : public RenderLists, public ::testing::WithParamInterface<CullCase> {};

TEST_P(Cull, KeepsWhatTheOcclusionTestSawAndWhatItNeverHides) {
    const CullCase& c = GetParam();
    strtexture* t = Texture("t.dds");
    c.mark(t);
    ObjectRecord* user = Object(c.inView, c.seen, c.shown);
    // A second texture always kept, so that removal moves the rest forward.
    strtexture* next = Texture("next.dds");
    next->desc.bTranslucent = 1;
    if (c.skinned) {
        UsedBySkinMesh(t, user);
        UsedBySkinMesh(next, Object());
    } else {
        UsedByMesh(t, user);
        UsedByMesh(next, Object());
    }
    // Listed whatever the state, as when the object left view after the build.
    user->bVisibleNow = 1;
    g_Renderer.BuildRenderLists();
    user->bVisibleNow = c.inView;
    DrawPhysics = c.drawPhysics;
    g_Renderer.CullRenderLists();
    strtexture* const* list = c.skinned ? g_Renderer.m_pSkinMeshTextures : g_Renderer.m_pMeshTextures;
    EXPECT_EQ(Names(list), c.kept ? "t.dds next.dds" : "next.dds");
    EXPECT_EQ(Names(g_Renderer.m_pAllTextures), Names(list));
}

void Plain(strtexture*) {}

INSTANTIATE_TEST_SUITE_P(
    Rules, Cull,
    ::testing::Values(CullCase{"SeenShown", &Plain, false, true, true, true, false, true},
                      CullCase{"NotSeen", &Plain, false, true, false, true, false, false},
                      CullCase{"OutOfView", &Plain, false, false, true, true, false, false},
                      CullCase{"NotShown", &Plain, false, true, true, false, false, false},
                      CullCase{"NotShownDrawPhysics", &Plain, false, true, true, false, true, true},
                      CullCase{"RayOfLightUnseen", [](strtexture* t) { t->desc.bRayOfLight = 1; }, false,
                               false, false, false, false, true},
                      CullCase{"TransparentUnseen", [](strtexture* t) { t->desc.bTransparent = 1; }, false,
                               false, false, false, false, true},
                      CullCase{"AdditiveUnseen", [](strtexture* t) { t->desc.bAdditive = 1; }, false, false,
                               false, false, false, true},
                      CullCase{"StainUnseen", [](strtexture* t) { t->desc.bStain = 1; }, false, false, false,
                               false, false, true},
                      CullCase{"WaterUnseen", [](strtexture* t) { t->desc.bWater = 1; }, false, true, false,
                               true, false, false},
                      CullCase{"SkinnedSeenShown", &Plain, true, true, true, true, false, true},
                      CullCase{"SkinnedNotSeen", &Plain, true, true, false, true, false, false},
                      CullCase{"SkinnedNotShown", &Plain, true, true, true, false, false, false},
                      CullCase{"SkinnedNotShownDrawPhysics", &Plain, true, true, true, false, true, true},
                      CullCase{"SkinnedRayOfLightUnseen", [](strtexture* t) { t->desc.bRayOfLight = 1; },
                               true, true, false, true, false, false},
                      CullCase{"SkinnedTransparentUnseen", [](strtexture* t) { t->desc.bTransparent = 1; },
                               true, true, false, true, false, true},
                      CullCase{"SkinnedStainUnseen", [](strtexture* t) { t->desc.bStain = 1; }, true, true,
                               false, true, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RenderLists, ATextureIsKeptWhenAnyOfItsUsersIsSeen) {
    strtexture* t = Texture("t.dds");
    UsedByMesh(t, Object(true, false));
    UsedByMesh(t, Object(true, true));
    UsedByMesh(t, Object(false, true));
    g_Renderer.BuildRenderLists();
    g_Renderer.CullRenderLists();
    EXPECT_EQ(Names(g_Renderer.m_pMeshTextures), "t.dds");
}

// ---- Presence flags --------------------------------------------------------------------------

constexpr uint32_t ANY_WATER = 1, MESH_WATER = 2, LAVA = 4, MESH_ADDITIVE = 8, SKIN_ADDITIVE = 16,
                   MESH_STAIN = 32, SKIN_STAIN = 64, RAY = 128;

uint32_t Flags() {
    const ERenderer& r = g_Renderer;
    auto on = [](uint8_t set, uint32_t bit) { return set ? bit : 0u; };
    return on(r.m_bAnyWater, ANY_WATER) | on(r.m_bMeshWater, MESH_WATER) | on(r.m_bLava, LAVA) |
           on(r.m_bMeshAdditive, MESH_ADDITIVE) | on(r.m_bSkinMeshAdditive, SKIN_ADDITIVE) |
           on(r.m_bMeshStain, MESH_STAIN) | on(r.m_bSkinMeshStain, SKIN_STAIN) | on(r.m_bRayOfLight, RAY);
}

struct FlagCase {
    const char* name;
    void (*mark)(strtexture*);
    bool skinned;
    uint32_t afterBuild;
    uint32_t afterCull;
};

class PresenceFlags : public RenderLists, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(PresenceFlags, FollowTheListedTexturesOfEachKind) {
    const FlagCase& c = GetParam();
    // Last frame's flags go.
    g_Renderer.m_bAnyWater = g_Renderer.m_bMeshWater = g_Renderer.m_bLava = g_Renderer.m_bMeshAdditive = 1;
    g_Renderer.m_bSkinMeshAdditive = g_Renderer.m_bMeshStain = g_Renderer.m_bSkinMeshStain = 1;
    g_Renderer.m_bRayOfLight = 0;
    strtexture* t = Texture("t.dds");
    c.mark(t);
    if (c.skinned)
        UsedBySkinMesh(t, Object());
    else
        UsedByMesh(t, Object());
    g_Renderer.BuildRenderLists();
    EXPECT_EQ(Flags(), c.afterBuild);
    g_Renderer.CullRenderLists();
    EXPECT_EQ(Flags(), c.afterCull);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PresenceFlags,
    ::testing::Values(
        FlagCase{"Plain", &Plain, false, 0, 0},
        FlagCase{"MeshWater", [](strtexture* t) { t->desc.bWater = 1; }, false, ANY_WATER | MESH_WATER,
                 ANY_WATER | MESH_WATER},
        FlagCase{"SkinnedWater", [](strtexture* t) { t->desc.bWater = 1; }, true, ANY_WATER, ANY_WATER},
        FlagCase{"MeshLava", [](strtexture* t) { t->pLava = kSomeCompanion; }, false, LAVA, LAVA},
        FlagCase{"SkinnedLava", [](strtexture* t) { t->pLava = kSomeCompanion; }, true, 0, 0},
        FlagCase{"MeshAdditive", [](strtexture* t) { t->desc.bAdditive = 1; }, false, MESH_ADDITIVE,
                 MESH_ADDITIVE},
        FlagCase{"SkinnedAdditive", [](strtexture* t) { t->desc.bAdditive = 1; }, true, SKIN_ADDITIVE,
                 SKIN_ADDITIVE},
        FlagCase{"MeshStain", [](strtexture* t) { t->desc.bStain = 1; }, false, MESH_STAIN, MESH_STAIN},
        FlagCase{"SkinnedStain", [](strtexture* t) { t->desc.bStain = 1; }, true, SKIN_STAIN, SKIN_STAIN},
        // Only the culling finds rays of light.
        FlagCase{"MeshRayOfLight", [](strtexture* t) { t->desc.bRayOfLight = 1; }, false, 0, RAY},
        FlagCase{"SkinnedRayOfLight", [](strtexture* t) { t->desc.bRayOfLight = 1; }, true, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RenderLists, CullingClearsTheFlagsOfTexturesItRemoves) {
    strtexture* water = Texture("water.dds");
    water->desc.bWater = 1;
    UsedByMesh(water, Object(true, false));
    g_Renderer.m_bRayOfLight = 1;
    g_Renderer.BuildRenderLists();
    EXPECT_EQ(Flags(), ANY_WATER | MESH_WATER | RAY);
    g_Renderer.CullRenderLists();
    EXPECT_EQ(Flags(), 0u);
}

// ---- The free list -----------------------------------------------------------------------------

TEST_F(RenderLists, TexturesWithoutUsersMakeTheFreeListThatTheLookupByNameServes) {
    strtexture* older = Texture("older.tga");
    strtexture* hiddenUser = Texture("used.dds");
    UsedByMesh(hiddenUser, Object(false));
    strtexture* companion = Texture("normal.dds");
    companion->bDoNotRender = 1;
    strtexture* broken = Texture("broken.dds");
    broken->bMissing = 1;
    strtexture* newer = Texture("newer.dds");
    g_Renderer.BuildRenderLists();
    EXPECT_EQ(Names(g_Renderer.m_pFreeTextures), "newer.dds broken.dds older.tga");
    EXPECT_EQ(g_Renderer.GetTextureIdByName("NEWER.DDS"), newer->id);
    EXPECT_EQ(g_Renderer.GetTextureIdByName("older.tga"), older->id);
    // A file that failed to load gives no id, through the free list as
    // through the load.
    EXPECT_EQ(g_Renderer.GetTextureIdByName("broken.dds"), 0u);
    // Textures outside the free list are found by the load's own search.
    EXPECT_EQ(g_Renderer.GetTextureIdByName("used.dds"), hiddenUser->id);
}

TEST_F(RenderLists, ReleasingTheTexturesEmptiesEveryList) {
    strtexture* t = Texture("t.dds");
    UsedByMesh(t, Object());
    UsedBySkinMesh(t, Object());
    Texture("free.dds");
    g_Renderer.BuildRenderLists();
    ASSERT_NE(g_Renderer.m_pAllTextures[0], nullptr);
    g_Renderer.ReleaseTextures();
    EXPECT_EQ(Count(g_Renderer.m_pMeshTextures), 0u);
    EXPECT_EQ(Count(g_Renderer.m_pSkinMeshTextures), 0u);
    EXPECT_EQ(Count(g_Renderer.m_pAllTextures), 0u);
    EXPECT_EQ(Count(g_Renderer.m_pFreeTextures), 0u);
}

} // namespace
