// Dialogues, `DialogueMgr` (global g_DialogueMgr). Only what the engine asks
// is here until the dialogues are built: stopping an object's dialogue and
// moving the voices and listeners with the camera (no voices exist yet).
#pragma once

struct ObjectRecord;

class DialogueMgr {
  public:
    virtual ~DialogueMgr() = default;
    void StopObjectDialogue(ObjectRecord*) {}
    void UpdateAllDialogueSoundsAndListeners() {}
};

extern DialogueMgr g_DialogueMgr;
