// The behaviour layer's save block at its byte offsets, a damaged block
// refused whole, the world hooks, and a world saved in the middle of its
// actions that carries on after a load exactly as it would have.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <string>
#include <vector>

#include "BehaviourFixture.h"
#include "app/FileHelpers.h"
#include "platform/os/Os.h"
#include "sound/SoundMgr.h"

namespace {

class BehaviourSaveTest : public BehaviourTest {
  protected:
    void SetUp() override {
        BehaviourTest::SetUp();
        std::filesystem::create_directories(dir_ / "sounds");
        std::filesystem::copy_file(std::filesystem::path(ZT_SOURCE_DIR) / "data" / "sounds" /
                                       "ambient_wind.wav",
                                   dir_ / "sounds" / "wind.wav");
        g_SoundMgr.SetBackend(audio::Backend::Silent);
        ASSERT_TRUE(g_SoundMgr.Init());
    }
    void TearDown() override {
        g_EngineObject.OnWorldClose();
        g_SoundMgr.Release();
        g_SoundMgr.SetBackend(audio::Backend::Auto);
        BehaviourTest::TearDown();
    }

    static std::vector<uint8_t> SaveBlock() {
        std::FILE* f = std::tmpfile();
        g_EngineObject.Save(f);
        std::vector<uint8_t> bytes(size_t(std::ftell(f)));
        std::rewind(f);
        if (!bytes.empty()) {
            EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
        }
        std::fclose(f);
        return bytes;
    }
    static void LoadBlock(const std::vector<uint8_t>& bytes) {
        std::FILE* f = std::tmpfile();
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::rewind(f);
        g_EngineObject.Load(f);
        std::fclose(f);
    }
    static std::vector<uint8_t> Block(const std::string& next, const std::string& current, float target,
                                      float volume) {
        std::vector<uint8_t> b;
        auto u32 = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                b.push_back(uint8_t(v >> (8 * i)));
        };
        auto str = [&](const std::string& s) {
            u32(uint32_t(s.size()));
            b.insert(b.end(), s.begin(), s.end());
        };
        str(next);
        str(current);
        u32(std::bit_cast<uint32_t>(target));
        u32(std::bit_cast<uint32_t>(volume));
        return b;
    }
    static int LiveSounds() {
        int n = 0;
        for (strSound* s = g_SoundMgr.FirstSound(); s; s = s->pNext)
            ++n;
        return n;
    }
};

TEST_F(BehaviourSaveTest, ASilentLayerSavesSixteenBytes) {
    g_EngineObject.m_fAmbientTargetVolume = 0.25f;
    g_EngineObject.m_fAmbientVolume = 0.125f;
    EXPECT_EQ(SaveBlock(), Block("", "", 0.25f, 0.125f));
    EXPECT_EQ(SaveBlock().size(), 16u);
}

TEST_F(BehaviourSaveTest, TheNamesComeFirstAsCountedStrings) {
    std::strcpy(g_EngineObject.m_szNextAmbientSound, "sounds\\rain.wav");
    std::strcpy(g_EngineObject.m_szAmbientSound, "sounds\\wind.wav");
    g_EngineObject.m_fAmbientTargetVolume = 0.7f;
    g_EngineObject.m_fAmbientVolume = 0.35f;
    EXPECT_EQ(SaveBlock(), Block("sounds\\rain.wav", "sounds\\wind.wav", 0.7f, 0.35f));
    EXPECT_TRUE(g_SoundMgr.Device());
    g_EngineObject.Save(nullptr); // nothing
    g_EngineObject.Load(nullptr);
}

