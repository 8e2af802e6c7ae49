// Radio sources: the definition files and their limits, and playing radios
// on objects through the sound manager (silent back-end).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/Options.h"
#include "game/MainGame.h"
#include "game/Panel.h"
#include "sound/RadioMgr.h"
#include "sound/SoundMgr.h"
#include "tests/sound/SoundTestUtil.h"
#include "world/Engine.h"
#include "world/ObjectAction.h"
#include "world/ObjectRecord.h"

using namespace soundtest;

namespace {

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

int CountSounds() {
    int n = 0;
    for (strSound* s = g_SoundMgr.FirstSound(); s; s = s->pNext)
        ++n;
    return n;
}

struct Track {
    const char* file;
    bool loop;
    float range, volume;
};

struct Definition {
    std::string name;
    std::vector<Track> tracks;
};

// The definitions in list order.
std::vector<const RadioDefinition*> Listed() {
    std::vector<const RadioDefinition*> out;
    for (const RadioDefinition* r = g_RadioMgr.FirstRadio(); r; r = r->pNext)
        out.push_back(r);
    return out;
}

} // namespace

class RadioTest : public TempDataDir {
  protected:
    void SetUp() override {
        TempDataDir::SetUp();
        sound = true;
        WideScreen = false;
        g_Panel.m_bSoftLetterbox = false;
        g_Engine.m_bFastForward = 0;
        g_MainGame.m_iLevelFrame = 1000;
        WriteFile(root_ / "sounds" / "a.wav", Wave16(1, 44100 * 3));
        WriteFile(root_ / "sounds" / "b.wav", Wave16(1, 44100 * 3));
        WriteFile(root_ / "sounds" / "c.wav", Wave16(1, 44100 * 3));
        g_SoundMgr.SetBackend(audio::Backend::Silent);
        ASSERT_TRUE(g_SoundMgr.Init());
        TakeLog();
    }
    void TearDown() override {
        g_RadioMgr.Clear();
        g_SoundMgr.Release();
        g_SoundMgr.SetBackend(audio::Backend::Auto);
        TempDataDir::TearDown();
    }
    void WriteRadio(const std::string& name, const std::string& text) {
        WriteFile(root_ / "scripts" / "radio" / name, Text(text));
    }
    // A light-type object (no mesh) at a position, naming a radio.
    ObjectRecord* Object(const char* name, const char* radio, math::Vec3 position = {}) {
        auto h = std::make_unique<ObjectRecord>();
        h->dwType = OT_LIGHT;
        h->vPosition = position;
        std::strncpy(h->szName, name, sizeof h->szName - 1);
        if (radio) {
            auto a = std::make_unique<ObjectAction>();
            std::strncpy(a->szRadioRadio, radio, sizeof a->szRadioRadio - 1);
            h->pAction = a.get();
            actions_.push_back(std::move(a));
        }
        objects_.push_back(std::move(h));
        return objects_.back().get();
    }
    int PlayingSlots() {
        int n = 0;
        for (uint32_t i = 0; i < RadioMgr::MAX_PLAYING; ++i)
            n += g_RadioMgr.Slot(i).bPlaying;
        return n;
    }
    const RadioSlot* SlotOf(ObjectRecord* h) {
        for (uint32_t i = 0; i < RadioMgr::MAX_PLAYING; ++i)
            if (g_RadioMgr.Slot(i).bPlaying && g_RadioMgr.Slot(i).hObject == h) return &g_RadioMgr.Slot(i);
        return nullptr;
    }

    std::vector<std::unique_ptr<ObjectRecord>> objects_;
    std::vector<std::unique_ptr<ObjectAction>> actions_;
};

// ---- Definition files ------------------------------------------------------------

