// The operations the mesh manager runs on a freshly read mesh before it is
// drawn and cached: adjacency, cleaning, welding, validation, the attribute
// sort with vertex-cache order, and tangent frames.
//
// Every operation works in place on MeshData or SkinnedMeshData (32-bit
// indices, one attribute per face); blend weights and indices travel with
// their vertex. None of them allocates per face more than a few words; the
// whole pipeline runs once per mesh file, the cache skips it on later runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/mesh/MeshData.h"

namespace mesh {

constexpr uint32_t kNoFace = 0xFFFFFFFFu;

// Three entries per face: the face across edge k (corners k, k + 1), or
// kNoFace. Corners whose positions differ by no more than epsilon in every
// component count as one point; an edge pairs with the first unpaired face
// that runs it the other way.
template <typename D> std::vector<uint32_t> GenerateAdjacency(const D& data, float epsilon);

// Splits shared vertices where a face pair or a vertex would otherwise join
// surfaces that only touch: a face using the same three vertices as an
// earlier one in the opposite winding (back-facing pair) gets copies of its
// vertices, and a vertex whose faces form more than one fan around it (a
// bow-tie) gets one copy per further fan. No face is dropped. Gives, per
// vertex, the group that welding keeps it in (0 for the original vertices,
// a new group for every copy), so that welding does not undo the split.
template <typename D> std::vector<uint32_t> CleanMesh(D* data, const std::vector<uint32_t>& adjacency);

// Welds vertices: components (position, normal, tangent, binormal, texture
// coordinate) of vertices at one point that differ by at most epsilon are
// snapped to one value, then vertices equal in everything, blend weights and
// indices included (and in their clean group, when given), become one. Faces the weld makes degenerate (two
// corners one vertex) are dropped; unused vertices are removed.
constexpr float kWeldEpsilon = 1.0e-6f;
template <typename D> void WeldVertices(D* data, const std::vector<uint32_t>* groups = nullptr);

// Checks indices, attributes and the adjacency: false with the reason when a
// corner index is out of range, a face uses one vertex twice, or an
// adjacency entry is out of range or not answered by its neighbour.
template <typename D>
bool ValidateMesh(const D& data, const std::vector<uint32_t>& adjacency, std::string* error);

// Faces grouped by attribute (stable), each group put in vertex-cache order,
// vertices renumbered by first use (a vertex used by two groups is copied, so
// each range's vertices are its own), unused vertices dropped, and the
// attribute table rebuilt.
template <typename D> void OptimizeMesh(D* data);

// Tangent and binormal of every vertex from texture coordinate 0: each
// face's u and v directions, weighted by the corner's angle, averaged per
// vertex and made orthonormal to the kept normal. Vertices are never split.
template <typename D> void ComputeTangentFrames(D* data);

// Vertex-cache misses per triangle of an index list in a FIFO cache of the
// given size (the figure the vertex-cache order lowers).
double AverageCacheMissRatio(const std::vector<uint32_t>& indices, uint32_t cacheSize);

} // namespace mesh