TEST_F(BehaviourSaveTest, LoadingRestartsTheCurrentSoundAtItsSavedVolume) {
    g_EngineObject.m_pLastShaker = Make(OT_LIGHT, {}, "shaker");
    LoadBlock(Block("sounds\\next.wav", "sounds\\wind.wav", 0.6f, 0.2f));
    EXPECT_EQ(g_EngineObject.m_pLastShaker, nullptr);
    EXPECT_STREQ(g_EngineObject.m_szNextAmbientSound, "sounds\\next.wav");
    EXPECT_STREQ(g_EngineObject.m_szAmbientSound, "sounds\\wind.wav");
    EXPECT_FLOAT_EQ(g_EngineObject.m_fAmbientTargetVolume, 0.6f);
    EXPECT_FLOAT_EQ(g_EngineObject.m_fAmbientVolume, 0.2f);
    ASSERT_TRUE(g_EngineObject.m_pAmbientSound);
    EXPECT_FLOAT_EQ(g_EngineObject.m_pAmbientSound->fVolume, 0.2f); // the current volume, not the target
    EXPECT_TRUE(g_EngineObject.m_pAmbientSound->bLoop);
}

TEST_F(BehaviourSaveTest, LoadingAnEmptyCurrentNameDropsThePlayingSound) {
    LoadBlock(Block("", "sounds\\wind.wav", 0.6f, 0.2f));
    ASSERT_TRUE(g_EngineObject.m_pAmbientSound);
    EXPECT_EQ(LiveSounds(), 1);
    LoadBlock(Block("", "", 0.0f, 0.0f));
    EXPECT_EQ(g_EngineObject.m_pAmbientSound, nullptr);
    EXPECT_EQ(LiveSounds(), 0);
}

TEST_F(BehaviourSaveTest, EveryTruncationOfABlockIsRefusedWhole) {
    const std::vector<uint8_t> whole = Block("sounds\\next.wav", "sounds\\wind.wav", 0.6f, 0.2f);
    for (size_t n = 0; n < whole.size(); ++n) {
        std::strcpy(g_EngineObject.m_szAmbientSound, "sounds\\old.wav");
        g_EngineObject.m_fAmbientVolume = 0.5f;
        MarkConsole();
        LoadBlock(std::vector<uint8_t>(whole.begin(), whole.begin() + long(n)));
        EXPECT_TRUE(Printed("the behaviour block is damaged")) << n;
        EXPECT_STREQ(g_EngineObject.m_szAmbientSound, "") << n;
        EXPECT_STREQ(g_EngineObject.m_szNextAmbientSound, "") << n;
        EXPECT_EQ(g_EngineObject.m_fAmbientVolume, 0.0f) << n;
        EXPECT_EQ(g_EngineObject.m_pAmbientSound, nullptr) << n;
    }
}

TEST_F(BehaviourSaveTest, FuzzedBlocksAreTakenWholeOrRefused) {
    const std::vector<uint8_t> whole = Block("sounds\\next.wav", "sounds\\wind.wav", 0.6f, 0.2f);
    os::Srand(1234);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> b = whole;
        const int flips = 1 + os::Rand() % 4;
        for (int i = 0; i < flips; ++i)
            b[size_t(os::Rand()) % b.size()] = uint8_t(os::Rand());
        LoadBlock(b);
        // Whatever came in fits the fields and is terminated.
        EXPECT_LT(std::strlen(g_EngineObject.m_szAmbientSound), size_t(EEngineObject::AMBIENT_NAME_LEN));
        EXPECT_LT(std::strlen(g_EngineObject.m_szNextAmbientSound), size_t(EEngineObject::AMBIENT_NAME_LEN));
    }
    // A length that claims more than the field holds is refused.
    std::vector<uint8_t> huge = whole;
    huge[0] = 0xFF;
    huge[1] = 0xFF;
    MarkConsole();
    LoadBlock(huge);
    EXPECT_TRUE(Printed("the behaviour block is damaged"));
}

