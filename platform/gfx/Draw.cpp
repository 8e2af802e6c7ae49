#include "platform/gfx/Draw.h"

namespace gfx {

fvf::Layout fvf::LayoutOf(uint32_t format) {
    Layout l;
    uint32_t offset = 0;
    switch (format & PositionMask) {
    case Xyz:
        l.position = 0;
        offset = 12;
        break;
    case XyzRhw:
        l.position = 0;
        l.preTransformed = true;
        offset = 16;
        break;
    default:
        return l;
    }
    if (format & Normal) {
        l.normal = int32_t(offset);
        offset += 12;
    }
    if (format & Diffuse) {
        l.diffuse = int32_t(offset);
        offset += 4;
    }
    if (format & Specular) {
        l.specular = int32_t(offset);
        offset += 4;
    }
    l.texCount = (format & TexCountMask) >> TexCountShift;
    if (l.texCount > MaxTexCoords) return Layout();
    for (uint32_t t = 0; t < l.texCount; ++t) {
        l.texCoord[t] = int32_t(offset);
        offset += 8;
    }
    l.stride = offset;
    l.valid = true;
    return l;
}

uint32_t TexelBytes(Format f) {
    return f == Format::A16B16G16R16F ? 8 : 4;
}

uint32_t LevelPitch(Format f, uint32_t width) {
    if (!IsCompressed(f)) return width * TexelBytes(f);
    return ((width + 3) / 4) * (f == Format::Dxt1 ? 8 : 16);
}

uint64_t LevelBytes(Format f, uint32_t width, uint32_t height) {
    const uint64_t rows = IsCompressed(f) ? (height + 3) / 4 : height;
    return rows * LevelPitch(f, width);
}

uint32_t VertexCount(PrimitiveType type, uint32_t count) {
    if (count == 0) return 0;
    switch (type) {
    case PrimitiveType::PointList:
        return count;
    case PrimitiveType::LineList:
        return count * 2;
    case PrimitiveType::LineStrip:
        return count + 1;
    case PrimitiveType::TriangleList:
        return count * 3;
    case PrimitiveType::TriangleStrip:
    case PrimitiveType::TriangleFan:
        return count + 2;
    }
    return 0;
}

uint32_t DefaultStageState(uint32_t stage, TextureStageState s) {
    switch (s) {
    case TextureStageState::ColorOp:
        return StateValue(stage == 0 ? TextureOp::Modulate : TextureOp::Disable);
    case TextureStageState::AlphaOp:
        return StateValue(stage == 0 ? TextureOp::SelectArg1 : TextureOp::Disable);
    case TextureStageState::ColorArg1:
    case TextureStageState::AlphaArg1:
        return texarg::Texture;
    case TextureStageState::ColorArg2:
    case TextureStageState::AlphaArg2:
        return texarg::Current;
    case TextureStageState::TexCoordIndex:
        return stage;
    case TextureStageState::Count:
        break;
    }
    return 0;
}

uint32_t DefaultSamplerState(SamplerState s) {
    switch (s) {
    case SamplerState::AddressU:
    case SamplerState::AddressV:
        return StateValue(TextureAddress::Wrap);
    case SamplerState::MagFilter:
    case SamplerState::MinFilter:
        return StateValue(TextureFilter::Point);
    case SamplerState::MipFilter:
        return StateValue(TextureFilter::None);
    case SamplerState::MipMapLodBias:
        return FloatState(0.0f);
    case SamplerState::MaxAnisotropy:
        return 1;
    case SamplerState::Count:
        break;
    }
    return 0;
}

} // namespace gfx
