#include "platform/mesh/Mesh.h"

#include <cstring>

#include "platform/gfx/Draw.h"

namespace mesh {

const gfx::VertexElement kStaticMeshElements[7] = {
    {0, 0, gfx::elemtype::Float3, 0, gfx::elemusage::Position, 0},
    {0, 12, gfx::elemtype::Color, 0, gfx::elemusage::Color, 0},
    {0, 16, gfx::elemtype::Float3, 0, gfx::elemusage::Normal, 0},
    {0, 28, gfx::elemtype::Float3, 0, gfx::elemusage::Tangent, 0},
    {0, 40, gfx::elemtype::Float3, 0, gfx::elemusage::Binormal, 0},
    {0, 52, gfx::elemtype::Float2, 0, gfx::elemusage::TexCoord, 0},
    gfx::DeclEnd,
};

const gfx::VertexElement kSkinnedMeshElements[8] = {
    {0, 0, gfx::elemtype::Float3, 0, gfx::elemusage::Position, 0},
    {0, 12, gfx::elemtype::Float4, 0, gfx::elemusage::BlendWeight, 0},
    {0, 28, gfx::elemtype::UByte4, 0, gfx::elemusage::BlendIndices, 0},
    {0, 32, gfx::elemtype::Float3, 0, gfx::elemusage::Normal, 0},
    {0, 44, gfx::elemtype::Float3, 0, gfx::elemusage::Tangent, 0},
    {0, 56, gfx::elemtype::Float3, 0, gfx::elemusage::Binormal, 0},
    {0, 68, gfx::elemtype::Float2, 0, gfx::elemusage::TexCoord, 0},
    gfx::DeclEnd,
};

namespace {

template <typename V> const gfx::VertexElement* ElementsOf();
template <> const gfx::VertexElement* ElementsOf<Vertex>() {
    return kStaticMeshElements;
}
template <> const gfx::VertexElement* ElementsOf<SkinnedVertex>() {
    return kSkinnedMeshElements;
}

} // namespace

template <typename Self, typename V>
std::unique_ptr<Self> BasicMesh<Self, V>::Create(const BasicMeshData<V>& data, gfx::Device* device,
                                                 std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        return nullptr;
    };
    if (data.vertices.size() > kMaxVertices)
        return fail(std::to_string(data.vertices.size()) + " vertices, more than 16-bit indices reach");
    if (data.attributes.empty() || data.indices.size() != data.attributes.size() * 3) return fail("no faces");
    std::unique_ptr<Self> m(new Self);
    m->m_vertices = data.vertices;
    m->m_indices.resize(data.indices.size());
    for (size_t i = 0; i < data.indices.size(); ++i) {
        if (data.indices[i] >= data.vertices.size()) return fail("a face uses a vertex the mesh has not");
        m->m_indices[i] = uint16_t(data.indices[i]);
    }
    m->m_attributes = data.attributes;
    m->m_table = data.attributeTable;
    m->m_device = device;
    if (device && !m->MakeBuffers(error)) return nullptr;
    return m;
}

template <typename Self, typename V> BasicMesh<Self, V>::~BasicMesh() {
    if (m_vb) m_vb->Release();
    if (m_ib) m_ib->Release();
    if (m_decl) m_decl->Release();
}

template <typename Self, typename V> bool BasicMesh<Self, V>::MakeBuffers(std::string* error) {
    const uint32_t vbBytes = NumVertices() * BytesPerVertex();
    const uint32_t ibBytes = uint32_t(m_indices.size() * 2);
    gfx::Result r =
        m_device->CreateVertexBuffer(vbBytes, gfx::usage::WriteOnly, 0, gfx::Pool::Managed, &m_vb);
    if (r == gfx::Result::Ok)
        r = m_device->CreateIndexBuffer(ibBytes, gfx::usage::WriteOnly, gfx::Format::Index16,
                                        gfx::Pool::Managed, &m_ib);
    if (r == gfx::Result::Ok) r = m_device->CreateVertexDeclaration(ElementsOf<V>(), &m_decl);
    if (r != gfx::Result::Ok) {
        if (error) *error = std::string("the device refuses the mesh's buffers: ") + gfx::ResultName(r);
        return false;
    }
    void* p = nullptr;
    if (m_vb->Lock(0, 0, &p, 0) == gfx::Result::Ok) {
        std::memcpy(p, m_vertices.data(), vbBytes);
        m_vb->Unlock();
    }
    if (m_ib->Lock(0, 0, &p, 0) == gfx::Result::Ok) {
        std::memcpy(p, m_indices.data(), ibBytes);
        m_ib->Unlock();
    }
    return true;
}

