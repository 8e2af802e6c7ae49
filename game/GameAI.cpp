#include "game/GameAI.h"

#include "app/FileHelpers.h"

GameAI g_GameAI;

const GameAI::strzmienne* GameAI::Find(const char* name) const {
    for (const strzmienne& v : m_Variables)
        if (!v.name.empty() && v.name[0] == name[0] && StrCmpNoCase(v.name.c_str(), name) == 0) return &v;
    return nullptr;
}

GameAI::strzmienne* GameAI::Find(const char* name) {
    return const_cast<strzmienne*>(static_cast<const GameAI*>(this)->Find(name));
}

bool GameAI::IsSet(const char* name, ObjectRecord** setter) const {
    if (!name || !*name) return false;
    const strzmienne* v = Find(name);
    if (!v) return false;
    if (setter) *setter = v->setter;
    return v->bSet != 0;
}

void GameAI::SetVariable(const char* name, ObjectRecord* setter) {
    if (!name || !*name || name[0] == ' ') return;
    strzmienne* v = Find(name);
    if (!v) v = &m_Variables.emplace_back(strzmienne{name, 0, nullptr});
    v->bSet = 1;
    v->setter = setter;
}

void GameAI::UnsetVariable(const char* name, ObjectRecord* setter) {
    if (!name || !*name || name[0] == ' ') return;
    strzmienne* v = Find(name);
    if (!v) v = &m_Variables.emplace_back(strzmienne{name, 0, nullptr});
    v->bSet = 0;
    v->setter = setter;
}

void GameAI::RegisterHit(const char* objectName) {
    if (objectName && *objectName) m_Hits.emplace_back(objectName);
}

void GameAI::ResetVariables() {
    for (strzmienne& v : m_Variables) {
        v.bSet = 0;
        v.setter = nullptr;
    }
    m_Hits.clear();
}
