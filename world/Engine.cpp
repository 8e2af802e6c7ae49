#include "world/Engine.h"

#include <cstdio>
#include <cstring>

#include "app/Console.h"
#include "app/Options.h"
#include "world/EngineObject.h"
#include "world/ObjectRecord.h"

EEngine g_Engine;

EEngine::EEngine() : m_Objects(new ObjectRecord[MAX_OBJECTS]) {}

EEngine::~EEngine() { delete[] m_Objects; }

char WorldFileName[128];

void EEngine::SetWorldToStart(const char* name) {
    name = name ? name : "";
    // A cut name would start another world: the request is refused.
    if (std::strlen(name) >= sizeof m_WorldToStart) {
        g_Console.Print("!!! 1");
        return;
    }
    std::snprintf(m_WorldToStart, sizeof m_WorldToStart, "%s", name);
    m_bWorldShown = 0;
    m_bStartingWorld = 1;
}

void EEngine::FireAction(const char* name, int flag) {
    if (!name || !*name) return;
    ObjectRecord* object = FindObjectByName(name, true);
    if (!object) {
        if (Debug > 0) g_Console.Print2("EEngine chce akcje, ale nie znaleziono obiektu ", name);
        return;
    }
    if (Debug > 0) g_Console.Print2("EEngine: Odpalam akcje na ", name);
    g_EngineObject.RunAction(object, flag != 0);
}
