// The rigid-body block of a saved game: its layout, a body at rest brought
// back asleep with its snapshots, blocks that end early or hold no body that
// can move (the body stays as created), and the engine's object load going on
// past a block it cannot use.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "physics/CollisionMgr.h"
#include "tests/physics/RigidBodyFixture.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kBlock = ERigidBodySimulation::SAVE_BLOCK_SIZE;
constexpr size_t kSnapshots = 1 + ERigidBodyPhysics::SAVE_BLOCK_SIZE;
constexpr size_t kLastResult = kSnapshots + 4 * sizeof(RigidBodyState);

static_assert(kBlock == 5129 && kSnapshots == 3045 && kLastResult == 5125);

class RigidBodySaveTest : public RigidBodyWorldTest {
  protected:
    // A body in its slot, moved and spun, with a last result of 2.
    ERigidBodyPhysics* MovedBody(ObjectRecord* h) {
        ERigidBodyPhysics* b = Add(h);
        if (!b) return nullptr;
        b->Activate();
        RigidBodyState& s = b->m_State;
        s.x[0] = 40.0;
        s.x[1] = 12.5;
        s.q[0] = 0.3;
        s.P[2] = 6.0;
        s.L[1] = 1.5;
        ERigidBodyPhysics::SetNewState(&s);
        b->m_dAge = 4.25;
        RigidBodySlot* slot = SlotOf(h);
        for (int k = 0; k < 4; ++k)
            slot->Snapshots[k].x[1] = 100.0 + k;
        slot->dwLastResult = 2;
        return b;
    }
    static RigidBodySlot* SlotOf(ObjectRecord* h) {
        RigidBodySlot* s = nullptr;
        g_RigidBodySimulation.FindSlot(h, &s);
        return s;
    }
    static uint32_t SlotIndex(ObjectRecord* h) { return g_RigidBodySimulation.RefOf(SlotOf(h)) - 1; }

    std::vector<uint8_t> Block(ObjectRecord* h) {
        std::vector<uint8_t> block(kBlock);
        block.resize(g_RigidBodySimulation.WriteSaveBlock(h, block.data()));
        return block;
    }
    fs::path WriteFile(const std::vector<uint8_t>& bytes) {
        const fs::path file = dir_ / "block.bin";
        std::FILE* f = std::fopen(file.string().c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return file;
    }
};

TEST_F(RigidBodySaveTest, AMeshWithoutABodyWritesTheSingleByteZero) {
    ObjectRecord* none = Prop(0, 3.0f);
    ObjectRecord* notAdded = Prop(1, 3.0f);
    ASSERT_EQ(Add(none), nullptr);
    for (ObjectRecord* h : {none, notAdded}) {
        const fs::path file = dir_ / "none.bin";
        std::FILE* f = std::fopen(file.string().c_str(), "wb");
        g_RigidBodySimulation.SaveGame(h, f);
        g_RigidBodySimulation.SaveGame(nullptr, f); // nothing
        std::fclose(f);
        ASSERT_EQ(fs::file_size(file), 1u);
        EXPECT_EQ(Block(h), std::vector<uint8_t>{0});
        // Read back: the flag alone, nothing more taken from the stream.
        f = std::fopen(file.string().c_str(), "rb");
        EXPECT_TRUE(g_RigidBodySimulation.LoadGame(h, f));
        EXPECT_EQ(std::ftell(f), 1);
        std::fclose(f);
    }
}

TEST_F(RigidBodySaveTest, TheBlockHoldsBodySnapshotsAndLastResultAtTheirOffsets) {
    ObjectRecord* h = Prop(1, 3.0f);
    ERigidBodyPhysics* b = MovedBody(h);
    ASSERT_NE(b, nullptr);
    const std::vector<uint8_t> block = Block(h);
    ASSERT_EQ(block.size(), kBlock);
    EXPECT_EQ(block[0], 1);
    uint8_t body[ERigidBodyPhysics::SAVE_BLOCK_SIZE];
    b->WriteBlock(body);
    EXPECT_EQ(std::memcmp(&block[1], body, sizeof body), 0);
    for (int k = 0; k < 4; ++k) {
        double y;
        std::memcpy(&y, &block[kSnapshots + k * 520 + offsetof(RigidBodyState, x) + 8], 8);
        EXPECT_EQ(y, 100.0 + k) << k;
    }
    uint32_t result;
    std::memcpy(&result, &block[kLastResult], 4);
    EXPECT_EQ(result, 2u);
    // The same bytes through the stream.
    const fs::path file = dir_ / "body.bin";
    std::FILE* f = std::fopen(file.string().c_str(), "wb");
    g_RigidBodySimulation.SaveGame(h, f);
    std::fclose(f);
    std::vector<uint8_t> written(fs::file_size(file));
    f = std::fopen(file.string().c_str(), "rb");
    ASSERT_EQ(std::fread(written.data(), 1, written.size(), f), kBlock);
    std::fclose(f);
    EXPECT_EQ(written, block);
}

TEST_F(RigidBodySaveTest, ABodyAtRestComesBackAsleepWithItsFourEqualSnapshots) {
    ObjectRecord* h = Prop(1, 3.0f);
    ERigidBodyPhysics* b = MovedBody(h);
    ASSERT_NE(b, nullptr);
    g_RigidBodySimulation.PutBodyToRest(SlotIndex(h));
    ASSERT_EQ(b->m_bActive, 0);
    const RigidBodyState rest = b->m_State;
    EXPECT_EQ(rest.P[2], 0.0); // stopped
    const fs::path file = WriteFile(Block(h));

    // The engine's load: a fresh body at the object's pose, then the block.
    RemoveObjectRigidBody(h);
    SetObjectPosition(h, {-300, 0, 0});
    b = Add(h);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->m_dSleepCountdown, 0.0);
    std::FILE* f = std::fopen(file.string().c_str(), "rb");
    EXPECT_TRUE(g_RigidBodySimulation.LoadGame(h, f));
    std::fclose(f);

