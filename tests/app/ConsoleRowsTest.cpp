// The console's row table: every row in the dispatcher's order with its kind,
// registered by its owner at start-up, reached by the dispatcher, and re-sent
// at world start and device reset only when it holds a setting.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "app/Console.h"
#include "app/ConsoleRows.h"
#include "app/Options.h"
#include "platform/os/Os.h"
#include "tests/TestDir.h"

namespace fs = std::filesystem;

namespace {

using K = ConsoleRowKind;

struct RowCase {
    const char* name;
    ConsoleRowKind kind;
};

// Every row, in the dispatcher's order.
const RowCase kRowCases[] = {
    {"credits", K::FloatSetting},
    {"Intro", K::Command},
    {"CombatMode", K::IntSetting},
    {"Teleport", K::Command},
    {"WipeOut", K::Command},
    {"Gimme", K::Command},
    {"Health", K::Command},
    {"SectorShow", K::Command},
    {"SectorHide", K::Command},
    {"SectorShowAll", K::Command},
    {"AODepth", K::FloatSetting},
    {"AOIntensity", K::FloatSetting},
    {"HDRTargetLuminance", K::FloatSetting},
    {"BloomCone", K::FloatSetting},
    {"BloomPower", K::FloatSetting},
    {"CutScene", K::Command},
    {"BezierCamera", K::Command},
    {"DeleteDead", K::Command},
    {"Action", K::Command},
    {"BronX", K::FloatSetting},
    {"BronY", K::FloatSetting},
    {"BronZ", K::FloatSetting},
    {"BronAX", K::FloatSetting},
    {"BronAY", K::FloatSetting},
    {"BronAZ", K::FloatSetting},
    {"BronRX", K::FloatSetting},
    {"BronRY", K::FloatSetting},
    {"BronRAX", K::FloatSetting},
    {"BronRAY", K::FloatSetting},
    {"FOV", K::FloatSetting},
    {"screenwidth", K::IntSetting},
    {"screenheight", K::IntSetting},
    {"runworld", K::Command},
    {"DrawFog", K::IntSetting},
    {"numconsolelines", K::IntSetting},
    {"farz", K::FloatSetting},
    {"fogfar", K::FloatSetting},
    {"fognear", K::FloatSetting},
    {"fogr", K::FloatSetting},
    {"fogg", K::FloatSetting},
    {"fogb", K::FloatSetting},
    {"Fog", K::Command},
    {"ambientr", K::FloatSetting},
    {"ambientg", K::FloatSetting},
    {"ambientb", K::FloatSetting},
    {"ambient", K::Command},
    {"skylightr", K::FloatSetting},
    {"skylightg", K::FloatSetting},
    {"skylightb", K::FloatSetting},
    {"SkyLight", K::Command},
    {"SkyLightRotation", K::FloatSetting},
    {"SkyLightPitch", K::FloatSetting},
    {"LensFlareRotation", K::FloatSetting},
    {"LensFlarePitch", K::FloatSetting},
    {"Gamma", K::FloatSetting},
    {"GammaR", K::FloatSetting},
    {"GammaG", K::FloatSetting},
    {"GammaB", K::FloatSetting},
};

// What the spy handler saw.
struct Seen {
    int calls = 0;
    std::string name, value;
    bool fromConfig = false;
};
Seen g_Seen;

bool Spy(EConsole&, const char* name, const char* value, bool fromConfig) {
    ++g_Seen.calls;
    g_Seen.name = name;
    g_Seen.value = value;
    g_Seen.fromConfig = fromConfig;
    return false;
}

class ConsoleRowTest : public ::testing::TestWithParam<size_t> {
  protected:
    void SetUp() override {
        saved_ = os::StartDirectory();
        root_ = FreshTestDir("zt_consrows_");
        os::SetStartDirectory(root_.string());
        console_ = std::make_unique<EConsole>();
        g_Seen = Seen();
    }
    void TearDown() override {
        console_.reset();
        os::SetStartDirectory(saved_);
        fs::remove_all(root_);
    }
    std::string saved_;
    fs::path root_;
    std::unique_ptr<EConsole> console_;
};

// Puts the spy in a row's place for one test and the owner's handler back.
class SpyOnRow {
  public:
    explicit SpyOnRow(const char* name) : name_(name), handler_(FindConsoleRow(name)->handler) {
        RegisterConsoleRow(name, &Spy);
    }
    ~SpyOnRow() { RegisterConsoleRow(name_, handler_); }

  private:
    const char* name_;
    ConsoleRowHandler handler_;
};

} // namespace

TEST(ConsoleRowTable, HoldsEveryRowInTheDispatchersOrder) {
    const auto rows = ConsoleRows();
    ASSERT_EQ(rows.size(), std::size(kRowCases));
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_STREQ(rows[i].name, kRowCases[i].name) << "row " << i;
}

TEST(ConsoleRowTable, AnUnknownNameCannotBeRegistered) {
    EXPECT_FALSE(RegisterConsoleRow("NoSuchRow", &Spy));
    EXPECT_EQ(FindConsoleRow("NoSuchRow"), nullptr);
}

TEST_P(ConsoleRowTest, HasItsKindAndItsOwnersHandler) {
    const RowCase& c = kRowCases[GetParam()];
    const ConsoleRow* row = FindConsoleRow(c.name);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->kind, c.kind);
    EXPECT_NE(row->handler, nullptr) << "no subsystem registered " << c.name;
}

TEST_P(ConsoleRowTest, TheDispatcherReachesItsHandler) {
    const RowCase& c = kRowCases[GetParam()];
    SpyOnRow spy(c.name);
    console_->SetVariable(c.name, "2.5 x", true);
    EXPECT_EQ(g_Seen.calls, 1);
    EXPECT_EQ(g_Seen.name, c.name);
    EXPECT_EQ(g_Seen.value, "2.5 x");
    EXPECT_TRUE(g_Seen.fromConfig);
    ASSERT_NE(console_->FindVariable(c.name), nullptr);
    // The three-number forms' entries are the placeholders, set to 0 after
    // every row.
    const bool placeholder =
        c.kind == K::Command && (std::strcmp(c.name, "Fog") == 0 || std::strcmp(c.name, "ambient") == 0 ||
                                 std::strcmp(c.name, "SkyLight") == 0);
    EXPECT_FLOAT_EQ(console_->FindVariable(c.name)->fValue, placeholder ? 0.0f : 2.5f);
}

// A setting comes back with its stored value read as its type; a command
// never runs again.
TEST_P(ConsoleRowTest, ReapplyResendsOnlySettingsWithTheirValueAndType) {
    const RowCase& c = kRowCases[GetParam()];
    SpyOnRow spy(c.name);
    console_->SetVariable(c.name, "2.5", true);
    g_Seen = Seen();
    console_->ReapplyVariables();
    switch (c.kind) {
    case K::Command:
        EXPECT_EQ(g_Seen.calls, 0);
        break;
    case K::IntSetting:
        EXPECT_EQ(g_Seen.calls, 1);
        EXPECT_EQ(g_Seen.value, "2");
        EXPECT_TRUE(g_Seen.fromConfig);
        break;
    case K::FloatSetting:
        EXPECT_EQ(g_Seen.calls, 1);
        EXPECT_EQ(g_Seen.value, "2.5");
        EXPECT_TRUE(g_Seen.fromConfig);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRow, ConsoleRowTest, ::testing::Range(size_t(0), std::size(kRowCases)),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return std::string(kRowCases[info.param].name);
                         });
