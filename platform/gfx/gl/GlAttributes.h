// Vertex attribute locations by Direct3D declaration usage: one table for
// the layer's built-in programs and for effects, so an effect's `input`
// finds the data that any vertex format or declaration gives that usage.
#pragma once

#include <GL/glcorearb.h>

#include <cstdint>

#include "platform/gfx/Device.h"

namespace gfx::gl {

constexpr GLuint kAttribPosition = 0;
constexpr GLuint kAttribColor0 = 1; // the diffuse colour
constexpr GLuint kAttribColor1 = 2; // the specular colour
constexpr GLuint kAttribTexCoord0 = 3; // texture coordinates 0-7: 3-10
constexpr GLuint kAttribNormal = 11;
constexpr GLuint kAttribBlendWeight = 12;
constexpr GLuint kAttribBlendIndices = 13;
constexpr GLuint kAttribTangent = 14;
constexpr GLuint kAttribBinormal = 15;
constexpr GLuint kAttribCount = 16;

// The location of a usage and index, -1 when the table has none.
constexpr int AttributeLocation(uint8_t usage, uint8_t index) {
    switch (usage) {
    case elemusage::Position:
    case elemusage::PositionT:
        return index == 0 ? int(kAttribPosition) : -1;
    case elemusage::Color:
        return index < 2 ? int(kAttribColor0 + index) : -1;
    case elemusage::TexCoord:
        return index < 8 ? int(kAttribTexCoord0 + index) : -1;
    case elemusage::Normal:
        return index == 0 ? int(kAttribNormal) : -1;
    case elemusage::BlendWeight:
        return index == 0 ? int(kAttribBlendWeight) : -1;
    case elemusage::BlendIndices:
        return index == 0 ? int(kAttribBlendIndices) : -1;
    case elemusage::Tangent:
        return index == 0 ? int(kAttribTangent) : -1;
    case elemusage::Binormal:
        return index == 0 ? int(kAttribBinormal) : -1;
    default:
        return -1;
    }
}

} // namespace gfx::gl