    EXPECT_EQ(b->m_bActive, 0);
    EXPECT_EQ(b->m_bInUse, 1);
    EXPECT_EQ(std::memcmp(&b->m_State, &rest, sizeof rest), 0);
    const RigidBodySlot* slot = SlotOf(h);
    for (const RigidBodyState& s : slot->Snapshots)
        EXPECT_EQ(std::memcmp(&s, &rest, sizeof rest), 0);
    EXPECT_EQ(slot->dwLastResult, 2u);
    EXPECT_EQ(b->m_dSleepCountdown, 0.0); // not in the block: the fresh body's
    EXPECT_EQ(b->m_dAge, 4.25);
    // The visible and construction objects stand at the loaded pose.
    EXPECT_FLOAT_EQ(h->vPosition.x, 40.0f);
    EXPECT_FLOAT_EQ(b->m_hConstructionObj->vPosition.y, 12.5f);
    EXPECT_EQ(b->m_pFinder, nullptr); // made again at the next gathering
}

// A block the reader refuses, made from a good one.
struct DamagedCase {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* line;
};

void PutDouble(std::vector<uint8_t>& b, size_t at, double v) {
    std::memcpy(&b[at], &v, sizeof v);
}

const size_t kStateX = 1 + 1 + offsetof(RigidBodyState, x);
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

const DamagedCase kDamaged[] = {
    {"Empty", [](auto& b) { b.clear(); }, "cut at 0 of 5129 bytes"},
    {"FlagAlone", [](auto& b) { b.resize(1); }, "cut at 1 of 5129 bytes"},
    {"CutInsideTheBody", [](auto& b) { b.resize(1000); }, "cut at 1000 of 5129 bytes"},
    {"CutInsideASnapshot", [](auto& b) { b.resize(4000); }, "cut at 4000 of 5129 bytes"},
    {"CutInsideTheLastResult", [](auto& b) { b.resize(kBlock - 1); }, "cut at 5128 of 5129 bytes"},
    {"FlagTwo", [](auto& b) { b[0] = 2; }, "has the flag 2"},
    {"NotInUse", [](auto& b) { b[1] = 0; }, "cannot move, not loaded"},
    {"PositionNaN", [](auto& b) { PutDouble(b, kStateX + 8, kNaN); }, "cannot move, not loaded"},
    {"MassZero", [](auto& b) { PutDouble(b, 1 + 1 + offsetof(RigidBodyState, mass), 0.0); },
     "cannot move, not loaded"},
    {"AgeInfinite", [](auto& b) { PutDouble(b, 1 + 522, kInf); }, "cannot move, not loaded"},
    {"GatheredBoxNaN",
     [](auto& b) {
         const float nan = std::numeric_limits<float>::quiet_NaN();
         std::memcpy(&b[1 + 3008 + 4], &nan, 4);
     },
     "cannot move, not loaded"},
    {"FrictionNaN",
     [](auto& b) {
         const float nan = std::numeric_limits<float>::quiet_NaN();
         std::memcpy(&b[1 + 534 + offsetof(RigidBodyPhysicsParams, fFrictionCoef)], &nan, 4);
     },
     "cannot move, not loaded"},
    {"LastSnapshotInfinite", [](auto& b) { PutDouble(b, kSnapshots + 3 * 520 + 8 * 20, -kInf); },
     "cannot move, not loaded"},
    {"ResultThree",
     [](auto& b) {
         const uint32_t three = 3;
         std::memcpy(&b[kLastResult], &three, 4);
     },
     "cannot move, not loaded"},
};

