// The object filters of the world queries, as one table: every filter
// against every kind of candidate that one of them treats in its own way.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "actors/player/Player.h"
#include "app/Records.h"
#include "world/Filters.h"
#include "world/ObjectAction.h"
#include "world/ObjectRecord.h"

namespace {

const ObjectFilterFn kFilters[16] = {
    ObjectFilter1,  ObjectFilter2,  ObjectFilter3,  ObjectFilter4,  ObjectFilter5,  ObjectFilter6,
    ObjectFilter7,  ObjectFilter8,  ObjectFilter9,  ObjectFilter10, ObjectFilter11, ObjectFilter12,
    ObjectFilter13, ObjectFilter14, ObjectFilter15, ObjectFilter16,
};

enum class Candidate {
    Null,
    Mesh,
    Player,
    Excluded,
    SkinnedMesh,
    Light,
    Dead,
    Kind128,
    Kind8,
    Kind9,
    Kind16,
    Kind32,
    Kind2,
    Kind4,
    PassThrough,
    PassThrough2,
    NotWorldObject,
    NotVisible,
    Flag2Excluded,
    RigidBody,
    IgnoresHits,
};

struct Case {
    const char* name;
    Candidate candidate;
    // The answers of ObjectFilter1 .. ObjectFilter16, '1' = takes part.
    const char* accepted;
};

// ObjectFilter16 runs with the excluded object as its first excluded object
// and all three kind switches on.
const Case kCases[] = {
    {"null", Candidate::Null, "0000000000000000"},
    {"plain mesh", Candidate::Mesh, "0111111111111111"},
    {"player", Candidate::Player, "0000000111000001"},
    {"excluded", Candidate::Excluded, "0110000000000000"},
    {"skinned mesh", Candidate::SkinnedMesh, "0110110111111101"},
    {"light", Candidate::Light, "0111111111000001"},
    {"dead or hidden", Candidate::Dead, "0000000000000000"},
    {"kind 128", Candidate::Kind128, "0001111111111111"},
    {"kind 8", Candidate::Kind8, "0110011111111101"},
    {"kind 9 (has bit 8)", Candidate::Kind9, "0111111111111101"},
    {"kind 16", Candidate::Kind16, "0111011111110110"},
    {"kind 32", Candidate::Kind32, "0111011111111100"},
    {"kind 2", Candidate::Kind2, "0111111111111100"},
    {"kind 4", Candidate::Kind4, "0111111111111110"},
    {"pass-through", Candidate::PassThrough, "0000011001000000"},
    {"second pass-through", Candidate::PassThrough2, "0101111101111011"},
    {"not a world object", Candidate::NotWorldObject, "0111100111111111"},
    {"not visible", Candidate::NotVisible, "0111101111111111"},
    {"second flags 0x20000000", Candidate::Flag2Excluded, "0111101111111111"},
    {"rigid body", Candidate::RigidBody, "0111111111100111"},
    {"ignores hits", Candidate::IgnoresHits, "0111111111111110"},
};

class FilterTest : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        savedPlayer_ = g_Player.m_hObject;
        g_Player.m_hObject = player_.get();
        g_RayTestFilter = RayTestFilterSettings();
        g_RayTestFilter.hExcluded1 = excluded_.get();
        g_RayTestFilter.bSkipKind4 = g_RayTestFilter.bSkipKinds2And32 = g_RayTestFilter.bSkipKind16 = true;
        for (ObjectRecord* h : {candidate_.get(), player_.get(), excluded_.get()})
            MakePlainMesh(h);
    }
    void TearDown() override {
        g_Player.m_hObject = savedPlayer_;
        g_RayTestFilter = RayTestFilterSettings();
    }

    static void MakePlainMesh(ObjectRecord* h) {
        h->bUsed = 1;
        h->dwType = OT_MESH;
        h->dwFlags = 13;
        h->bWorldObject = 1;
    }

    ObjectRecord* Build(Candidate c) {
        ObjectRecord* h = candidate_.get();
        switch (c) {
        case Candidate::Null:
            return nullptr;
        case Candidate::Mesh:
            break;
        case Candidate::Player:
            return player_.get();
        case Candidate::Excluded:
            return excluded_.get();
        case Candidate::SkinnedMesh:
            h->dwType = OT_SKINMESH;
            break;
        case Candidate::Light:
            h->dwType = OT_LIGHT;
            break;
        case Candidate::Dead:
            h->dwFlags |= 0x2000;
            break;
        case Candidate::Kind128:
            h->dwKindFlags = 128;
            break;
        case Candidate::Kind8:
            h->dwKindFlags = 8;
            break;
        case Candidate::Kind9:
            h->dwKindFlags = 9;
            break;
        case Candidate::Kind16:
            h->dwKindFlags = 16;
            break;
        case Candidate::Kind32:
            h->dwKindFlags = 32;
            break;
        case Candidate::Kind2:
            h->dwKindFlags = 2;
            break;
        case Candidate::Kind4:
            h->dwKindFlags = 4;
            break;
        case Candidate::PassThrough:
            action_.dwLadder = 1;
            h->pAction = &action_;
            break;
        case Candidate::PassThrough2:
            action_.bActionOnLook = 1;
            h->pAction = &action_;
            break;
        case Candidate::NotWorldObject:
            h->bWorldObject = 0;
            break;
        case Candidate::NotVisible:
            h->dwFlags &= ~1u;
            break;
        case Candidate::Flag2Excluded:
            h->dwFlags2 = 0x20000000;
            break;
        case Candidate::RigidBody:
            h->dwRigidBody = 3;
            break;
        case Candidate::IgnoresHits:
            h->bIgnoresHits = 1;
            break;
        }
        return h;
    }

    std::unique_ptr<ObjectRecord> candidate_ = std::make_unique<ObjectRecord>();
    std::unique_ptr<ObjectRecord> player_ = std::make_unique<ObjectRecord>();
    std::unique_ptr<ObjectRecord> excluded_ = std::make_unique<ObjectRecord>();
    ObjectAction action_;
    ObjectRecord* savedPlayer_ = nullptr;
};

TEST_P(FilterTest, EveryFilterAnswersAsItsRuleSays) {
    const Case& c = GetParam();
    ObjectRecord* candidate = Build(c.candidate);
    std::string answers;
    for (ObjectFilterFn filter : kFilters)
        answers += filter(candidate, excluded_.get()) ? '1' : '0';
    EXPECT_EQ(answers, c.accepted);
}

INSTANTIATE_TEST_SUITE_P(AllCandidates, FilterTest, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p)
        if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
    return name;
});

TEST(RayTestFilter, KindSwitchesOnlyActWhileOn) {
    auto h = std::make_unique<ObjectRecord>();
    h->bUsed = 1;
    g_RayTestFilter = RayTestFilterSettings();
    for (uint32_t kind : {2u, 4u, 16u, 32u}) {
        h->dwKindFlags = kind;
        EXPECT_TRUE(ObjectFilter16(h.get(), nullptr)) << kind;
    }
    g_RayTestFilter.hExcluded2 = h.get();
    EXPECT_FALSE(ObjectFilter16(h.get(), nullptr));
    g_RayTestFilter = RayTestFilterSettings();
}

} // namespace
