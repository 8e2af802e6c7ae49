#include "game/GameAI.h"

#include <cstdio>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "world/ObjectRecord.h"

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

namespace {

// The change log of the script variables: a console line at verbosity above 0,
// and a line of "!variables.txt" while the console option RaportVariables is on.
void ReportChange(const char* name, ObjectRecord* setter, bool set) {
    const char* by = setter ? setter->szName : nullptr;
    if (Debug != 0) {
        if (by)
            g_Console.Print4("zmienna ", name, set ? " set by " : " unset by ", by);
        else
            g_Console.Print3("zmienna ", name, set ? " set!" : " unset!");
    }
    if (RaportVariables) {
        char line[512];
        if (by)
            std::snprintf(line, sizeof line, set ? "zmienna %s set by %s" : "zmienna %s unset by %s", name, by);
        else
            std::snprintf(line, sizeof line, set ? "zmienna %s set" : "zmienna %s unset", name);
        ErrorLog(line, "!variables.txt");
    }
}

}  // namespace

void GameAI::SetVariable(const char* name, ObjectRecord* setter) {
    if (!name || !*name || name[0] == ' ') return;
    strzmienne* v = Find(name);
    if (!v) v = &m_Variables.emplace_back(strzmienne{name, 0, nullptr});
    v->bSet = 1;
    v->setter = setter;
    ReportChange(name, setter, true);
}

void GameAI::UnsetVariable(const char* name, ObjectRecord* setter) {
    if (!name || !*name || name[0] == ' ') return;
    strzmienne* v = Find(name);
    if (!v) v = &m_Variables.emplace_back(strzmienne{name, 0, nullptr});
    v->bSet = 0;
    v->setter = setter;
    ReportChange(name, setter, false);
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

void GameAI::RunActionByName(const char* name) {
    if (name && *name) m_ActionsRun.emplace_back(name);
}
