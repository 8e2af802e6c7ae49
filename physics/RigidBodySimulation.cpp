#include "physics/RigidBodySimulation.h"

#include "render/Mesh.h"
#include "world/ObjectKeys.h"
#include "world/ObjectRecord.h"

ERigidBodySimulation g_RigidBodySimulation;

uint32_t ERigidBodySimulation::AddBody(ObjectRecord* h) {
    if (!h || !h->bUsed || !h->Mesh()) return 0;
    RigidBodyPhysicsParams params;
    h->Mesh()->GetRigidBodyPhysicsParams(&params);
    if (params.iShape == 0) return 0;
    for (uint32_t i = 1; i <= MAX_BODIES; ++i) {
        if (!m_Bodies[i].hObject) {
            m_Bodies[i] = Body{};
            m_Bodies[i].hObject = h;
            m_Bodies[i].bCollideWithPlayer = params.bCollideWithPlayer;
            ++m_iNumBodies;
            return i;
        }
    }
    return 0;
}

void ERigidBodySimulation::RemoveBody(uint32_t slot) {
    if (slot < 1 || slot > MAX_BODIES || !m_Bodies[slot].hObject) return;
    m_Bodies[slot] = Body{};
    --m_iNumBodies;
}

void ERigidBodySimulation::RemoveAllBodies() {
    for (uint32_t i = 1; i <= MAX_BODIES; ++i)
        m_Bodies[i] = Body{};
    m_iNumBodies = 0;
}

void ERigidBodySimulation::ApplyImpulse(ObjectRecord* h, const math::Vec3& point, const math::Vec3& impulse) {
    if (!h || h->dwRigidBody < 1 || h->dwRigidBody > MAX_BODIES) return;
    Body& b = m_Bodies[h->dwRigidBody];
    if (b.hObject != h) return;
    b.vImpulse += impulse;
    b.vLastPoint = point;
    ++b.dwImpulses;
}

void ERigidBodySimulation::AddImpulse(ObjectRecord* h, const float* point, const float* impulse) {
    if (!h || !point || !impulse) return;
    ApplyImpulse(h, {point[0], point[1], point[2]}, {impulse[0], impulse[1], impulse[2]});
}

bool ERigidBodySimulation::FindBody(ObjectRecord* h, Body** out) {
    if (!out) return false;
    *out = nullptr;
    if (!h) return false;
    const uint32_t slot = h->dwRigidBody2 ? h->dwRigidBody2 : h->dwRigidBody;
    if (slot < 1 || slot > MAX_BODIES || m_Bodies[slot].hObject != h) return false;
    *out = &m_Bodies[slot];
    return true;
}

void ERigidBodySimulation::SaveGame(ObjectRecord*, std::FILE*) {}

void ERigidBodySimulation::LoadGame(ObjectRecord*, std::FILE*) {}
