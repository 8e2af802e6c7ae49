#include "platform/gfx/RenderStateCache.h"

namespace gfx {

uint32_t RenderStateCache::DefaultValue(RenderState s, bool autoDepthStencil) {
    switch (s) {
    case RenderState::ZEnable:
        return autoDepthStencil ? 1 : 0;
    case RenderState::ZWriteEnable:
    case RenderState::Lighting:
    case RenderState::Clipping:
    case RenderState::MultisampleAntialias:
        return 1;
    case RenderState::ZFunc:
        return StateValue(Cmp::LessEqual);
    case RenderState::FillMode:
        return StateValue(FillMode::Solid);
    case RenderState::ShadeMode:
        return StateValue(ShadeMode::Gouraud);
    case RenderState::CullMode:
        return StateValue(Cull::Ccw);
    case RenderState::AlphaFunc:
    case RenderState::StencilFunc:
    case RenderState::CcwStencilFunc:
        return StateValue(Cmp::Always);
    case RenderState::SrcBlend:
    case RenderState::SrcBlendAlpha:
        return StateValue(Blend::One);
    case RenderState::DestBlend:
    case RenderState::DestBlendAlpha:
        return StateValue(Blend::Zero);
    case RenderState::BlendOp:
    case RenderState::BlendOpAlpha:
        return StateValue(BlendOp::Add);
    case RenderState::FogEnd:
    case RenderState::FogDensity:
        return FloatState(1.0f);
    case RenderState::StencilMask:
    case RenderState::StencilWriteMask:
    case RenderState::TextureFactor:
        return 0xFFFFFFFFu;
    case RenderState::StencilFail:
    case RenderState::StencilZFail:
    case RenderState::StencilPass:
    case RenderState::CcwStencilFail:
    case RenderState::CcwStencilZFail:
    case RenderState::CcwStencilPass:
        return StateValue(StencilOp::Keep);
    case RenderState::ColorWriteEnable:
        return 0xF;
    default:
        return 0; // off, zero colour, zero bias, fog modes none
    }
}

void RenderStateCache::ResetToDefaults(bool autoDepthStencil) {
    m_dirtyCount = 0;
    for (uint32_t i = 0; i < RenderStateCount; ++i) {
        RenderState s = static_cast<RenderState>(i);
        m_wanted[i] = DefaultValue(s, autoDepthStencil);
        m_applied[i] = 0;
        m_known[i] = false;
        m_dirty[i] = true;
        m_dirtyList[m_dirtyCount++] = s;
    }
}

} // namespace gfx
