// Reader and writer of DirectX .x files. The reader takes the text form
// ("xof 0303txt 0032"), the binary form ("bin ") and both compressed forms
// ("tzip", "bzip": MSZIP blocks of raw deflate, each block using the one
// before as its dictionary), with 32- or 64-bit floats ("0032", "0064").
// The writer writes the binary form (the optimised-mesh cache).
//
// The reader returns the file's content close to how it is written: the frame
// hierarchy with each frame's transform, and every mesh with its positions,
// faces (polygons split into triangle fans), normals with their own face
// indices, texture coordinates, materials with texture file names and the
// material (subset) index of every triangle, and a skinned mesh's header
// and bone influences (XSkinMeshHeader, SkinWeights). Templates and data
// objects the engine does not use (animation sets, vertex duplication
// indices ...) are skipped whole. Vertex data written as a vertex
// declaration (DeclData: normal, tangent, binormal, colour, texture
// coordinate 0) and vertex colours (MeshVertexColors) are read into one value
// per position; positions without a colour are opaque white.
//
// Failure policy: every count and index is checked against what the file
// holds; the first problem ends the read with a message
// "file: line N: what is wrong" and nothing is returned. Counts are checked
// against the text that is left before anything is allocated, so a corrupt
// count cannot make the reader reserve memory the file cannot fill.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/math/Types.h"

namespace mesh {

struct XMaterial {
    math::Vec4 diffuse{1, 1, 1, 1}; // r, g, b, a
    float power = 0;
    math::Vec3 specular;
    math::Vec3 emissive;
    std::string textureFile; // as written, "\\" unescaped; empty for none
};

// The skin header of a mesh: the most influences a vertex and a face have,
// and the number of bones (the SkinWeights objects that must follow).
struct XSkinHeader {
    uint32_t maxWeightsPerVertex = 0;
    uint32_t maxWeightsPerFace = 0;
    uint32_t boneCount = 0;
};

// One bone's influences on a mesh: position indices with their weights
// (each in 0..1), and the offset matrix that takes the mesh's space into the
// bone's at the bind pose.
struct XSkinWeights {
    std::string boneName; // as written, matched against frame names exactly
    std::vector<uint32_t> vertices;
    std::vector<float> weights; // parallel to vertices
    math::Matrix offset;
};

struct XMesh {
    std::string name;
    int frame = -1;            // the frame holding the mesh, -1 at the top level
    uint32_t framesBefore = 0; // frames opened before the mesh: its place in file order
    std::vector<math::Vec3> positions;
    std::vector<uint32_t> faces; // three position indices per triangle
    // Normals have their own indexing: three normal indices per triangle,
    // parallel to faces. Both empty when the mesh has no normals.
    std::vector<math::Vec3> normals;
    std::vector<uint32_t> normalFaces;
    std::vector<math::Vec2> texCoords; // one per position, or empty
    std::vector<math::Vec3> tangents;  // one per position, or empty (DeclData)
    std::vector<math::Vec3> binormals; // one per position, or empty (DeclData)
    std::vector<uint32_t> colors;      // packed ARGB, one per position, or empty
    std::vector<XMaterial> materials;
    std::vector<uint32_t> faceMaterials; // one per triangle, or empty (all 0)
    bool hasSkinHeader = false;
    XSkinHeader skinHeader;
    std::vector<XSkinWeights> skinWeights; // bone names distinct; empty for a static mesh

    size_t TriangleCount() const { return faces.size() / 3; }
};

struct XFrame {
    std::string name;
    math::Matrix transform; // relative to the parent frame
    int parent = -1;
};

// The project's own data object "ZtMeshCache" that an optimised-mesh cache
// file carries: the cache's format version and the size and modification
// time of the .x file it was made from.
struct XCacheStamp {
    uint32_t version = 0;
    uint64_t sourceSize = 0;
    int64_t sourceTime = 0;
    bool operator==(const XCacheStamp&) const = default;
};

struct XFile {
    std::vector<XFrame> frames;
    std::vector<XMesh> meshes;
    bool hasCacheStamp = false;
    XCacheStamp cacheStamp;
};

// Reads a file through the path resolver. On failure returns false and sets
// *error to "file: what is wrong".
bool ReadXFile(std::string_view fileName, XFile* out, std::string* error);

// Parses the bytes of a file; fileName only names the file in messages.
bool ParseXFile(std::string_view bytes, std::string_view fileName, XFile* out, std::string* error);

// Writes one mesh and the stamp as a binary .x file ("xof 0303bin 0032"):
// positions and faces, the materials with their texture names and the face
// materials, and normal, tangent, binormal, colour and texture coordinate 0
// of each position as DeclData. The name goes through the path resolver.
bool WriteXFileBinary(std::string_view fileName, const XMesh& mesh, const XCacheStamp& stamp,
                      std::string* error);

// The same file as bytes.
std::string XFileBinaryBytes(const XMesh& mesh, const XCacheStamp& stamp);

// The frame's transform combined with all its parents' (identity for -1).
math::Matrix FrameWorldMatrix(const XFile& file, int frame);

} // namespace mesh