TEST_F(RadioTest, DefinitionFilesAndTheirLimits) {
    const std::string longName(70, 'n');
    struct Case {
        const char* what;
        std::string text;
        std::vector<Definition> expected; // in list order: the last defined first
    } cases[] = {
        {"defaults", "radio one\ntrack sounds\\a.wav\n", {{"one", {{"sounds\\a.wav", false, 640.0f, 1.0f}}}}},
        {"settings follow the last track",
         "RADIO Mixed Case\nTrack sounds\\a.wav\nrange 1200.5\nLOOP\ntrack sounds\\b.wav\nvolume 0.25\n",
         {{"Mixed Case", {{"sounds\\a.wav", true, 1200.5f, 1.0f}, {"sounds\\b.wav", false, 640.0f, 0.25f}}}}},
        {"settings before the first track are ignored",
         "range 5\nradio r\nvolume 0.5\nloop\nrange 99\ntrack sounds\\a.wav\n",
         {{"r", {{"sounds\\a.wav", false, 640.0f, 1.0f}}}}},
        {"tracks before any radio are ignored", "track sounds\\a.wav\nradio r\n", {{"r", {}}}},
        {"a ninth track is ignored and its settings change the eighth",
         "radio full\ntrack t1\ntrack t2\ntrack t3\ntrack t4\ntrack t5\ntrack t6\ntrack t7\ntrack t8\n"
         "track t9\nrange 77\nloop\nvolume 0.5\n",
         {{"full",
           {{"t1", false, 640, 1},
            {"t2", false, 640, 1},
            {"t3", false, 640, 1},
            {"t4", false, 640, 1},
            {"t5", false, 640, 1},
            {"t6", false, 640, 1},
            {"t7", false, 640, 1},
            {"t8", true, 77, 0.5f}}}}},
        {"a long name is cut to 63 characters",
         "radio " + longName + "\ntrack x\n",
         {{longName.substr(0, 63), {{"x", false, 640, 1}}}}},
        {"several definitions, newest first; other lines ignored",
         "; a comment\nradio first\ntrack a\nsomething else\n\nradio second\ntrack b\nloop\n",
         {{"second", {{"b", true, 640, 1}}}, {"first", {{"a", false, 640, 1}}}}},
        {"CR LF line ends and a number with trailing text",
         "radio crlf\r\ntrack a\r\nrange 300 units\r\n",
         {{"crlf", {{"a", false, 300, 1}}}}},
    };
    for (const Case& c : cases) {
        g_RadioMgr.Clear();
        WriteRadio("case.txt", c.text);
        ASSERT_TRUE(g_RadioMgr.LoadRadioFile("scripts\\radio\\case.txt")) << c.what;
        const std::vector<const RadioDefinition*> got = Listed();
        ASSERT_EQ(got.size(), c.expected.size()) << c.what;
        for (size_t i = 0; i < got.size(); ++i) {
            const Definition& e = c.expected[i];
            EXPECT_EQ(got[i]->szName, e.name) << c.what;
            ASSERT_EQ(got[i]->dwNumTracks, e.tracks.size()) << c.what;
            for (size_t t = 0; t < e.tracks.size(); ++t) {
                EXPECT_STREQ(got[i]->szTracks[t], e.tracks[t].file) << c.what << " " << t;
                EXPECT_EQ(got[i]->bLoop[t] != 0, e.tracks[t].loop) << c.what << " " << t;
                EXPECT_FLOAT_EQ(got[i]->fRange[t], e.tracks[t].range) << c.what << " " << t;
                EXPECT_FLOAT_EQ(got[i]->fVolume[t], e.tracks[t].volume) << c.what << " " << t;
            }
        }
    }
}

TEST_F(RadioTest, LoadingReadsEveryTextFileOfTheFolder) {
    WriteRadio("b.txt", "radio from_b\n");
    WriteRadio("a.TXT", "radio from_a\n");
    WriteRadio(".hidden.txt", "radio hidden\n");
    WriteRadio("notes.ini", "radio ini\n");
    std::filesystem::create_directories(root_ / "scripts" / "radio" / "folder.txt");
    LoadRadios();
    std::vector<std::string> names;
    for (const RadioDefinition* r : Listed())
        names.push_back(r->szName);
    // Files in name order, each new definition at the head.
    EXPECT_EQ(names, (std::vector<std::string>{"from_b", "from_a"}));
    EXPECT_EQ(TakeLog(), "");

    EXPECT_FALSE(g_RadioMgr.LoadRadioFile("scripts\\radio\\missing.txt"));
    EXPECT_EQ(TakeLog(), "Failed to open \"scripts\\radio\\missing.txt\"\n");
}

TEST_F(RadioTest, FindRadioTakesTheFirstInListOrder) {
    WriteRadio("r.txt", "radio Twin\ntrack old\nradio other\nradio TWIN\ntrack new\n");
    g_RadioMgr.Init();
    ASSERT_NE(g_RadioMgr.FindRadio("twin"), nullptr);
    EXPECT_STREQ(g_RadioMgr.FindRadio("twin")->szTracks[0], "new");
    EXPECT_STREQ(g_RadioMgr.FindRadio("OTHER")->szName, "other");
    EXPECT_EQ(g_RadioMgr.FindRadio("none"), nullptr);
    EXPECT_EQ(g_RadioMgr.FindRadio(""), nullptr);
    EXPECT_EQ(g_RadioMgr.FindRadio(nullptr), nullptr);
    g_RadioMgr.Clear();
    EXPECT_EQ(g_RadioMgr.FirstRadio(), nullptr);
}

// ---- Playing ------------------------------------------------------------------------

