#include "game/SaveMgr.h"

#include "app/FileHelpers.h"
#include "render/EnvironmentSettings.h"
#include "render/FxMgr.h"
#include "render/PostProcess.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/EngineObject.h"

CSaveMgr g_SaveMgr;

namespace {

struct SaveBlock {
    void (*save)(std::FILE* f);
    void (*load)(std::FILE* f);
};

// In the file's order; the blocks of the game layer take their places
// between these when their owners come.
const SaveBlock kBlocks[] = {
    {[](std::FILE* f) { g_Engine.Save(f); }, [](std::FILE* f) { g_Engine.Load(f); }},
    {[](std::FILE* f) { g_EngineObject.Save(f); }, [](std::FILE* f) { g_EngineObject.Load(f); }},
    {[](std::FILE* f) { g_Camera.Save(f); }, [](std::FILE* f) { g_Camera.Load(f); }},
    {[](std::FILE* f) { g_PostProcess.Save(f); }, [](std::FILE* f) { g_PostProcess.Load(f); }},
    {[](std::FILE* f) { g_EnvironmentSettings.Save(f); },
     [](std::FILE* f) { g_EnvironmentSettings.Load(f); }},
};

} // namespace

void CSaveMgr::WriteBlocks(std::FILE* f) {
    if (!f) return;
    for (const SaveBlock& block : kBlocks) {
        g_BytesWritten = 0;
        block.save(f);
    }
}

void CSaveMgr::ReadBlocks(std::FILE* f) {
    if (!f) return;
    // Effects are not saved: a loaded game starts without any.
    g_FxMgr.KillAll();
    for (const SaveBlock& block : kBlocks) {
        g_BytesRead = 0;
        block.load(f);
    }
}
