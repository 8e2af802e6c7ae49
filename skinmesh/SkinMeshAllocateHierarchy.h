// The skinning set-up of a loading model's meshes: what the hierarchy
// allocator does to each mesh once it is converted for palette skinning.
#pragma once

#include <cstdint>

namespace mesh {
struct SkinnedMeshData;
}

// Makes every vertex's weights add up to one for the effects' rule: with
// two or more influences the fourth weight becomes 1 - (w0 + w1 + w2),
// clamped to 0..1; with fewer, the weights become 1, 0, 0, 0.
void FixBlendWeights(mesh::SkinnedMeshData* mesh, uint32_t influences);
