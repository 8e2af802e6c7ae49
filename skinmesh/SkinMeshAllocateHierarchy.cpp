#include "skinmesh/SkinMeshAllocateHierarchy.h"

#include <algorithm>

#include "platform/mesh/MeshData.h"

void FixBlendWeights(mesh::SkinnedMeshData* mesh, uint32_t influences) {
    for (mesh::SkinnedVertex& v : mesh->vertices) {
        float* w = v.weights;
        if (influences >= 2) {
            w[3] = std::clamp(1.0f - (w[0] + w[1] + w[2]), 0.0f, 1.0f);
        } else {
            w[0] = 1.0f;
            w[1] = w[2] = w[3] = 0.0f;
        }
    }
}
