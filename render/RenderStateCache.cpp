#include "render/RenderStateCache.h"

#include "app/D3DMain.h"

ERenderStateCache g_RenderStateCache;

void ERenderStateCache::ResetCullMode() {
    if (g_pD3DInterface)
        g_pD3DInterface->SetRenderState(gfx::RenderState::CullMode, gfx::StateValue(gfx::Cull::Ccw));
    m_bCullOn = true;
}

void ERenderStateCache::SetCullMode(bool on) {
    if (on == m_bCullOn) return;
    m_bCullOn = on;
    if (g_pD3DInterface) {
        g_pD3DInterface->SetRenderState(gfx::RenderState::CullMode,
                                        gfx::StateValue(on ? gfx::Cull::Ccw : gfx::Cull::None));
    }
}
