// libFuzzer target: any bytes as an effect description (.afx) and as both
// blood-drop lists.
#include <cstddef>
#include <cstdint>

#include "render/FxMgr.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::PrepareDataDirectory({"afx", "scripts"});
    fuzz::WriteInput("afx/fuzz.afx", data, size);
    fuzz::WriteInput("scripts/BloodDrops.txt", data, size);
    fuzz::WriteInput("scripts/BloodDropsOF.txt", data, size);
    g_FxMgr.LoadAll();
    g_FxMgr.WriteTextureConflictReport();
    // A spawn reads every count and key the reader stored.
    if (FxDescription* d = g_FxMgr.FindDescription("fuzz"); d && d->dwType != FX_SPRITE && d->dwType != FX_MESH)
        g_FxMgr.SpawnFx(d, nullptr, nullptr, 0);
    g_FxMgr.KillAll();
    return 0;
}