TEST_F(RadioTest, PlayRadioStartsTheFirstTrackAtTheObject) {
    WriteRadio("r.txt", "radio r\ntrack sounds\\a.wav\nrange 900\nvolume 0.5\nloop\ntrack sounds\\b.wav\n");
    g_RadioMgr.Init();
    ObjectRecord* h = Object("boombox", "r", {100, 20, -30});
    g_RadioMgr.PlayRadio(h, g_RadioMgr.FindRadio("r"));
    const RadioSlot* slot = SlotOf(h);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->dwTrack, 0u);
    EXPECT_EQ(slot->pRadio, g_RadioMgr.FindRadio("r"));
    const strSound* s = slot->pSound;
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s->szName, "sounds\\a.wav");
    EXPECT_EQ(s->b3D, 1);
    EXPECT_EQ(s->bLoop, 1);
    EXPECT_EQ(s->fRange, 900.0f);
    EXPECT_EQ(s->fVolumeFactor, 0.5f);
    EXPECT_EQ(s->vPosition.x, 100.0f);
    EXPECT_EQ(s->vPosition.y, 20.0f);
    EXPECT_EQ(s->vPosition.z, -30.0f);
    EXPECT_TRUE(g_SoundMgr.IsSoundPlaying(slot->pSound));

    // The radio does not follow its object.
    h->vPosition = {5000, 0, 0};
    g_SoundMgr.Update();
    EXPECT_EQ(slot->pSound->vPosition.x, 100.0f);

    g_RadioMgr.PlayRadio(nullptr, g_RadioMgr.FindRadio("r"));
    g_RadioMgr.PlayRadio(h, nullptr);
    EXPECT_EQ(PlayingSlots(), 1);
}

TEST_F(RadioTest, RefusalsAreLoggedAndLeaveTheSlotsFree) {
    WriteRadio("r.txt",
               "radio empty\nradio missing\ntrack sounds\\gone.wav\nradio good\ntrack sounds\\a.wav\n");
    g_RadioMgr.Init();
    ObjectRecord* h = Object("box", nullptr);
    struct Case {
        const char* radio;
        const char* log;
    } cases[] = {
        {"empty", "Radio \"empty\" has 0 tracks defined!\n"},
        {"missing", "Radio sound \"sounds\\gone.wav\" NOT created!\n"},
    };
    for (const Case& c : cases) {
        g_RadioMgr.PlayRadio(h, g_RadioMgr.FindRadio(c.radio));
        EXPECT_EQ(TakeLog(), c.log) << c.radio;
        EXPECT_EQ(PlayingSlots(), 0) << c.radio;
    }

    // A ninth radio while eight play.
    for (int i = 0; i < 8; ++i)
        g_RadioMgr.PlayRadio(Object("r", nullptr), g_RadioMgr.FindRadio("good"));
    EXPECT_EQ(PlayingSlots(), 8);
    const int sounds = CountSounds();
    TakeLog();
    g_RadioMgr.PlayRadio(h, g_RadioMgr.FindRadio("good"));
    EXPECT_EQ(TakeLog(), "Radio playing limit overflow\n");
    EXPECT_EQ(PlayingSlots(), 8);
    EXPECT_EQ(CountSounds(), sounds);
    EXPECT_EQ(SlotOf(h), nullptr);
}

TEST_F(RadioTest, SwitchingMovesThroughTheTracksAndWrapsAround) {
    WriteRadio("r.txt",
               "radio three\ntrack sounds\\a.wav\ntrack sounds\\b.wav\nrange 50\ntrack sounds\\c.wav\n"
               "radio one\ntrack sounds\\a.wav\n");
    g_RadioMgr.Init();
    ObjectRecord* h = Object("radio_object", "three");
    const char* order[] = {"sounds\\a.wav", "sounds\\b.wav", "sounds\\c.wav", "sounds\\a.wav",
                           "sounds\\b.wav"};
    for (int i = 0; i < 5; ++i) {
        g_RadioMgr.SwitchRadio(h);
        const RadioSlot* slot = SlotOf(h);
        ASSERT_NE(slot, nullptr) << i;
        EXPECT_EQ(slot->dwTrack, uint32_t(i % 3)) << i;
        EXPECT_STREQ(slot->pSound->szName, order[i]) << i;
        EXPECT_EQ(slot->pSound->fRange, i % 3 == 1 ? 50.0f : 640.0f) << i;
        EXPECT_EQ(CountSounds(), 1) << i; // the previous track's sound is gone
    }

    // One track: switching starts it again, with a new sound.
    ObjectRecord* single = Object("single", "one");
    g_RadioMgr.SwitchRadio(single);
    ASSERT_NE(SlotOf(single), nullptr);
    strSound* first = SlotOf(single)->pSound;
    first->fVolume = 0.123f; // a mark that a new record would not carry
    g_RadioMgr.SwitchRadio(single);
    ASSERT_NE(SlotOf(single), nullptr);
    EXPECT_EQ(SlotOf(single)->dwTrack, 0u);
    EXPECT_STREQ(SlotOf(single)->pSound->szName, "sounds\\a.wav");
    EXPECT_NE(SlotOf(single)->pSound->fVolume, 0.123f);
    EXPECT_EQ(CountSounds(), 2);
}

