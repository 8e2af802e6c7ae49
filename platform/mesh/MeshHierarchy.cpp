#include "platform/mesh/MeshHierarchy.h"

#include <cstdio>

#include "platform/mesh/Mesh.h"
#include "platform/mesh/MeshData.h"
#include "platform/mesh/MeshOps.h"
#include "platform/mesh/SkinInfo.h"

namespace mesh {

namespace {

const char* NameOrNull(const std::string& name) {
    return name.empty() ? nullptr : name.c_str();
}

std::string Hex(HResult r) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", uint32_t(r));
    return text;
}

// The skin of one mesh with the influences of each file position given to
// every vertex made from it.
std::shared_ptr<SkinInfo> MakeSkinInfo(const XMesh& m, const std::vector<uint32_t>& vertexPositions) {
    const uint32_t numVertices = uint32_t(vertexPositions.size());
    std::shared_ptr<SkinInfo> skin = SkinInfo::Create(numVertices, uint32_t(m.skinWeights.size()));
    if (!skin) return nullptr;
    // The vertices of each position, position by position.
    std::vector<uint32_t> start(m.positions.size() + 1, 0);
    for (uint32_t p : vertexPositions)
        ++start[p + 1];
    for (size_t p = 0; p < m.positions.size(); ++p)
        start[p + 1] += start[p];
    std::vector<uint32_t> ofPosition(numVertices);
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    for (uint32_t v = 0; v < numVertices; ++v)
        ofPosition[fill[vertexPositions[v]]++] = v;

    std::vector<uint32_t> vertices;
    std::vector<float> weights;
    for (uint32_t b = 0; b < m.skinWeights.size(); ++b) {
        const XSkinWeights& bone = m.skinWeights[b];
        vertices.clear();
        weights.clear();
        for (size_t i = 0; i < bone.vertices.size(); ++i)
            for (uint32_t k = start[bone.vertices[i]]; k < start[bone.vertices[i] + 1]; ++k) {
                vertices.push_back(ofPosition[k]);
                weights.push_back(bone.weights[i]);
            }
        if (Failed(skin->SetBoneInfluence(b, uint32_t(vertices.size()), vertices.data(), weights.data())) ||
            Failed(skin->SetBoneName(b, bone.boneName)) || Failed(skin->SetBoneOffsetMatrix(b, bone.offset)))
            return nullptr;
    }
    return skin;
}

class Loader {
  public:
    Loader(const XFile& file, std::string_view fileName, gfx::Device* device, AllocateHierarchy* allocator,
           std::string* error)
        : file_(file), fileName_(fileName), device_(device), allocator_(allocator), error_(error) {}

    HResult Run(Frame** root) {
        made_.assign(file_.frames.size(), nullptr);
        lastChild_.assign(file_.frames.size(), nullptr);
        size_t nextMesh = 0;
        for (size_t i = 0; i <= file_.frames.size(); ++i) {
            // The meshes written before frame i opens.
            for (; nextMesh < file_.meshes.size() && file_.meshes[nextMesh].framesBefore <= i; ++nextMesh)
                if (HResult r = AddContainer(file_.meshes[nextMesh]); Failed(r)) return r;
            if (i == file_.frames.size()) break;
            const XFrame& x = file_.frames[i];
            Frame* frame = nullptr;
            if (HResult r = NewFrame(x.name, x.parent, &frame); Failed(r)) return r;
            frame->transformationMatrix = x.transform;
            made_[i] = frame;
        }
        *root = root_;
        return HResult::Ok;
    }

    Frame* Built() const { return root_; }

  private:
    HResult Fail(HResult r, const std::string& what) {
        if (error_) *error_ = std::string(fileName_) + ": " + what;
        return r;
    }

    HResult NewFrame(const std::string& name, int parent, Frame** out) {
        Frame* frame = nullptr;
        HResult r = allocator_->CreateFrame(NameOrNull(name), &frame);
        if (Failed(r)) return Fail(r, "frame \"" + name + "\" not created (" + Hex(r) + ")");
        if (!frame) return Fail(HResult::Fail, "frame \"" + name + "\" not created (none given)");
        Frame*& last = parent < 0 ? lastTop_ : lastChild_[size_t(parent)];
        if (!last) {
            (parent < 0 ? root_ : made_[size_t(parent)]->frameFirstChild) = frame;
        } else {
            last->frameSibling = frame;
        }
        last = frame;
        *out = frame;
        return HResult::Ok;
    }

