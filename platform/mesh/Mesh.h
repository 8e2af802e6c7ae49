// The drawable mesh (what D3DX's mesh object is to the engine): vertices in
// one of the engine's layouts (Mesh: the 60-byte static vertex; SkinnedMesh:
// the 76-byte skinned vertex), 16-bit indices, one attribute per face and the
// attribute table, kept in memory (the managed pool's copy) and, when made on
// a device, in vertex and index buffers of that device.
//
// Locks hand out the memory copy; unlocking after a write sends the locked
// buffer to the device again. DrawSubset sets the mesh's own vertex
// declaration, stream and indices, and draws the faces of one attribute.
//
// Lifetime: a static mesh is owned by the mesh manager and shared by every
// object of the file; a skinned model's meshes are shared by its containers.
// The device must outlive the mesh or be released after it (buffers of a
// device that went first are only freed).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Device.h"
#include "platform/mesh/MeshData.h"

namespace gfx {
class VertexBuffer;
class IndexBuffer;
} // namespace gfx

namespace mesh {

// The engine's static-mesh vertex declaration (60 bytes): position, colour,
// normal, tangent, binormal, texture coordinate 0.
extern const gfx::VertexElement kStaticMeshElements[7];
// The skinned-mesh vertex declaration (76 bytes): position, four blend
// weights, four blend indices (UBYTE4), normal, tangent, binormal, texture
// coordinate 0.
extern const gfx::VertexElement kSkinnedMeshElements[8];

// Self is the mesh class (Mesh or SkinnedMesh), V its vertex.
template <typename Self, typename V> class BasicMesh {
  public:
    using VertexType = V;
    // More vertices than 16-bit indices reach make the mesh fail.
    static constexpr uint32_t kMaxVertices = 65535;

    // A mesh of the data (vertices, indices, attributes and attribute table;
    // the materials stay with the caller). Null with "what is wrong" when
    // the data has more than kMaxVertices vertices, no faces, or an index out
    // of range, or when the device refuses a buffer. device may be null: the
    // mesh then lives in memory only and DrawSubset refuses.
    static std::unique_ptr<Self> Create(const BasicMeshData<V>& data, gfx::Device* device,
                                        std::string* error);
    ~BasicMesh();
    BasicMesh(const BasicMesh&) = delete;
    BasicMesh& operator=(const BasicMesh&) = delete;

    uint32_t NumVertices() const { return uint32_t(m_vertices.size()); }
    uint32_t NumFaces() const { return uint32_t(m_attributes.size()); }
    static constexpr uint32_t BytesPerVertex() { return sizeof(V); }

    // The memory copies, read by the collision and visibility code.
    const std::vector<V>& Vertices() const { return m_vertices; }
    const std::vector<uint16_t>& Indices() const { return m_indices; }
    const std::vector<uint32_t>& Attributes() const { return m_attributes; }
    const std::vector<AttributeRange>& AttributeTable() const { return m_table; }

    // D3DX's table query: with a null table only the count is given.
    void GetAttributeTable(AttributeRange* table, uint32_t* count) const;
    // Replaces the table (count 0 leaves the mesh without one).
    void SetAttributeTable(const AttributeRange* table, uint32_t count);

    // One lock at a time per buffer; gfx::lock::ReadOnly skips the upload.
    gfx::Result LockVertexBuffer(uint32_t flags, void** data);
    gfx::Result UnlockVertexBuffer();
    gfx::Result LockIndexBuffer(uint32_t flags, void** data);
    gfx::Result UnlockIndexBuffer();
    gfx::Result LockAttributeBuffer(uint32_t flags, uint32_t** data);
    gfx::Result UnlockAttributeBuffer();

    // Draws the faces whose attribute is `attribId` with the current
    // transforms, stages or program, through the mesh's own vertex
    // declaration (static or skinned). Ok with nothing drawn when no range has
    // that attribute; InvalidCall without a device.
    gfx::Result DrawSubset(uint32_t attribId);

    gfx::Device* GetDevice() const { return m_device; }

  protected:
    BasicMesh() = default;

  private:
    bool MakeBuffers(std::string* error);

    std::vector<V> m_vertices;
    std::vector<uint16_t> m_indices;
    std::vector<uint32_t> m_attributes;
    std::vector<AttributeRange> m_table;
    gfx::Device* m_device = nullptr;
    gfx::VertexBuffer* m_vb = nullptr;
    gfx::IndexBuffer* m_ib = nullptr;
    gfx::VertexDeclaration* m_decl = nullptr;
    struct LockState {
        bool locked = false;
        bool readOnly = false;
    };
    LockState m_vbLock, m_ibLock, m_attrLock;
};

class Mesh final : public BasicMesh<Mesh, Vertex> {
    friend BasicMesh;
    Mesh() = default;
};

class SkinnedMesh final : public BasicMesh<SkinnedMesh, SkinnedVertex> {
    friend BasicMesh;
    SkinnedMesh() = default;
};

} // namespace mesh
