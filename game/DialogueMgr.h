// Dialogues, `DialogueMgr` (global g_DialogueMgr). Only what the engine asks
// is here until the dialogues are built: stopping an object's dialogue and
// moving the voices and listeners with the camera (no voices exist yet).
#pragma once

#include <cstdint>

struct ObjectRecord;
struct strpostac;

class DialogueMgr {
  public:
    virtual ~DialogueMgr() = default;
    void StopObjectDialogue(ObjectRecord*) {}
    void UpdateAllDialogueSoundsAndListeners() {}

    // What the world's actions ask of the dialogues (the dialogue scripts
    // come with the game layer): a dialogue spoken by an object, and the
    // sounds of a dialogue or hero dialogue loaded ahead. The last request of
    // each kind is kept.
    void StartObjectDialogue(const char* dialogue, ObjectRecord* speaker);
    void PreloadDialogueSounds(const char* name) { ++m_dwPreloads; }
    void PreloadHeroDialogueSounds(const char* name) { ++m_dwPreloads; }

    char m_szLastDialogue[64] = {};
    ObjectRecord* m_hLastSpeaker = nullptr;
    const strpostac* m_pLastActors[3] = {};
    char m_szLastHeroDialogue[64] = {};
    uint32_t m_dwPreloads = 0;
};

extern DialogueMgr g_DialogueMgr;

// A dialogue between characters (missing ones null) and one of the hero's.
void StartDialogue(const char* dialogue, const strpostac* actor0, const strpostac* actor1, const strpostac* actor2);
void StartHeroDialogue(const char* name);