    HResult AddContainer(const XMesh& m) {
        const std::string what = "mesh \"" + m.name + "\"";
        Frame* frame = nullptr;
        if (m.frame >= 0 && size_t(m.frame) < made_.size() && made_[size_t(m.frame)]) {
            frame = made_[size_t(m.frame)];
        } else if (HResult r = NewFrame({}, -1, &frame); Failed(r)) {
            return r;
        }
        MeshData data;
        std::vector<uint32_t> vertexPositions;
        if (!BuildSingleMeshData(m, &data, &vertexPositions))
            return Fail(HResult::Fail, what + " has no faces");
        if (data.vertices.size() > Mesh::kMaxVertices)
            return Fail(HResult::Fail, what + " has " + std::to_string(data.vertices.size()) +
                                           " vertices, more than 16-bit indices reach");
        std::shared_ptr<SkinInfo> skin;
        if (m.hasSkinHeader || !m.skinWeights.empty()) {
            skin = MakeSkinInfo(m, vertexPositions);
            if (!skin) return Fail(HResult::OutOfMemory, what + ": no skin information");
        }
        const std::vector<uint32_t> adjacency = GenerateAdjacency(data, 0.0f);
        std::string why;
        std::shared_ptr<Mesh> mesh = Mesh::Create(data, device_, &why);
        if (!mesh) return Fail(HResult::Fail, what + ": " + why);

        MeshContainer* container = nullptr;
        const HResult r = allocator_->CreateMeshContainer(
            NameOrNull(m.name), mesh, m.materials.empty() ? nullptr : m.materials.data(),
            uint32_t(m.materials.size()), adjacency.data(), skin, &container);
        if (Failed(r)) return Fail(r, what + " not taken (" + Hex(r) + ")");
        if (!container) return Fail(HResult::Fail, what + " not taken (no container given)");
        MeshContainer** tail = &frame->meshContainer;
        while (*tail)
            tail = &(*tail)->nextMeshContainer;
        *tail = container;
        return HResult::Ok;
    }

    const XFile& file_;
    std::string_view fileName_;
    gfx::Device* device_;
    AllocateHierarchy* allocator_;
    std::string* error_;
    std::vector<Frame*> made_;      // the frame made of each file frame
    std::vector<Frame*> lastChild_; // the last child linked under each file frame
    Frame* root_ = nullptr;
    Frame* lastTop_ = nullptr;
};

} // namespace

HResult LoadMeshHierarchy(const XFile& file, std::string_view fileName, gfx::Device* device,
                          AllocateHierarchy* allocator, Frame** root, std::string* error) {
    if (!root || !allocator) return HResult::Fail;
    *root = nullptr;
    Loader loader(file, fileName, device, allocator, error);
    const HResult r = loader.Run(root);
    if (Failed(r)) FrameDestroy(loader.Built(), allocator);
    return r;
}

HResult LoadMeshHierarchy(std::string_view fileName, gfx::Device* device, AllocateHierarchy* allocator,
                          Frame** root, std::string* error) {
    if (!root || !allocator) return HResult::Fail;
    *root = nullptr;
    XFile file;
    if (!ReadXFile(fileName, &file, error)) return HResult::Fail;
    return LoadMeshHierarchy(file, fileName, device, allocator, root, error);
}

Frame* FrameFind(Frame* root, std::string_view name) {
    if (name.empty()) return nullptr;
    for (Frame* f = root; f; f = f->frameSibling) {
        if (f->name == name) return f;
        if (Frame* found = FrameFind(f->frameFirstChild, name)) return found;
    }
    return nullptr;
}

HResult FrameDestroy(Frame* root, AllocateHierarchy* allocator) {
    if (!allocator) return HResult::Fail;
    HResult result = HResult::Ok;
    auto keep = [&](HResult r) {
        if (!Failed(result)) result = r;
    };
    for (Frame* f = root; f;) {
        Frame* const sibling = f->frameSibling;
        keep(FrameDestroy(f->frameFirstChild, allocator));
        for (MeshContainer* c = f->meshContainer; c;) {
            MeshContainer* const next = c->nextMeshContainer;
            keep(allocator->DestroyMeshContainer(c));
            c = next;
        }
        keep(allocator->DestroyFrame(f));
        f = sibling;
    }
    return result;
}

} // namespace mesh