TEST_F(RadioTest, SwitchNeedsAnActionNamingAKnownRadio) {
    WriteRadio("r.txt", "radio r\ntrack sounds\\a.wav\n");
    g_RadioMgr.Init();
    g_RadioMgr.SwitchRadio(nullptr);
    g_RadioMgr.SwitchRadio(Object("no_action", nullptr));
    EXPECT_EQ(PlayingSlots(), 0);
    EXPECT_EQ(TakeLog(), "");
    g_RadioMgr.SwitchRadio(Object("lamp", "nowhere"));
    EXPECT_EQ(TakeLog(), "lamp nie znalazl radia \"nowhere\"\n");
    EXPECT_EQ(PlayingSlots(), 0);
}

TEST_F(RadioTest, ATrackThatCannotStartStopsTheRadio) {
    WriteRadio("r.txt", "radio r\ntrack sounds\\a.wav\ntrack sounds\\b.wav\n");
    g_RadioMgr.Init();
    ObjectRecord* h = Object("box", "r");
    g_RadioMgr.SwitchRadio(h);
    ASSERT_NE(SlotOf(h), nullptr);
    std::filesystem::remove(root_ / "sounds" / "b.wav");
    TakeLog();
    g_RadioMgr.SwitchRadio(h);
    EXPECT_EQ(TakeLog(), "Radio sound \"sounds\\b.wav\" NOT created!\n");
    EXPECT_EQ(SlotOf(h), nullptr);
    EXPECT_EQ(PlayingSlots(), 0);
    EXPECT_EQ(CountSounds(), 0);
}

TEST_F(RadioTest, StoppingAnObjectsRadiosAndClearing) {
    WriteRadio("r.txt", "radio r\ntrack sounds\\a.wav\nloop\n");
    g_RadioMgr.Init();
    ObjectRecord* a = Object("a", "r");
    ObjectRecord* b = Object("b", "r");
    g_RadioMgr.SwitchRadio(a);
    g_RadioMgr.PlayRadio(a, g_RadioMgr.FindRadio("r")); // a second slot on the same object
    g_RadioMgr.SwitchRadio(b);
    EXPECT_EQ(PlayingSlots(), 3);
    EXPECT_EQ(CountSounds(), 3);

    g_RadioMgr.StopObjectRadios(nullptr);
    EXPECT_EQ(PlayingSlots(), 3);
    g_RadioMgr.StopObjectRadios(a); // deleted or killed
    EXPECT_EQ(PlayingSlots(), 1);
    EXPECT_EQ(CountSounds(), 1);
    EXPECT_EQ(SlotOf(a), nullptr);
    ASSERT_NE(SlotOf(b), nullptr);

    g_RadioMgr.StopSlot(RadioMgr::MAX_PLAYING); // out of range: nothing
    g_RadioMgr.NextTrack(RadioMgr::MAX_PLAYING);
    g_RadioMgr.Clear();
    EXPECT_EQ(PlayingSlots(), 0);
    EXPECT_EQ(CountSounds(), 0);
    EXPECT_EQ(g_RadioMgr.FirstRadio(), nullptr);
    for (uint32_t i = 0; i < RadioMgr::MAX_PLAYING; ++i) {
        EXPECT_EQ(g_RadioMgr.Slot(i).hObject, nullptr);
        EXPECT_EQ(g_RadioMgr.Slot(i).pRadio, nullptr);
        EXPECT_EQ(g_RadioMgr.Slot(i).pSound, nullptr);
    }
}

TEST_F(RadioTest, TheDemoRadiosLoad) {
    std::filesystem::copy(std::filesystem::path(ZT_SOURCE_DIR) / "data" / "scripts", root_ / "scripts",
                          std::filesystem::copy_options::recursive);
    for (const char* folder : {"sounds", "voices"})
        std::filesystem::copy(std::filesystem::path(ZT_SOURCE_DIR) / "data" / folder, root_ / folder,
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
    g_RadioMgr.Init();
    ASSERT_NE(g_RadioMgr.FirstRadio(), nullptr);
    EXPECT_EQ(TakeLog(), "");
    for (const RadioDefinition* r = g_RadioMgr.FirstRadio(); r; r = r->pNext) {
        ObjectRecord* h = Object("demo", r->szName);
        for (uint32_t t = 0; t < r->dwNumTracks; ++t) {
            g_RadioMgr.SwitchRadio(h);
            ASSERT_NE(SlotOf(h), nullptr) << r->szName << " " << t;
        }
    }
    EXPECT_EQ(TakeLog(), "");
}
