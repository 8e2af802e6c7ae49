#include "world/Engine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "app/Console.h"
#include "app/Options.h"
#include "render/Mesh.h"
#include "skinmesh/SkinMesh.h"
#include "world/DeathParams.h"
#include "world/EngineObject.h"
#include "world/ObjectAction.h"
#include "world/ObjectRecord.h"

EEngine g_Engine;

// The table is one block of zero pages from the system: a record is given
// its creation state when its slot is taken (AddObject), so start-up touches
// none of the 4000 records and a run touches only the slots it uses. A
// record that was never taken reads as all zero, not in use. That needs a
// record that may begin its life in zeroed memory and end without a
// destructor.
static_assert(std::is_trivially_copyable_v<ObjectRecord> && std::is_trivially_destructible_v<ObjectRecord>,
              "object records live in zeroed memory and are freed without a destructor");

EEngine::EEngine() : m_Objects(static_cast<ObjectRecord*>(std::calloc(MAX_OBJECTS, sizeof(ObjectRecord)))) {
    if (!m_Objects) std::abort();
}

namespace {

// The heap blocks a record owns. Only memory: at exit the device and the
// managers the shutdown would tell may be gone already.
void FreeObjectBlocks(ObjectRecord& h) {
    delete h.Mesh();
    delete h.SkinMesh();
    delete h.pBlinking;
    delete h.pSound;
    delete h.pAction;
    delete h.pDeathParams;
    delete h.pLightControl;
    delete[] h.pFxName;
    delete[] h.pPendingTieObject;
    delete[] h.pPendingTieSocket;
}

} // namespace

// Objects the shutdown did not delete (a world still open at exit) go with
// the table.
EEngine::~EEngine() {
    for (int slot = 0; slot < MAX_OBJECTS; ++slot)
        if (m_Objects[slot].bUsed) FreeObjectBlocks(m_Objects[slot]);
    std::free(m_Objects);
}

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
