// The music director, `MusicDirector` (global g_MusicDirector): decides which
// music plays during a level.
//
// Scripts, cut-scenes, the loading screen and object actions ask it for a
// file (PlayMusic). On its own, once per game frame (Update), it watches the
// characters near the player: from level frame 280, when enemies have been
// near for the countdown (1 s), it starts the level's action loop (the alarm
// loop when one of them raises the alarm, the dark loop while none of them
// has noticed the player); when no enemy has been near for more than 2 s of
// calm time in all, the gong plays once; when the gong has finished it is
// quiet again. The script variables `wymus_muzyke` (keeps the action music
// going) and `zabron_muzyke` (keeps it from starting, and lets every request
// through) steer it.
//
// All music goes through the sound manager's music calls; the director only
// keeps which file it started and why. Main thread only.
#pragma once

#include <cstdint>

class MusicDirector {
  public:
    static constexpr uint32_t FILE_LEN = 256;
    static constexpr float NEAR_RANGE = 6000.0f;
    static constexpr float CALM_SECONDS = 2.0f;
    static constexpr float ACTION_DELAY = 1.0f;
    static constexpr uint32_t ACTION_FRAME = 280;
    static constexpr const char* GONG = "music\\gong_02.ogg";
    static constexpr const char* DARK_LOOP = "music\\dark1_loop.ogg";
    static constexpr const char* ALARM_LOOP = "music\\loop\\loopAction03.ogg";

    virtual ~MusicDirector() = default;

    // World open: nothing chosen yet, countdown 1 s, the script variables unset.
    void Init();
    // Starts a file (null or empty: stops the music). While the director's
    // action music plays, only a forced request or `zabron_muzyke` gets
    // through.
    void PlayMusic(const char* fileName, bool loop, bool force);
    // The menu opens: the music stops, the director's state is kept.
    void StopMusic();
    // The menu closes during a game: the current file from its beginning.
    void ResumeMusic();
    // Once per game frame.
    void Update();
    // World close.
    void Destroy();
    // The characters within range of the player: -1 when some count and none
    // near has noticed the player, 2 when a counted one raises the alarm, 1
    // when any count, else 0 (also while the intro world runs or in
    // wide-screen). The number counted goes to *count when given.
    int CountNearbyEnemies(float range, int* count);

    // The action loop of a world file, without regard to case; null for a
    // world not in the table.
    static const char* LevelActionLoop(const char* worldFile);
    // Row i (0..10) of the level table.
    static const char* ActionLoopRow(int i);

    char m_szCurrentFile[FILE_LEN] = {}; // the file last started, empty for none
    uint8_t m_bPlaying = 0;              // started music not yet found finished or stopped
    uint8_t m_bDark = 0;                 // the music playing is the dark loop
    float m_fActionCountdown = 0;        // seconds before action music may start
    float m_fCalmTime = 0;               // seconds with no enemy near while action music plays
    // The director's two loop bytes, in this order: an object's looping music
    // action sets them to 0 and 1 after its PlayMusic.
    uint8_t m_bLoop = 0;       // the loop flag of the current file
    uint8_t m_bActionLoop = 0; // the music playing is action music (the director's choice)
};

extern MusicDirector g_MusicDirector;
