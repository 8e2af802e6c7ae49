// Respawners: world objects whose action names a character to bring back.
// Once the action has run, the character comes back a fixed number of times
// at a fixed interval, while none of the respawner's own name lives and its
// blocking variable is not set; after the last one a further action may fire.
// The count includes the respawn the action itself makes: with 3 respawns
// the action's one and two more follow.
//
// Each respawner's nearest path and place of the path graph are cached per
// world in "<world file>.gen": five text lines per respawner (its name, the
// path's three identifying numbers, the place's index), in slot order.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "actors/PathMgr.h"
#include "actors/PostacMgr.h"
#include "app/Console.h"
#include "app/FileHelpers.h"
#include "game/GameAI.h"
#include "platform/os/AtomicFile.h"
#include "platform/os/Number.h"
#include "platform/os/Os.h"
#include "world/Engine.h"
#include "world/EngineObject.h"
#include "world/EngineObjectLog.h"
#include "world/ObjectRecord.h"

using objlog::Logged;
using objlog::Reported;

namespace {

constexpr int kLineLength = 256;

bool IsRespawner(const ObjectRecord* h) {
    return h->bUsed && h->pAction && h->pAction->szRespawnCharacterName[0];
}

// A live, not dying character of that name.
bool CharacterLives(const char* name) {
    for (const strpostac& p : g_PostacMgr.m_Postacie)
        if (p.bUsed && !p.bDead && StrCmpNoCase(p.szName, name) == 0) return true;
    return false;
}

} // namespace

void EEngineObject::RespawnCharacter(ObjectRecord* h) {
    if (!h || !h->pAction) return;
    const ObjectAction& a = *h->pAction;
    if (!a.szRespawnCharacterName[0]) {
        Reported("EEngineObject::RespawnCharacter nie ma name!");
        return;
    }
    Logged("EngineObject.RespawnCharacter %s", a.szRespawnCharacterName);
    const char* phase = (os::Rand() % 2 == 0) ? a.szRespawnCharacterPhase1 : a.szRespawnCharacterPhase0;
    Logged("Respawn phase randomised to %s", phase);
    g_PostacMgr.RespawnCharacter(a.szRespawnCharacterName, h->vPosition, h->Orientation, phase, h);
    ++h->iRespawnCount;
}

void EEngineObject::UpdateRespawn(ObjectRecord* h) {
    if (!h || !h->pAction) return;
    const ObjectAction& a = *h->pAction;
    if (h->iRespawnCount > a.iRespawnParams2) return;
    if (a.szRespawnCharacterDoNotRespawnIf[0] && g_GameAI.TestVariable(a.szRespawnCharacterDoNotRespawnIf))
        return;
    if (CharacterLives(h->szName)) return;

    const bool waitStarts = h->fRespawnTimer <= 0.0f;
    if (h->fRespawnTimer > 0.0f) {
        h->fRespawnTimer -= m_fFrameTime;
        if (h->fRespawnTimer <= 0.0f) {
            if (h->iRespawnCount != a.iRespawnParams2) {
                RespawnCharacter(h);
            } else {
                if (a.szRespawnCharacterActionAfterLastRespawn[0])
                    g_Engine.FireAction(a.szRespawnCharacterActionAfterLastRespawn, 0);
                ++h->iRespawnCount;
            }
        }
    }
    if (waitStarts) h->fRespawnTimer = a.fRespawnParams1;
}

// ---- The respawner file --------------------------------------------------------------------

void EEngineObject::RespawnerFileName(char* out, size_t size) {
    std::snprintf(out, size, "%s.gen", g_Engine.m_szCurrentWorld);
}

bool EEngineObject::RespawnerDataExists(const char* fileName) {
    std::FILE* f = os::OpenFile(fileName, "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

void EEngineObject::ComputeRespawnerData() {
    for (int slot = 0; slot < EEngine::SEARCH_END; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!IsRespawner(h)) continue;
        g_PostacMgr.PreloadCharacterSounds(h->pAction->szRespawnCharacterName);
        g_PathMgr.FindNearestPlaceInAllPaths(h->vPosition, &h->pRespawnPath, &h->pRespawnPlace, 1);
    }
}

namespace {
void RespawnerSaveFailed(const os::AtomicFile& file) {
    ErrorLog("Failed to save respawner data!", nullptr);
    g_Console.Print2("Failed to save respawner data: ", file.Error().c_str());
}
} // namespace

void EEngineObject::SaveRespawnerData(const char* fileName) {
    // Written whole or not at all: a torn file would be loaded as it is.
    os::AtomicFile file(fileName);
    std::FILE* f = file.File();
    if (!f) {
        RespawnerSaveFailed(file);
        return;
    }
    int written = 0;
    for (int slot = 0; slot < EEngine::SEARCH_END; ++slot) {
        const ObjectRecord* h = g_Engine.Object(slot);
        if (!IsRespawner(h)) continue;
        if (!h->pRespawnPath) {
            Reported("%s nie skeszowal sciezek!", h->szName);
            continue;
        }
        if (!h->pRespawnPlace) {
            Reported("%snie ma skeszowanego miejsca!", h->szName);
            continue;
        }
        char line[32];
        WriteLine(f, h->szName, kLineLength);
        for (int32_t id : h->pRespawnPath->iId) {
            std::snprintf(line, sizeof line, "%i", id);
            WriteLine(f, line, kLineLength);
        }
        std::snprintf(line, sizeof line, "%i", h->pRespawnPlace->iIndex);
        WriteLine(f, line, kLineLength);
        ++written;
    }
    // Without a record no file is left behind.
    if (written == 0) {
        file.Discard();
    } else if (!file.Commit()) {
        RespawnerSaveFailed(file);
    }
}

void EEngineObject::LoadRespawnerData(const char* fileName) {
    std::FILE* f = os::OpenFile(fileName, "rb");
    if (!f) {
        ErrorLog("Failed to load respawner data!", nullptr);
        return;
    }
    char lines[5][kLineLength + 1];
    while (MoreLines(f, fileName)) {
        lines[0][0] = 0;
        ReadLineRaw(f, lines[0], kLineLength);
        if (std::feof(f) && !lines[0][0]) break;
        for (int i = 1; i < 5; ++i) {
            lines[i][0] = 0;
            ReadLineRaw(f, lines[i], kLineLength);
        }
        ObjectRecord* h = g_Engine.FindObjectByName(lines[0]);
        if (!h) continue;
        h->pRespawnPath =
            g_PathMgr.FindPath(os::ReadInt(lines[1]), os::ReadInt(lines[2]), os::ReadInt(lines[3]));
        h->pRespawnPlace = nullptr;
        if (!h->pRespawnPath) {
            Reported("%s ma zapisany zly path respawnu!", h->szName);
            continue;
        }
        h->pRespawnPlace = g_PathMgr.FindPlace(h->pRespawnPath, os::ReadInt(lines[4]));
        if (!h->pRespawnPlace) {
            h->pRespawnPath = nullptr;
            Reported("%s ma zapisany zly place respawnu!", h->szName);
            continue;
        }
        if (h->pAction) g_PostacMgr.PreloadCharacterSounds(h->pAction->szRespawnCharacterName);
    }
    std::fclose(f);
}
