// A skinned-mesh instance, `ESkinMesh`: the character model of a type-6 world
// object, with its animation state, sockets and pose.
//
// So far the instance keeps what the object API hands it: creation reads the
// model's .x hierarchy with the project's .x reader for its bounds and radius
// (a missing or unreadable file fails), and position, orientation, scale and
// the animation names are kept as given; position and scale place the model
// box as the world box that the collision finders read, and every change of
// them refreshes the object in the collision manager. Each subset's texture
// (or its substitute) is registered with the renderer at creation and
// unlinked at release. Animation files, bones, sockets, hit zones and poses
// come with the skinned-mesh subsystem: until then no animation is known
// (HasAnimation is false, every animation counts as finished), no socket or
// node can be read, no hit zone is bound (the segment test hits the model
// only at its centre, from afar) and the save block is empty. Drawing is
// the least the passes need: the model in bind pose, every vertex on bone 0
// with weight 1, in one managed vertex buffer made at creation when a
// device exists; bone 0 is the instance's world matrix.
#pragma once

#include <cstdint>
#include <cstdio>

#include "app/Orientation.h"
#include "platform/math/Types.h"
#include "skinmesh/SkinMeshCollisions.h"

struct ObjectRecord;
struct EffectRecord;
namespace mesh {
struct MeshData;
}
namespace gfx {
class Device;
class VertexBuffer;
class IndexBuffer;
class VertexDeclaration;
} // namespace gfx

class ESkinMesh {
  public:
    ESkinMesh();
    virtual ~ESkinMesh();

    // Reads the model; false (and IsLoaded false) when it cannot be read.
    bool Create(const char* fileName);
    bool IsLoaded() const { return m_bLoaded != 0; }
    void Release();

    float GetRadius() const { return m_fRadius; }
    void GetBoundingBox(math::Vec3* min, math::Vec3* max) const;
    // The box the collision finders use: until the hit zones exist, the model
    // box placed by position and scale (not turned).
    void GetWorldBox(math::Vec3* min, math::Vec3* max) const;

    // The sphere the segment test culls with: until the skeleton exists, the
    // one around the world box.
    void GetSegmentSphere(math::Vec3* centre, float* radius) const;

    // Position and scale place the world box; the collision manager and the
    // segment test are told.
    void SetPosition(const math::Vec3& position);
    const math::Vec3& GetPosition() const { return m_vPosition; }
    void SetOrientation(const orientation& o) { m_Orientation = o; }
    const orientation& GetOrientation() const { return m_Orientation; }
    void SetScale(const math::Vec3& scale);
    const math::Vec3& GetScale() const { return m_vScale; }

    // A struck rigid body wakes the ragdoll of a character beside it; the
    // ragdoll comes with the skinned-mesh subsystem, until then the requests
    // are counted.
    void WakeRagDoll() { ++m_dwRagDollWakeRequests; }
    uint32_t m_dwRagDollWakeRequests = 0;

    void SetAnimation(const char* name, bool loop, float blendTime, float speed);
    void SetUpperAnimation(const char* name, bool loop, float value);
    void SetLowerAnimation(const char* name, bool loop, float value);
    void SetFaceAnimation(const char* name, bool loop, float value);
    bool IsAnimationFinished() const;
    bool HasAnimation(const char* name) const;

    // The low-detail twin (only switches when the model has one; none is
    // read yet) and the per-frame animation step (no animation is known yet).
    bool IsLowPoly() const { return m_bLowPoly != 0; }
    void SetLowPoly(bool on) {
        if (m_bHasLowPoly) m_bLowPoly = on ? 1 : 0;
    }
    void Update() {}
    // Draws the subset with the technique the caller began on `effect`:
    // mWorldMatrixArray[0] = the world matrix (scale, orientation,
    // position), CurNumBones = 1, committed. The calls are counted and the
    // last one kept (tests of the passes read them).
    void Render(uint32_t textureId, uint32_t subset, EffectRecord* effect);
    math::Matrix GetWorldMatrix() const;
    uint32_t m_dwRenderCalls = 0;
    uint32_t m_dwLastRenderTexture = 0;
    uint32_t m_dwLastRenderSubset = 0;
    EffectRecord* m_pLastRenderEffect = nullptr;
    uint8_t m_bHasLowPoly = 0;
    uint8_t m_bLowPoly = 0;

    bool GetNodePosition(const char* node, math::Vec3* out) const;
    void UpdateNodeMatrices();
    bool ReadSocket(const char* socket, math::Vec3* position, orientation* o) const;

    void SaveGame(std::FILE* f);
    void LoadGame(std::FILE* f);

    static constexpr uint32_t MAX_SUBSETS = 256;
    ObjectRecord* m_hObject = nullptr;
    char m_szFileName[256] = {};
    uint32_t m_dwNumSubsets = 0;
    uint32_t m_dwTextureId[MAX_SUBSETS] = {};
    char m_szAnimation[64] = {};
    char m_szUpperAnimation[64] = {};
    char m_szLowerAnimation[64] = {};
    char m_szFaceAnimation[64] = {};
    uint8_t m_bAnimationLoop = 0;
    math::Vec3 m_vRotationAngles;            // world key rotation_angles, degrees as written
    SkinMeshCollisionState m_CollisionState; // the hit zones bound to this object

  private:
    void PlaceWorldBox();
    void RegisterTextures(const mesh::MeshData& data);
    // The bind-pose buffers of the model on the current device (none
    // without a device); false with the device's refusal printed.
    bool MakeBuffers(const mesh::MeshData& data);
    void ReleaseBuffers();

    struct SubsetRange {
        uint32_t dwFaceStart = 0, dwFaceCount = 0, dwVertexStart = 0, dwVertexCount = 0;
    };
    gfx::Device* m_pDevice = nullptr;
    gfx::VertexBuffer* m_pVertexBuffer = nullptr;
    gfx::IndexBuffer* m_pIndexBuffer = nullptr;
    gfx::VertexDeclaration* m_pDeclaration = nullptr;
    SubsetRange m_Ranges[MAX_SUBSETS] = {};

    uint8_t m_bLoaded = 0;
    float m_fRadius = 0;
    math::Vec3 m_vBoxMin, m_vBoxMax;
    math::Vec3 m_vWorldMin, m_vWorldMax;
    math::Vec3 m_vPosition;
    math::Vec3 m_vScale{1, 1, 1};
    orientation m_Orientation;
};
