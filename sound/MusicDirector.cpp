#include "sound/MusicDirector.h"

#include <cstring>

#include "app/CommandMgr.h"
#include "app/FileHelpers.h"
#include "platform/os/Os.h"
#include "sound/SoundMgr.h"
#include "sound/SoundWorld.h"

MusicDirector g_MusicDirector;

namespace {

constexpr const char* kKeepAction = "wymus_muzyke";
constexpr const char* kForbidAction = "zabron_muzyke";

struct LevelLoop {
    const char* world;
    const char* loop;
};

constexpr LevelLoop kLevelLoops[] = {
    {"worlds\\level_01.w", "music\\loop\\loopAction04.ogg"},
    {"worlds\\level_02.w", "music\\loop\\loopAction05.ogg"},
    {"worlds\\level_03.w", "music\\loop\\loopAction05.ogg"},
    {"worlds\\level_04.w", "music\\loop\\loopAction02.ogg"},
    {"worlds\\level_05.w", "music\\loop\\loopAction05.ogg"},
    {"worlds\\level_06.w", "music\\loop\\loopAction05.ogg"},
    {"worlds\\level_07.w", "music\\loop\\loopAction04.ogg"},
    {"worlds\\level_08.w", "music\\loop\\loopAction02.ogg"},
    {"worlds\\level_09.w", "music\\loop\\loopAction05.ogg"},
    {"worlds\\level_10.w", "music\\loop\\loopAction04.ogg"},
    {"worlds\\test.w", "music\\loop\\loopAction03.ogg"},
};
constexpr int kNumLevelLoops = int(sizeof kLevelLoops / sizeof kLevelLoops[0]);

bool ScriptVariable(const char* name) {
    return soundworld::World().ScriptVariable(name);
}

// The tally of the characters within a range.
struct NearbyTally {
    float range = 0;
    int counted = 0;
    bool alerted = false;
    bool alarm = false;
};

void TallyCharacter(const soundworld::Character& p, void* context) {
    NearbyTally& t = *static_cast<NearbyTally*>(context);
    if (!p.bActive) return;
    if (!(p.fDistanceToPlayer <= t.range)) return;
    if (p.bAlerted) t.alerted = true;
    if (p.bOnMarker) return;
    if (StrCmpNoCase(p.szName, "fake_hero") == 0) return;
    ++t.counted;
    if (p.bAlarm) t.alarm = true;
}

} // namespace

const char* MusicDirector::LevelActionLoop(const char* worldFile) {
    if (!worldFile) return nullptr;
    for (const LevelLoop& l : kLevelLoops)
        if (StrCmpNoCase(l.world, worldFile) == 0) return l.loop;
    return nullptr;
}

const char* MusicDirector::ActionLoopRow(int i) {
    return i >= 0 && i < kNumLevelLoops ? kLevelLoops[i].loop : nullptr;
}

void MusicDirector::Init() {
    m_fActionCountdown = ACTION_DELAY;
    m_szCurrentFile[0] = 0;
    m_bLoop = 0;
    m_bPlaying = 0;
    m_bDark = 0;
    m_bActionLoop = 0;
    soundworld::World().UnsetScriptVariable(kForbidAction);
    soundworld::World().UnsetScriptVariable(kKeepAction);
}

void MusicDirector::PlayMusic(const char* fileName, bool loop, bool force) {
    if (m_bPlaying && m_bActionLoop && !force && !ScriptVariable(kForbidAction)) return;

    m_szCurrentFile[0] = 0;
    m_bPlaying = 0;
    m_bActionLoop = 0;
    g_SoundMgr.Music_Stop();
    g_SoundMgr.Music_Release();
    g_SoundMgr.Music_SetVolume(MusicVolume);
    g_SoundMgr.SetVolume(SoundVolume);

    if (!fileName || !*fileName || !MusicEnabled || !FileExists(fileName) || std::strlen(fileName) < 4)
        return;
    std::strncpy(m_szCurrentFile, fileName, FILE_LEN - 1);
    m_szCurrentFile[FILE_LEN - 1] = 0;
    g_SoundMgr.Music_Play(fileName, loop);
    g_SoundMgr.Music_SetVolume(MusicVolume);
    m_bLoop = loop ? 1 : 0;
    m_fCalmTime = 0;
    m_bPlaying = 1;
}

void MusicDirector::StopMusic() {
    if (!m_szCurrentFile[0]) return;
    g_SoundMgr.Music_Stop();
    g_SoundMgr.Music_Release();
}

void MusicDirector::ResumeMusic() {
    if (!m_szCurrentFile[0]) return;
    g_SoundMgr.Music_Play(m_szCurrentFile, m_bLoop != 0);
    g_SoundMgr.Music_Resume();
    g_SoundMgr.Music_SetVolume(MusicVolume);
}

void MusicDirector::Destroy() {
    PlayMusic(nullptr, false, false);
    soundworld::World().UnsetScriptVariable(kForbidAction);
    soundworld::World().UnsetScriptVariable(kKeepAction);
}

int MusicDirector::CountNearbyEnemies(float range, int* count) {
    if (soundworld::World().IntroRunning() || soundworld::Cinematic()) return 0;
    NearbyTally t;
    t.range = range;
    soundworld::World().VisitCharacters(&TallyCharacter, &t);
    if (count) *count = t.counted;
    if (t.counted > 0 && !t.alerted) return -1;
    if (t.alarm) return 2;
    return t.counted > 0 ? 1 : 0;
}

void MusicDirector::Update() {
    const float dt = soundworld::World().FrameTime();

    if (m_bPlaying && m_bActionLoop) {
        if (CountNearbyEnemies(NEAR_RANGE, nullptr) == 0)
            m_fCalmTime = ScriptVariable(kKeepAction) ? 0.0f : m_fCalmTime + dt;
        if (m_fCalmTime > CALM_SECONDS) {
            PlayMusic(GONG, false, true);
            return;
        }
    }

    const int near = CountNearbyEnemies(NEAR_RANGE, nullptr);
    if (m_bPlaying) {
        if (m_bDark && near > 0) {
            // Someone noticed the player: the dark loop gives way at once.
            g_SoundMgr.Music_Stop();
            g_SoundMgr.Music_Release();
            m_fActionCountdown = 0;
            m_bPlaying = 0;
        }
        if (g_SoundMgr.Music_IsPlaying()) return;
        g_SoundMgr.Music_Stop();
        g_SoundMgr.Music_Release();
        m_bPlaying = 0;
    }

    if (soundworld::LevelFrame() < ACTION_FRAME) return;
    if (near == 0 || ScriptVariable(kForbidAction)) {
        m_fActionCountdown = ACTION_DELAY;
        return;
    }
    m_fActionCountdown -= dt;
    if (m_fActionCountdown > 0) return;

    const char* file = LevelActionLoop(soundworld::World().CurrentWorld());
    if (!file) file = ActionLoopRow(os::Rand() % kNumLevelLoops);
    m_bDark = 0;
    if (near == 2) {
        file = ALARM_LOOP;
    } else if (near == -1) {
        file = DARK_LOOP;
        m_bDark = 1;
    }
    // The action music loops, and ends whatever else was playing.
    PlayMusic(file, true, true);
    m_bActionLoop = 1;
}
