// The rigid-body simulation, `ERigidBodySimulation` (global
// g_RigidBodySimulation): the loose objects that fall, collide and rest.
//
// So far it keeps the bodies' bookkeeping only: a mesh object whose settings
// name a shape gets a body slot (1..MAX_BODIES, 0 for none) with its
// collide-with-player setting, impulses are accumulated on the body, and the
// per-object block of a saved game is empty.
// Integration, contacts and joints come with the physics subsystem.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/math/Types.h"

struct ObjectRecord;

class ERigidBodySimulation {
  public:
    static constexpr int MAX_BODIES = 512;

    struct Body {
        ObjectRecord* hObject = nullptr;
        math::Vec3 vImpulse; // sum of the impulses applied
        math::Vec3 vLastPoint;
        uint32_t dwImpulses = 0;
        uint8_t bCollideWithPlayer = 0; // the player's body pushes it
    };

    virtual ~ERigidBodySimulation() = default;

    // A body for a taken mesh record whose mesh settings name a shape; 0 when
    // it gets none.
    uint32_t AddBody(ObjectRecord* h);
    void RemoveBody(uint32_t slot);
    void RemoveAllBodies();
    // A new world starts with no bodies.
    void Init() { RemoveAllBodies(); }
    void ApplyImpulse(ObjectRecord* h, const math::Vec3& point, const math::Vec3& impulse);
    // The same from three floats each; nothing when an argument is null.
    void AddImpulse(ObjectRecord* h, const float* point, const float* impulse);
    // The object's body through its slot references (the second, else the
    // first); false with *out cleared when it has none, false for a null out.
    bool FindBody(ObjectRecord* h, Body** out);
    // Removes every physics joint of the object (joints come with the
    // simulation; the requests are counted).
    void BreakJoints(ObjectRecord* h) {
        if (h) ++m_dwJointBreaks;
    }
    uint32_t m_dwJointBreaks = 0;
    // The object's block of a saved game (nothing yet beyond what the object
    // block itself holds).
    void SaveGame(ObjectRecord* h, std::FILE* f);
    void LoadGame(ObjectRecord* h, std::FILE* f);

    const Body* GetBody(uint32_t slot) const {
        return slot >= 1 && slot <= MAX_BODIES ? &m_Bodies[slot] : nullptr;
    }
    int NumBodies() const { return m_iNumBodies; }

  private:
    Body m_Bodies[MAX_BODIES + 1];
    int m_iNumBodies = 0;
};

extern ERigidBodySimulation g_RigidBodySimulation;