TEST_F(BehaviourSaveTest, TheWorldHooksResetTheLayerAndItsFinder) {
    g_EngineObject.m_pLastShaker = Make(OT_LIGHT, {}, "shaker");
    g_EngineObject.m_fAmbientVolume = 0.4f;
    std::strcpy(g_EngineObject.m_szNextAmbientSound, "sounds\\wind.wav");
    g_EngineObject.SetDirectionPointer("shaker");
    g_EngineObject.m_bCameraPositioning = true;
    g_EngineObject.m_fCameraBlend = 0.5f;
    g_EngineObject.OnWorldOpen();
    EXPECT_EQ(g_EngineObject.m_pLastShaker, nullptr);
    EXPECT_NE(g_EngineObject.m_pCameraFinder, nullptr);
    EXPECT_FLOAT_EQ(g_EngineObject.m_fFinderRange, 10000.0f);
    EXPECT_FLOAT_EQ(g_EngineObject.m_fFinderAngle, 1.5707964f);
    EXPECT_EQ(g_EngineObject.m_vFinderPosition, math::Vec3(1, 0, 0));
    EXPECT_EQ(g_EngineObject.m_fAmbientVolume, 0.0f);
    EXPECT_STREQ(g_EngineObject.m_szNextAmbientSound, "");
    EXPECT_EQ(g_EngineObject.m_hDirectionPointer, nullptr);
    EXPECT_FALSE(g_EngineObject.m_bCameraPositioning);
    EXPECT_EQ(g_EngineObject.m_fCameraBlend, 0.0f);
    EXPECT_FLOAT_EQ(CurrentFOV, FOV);

    LoadBlock(Block("", "sounds\\wind.wav", 0.6f, 0.2f));
    ASSERT_TRUE(g_EngineObject.m_pAmbientSound);
    g_EngineObject.OnWorldClose();
    EXPECT_EQ(g_EngineObject.m_pAmbientSound, nullptr);
    EXPECT_STREQ(g_EngineObject.m_szAmbientSound, "");
    EXPECT_EQ(g_EngineObject.m_pCameraFinder, nullptr);
    EXPECT_EQ(LiveSounds(), 0);
}

// ---- A world saved in the middle of its actions ----------------------------------------------------

class MidActionSaveTest : public BehaviourSaveTest {
  protected:
    struct Snapshot {
        std::vector<float> values;
        bool operator==(const Snapshot&) const = default;
    };

    void BuildWorld() {
        lift_ = World(Make(OT_MESH, {0, 0, 0}, "lift"));
        auto lift = NewAction();
        lift->fMoving2 = 1;
        lift->fMoving4 = 40;
        lift->fMoving5 = 200;
        lift->fRotation1 = 1.5f;
        lift->fRotation4 = 0.2f;
        lift->fRotationAcceleration = 0.3f;
        std::strcpy(lift->szGiveActionToMesh, "bell");
        lift->fGiveActionToDelay = 3.0f;
        SetObjectAction(lift_, *lift);

        door_ = World(Make(OT_MESH, {400, 0, 0}, "door"));
        auto door = NewAction();
        door->dwDoor1 = 1;
        door->dwDoor2 = 0;
        door->fDoor3 = 90;
        door->fDoor4 = 30;
        door->dwKnobGeneral1 = 1;
        door->fKnobGeneral2 = 40;
        door->fKnobGeneral3 = 80;
        SetObjectAction(door_, *door);

        bell_ = World(Make(OT_LIGHT, {0, 0, 900}, "bell"));
        SetObjectAction(bell_, *NewAction());

        bomb_ = World(Make(OT_MESH, {-400, 0, 0}, "bomb"));
        SetObjectDeathParams(bomb_, *NewDeath());

        spawner_ = World(Make(OT_LIGHT, {0, 0, -900}, "spawner"));
        auto spawn = NewAction();
        std::strcpy(spawn->szRespawnCharacterName, "grunt");
        spawn->fRespawnParams1 = 2.0f;
        spawn->iRespawnParams2 = 5;
        SetObjectAction(spawner_, *spawn);

        SetPlayer({5000, 0, 5000});
        g_EngineObject.RunAction(lift_, false);
        g_EngineObject.RunAction(door_, false);
        g_EngineObject.RunAction(spawner_, false);
        bomb_->fDeathCountdown = 4.0f;
        g_EngineObject.SetAmbientSound("sounds\\wind.wav", 0.5f);
    }
    static ObjectRecord* World(ObjectRecord* h) {
        h->bWorldObject = 1;
        return h;
    }
    static void KillCharacters() {
        for (strpostac& p : g_PostacMgr.m_Postacie)
            if (p.bUsed) p.bDead = true;
    }
    // Frames with the characters killed as soon as they come back.
    static void Run(int frames) {
        for (int i = 0; i < frames; ++i) {
            KillCharacters();
            Frame(0.1f);
        }
    }
    Snapshot Take() const {
        Snapshot s;
        for (const ObjectRecord* h : {lift_, door_, bell_, bomb_, spawner_}) {
            s.values.insert(s.values.end(), {h->vPosition.x,
                                             h->vPosition.y,
                                             h->vPosition.z,
                                             h->Orientation.quaternion.x,
                                             h->Orientation.quaternion.y,
                                             h->Orientation.quaternion.z,
                                             h->Orientation.quaternion.w,
                                             float(h->bInMotion),
                                             float(h->bAtDestination),
                                             float(h->bHasRun),
                                             float(h->bPassOnPending),
                                             h->fPassOnTimer,
                                             h->fTimeSinceFired,
                                             float(h->bKnobPhase),
                                             h->fKnobAngle,
                                             h->fDoorTarget,
                                             float(h->bDying),
                                             h->fDeathCountdown,
                                             float(h->iRespawnCount),
                                             h->fRespawnTimer});
            s.values.insert(s.values.end(), std::begin(h->fRun1264), std::end(h->fRun1264));
        }
        s.values.push_back(g_EngineObject.m_fAmbientVolume);
        s.values.push_back(g_EngineObject.m_fAmbientTargetVolume);
        return s;
    }

