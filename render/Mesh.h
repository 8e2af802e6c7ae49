// The static mesh of a type-0 world object, `EMesh`: it shares the geometry of
// its .x file through the mesh manager and keeps the object's placement (world
// matrix and its inverse, world box), its bounding values and two blocks of
// world-file settings that other subsystems read through the object API: the
// rigid-body settings and the path-generation settings.
//
// Lifetime: constructed by EEngine::AddObject for a mesh object, created from
// the object's file at once, rebuilt on every placement change and destroyed
// with the object (materials released first, which also unlinks the mesh from
// the textures its subsets registered). Each non-empty subset registers its
// texture with the renderer and takes its flags from the texture's
// description. The object's mesh pointer is the shared drawable mesh, which
// the renderer's passes draw subset by subset.
//
// Failure policy: a mesh whose file does not load prints "MeshMgr returns
// INVALID code" and stays not created; the engine then refuses the object.
#pragma once

#include <cstdint>
#include <vector>

#include "app/Orientation.h"
#include "platform/math/Types.h"
#include "render/MeshMgr.h"
#include "world/ObjectKeys.h"

struct ObjectRecord;

// Settings of the AI path generator for a mesh (world key path_generation).
struct PathGenerationParams {
    uint32_t dwOn = 0;
    float fValue1 = 96.0f;
    float fValue2 = 32.0f;
    float fValue3 = 1536.0f;
    uint32_t dwValue4 = 2000;
};

class EMesh {
  public:
    static constexpr int MAX_SUBSETS = 256;

    EMesh();
    virtual ~EMesh();

    // Loads or shares the geometry of the file; nothing for a null or empty name.
    void Create(const char* fileName);
    bool IsCreated() const { return m_bCreated != 0; }

    // Placement from the owning object: position, rotation (base rotation
    // turned by the object's rotation angles), scale; then the world matrix,
    // its inverse and the world box; the segment test and the collision
    // manager are told the object moved.
    void UpdateWorldMatrix();
    void SetOrientation(const math::Quat& q);
    void GetOrientation(orientation* out) const;
    void SetScale(const math::Vec3& scale);
    void GetScale(math::Vec3* out) const;
    void GetWorldMatrix(math::Matrix* out) const;

    void SetRigidBodyPhysicsParams(const RigidBodyPhysicsParams* params);
    void GetRigidBodyPhysicsParams(RigidBodyPhysicsParams* params) const;
    void SetPathGenerationParams(const PathGenerationParams* params);
    void GetPathGenerationParams(PathGenerationParams* params) const;
    void SetDisappearTime(bool on, float seconds);
    // True when the segment a..b crosses the object's oriented box as the
    // collision manager keeps it; false for a null point or an object without
    // a collision entry. The trigger-zone test of mesh objects.
    bool IntersectSegmentBox(const math::Vec3* a, const math::Vec3* b) const;
    // Face and vertex counts of a subset; the outputs stay as given when the
    // attribute table has no such subset.
    void GetSubsetCounts(uint32_t subset, uint32_t* faces, uint32_t* vertices) const;
    void ReleaseMaterials();

    float Radius() const { return m_fRadius; }
    // Height of the scaled model box (half of it raises the point of a push).
    float Height() const { return (m_vBoxMax.y - m_vBoxMin.y) * m_vScale.y; }

    char m_szFileName[256] = {};
    ObjectRecord* m_hObject = nullptr;
    int m_iMeshId = -1;
    uint8_t m_bCreated = 0;
    uint32_t m_dwNumSubsets = 0;
    std::vector<MeshMaterial> m_Materials;
    uint32_t m_dwTextureId[MAX_SUBSETS] = {};
    uint8_t m_bNonEmpty[MAX_SUBSETS] = {};
    uint8_t m_bTransparent[MAX_SUBSETS] = {};
    uint8_t m_bExcluded[MAX_SUBSETS] = {};
    uint8_t m_bNoIntersect[MAX_SUBSETS] = {};
    uint8_t m_bNoShadow[MAX_SUBSETS] = {};
    math::Vec3 m_vBoxMin, m_vBoxMax, m_vBoxCenter;
    float m_fExtentSum = 0;
    float m_fBaseRadius = 0;
    float m_fRadius = 0;
    float m_fModelRadius = 0;
    float m_fModelRadiusSq = 0;
    float m_fScaledRadiusSq = 0;
    math::Vec3 m_vPosition;
    math::Vec3 m_vScale{1, 1, 1};
    math::Quat m_qBaseRotation;
    math::Vec3 m_vRotationAngles; // world key rotation_angles, degrees as written (kept, not applied)
    math::Quat m_qRotation; // a 90-degree pitch until the first SetOrientation
    math::Matrix m_mWorld;
    math::Matrix m_mInvWorld;
    math::Vec3 m_vWorldCorners[8];
    math::Vec3 m_vWorldMin, m_vWorldMax;
    PathGenerationParams m_PathGeneration;
    RigidBodyPhysicsParams m_RigidBody;
    uint8_t m_bDisappear = 0;
    float m_fDisappearTime = 0;

  private:
    void BuildSubsetTable();
    // The subset's flags from its texture's description.
    void SetSubsetFlags(uint32_t subset);
};
