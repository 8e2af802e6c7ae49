// Radio sound sources, `RadioMgr` (global g_RadioMgr): world objects that
// play a list of tracks as 3D sounds at their position.
//
// The definitions come from the text files "scripts\radio\*.txt", read when a
// world opens (Init, or the free LoadRadios of the world start) and freed
// when it ends (Clear). An object's action names a radio; running it switches
// the radio on, or moves a radio already playing on that object to its next
// track. At most 8 radios play at once, each in a slot that holds the sound
// of its current track. A track plays where the object was when it started
// (a radio does not follow its object); a track without the loop flag plays
// once and its slot stays taken until the next switch or a stop.
//
// File format, one keyword a line (lines up to 256 characters, keywords
// without regard to case, the argument is the rest of the line):
//   radio <name>    starts a new definition (names over 63 characters are cut)
//   track <wave>    adds a track (at most 8; a ninth is ignored)
//   range <number>  range of the last added track (640 by default)
//   loop            the last added track loops
//   volume <number> volume factor of the last added track (1 by default)
// range, loop and volume before the definition's first track are ignored;
// other lines are ignored. A file may hold several definitions.
//
// Failure policy: unreadable files, radios without tracks, tracks that make
// no sound and the ninth radio are logged and skipped. Main thread only.
#pragma once

#include <cstdint>

struct ObjectRecord;
struct strSound;

struct RadioDefinition {
    static constexpr uint32_t NAME_LEN = 64;
    static constexpr uint32_t MAX_TRACKS = 8;
    static constexpr uint32_t TRACK_LEN = 256;
    static constexpr float DEFAULT_RANGE = 640.0f;

    char szName[NAME_LEN];
    uint32_t dwNumTracks;
    char szTracks[MAX_TRACKS][TRACK_LEN];
    uint8_t bLoop[MAX_TRACKS];
    float fRange[MAX_TRACKS];
    float fVolume[MAX_TRACKS];
    RadioDefinition* pPrev;
    RadioDefinition* pNext;
};

struct RadioSlot {
    uint8_t bPlaying;
    RadioDefinition* pRadio;
    uint32_t dwTrack;
    ObjectRecord* hObject;
    strSound* pSound; // the current track's sound
};

class RadioMgr {
  public:
    static constexpr uint32_t MAX_PLAYING = 8;
    static constexpr int LINE_LEN = 256;
    // The most definitions one file may hold (about 2 MB).
    static constexpr uint32_t MAX_FILE_RADIOS = 1024;

    RadioMgr();
    virtual ~RadioMgr();
    RadioMgr(const RadioMgr&) = delete;
    RadioMgr& operator=(const RadioMgr&) = delete;

    // World open: LoadRadios.
    void Init();
    // Reads every "scripts\radio\*.txt" not beginning with ".".
    void LoadRadios();
    // Reads one definition file; false (and logged) when it does not open.
    bool LoadRadioFile(const char* fileName);
    // The first definition (newest first) of that name, without regard to
    // case; null for a null or empty name.
    RadioDefinition* FindRadio(const char* name);
    void PlayRadio(ObjectRecord* object, RadioDefinition* radio);
    // The object's radio action.
    void SwitchRadio(ObjectRecord* object);
    void NextTrack(uint32_t slot);
    void StopSlot(uint32_t slot);
    // The object was deleted or killed.
    void StopObjectRadios(ObjectRecord* object);
    // World end: every radio stopped, every definition freed.
    void Clear();

    RadioDefinition* FirstRadio() const { return m_pRadios; }
    const RadioSlot& Slot(uint32_t slot) const { return m_Slots[slot]; }

  private:
    // Starts track t of the slot's radio on its object; null when no sound was made.
    strSound* StartTrack(const RadioDefinition* radio, uint32_t t, ObjectRecord* object);
    void FreeDefinitions();

    RadioDefinition* m_pRadios; // list head
    RadioSlot m_Slots[MAX_PLAYING];
};

extern RadioMgr g_RadioMgr;

// The world start's call: g_RadioMgr.Init().
void LoadRadios();