class DamagedBlockTest : public RigidBodySaveTest, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedBlockTest, LeavesTheBodyAsCreatedAndSaysSo) {
    ObjectRecord* h = Prop(1, 3.0f);
    ERigidBodyPhysics* b = MovedBody(h);
    ASSERT_NE(b, nullptr);
    std::vector<uint8_t> block = Block(h);
    // The object now has a fresh body, which the block would overwrite.
    RemoveObjectRigidBody(h);
    b = Add(h);
    ASSERT_NE(b, nullptr);
    const RigidBodyState before = b->m_State;
    const RigidBodySlot slotBefore = *SlotOf(h);
    Finder* finder = b->m_pFinder;
    ASSERT_NE(finder, nullptr);
    GetParam().damage(block);

    MarkConsole();
    EXPECT_FALSE(g_RigidBodySimulation.ReadSaveBlock(h, block.data(), block.size()));
    EXPECT_TRUE(Printed(GetParam().line));
    EXPECT_TRUE(Printed("ERROR: rigid body of <prop> "));
    EXPECT_EQ(std::memcmp(&b->m_State, &before, sizeof before), 0);
    EXPECT_EQ(std::memcmp(SlotOf(h)->Snapshots, slotBefore.Snapshots, sizeof slotBefore.Snapshots), 0);
    EXPECT_EQ(SlotOf(h)->dwLastResult, 0u);
    EXPECT_EQ(b->m_bInUse, 1);
    EXPECT_EQ(b->m_pFinder, finder);
    EXPECT_FLOAT_EQ(h->vPosition.x, 0.0f);

    // Through the stream, a block framed shorter than it is reads no further
    // than its frame.
    const fs::path file = WriteFile(block);
    std::FILE* f = std::fopen(file.string().c_str(), "rb");
    EXPECT_FALSE(g_RigidBodySimulation.LoadGame(h, f, block.size()));
    EXPECT_LE(std::ftell(f), long(block.size()));
    std::fclose(f);
    EXPECT_EQ(std::memcmp(&b->m_State, &before, sizeof before), 0);
}

INSTANTIATE_TEST_SUITE_P(Blocks, DamagedBlockTest, ::testing::ValuesIn(kDamaged),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RigidBodySaveTest, ABlockForAnObjectWithoutABodyIsSkippedWhole) {
    ObjectRecord* saved = Prop(1, 3.0f);
    ASSERT_NE(MovedBody(saved), nullptr);
    std::vector<uint8_t> bytes = Block(saved);
    bytes.push_back(0xA5); // what the stream holds next
    const fs::path file = WriteFile(bytes);
    ObjectRecord* h = Prop(0, 3.0f);
    SetObjectName(h, "shelf");
    ASSERT_EQ(Add(h), nullptr);

    MarkConsole();
    std::FILE* f = std::fopen(file.string().c_str(), "rb");
    EXPECT_TRUE(g_RigidBodySimulation.LoadGame(h, f));
    EXPECT_EQ(std::fgetc(f), 0xA5);
    std::fclose(f);
    EXPECT_TRUE(PrintedLine("ERROR in ERigidBodySimulation::LoadGame()"));
    EXPECT_TRUE(PrintedLine("obiekt <shelf> ma zapisana fizyke i musze ja odczytac, ale"));
    EXPECT_TRUE(PrintedLine("fizyka dla niego nie jest zainicjowana i"));
    EXPECT_TRUE(PrintedLine("nie mam dokad zapisac tych parametrow!"));
    EXPECT_EQ(BodyOf(h), nullptr);
}

// ---- Through the engine's object save ------------------------------------------------------

