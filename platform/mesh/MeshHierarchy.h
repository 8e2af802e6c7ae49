// Models as frame hierarchies (skinned characters): the loader reads a .x
// file and builds its frames and mesh containers by calling back into the
// caller's allocator, which decides what a frame and a container hold beyond
// the members below and owns their memory.
//
// Frames are created in file order and linked as written: the top-level
// frames are the root and its siblings, each frame's children hang from its
// first child in the order written. A mesh outside every frame gets an
// unnamed identity frame of its own at its place among the top-level frames;
// a frame's second mesh is chained to its first container.
//
// Each container receives its mesh in its own space (its frame does not move
// it), built as static meshes are (one vertex per distinct position and
// normal, faces grouped by material), the file's materials (texture names as
// written), three adjacency words per face, and, for a skinned mesh, its
// skin information with each position's influences carried by every vertex
// made from that position.
//
// Failure policy: a file the reader refuses, a mesh without faces or with
// more vertices than 16-bit indices reach, or a failing callback ends the
// load with "file: what is wrong" in *error; everything created so far is
// destroyed through the same allocator and the root stays null.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/math/Types.h"
#include "platform/mesh/HResult.h"
#include "platform/mesh/XFile.h"

namespace gfx {
class Device;
}

namespace mesh {

class Mesh;
class SkinInfo;
struct MeshContainer;

struct Frame {
    std::string name;                  // empty for an unnamed frame
    math::Matrix transformationMatrix; // relative to the parent frame
    MeshContainer* meshContainer = nullptr;
    Frame* frameSibling = nullptr;
    Frame* frameFirstChild = nullptr;
    virtual ~Frame() = default;
};

struct MeshContainer {
    std::string name;
    std::shared_ptr<Mesh> mesh;
    std::vector<XMaterial> materials;
    std::vector<uint32_t> adjacency;    // three words per face
    std::shared_ptr<SkinInfo> skinInfo; // null for a static mesh
    MeshContainer* nextMeshContainer = nullptr;
    virtual ~MeshContainer() = default;
};

// What the loader calls to make and free the hierarchy's records. A failing
// result ends the load; Create... that fails must free what it made itself.
class AllocateHierarchy {
  public:
    virtual ~AllocateHierarchy() = default;
    // name is null for an unnamed frame. The loader sets the matrix and links.
    virtual HResult CreateFrame(const char* name, Frame** newFrame) = 0;
    // name is null for an unnamed mesh, materials null when the mesh has
    // none (numMaterials 0); skinInfo is null for a static mesh.
    virtual HResult CreateMeshContainer(const char* name, const std::shared_ptr<Mesh>& mesh,
                                        const XMaterial* materials, uint32_t numMaterials,
                                        const uint32_t* adjacency, const std::shared_ptr<SkinInfo>& skinInfo,
                                        MeshContainer** newContainer) = 0;
    virtual HResult DestroyFrame(Frame* frame) = 0;
    virtual HResult DestroyMeshContainer(MeshContainer* container) = 0;
};

// Reads the file through the path resolver and builds its hierarchy. The
// meshes are made on the device (null: in memory only). On success *root is
// the first top-level frame (null for a file without frames or meshes).
HResult LoadMeshHierarchy(std::string_view fileName, gfx::Device* device, AllocateHierarchy* allocator,
                          Frame** root, std::string* error);

// The same from a file already read; fileName only names it in messages.
HResult LoadMeshHierarchy(const XFile& file, std::string_view fileName, gfx::Device* device,
                          AllocateHierarchy* allocator, Frame** root, std::string* error);

// The first frame named exactly `name` in the frame, its children and its
// siblings (a frame before its children, children before later siblings);
// null when there is none or the name is empty.
Frame* FrameFind(Frame* root, std::string_view name);

// Destroys the frame, its siblings and everything below them through the
// allocator: each frame's containers, then the frame. The first failing
// result of a callback is returned; the rest are still destroyed.
HResult FrameDestroy(Frame* root, AllocateHierarchy* allocator);

} // namespace mesh
