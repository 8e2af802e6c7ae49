#include "game/DialogueMgr.h"

#include <cstdio>

DialogueMgr g_DialogueMgr;

void DialogueMgr::StartObjectDialogue(const char* dialogue, ObjectRecord* speaker) {
    std::snprintf(m_szLastDialogue, sizeof m_szLastDialogue, "%s", dialogue ? dialogue : "");
    m_hLastSpeaker = speaker;
    m_pLastActors[0] = m_pLastActors[1] = m_pLastActors[2] = nullptr;
}

void StartDialogue(const char* dialogue, const strpostac* actor0, const strpostac* actor1, const strpostac* actor2) {
    DialogueMgr& d = g_DialogueMgr;
    std::snprintf(d.m_szLastDialogue, sizeof d.m_szLastDialogue, "%s", dialogue ? dialogue : "");
    d.m_hLastSpeaker = nullptr;
    d.m_pLastActors[0] = actor0;
    d.m_pLastActors[1] = actor1;
    d.m_pLastActors[2] = actor2;
}

void StartHeroDialogue(const char* name) {
    std::snprintf(g_DialogueMgr.m_szLastHeroDialogue, sizeof g_DialogueMgr.m_szLastHeroDialogue, "%s",
                  name ? name : "");
}
