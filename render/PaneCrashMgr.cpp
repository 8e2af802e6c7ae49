#include "render/PaneCrashMgr.h"

#include "render/Renderer.h"

CPaneCrashMgr g_PaneCrashMgr;

void CPaneCrashMgr::Render() {
    g_Renderer.RecordPass("CPaneCrashMgr::Render");
}