    ObjectRecord* lift_ = nullptr;
    ObjectRecord* door_ = nullptr;
    ObjectRecord* bell_ = nullptr;
    ObjectRecord* bomb_ = nullptr;
    ObjectRecord* spawner_ = nullptr;
};

TEST_F(MidActionSaveTest, ALoadedWorldCarriesOnAsTheSavedOneWould) {
    BuildWorld();
    Run(12); // the lift and the door half way, the bell's pass-on waiting, the bomb ticking
    ASSERT_TRUE(lift_->bInMotion);
    ASSERT_TRUE(lift_->bPassOnPending);
    ASSERT_TRUE(door_->bInMotion);
    ASSERT_FALSE(bomb_->bDying);
    ASSERT_GE(spawner_->iRespawnCount, 1);
    const Snapshot saved = Take();

    std::FILE* f = std::tmpfile();
    g_Engine.Save(f);
    g_EngineObject.Save(f);

    Run(40);
    const Snapshot expected = Take();
    ASSERT_NE(expected, saved);
    EXPECT_TRUE(bomb_->bDying);
    EXPECT_TRUE(bell_->bHasRun);

    std::rewind(f);
    g_Engine.Load(f);
    g_EngineObject.Load(f);
    std::fclose(f);
    EXPECT_EQ(Take(), saved);
    for (strpostac& p : g_PostacMgr.m_Postacie)
        p = strpostac{};
    bell_->bHasRun = 0;

    Run(40);
    EXPECT_EQ(Take(), expected);
    EXPECT_TRUE(bomb_->bDying);
    EXPECT_TRUE(bell_->bHasRun);
}

TEST_F(MidActionSaveTest, ADeadObjectStaysDeadAcrossALoad) {
    BuildWorld();
    g_EngineObject.HandleDeath(bomb_, nullptr, nullptr);
    std::FILE* f = std::tmpfile();
    g_Engine.Save(f);
    g_EngineObject.Save(f);
    bomb_->bDying = 0;
    std::rewind(f);
    g_Engine.Load(f);
    g_EngineObject.Load(f);
    std::fclose(f);
    EXPECT_TRUE(bomb_->bDying);
}

} // namespace