class RigidBodyWorldSaveTest : public RigidBodySaveTest {
  protected:
    ObjectRecord* WorldProp(const char* name, uint32_t pesel, const math::Vec3& at) {
        ObjectRecord* h = Prop(1, 3.0f);
        SetObjectName(h, name);
        SetObjectPosition(h, at);
        h->bWorldObject = 1;
        h->Pesel = PESEL{pesel, pesel, pesel};
        return h;
    }
    std::string SavePath() const { return (dir_ / "objects.sav").string(); }
    void SaveWorld() {
        std::FILE* f = std::fopen(SavePath().c_str(), "wb");
        g_Engine.Save(f);
        std::fclose(f);
    }
    void LoadSave() {
        std::FILE* f = std::fopen(SavePath().c_str(), "rb");
        g_Engine.Load(f);
        std::fclose(f);
    }
};

TEST_F(RigidBodyWorldSaveTest, AnObjectNowOfShapeZeroSkipsItsBlockAndTheNextObjectLoads) {
    ObjectRecord* shelf = WorldProp("shelf", 1, {0, 0, 0});
    ObjectRecord* crate = WorldProp("crate", 2, {100, 0, 0});
    ASSERT_NE(Add(shelf), nullptr);
    ERigidBodyPhysics* b = MovedBody(crate);
    ASSERT_NE(b, nullptr);
    const RigidBodyState moved = b->m_State;
    // The shelf's settings lose their shape while its body lives on.
    RigidBodyPhysicsParams p;
    GetObjectRigidBodyPhysicsParams(shelf, &p);
    p.iShape = 0;
    SetObjectRigidBodyPhysicsParams(shelf, p);
    SaveWorld();

    b->m_State.x[0] = -1.0;
    MarkConsole();
    LoadSave();
    EXPECT_TRUE(PrintedLine("obiekt <shelf> ma zapisana fizyke i musze ja odczytac, ale"));
    EXPECT_TRUE(PrintedLine("nie mam dokad zapisac tych parametrow!"));
    EXPECT_EQ(BodyOf(shelf), nullptr);
    ERigidBodyPhysics* loaded = BodyOf(crate);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(std::memcmp(&loaded->m_State, &moved, sizeof moved), 0);
    EXPECT_EQ(SlotOf(crate)->Snapshots[3].x[1], 103.0);
    EXPECT_FLOAT_EQ(crate->vPosition.x, 40.0f);
}

TEST_F(RigidBodyWorldSaveTest, ABlockFramedShortKeepsTheFreshBodyAndTheNextObjectLoads) {
    ObjectRecord* shelf = WorldProp("shelf", 1, {0, 0, 0});
    ObjectRecord* crate = WorldProp("crate", 2, {100, 0, 0});
    ASSERT_NE(MovedBody(shelf), nullptr);
    ERigidBodyPhysics* b = MovedBody(crate);
    ASSERT_NE(b, nullptr);
    const RigidBodyState moved = b->m_State;
    SaveWorld();

    // The shelf's entry (the first) with its rigid-body frame cut to 100 bytes.
    std::vector<uint8_t> bytes(fs::file_size(SavePath()));
    std::FILE* f = std::fopen(SavePath().c_str(), "rb");
    ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    const size_t frame = 1 + ObjectRecord::IMAGE_SIZE + 4 + 116 + 12 + 5 + RigidBodyPhysicsParams::IMAGE_SIZE;
    uint32_t length;
    std::memcpy(&length, &bytes[frame], 4);
    ASSERT_EQ(length, kBlock);
    const uint32_t cut = 100;
    std::memcpy(&bytes[frame], &cut, 4);
    bytes.erase(bytes.begin() + long(frame + 4 + cut), bytes.begin() + long(frame + 4 + kBlock));
    f = std::fopen(SavePath().c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);

    SetObjectPosition(shelf, {0, 0, 0});
    MarkConsole();
    LoadSave();
    EXPECT_TRUE(Printed("ERROR: rigid body of <shelf> cut at 100 of 5129 bytes"));
    EXPECT_TRUE(PrintedLine("Engine.Load: shelf keeps its body as created"));
    ERigidBodyPhysics* fresh = BodyOf(shelf);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->m_State.x[0], 0.0); // at the object's pose, not half-read
    EXPECT_EQ(fresh->m_bActive, 0);
    ERigidBodyPhysics* loaded = BodyOf(crate);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(std::memcmp(&loaded->m_State, &moved, sizeof moved), 0);
}

} // namespace