template <typename Self, typename V>
void BasicMesh<Self, V>::GetAttributeTable(AttributeRange* table, uint32_t* count) const {
    if (table) std::copy(m_table.begin(), m_table.end(), table);
    if (count) *count = uint32_t(m_table.size());
}

template <typename Self, typename V>
void BasicMesh<Self, V>::SetAttributeTable(const AttributeRange* table, uint32_t count) {
    m_table.assign(table, table + (table ? count : 0));
}

namespace {

gfx::Result Lock(bool* locked, bool* readOnly, uint32_t flags) {
    if (*locked) return gfx::Result::InvalidCall;
    *locked = true;
    *readOnly = (flags & gfx::lock::ReadOnly) != 0;
    return gfx::Result::Ok;
}

// Sends the memory copy to the device buffer after a writing lock.
template <typename Buffer> void Upload(Buffer* buffer, const void* data, size_t bytes) {
    void* p = nullptr;
    if (!buffer || buffer->Lock(0, 0, &p, 0) != gfx::Result::Ok) return;
    std::memcpy(p, data, bytes);
    buffer->Unlock();
}

} // namespace

template <typename Self, typename V>
gfx::Result BasicMesh<Self, V>::LockVertexBuffer(uint32_t flags, void** data) {
    if (!data) return gfx::Result::InvalidCall;
    const gfx::Result r = Lock(&m_vbLock.locked, &m_vbLock.readOnly, flags);
    if (r == gfx::Result::Ok) *data = m_vertices.data();
    return r;
}

template <typename Self, typename V> gfx::Result BasicMesh<Self, V>::UnlockVertexBuffer() {
    if (!m_vbLock.locked) return gfx::Result::InvalidCall;
    m_vbLock.locked = false;
    if (!m_vbLock.readOnly) Upload(m_vb, m_vertices.data(), m_vertices.size() * sizeof(V));
    return gfx::Result::Ok;
}

template <typename Self, typename V>
gfx::Result BasicMesh<Self, V>::LockIndexBuffer(uint32_t flags, void** data) {
    if (!data) return gfx::Result::InvalidCall;
    const gfx::Result r = Lock(&m_ibLock.locked, &m_ibLock.readOnly, flags);
    if (r == gfx::Result::Ok) *data = m_indices.data();
    return r;
}

template <typename Self, typename V> gfx::Result BasicMesh<Self, V>::UnlockIndexBuffer() {
    if (!m_ibLock.locked) return gfx::Result::InvalidCall;
    m_ibLock.locked = false;
    if (!m_ibLock.readOnly) Upload(m_ib, m_indices.data(), m_indices.size() * 2);
    return gfx::Result::Ok;
}

template <typename Self, typename V>
gfx::Result BasicMesh<Self, V>::LockAttributeBuffer(uint32_t flags, uint32_t** data) {
    if (!data) return gfx::Result::InvalidCall;
    const gfx::Result r = Lock(&m_attrLock.locked, &m_attrLock.readOnly, flags);
    if (r == gfx::Result::Ok) *data = m_attributes.data();
    return r;
}

template <typename Self, typename V> gfx::Result BasicMesh<Self, V>::UnlockAttributeBuffer() {
    if (!m_attrLock.locked) return gfx::Result::InvalidCall;
    m_attrLock.locked = false;
    return gfx::Result::Ok;
}

template <typename Self, typename V> gfx::Result BasicMesh<Self, V>::DrawSubset(uint32_t attribId) {
    if (!m_device || !m_vb || !m_ib) return gfx::Result::InvalidCall;
    for (const AttributeRange& r : m_table) {
        if (r.attribId != attribId || r.faceCount == 0) continue;
        m_device->SetVertexDeclaration(m_decl);
        m_device->SetStreamSource(0, m_vb, 0, BytesPerVertex());
        m_device->SetIndices(m_ib);
        return m_device->DrawIndexedPrimitive(gfx::PrimitiveType::TriangleList, 0, r.vertexStart,
                                              r.vertexCount, r.faceStart * 3, r.faceCount);
    }
    return gfx::Result::Ok;
}

template class BasicMesh<Mesh, Vertex>;
template class BasicMesh<SkinnedMesh, SkinnedVertex>;

} // namespace mesh
