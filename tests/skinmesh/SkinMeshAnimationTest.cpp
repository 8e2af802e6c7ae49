// Binary animation files: the reader with its refusals, the shared pose list,
// the sampler against GLM, and the animation-file finder on directory trees.
#include "skinmesh/SkinMeshAnimation.h"

#include <gtest/gtest.h>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Console.h"
#include "app/Debug.h"
#include "skinmesh/SkinMeshMgr.h"
#include "tests/TestDir.h"
#include "tests/skinmesh/AnimationFiles.h"

namespace fs = std::filesystem;
using animfiles::Bin;
using animfiles::Track;

namespace {

constexpr const char* kMark = "--- animation test mark ---";

// The console's text after the mark, its wrapped lines joined again.
std::string PrintedAfterMark() {
    std::string text;
    bool after = false;
    for (int i = 0; i < EConsole::NUM_LINES; ++i) {
        char line[EConsole::LINE_LEN];
        g_Console.CopyLine(i, line);
        if (std::strcmp(line, kMark) == 0) {
            after = true;
            text.clear();
            continue;
        }
        if (!after) continue;
        text += line;
        if (std::strlen(line) < EConsole::LINE_LEN - 1) text += "\n";
    }
    return text;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Every test starts with tracking on, no link fields and no statistics, and
// must leave no tracked allocation behind once its own records are freed.
class AnimationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_LinkFieldList.Clear();
        saved_ = g_bTrackAllocations;
        g_bTrackAllocations = true;
        g_Debug.ClearAllocations();
        g_SkinMeshMgr.m_dwAnimationBytes = 0;
        g_SkinMeshMgr.m_dwNumAnimations = 0;
        dir_ = FreshTestDir("zt_anim_");
        g_Console.Print(kMark);
    }
    void TearDown() override {
        g_LinkFieldList.Clear();
        g_bTrackAllocations = saved_;
        fs::remove_all(dir_);
    }
    std::string Write(const std::string& relative, const std::string& bytes) {
        const fs::path p = dir_ / relative;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    static uint32_t Tracked(const char* tag) { return g_Debug.GetAllocationCount(tag); }
    static uint32_t TrackedAnimationData() {
        uint32_t n = 0;
        for (const char* tag :
             {"tNodeAnim", "p_fTimeTranslation", "p_fTimeRotation", "p_fTimeScale", "vTranslation",
              "qRotation", "vScale", "strSkinMeshAnimation", "m_szAnimationNames"})
            n += Tracked(tag);
        return n;
    }

    fs::path dir_;
    bool saved_ = false;
};

// ---- Sampling -------------------------------------------------------------------

glm::vec3 G(const math::Vec3& v) {
    return {v.x, v.y, v.z};
}
glm::quat G(const math::Quat& q) {
    return glm::quat(q.w, q.x, q.y, q.z);
}

math::Quat AxisAngle(float x, float y, float z, float degrees) {
    const glm::quat g = glm::angleAxis(glm::radians(degrees), glm::normalize(glm::vec3(x, y, z)));
    return {g.x, g.y, g.z, g.w};
}

// Keys at 0, 10, 20, 30 (key-time scale 30, duration 1: the span of a second).
const std::vector<math::Vec3> kTranslations = {{1, 2, 3}, {4, 6, 8}, {-2, 0, 5}, {10, 10, 10}};
const std::vector<math::Vec3> kScales = {{1, 1, 1}, {2, 1, 1}, {1, 3, 1}, {1, 1, 0.5f}};
const std::vector<math::Quat> kRotations = {AxisAngle(0, 1, 0, 0), AxisAngle(0, 1, 0, 60),
                                            AxisAngle(1, 0, 1, 120), AxisAngle(0, 0, 1, -45)};

struct SampleCase {
    const char* name;
    std::vector<float> times; // for every kind present
    bool translations = true; // false: a rotation-only track
    std::vector<math::Quat> rotations = kRotations;
    bool loop = false;
    double time = 0; // channel time
    uint32_t channel = 0;
    bool upperFlag = true; // the link field's upper-body flag
    // Expected: the key pair and weight, or sampled = false for an untouched
    // (identity) pose.
    bool sampled = true;
    int g = 0, g1 = 0;
    float w = 0;
    double local = 0;
    uint32_t loops = 0;
    bool finished = false;
};

class Sampling : public AnimationTest, public ::testing::WithParamInterface<SampleCase> {};

TEST_P(Sampling, GivesTheKeysBlendAsGlmDoes) {
    const SampleCase& c = GetParam();
    const size_t n = c.times.size();
    Track t{"Bip01_Spine", {}, {}, c.times, {}, {}, {}};
    t.rotations.assign(c.rotations.begin(), c.rotations.begin() + static_cast<long>(n));
    if (c.translations) {
        t.tTimes = c.times;
        t.translations.assign(kTranslations.begin(), kTranslations.begin() + static_cast<long>(n));
        t.sTimes = c.times;
        t.scales.assign(kScales.begin(), kScales.begin() + static_cast<long>(n));
    }
    strSkinMeshAnimation anim;
    ASSERT_TRUE(
        ESkinMeshAnimation::Load_Animation_From_Bin_File(Write("a.bin", Bin(30.0, 1.0, {t})).c_str(), &anim));
    strLinkField* field = g_LinkFieldList.Find("bip01_spine");
    ASSERT_NE(field, nullptr);
    field->bUpperBody = c.upperFlag;

    AnimationChannel channel;
    channel.bLoop = c.loop;
    channel.dTime = c.time;
    channel.dwChannel = c.channel;
    channel.dwLoopCount = 7;
    g_LinkFieldList.ResetPoses();
    ESkinMeshAnimation::Sample(&anim, &channel);

    EXPECT_DOUBLE_EQ(channel.dLocalTime, c.local);
    if (c.loop) {
        EXPECT_EQ(channel.dwLoopCount, c.loops);
        EXPECT_EQ(channel.dwPrevLoopCount, 7u);
    } else {
        EXPECT_EQ(channel.bFinished, c.finished);
    }

    glm::vec3 translation(0), scale(1);
    glm::quat rotation(1, 0, 0, 0);
    if (c.sampled) {
        const auto g = static_cast<size_t>(c.g), g1 = static_cast<size_t>(c.g1);
        rotation = glm::slerp(G(c.rotations[g]), G(c.rotations[g1]), c.w);
        if (c.translations) {
            translation = glm::mix(G(kTranslations[g]), G(kTranslations[g1]), c.w);
            scale = glm::mix(G(kScales[g]), G(kScales[g1]), c.w);
        }
    }
    // S, then R, then T, as a row-vector matrix (GLM's column-major storage).
    const glm::mat4 expected = glm::translate(glm::mat4(1), translation) * glm::mat4_cast(rotation) *
                               glm::scale(glm::mat4(1), scale);
    const float* e = glm::value_ptr(expected);
    for (int r = 0; r < 4; ++r)
        for (int col = 0; col < 4; ++col)
            EXPECT_NEAR(field->mLocal.m[r][col], e[r * 4 + col], 2e-5f) << "element " << r << "," << col;
    EXPECT_NEAR(field->vTranslation.x, translation.x, 1e-5f);
    EXPECT_NEAR(field->vScale.y, scale.y, 1e-5f);
    ESkinMeshAnimation::FreeTracks(&anim);
}

const std::vector<float> kTimes = {0, 10, 20, 30};

INSTANTIATE_TEST_SUITE_P(
    Cases, Sampling,
    ::testing::Values(
        SampleCase{"LoopingAt2_5DurationsSamplesHalfWithLoopCount2", kTimes, true, kRotations, true, 2.5, 0,
                   true, true, 1, 2, 0.5f, 0.5, 2},
        SampleCase{"NotLoopingAt2_5DurationsSamplesTheEndAndIsFinished", kTimes, true, kRotations, false, 2.5,
                   0, true, true, 3, 3, 0, 1.0, 0, true},
        SampleCase{"NotLoopingAtExactlyTheDurationIsNotFinished", kTimes, true, kRotations, false, 1.0, 0,
                   true, true, 2, 3, 1, 1.0, 0, false},
        SampleCase{"BetweenKeysBlends", kTimes, true, kRotations, false, 0.1, 0, true, true, 0, 1, 0.3f, 0.1},
        SampleCase{"BeyondTheLastKeyGivesTheLast",
                   {0, 10, 20},
                   true,
                   kRotations,
                   false,
                   0.9,
                   0,
                   true,
                   true,
                   2,
                   2,
                   0,
                   0.9},
        SampleCase{"EqualKeyTimesGiveTheEarlierKey",
                   {0, 10, 10, 20},
                   true,
                   kRotations,
                   false,
                   10.0 / 30.0,
                   0,
                   true,
                   true,
                   1,
                   2,
                   0,
                   10.0 / 30.0},
        SampleCase{"BeforeTheFirstKeyGivesTheFirst",
                   {5, 10, 20, 30},
                   true,
                   kRotations,
                   false,
                   0.1,
                   0,
                   true,
                   true,
                   0,
                   0,
                   0,
                   0.1},
        SampleCase{"NegativeTimeGivesTheFirstKey", kTimes, true, kRotations, true, -0.5, 0, true, true, 0, 0,
                   0, -0.5, 0},
        SampleCase{"RotationOnlyTrackHasNoTranslationAndUnitScale", kTimes, false, kRotations, false, 0.5, 0,
                   true, true, 1, 2, 0.5f, 0.5},
        SampleCase{"KeysQAndMinusQGiveNoTurn",
                   {0, 30},
                   true,
                   {AxisAngle(0, 1, 0, 50), math::Quat{-AxisAngle(0, 1, 0, 50).x, -AxisAngle(0, 1, 0, 50).y,
                                                       -AxisAngle(0, 1, 0, 50).z, -AxisAngle(0, 1, 0, 50).w}},
                   false,
                   0.5,
                   0,
                   true,
                   true,
                   0,
                   1,
                   0.5f,
                   0.5},
        SampleCase{"UpperBodyChannelSkipsATrackWithoutTheFlag", kTimes, true, kRotations, false, 0.5, 1,
                   false, false, 0, 0, 0, 0.5},
        SampleCase{"UpperBodyChannelSamplesATrackWithTheFlag", kTimes, true, kRotations, false, 0.5, 1, true,
                   true, 1, 2, 0.5f, 0.5}),
    [](const ::testing::TestParamInfo<SampleCase>& info) { return std::string(info.param.name); });

TEST_F(AnimationTest, SamplingANanTimeConvertsNoFloatOutOfRange) {
    Track t{"n", kTimes, kTranslations, kTimes, kRotations, {}, {}};
    strSkinMeshAnimation anim;
    ASSERT_TRUE(
        ESkinMeshAnimation::Load_Animation_From_Bin_File(Write("n.bin", Bin(30.0, 1.0, {t})).c_str(), &anim));
    AnimationChannel channel;
    for (double time : {std::nan(""), 1e300, -1e300, 1e20}) {
        for (bool loop : {true, false}) {
            channel.bLoop = loop;
            channel.dTime = time;
            ESkinMeshAnimation::Sample(&anim, &channel); // under UBSan: no conversion out of range
        }
    }
    channel.bLoop = true;
    channel.dTime = 1e20;
    ESkinMeshAnimation::Sample(&anim, &channel);
    EXPECT_EQ(channel.dwLoopCount, 4294967295u);
    ESkinMeshAnimation::FreeTracks(&anim);
}

// ---- Reading ---------------------------------------------------------------------

Track OneTrack(const char* name) {
    return Track{name,           {0, 30},     {{0, 0, 0}, {1, 1, 1}},           {0},
                 {{0, 0, 0, 1}}, {0, 15, 30}, {{1, 1, 1}, {2, 2, 2}, {1, 1, 1}}};
}

TEST_F(AnimationTest, ReadsTracksKeysAndTheFileValues) {
    const std::string path = Write("w.bin", Bin(30.0, 1.25, {OneTrack("Bip01"), OneTrack("Bip01_Head")}));
    strSkinMeshAnimation anim;
    anim.dTimeFactor = 5;
    anim.fAngleY = 90;
    ASSERT_TRUE(ESkinMeshAnimation::Load_Animation_From_Bin_File(path.c_str(), &anim));
    EXPECT_EQ(anim.dwNumTracks, 2u);
    EXPECT_EQ(anim.dKeyTimeScale, 30.0);
    EXPECT_EQ(anim.dDuration, 1.25);
    EXPECT_EQ(anim.dTimeFactor, 1.0);
    EXPECT_EQ(anim.fAngleY, 0.0f);
    const tNodeAnim& head = anim.pTracks[1];
    EXPECT_STREQ(head.szName, "Bip01_Head");
    EXPECT_EQ(head.pLinkField, g_LinkFieldList.Find("BIP01_HEAD"));
    EXPECT_EQ(head.nT, 2u);
    EXPECT_EQ(head.nR, 1u);
    EXPECT_EQ(head.nS, 3u);
    EXPECT_EQ(head.fTimeScale[1], 15.0f);
    EXPECT_EQ(head.vTranslation[1].z, 1.0f);
    EXPECT_EQ(head.qReservedRotation.w, 1.0f); // the reserved values are kept as read
    const uint32_t bytes = static_cast<uint32_t>(2 * sizeof(tNodeAnim)) + 2 * (4 * 6 + 12 * 2 + 16 + 12 * 3);
    EXPECT_EQ(anim.dwByteSize, bytes);
    EXPECT_EQ(g_SkinMeshMgr.m_dwAnimationBytes, bytes);
    EXPECT_EQ(g_SkinMeshMgr.m_dwNumAnimations, 1u);
    EXPECT_EQ(Tracked("tNodeAnim"), 1u);
    EXPECT_EQ(Tracked("vScale"), 2u);

    ESkinMeshAnimation::FreeTracks(&anim);
    EXPECT_EQ(anim.dwNumTracks, 0u);
    EXPECT_EQ(anim.pTracks, nullptr);
    EXPECT_EQ(g_SkinMeshMgr.m_dwAnimationBytes, 0u);
    EXPECT_EQ(g_SkinMeshMgr.m_dwNumAnimations, 0u);
    EXPECT_EQ(TrackedAnimationData(), 0u);
}

struct ReadCase {
    const char* name;
    std::string bytes;
    bool loads;
    uint32_t tracks;
    const char* line; // printed, or null for no line
};

class Reading : public AnimationTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(Reading, LoadsOrRefusesWithItsLine) {
    const ReadCase& c = GetParam();
    const std::string path = Write("c.bin", c.bytes);
    strSkinMeshAnimation anim;
    EXPECT_EQ(ESkinMeshAnimation::Load_Animation_From_Bin_File(path.c_str(), &anim), c.loads);
    EXPECT_EQ(anim.dwNumTracks, c.tracks);
    const std::string printed = PrintedAfterMark();
    if (c.line) {
        EXPECT_NE(printed.find(std::string(c.line) + path), std::string::npos) << printed;
    } else {
        EXPECT_EQ(printed, "") << printed;
    }
    ESkinMeshAnimation::FreeTracks(&anim);
    EXPECT_EQ(TrackedAnimationData(), 0u);
}

std::string WithU32(std::string bytes, size_t at, uint32_t v) {
    std::string u;
    animfiles::PutU32(&u, v);
    bytes.replace(at, 4, u);
    return bytes;
}

std::string WithF64(std::string bytes, size_t at, double v) {
    std::string u;
    animfiles::PutF64(&u, v);
    bytes.replace(at, 8, u);
    return bytes;
}

const std::string kGood = Bin(30.0, 1.0, {OneTrack("a"), OneTrack("b")});
constexpr const char* kDamaged =
    "ERROR in ESkinMeshAnimation::Load_Animation_From_Bin_File(): File is damaged!, AnimFile=";

INSTANTIATE_TEST_SUITE_P(
    Cases, Reading,
    ::testing::Values(
        ReadCase{"Good", kGood, true, 2, nullptr},
        ReadCase{"LowerCaseMagicLoads", Bin(30.0, 1.0, {OneTrack("a")}, "bina"), true, 1, nullptr},
        ReadCase{"WrongMagic", Bin(30.0, 1.0, {OneTrack("a")}, "BINX"), false, 0,
                 "ERROR in ESkinMeshAnimation::Load_Animation_From_Bin_File(): File is not BIN animation!, "
                 "AnimFile="},
        ReadCase{"MagicWithAZeroAfterThreeLetters", std::string("BIN\0", 4) + kGood.substr(4), false, 0,
                 "ERROR in ESkinMeshAnimation::Load_Animation_From_Bin_File(): File is not BIN animation!, "
                 "AnimFile="},
        ReadCase{
            "Version3", Bin(30.0, 1.0, {OneTrack("a")}, "BINA", 3), false, 0,
            "ERROR in ESkinMeshAnimation::Load_Animation_From_Bin_File(): Wrong version of file format!, "
            "AnimFile="},
        ReadCase{"NoTracksStopsAfterTheCount", Bin(30.0, 1.0, {}), true, 0, nullptr},
        ReadCase{"CountRaisedToTheLargest", WithU32(kGood, 8, 0xffffffffu), false, 0, kDamaged},
        ReadCase{"KeyCountRaisedToTheLargest", WithU32(kGood, 28 + 172, 0xffffffffu), false, 0, kDamaged},
        // The last record's key count one above what the bytes hold.
        ReadCase{"OneKeyTooMany", WithU32(kGood, 28 + 280 + 168, 3), false, 0, kDamaged},
        ReadCase{"NanDuration", WithF64(kGood, 20, std::nan("")), false, 0, kDamaged},
        ReadCase{"InfiniteKeyTimeScale", WithF64(kGood, 12, INFINITY), false, 0, kDamaged},
        ReadCase{"NanKeyTime", WithU32(kGood, 28 + 180 + 4, 0x7fc00000u), false, 0, kDamaged}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST_F(AnimationTest, AFileCutAtEveryByteIsRefusedWithNothingLeft) {
    const std::string path = (dir_ / "cut.bin").string();
    for (size_t size = 0; size < kGood.size(); ++size) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << kGood.substr(0, size);
        strSkinMeshAnimation anim;
        const bool loaded = ESkinMeshAnimation::Load_Animation_From_Bin_File(path.c_str(), &anim);
        EXPECT_FALSE(loaded) << size;
        EXPECT_EQ(anim.dwNumTracks, 0u);
        EXPECT_EQ(TrackedAnimationData(), 0u) << size;
        EXPECT_EQ(Tracked("strLinkField"), 0u) << size; // no pose record made for a refused file
        EXPECT_EQ(g_SkinMeshMgr.m_dwNumAnimations, 0u);
    }
}

TEST_F(AnimationTest, MissingFilesAndDirectoriesAreNoAnimationWithoutALine) {
    strSkinMeshAnimation anim;
    EXPECT_FALSE(
        ESkinMeshAnimation::Load_Animation_From_Bin_File((dir_ / "none.bin").string().c_str(), &anim));
    fs::create_directories(dir_ / "dir.bin");
    EXPECT_FALSE(
        ESkinMeshAnimation::Load_Animation_From_Bin_File((dir_ / "dir.bin").string().c_str(), &anim));
    EXPECT_FALSE(ESkinMeshAnimation::Load_Animation_From_Bin_File(nullptr, &anim));
    EXPECT_FALSE(ESkinMeshAnimation::Load_Animation_From_Bin_File("x", nullptr));
    EXPECT_EQ(PrintedAfterMark(), "");
}

// ---- Link fields ------------------------------------------------------------------

TEST_F(AnimationTest, TwoFilesNamingOneBoneShareItsLinkField) {
    strSkinMeshAnimation a, b;
    ASSERT_TRUE(ESkinMeshAnimation::Load_Animation_From_Bin_File(
        Write("a.bin", Bin(30, 1, {OneTrack("Bip01_Head")})).c_str(), &a));
    ASSERT_TRUE(ESkinMeshAnimation::Load_Animation_From_Bin_File(
        Write("b.bin", Bin(30, 1, {OneTrack("BIP01_HEAD")})).c_str(), &b));
    EXPECT_EQ(a.pTracks[0].pLinkField, b.pTracks[0].pLinkField);
    EXPECT_EQ(Tracked("strLinkField"), 1u);
    ESkinMeshAnimation::FreeTracks(&a);
    ESkinMeshAnimation::FreeTracks(&b);
    EXPECT_EQ(Tracked("strLinkField"), 1u); // the list outlives the animations
    g_LinkFieldList.Clear();
    EXPECT_EQ(Tracked("strLinkField"), 0u);
}

TEST_F(AnimationTest, FindOrAddMakesRecordsAtTheHeadAndResetPosesGivesTheIdentity) {
    EXPECT_EQ(g_LinkFieldList.FindOrAdd(nullptr), nullptr);
    strLinkField* a = g_LinkFieldList.FindOrAdd("a");
    strLinkField* b = g_LinkFieldList.FindOrAdd("b");
    EXPECT_EQ(g_LinkFieldList.FindOrAdd("A"), a);
    EXPECT_EQ(g_LinkFieldList.Head(), b);
    EXPECT_EQ(b->pNext, a);
    EXPECT_TRUE(a->bUpperBody && a->bLowerBody && a->bFace);
    EXPECT_EQ(a->vScale, (math::Vec3{0, 0, 0}));
    EXPECT_EQ(a->qRotation, (math::Quat{0, 0, 0, 1}));
    EXPECT_EQ(a->mLocal, math::Matrix::Identity());
    EXPECT_EQ(g_LinkFieldList.Find("c"), nullptr);
    strLinkField fresh;
    EXPECT_FALSE(fresh.bUpperBody || fresh.bLowerBody || fresh.bFace);
    EXPECT_STREQ(fresh.szName, "");

    a->vTranslation = {1, 2, 3};
    a->qRotation = {1, 0, 0, 0};
    a->mLocal.m[3][0] = 9;
    g_LinkFieldList.ResetPoses();
    EXPECT_EQ(a->vTranslation, (math::Vec3{0, 0, 0}));
    EXPECT_EQ(a->qRotation, (math::Quat{0, 0, 0, 1}));
    EXPECT_EQ(a->vScale, (math::Vec3{1, 1, 1}));
    EXPECT_EQ(a->mLocal, math::Matrix::Identity());
    EXPECT_EQ(b->vScale, (math::Vec3{1, 1, 1}));
}

// ---- Finding animation files -------------------------------------------------------

struct Slots {
    int count = 0;
    strSkinMeshAnimation* slots[ESkinMeshAnimationLoader::MAX_ANIMATIONS] = {};
    ~Slots() {
        for (strSkinMeshAnimation*& a : slots) {
            if (!a) continue;
            ESkinMeshAnimation::FreeTracks(a);
            delete a;
            g_Debug.RemoveAllocation("strSkinMeshAnimation");
            a = nullptr;
        }
    }
};

struct Names {
    int count = 0;
    char* names[ESkinMeshAnimationLoader::MAX_ANIMATIONS] = {};
    ~Names() { ESkinMeshAnimationLoader::FreeAnimationNames(&count, names); }
    std::vector<std::string> List() const {
        std::vector<std::string> out;
        for (int i = 0; i < count; ++i)
            out.push_back(names[i] ? names[i] : "(null)");
        return out;
    }
};

TEST_F(AnimationTest, NamesComeFromFileNamesAndTheDefaultIsMarked) {
    const std::string bytes = Bin(30, 1, {OneTrack("a")});
    Write("anims/walk.bin", bytes);
    Write("anims/WALK_DEFAULT.BIN", bytes);
    Write("anims/x.Bin", bytes);
    Write("anims/notes.txt", "not an animation");
    const std::string dir = (dir_ / "anims").string();
    {
        Names n;
        g_SkinMeshCacheAnimation.ScanAnimationNames(dir.c_str(), &n.count, n.names, 1000);
        // The listing is sorted byte by byte: capitals first.
        EXPECT_EQ(n.List(), (std::vector<std::string>{"WALK", "walk", "x"}));
        EXPECT_STREQ(g_SkinMeshCacheAnimation.GetDefaultAnimationName(), "WALK");
        const std::string printed = PrintedAfterMark();
        EXPECT_EQ(Count(printed, "ERROR: Two animations with the same name!!!"), 1) << printed;
        EXPECT_NE(printed.find("Duplicated name: WALK\n"), std::string::npos) << printed;
        EXPECT_NE(printed.find("szDirectoryName: " + dir), std::string::npos) << printed;
        EXPECT_EQ(Tracked("m_szAnimationNames"), 3u);
    }
    EXPECT_EQ(Tracked("m_szAnimationNames"), 0u);

    Slots s;
    const int walk = g_SkinMeshCacheAnimation.LoadAnimation(dir.c_str(), "walk", &s.count, s.slots, 1000);
    ASSERT_EQ(walk, 0);
    // The first file of the name that loads wins: the default one, listed first.
    EXPECT_STREQ(s.slots[0]->szName, "WALK");
    EXPECT_EQ(s.slots[0]->bDefault, 1);
    const int x = g_SkinMeshCacheAnimation.LoadAnimation(dir.c_str(), "X", &s.count, s.slots, 1000);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(s.count, 2);
    EXPECT_EQ(s.slots[1]->dTimeFactor, 1.0);
    EXPECT_EQ(s.slots[1]->mRotation, math::Matrix::Identity());
}

TEST_F(AnimationTest, ANameNoFileMatchesLeavesTheSlotFreeAndTheCountRaised) {
    Write("anims/walk.bin", Bin(30, 1, {OneTrack("a")}));
    Write("anims/broken.bin", "BINA");
    const std::string dir = (dir_ / "anims").string();
    Slots s;
    EXPECT_EQ(g_SkinMeshCacheAnimation.LoadAnimation(dir.c_str(), "run", &s.count, s.slots, 1000), -1);
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(s.slots[0], nullptr);
    EXPECT_EQ(Tracked("strSkinMeshAnimation"), 0u);
    const std::string printed = PrintedAfterMark();
    EXPECT_NE(printed.find("ERROR in SearchAndLoadAnimation___START(): Animation not found or corrupted!\n"
                           "Bad animation name:\nrun\nDirectory Path:\n" +
                           dir + "\n"),
              std::string::npos)
        << printed;
    // The free slot is taken again.
    EXPECT_EQ(g_SkinMeshCacheAnimation.LoadAnimation(dir.c_str(), "walk", &s.count, s.slots, 1000), 0);
    EXPECT_EQ(s.count, 1);
    // A damaged file of the wanted name: its problem, then not found.
    EXPECT_EQ(g_SkinMeshCacheAnimation.LoadAnimation(dir.c_str(), "broken", &s.count, s.slots, 1000), -1);
    EXPECT_NE(PrintedAfterMark().find("Problem with skinmesh's animation: broken.bin"), std::string::npos);
}

TEST_F(AnimationTest, TheThousandAndFirstSlotIsRefused) {
    Write("anims/walk.bin", Bin(30, 1, {OneTrack("a")}));
    const std::string dir = (dir_ / "anims").string();
    Slots s;
    s.count = ESkinMeshAnimationLoader::MAX_ANIMATIONS;
    for (strSkinMeshAnimation*& a : s.slots) {
        a = new strSkinMeshAnimation();
        g_Debug.AddAllocation("strSkinMeshAnimation");
    }
    EXPECT_EQ(g_SkinMeshCacheAnimation.LoadAnimation(dir.c_str(), "walk", &s.count, s.slots, 1000), -1);
    EXPECT_EQ(s.count, ESkinMeshAnimationLoader::MAX_ANIMATIONS);
    EXPECT_NE(PrintedAfterMark().find(
                  "FATAL INTERNAL ERROR in SkinMeshBase: MAX_ANIMATIONS_IN_SKINMESHBASE exceeded!"),
              std::string::npos);
}

TEST_F(AnimationTest, TheScanStopsAt999Names) {
    for (int i = 0; i < 1001; ++i)
        Write("anims/a" + std::to_string(1000 + i) + ".bin", "");
    const std::string dir = (dir_ / "anims").string();
    Names n;
    g_SkinMeshCacheAnimation.ScanAnimationNames(dir.c_str(), &n.count, n.names, 1000);
    EXPECT_EQ(n.count, 999);
    EXPECT_STREQ(n.names[998], "a1998");
    EXPECT_NE(PrintedAfterMark().find(
                  "FATAL INTERNAL ERROR in SkinMeshBase: MAX_ANIMATIONS_IN_SKINMESHBASE exceeded!"),
              std::string::npos);
}

TEST_F(AnimationTest, AFileInANestedDirectoryListedBeforeTheFilesIsFound) {
    const std::string bytes = Bin(30, 1, {OneTrack("a")});
    Write("anims/a_dir/deep/talk.bin", bytes);
    Write("anims/b.bin", bytes);
    Write("anims/a_dir.bin/inside.bin", bytes); // a directory named like a file is walked, not read
    const std::string dir = (dir_ / "anims").string();
    Names n;
    g_SkinMeshCacheAnimation.ScanAnimationNames(dir.c_str(), &n.count, n.names, 1000);
    EXPECT_EQ(n.List(), (std::vector<std::string>{"talk", "inside", "b"}));
    Slots s;
    EXPECT_EQ(g_SkinMeshCacheAnimation.LoadAnimation(dir.c_str(), "talk", &s.count, s.slots, 1000), 0);
    EXPECT_EQ(g_SkinMeshCacheAnimation.LoadAnimation(dir.c_str(), "inside", &s.count, s.slots, 1000), 1);
    EXPECT_EQ(PrintedAfterMark().find("Problem"), std::string::npos);
}

TEST(AnimationNames, ExtensionsAndDefaultFiles) {
    struct Case {
        const char* file;
        const char* name;
        bool isDefault;
    };
    for (const Case& c :
         {Case{"walk.bin", "walk", false}, Case{"WALK_DEFAULT.BIN", "WALK", true}, Case{"x.Bin", "x", false},
          Case{"walkbin", "walkbin", false}, Case{"_default.bin", "", true}, Case{"bin", "bin", false}}) {
        char name[130];
        std::snprintf(name, sizeof name, "%s", c.file);
        ESkinMeshAnimationLoader::StripAnimationExtension(name);
        EXPECT_STREQ(name, c.name) << c.file;
        EXPECT_EQ(ESkinMeshAnimationLoader::IsDefaultAnimationFile(c.file), c.isDefault) << c.file;
    }
}

// ---- The test character ----------------------------------------------------------

TEST_F(AnimationTest, EveryAnimationOfTheTestCharacterLoadsAndWalkMatchesGlm) {
    const std::string dir = std::string(ZT_SOURCE_DIR) + "/data/models/manekin/animations";
    Names n;
    g_SkinMeshCacheAnimation.ScanAnimationNames(dir.c_str(), &n.count, n.names, 1000);
    EXPECT_EQ(n.List(),
              (std::vector<std::string>{"biegnie_2", "celuje", "glowa_gada", "idzie", "stoi", "umiera"}));
    EXPECT_STREQ(g_SkinMeshCacheAnimation.GetDefaultAnimationName(), "stoi");
    Slots s;
    for (int i = 0; i < n.count; ++i) {
        const int slot =
            g_SkinMeshCacheAnimation.LoadAnimation(dir.c_str(), n.names[i], &s.count, s.slots, 1000);
        ASSERT_EQ(slot, i) << n.names[i];
        EXPECT_EQ(s.slots[i]->dwNumTracks, 56u) << n.names[i]; // 54 biped bones and two face bones
        EXPECT_EQ(s.slots[i]->dKeyTimeScale, 30.0);
    }
    EXPECT_EQ(s.slots[4]->bDefault, 1);
    EXPECT_EQ(PrintedAfterMark().find("ERROR"), std::string::npos) << PrintedAfterMark();

    // "idzie" at 0.5 s: key 15 of every animated kind.
    strSkinMeshAnimation* walk = s.slots[3];
    EXPECT_EQ(walk->dDuration, 1.0);
    AnimationChannel channel;
    channel.bLoop = true;
    channel.dTime = 0.5;
    g_LinkFieldList.ResetPoses();
    ESkinMeshAnimation::Sample(walk, &channel);
    for (uint32_t i = 0; i < walk->dwNumTracks; ++i) {
        const tNodeAnim& t = walk->pTracks[i];
        SCOPED_TRACE(t.szName);
        auto at = [](uint32_t count) { return count > 15 ? 15u : 0u; };
        const glm::mat4 expected = glm::translate(glm::mat4(1), G(t.vTranslation[at(t.nT)])) *
                                   glm::mat4_cast(G(t.qRotation[at(t.nR)])) *
                                   glm::scale(glm::mat4(1), G(t.vScale[at(t.nS)]));
        const float* e = glm::value_ptr(expected);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(t.pLinkField->mLocal.m[r][c], e[r * 4 + c], 1e-4f);
    }
    // The thighs swing: a rotation key every frame of the second.
    for (uint32_t i = 0; i < walk->dwNumTracks; ++i) {
        if (std::strcmp(walk->pTracks[i].szName, "Bip01_L_Thigh") == 0) {
            EXPECT_EQ(walk->pTracks[i].nR, 31u);
        }
    }
}

} // namespace
