#include "actors/WeaponMgr.h"
#include "render/Renderer.h"

CWeaponMgr g_WeaponMgr;

void CWeaponMgr::FireBullet(const ItemDescription* weapon, const math::Vec3& muzzle, const orientation&,
                            ObjectRecord* shooter, int, float) {
    if (!weapon) return;
    ++m_dwBulletsFired;
    m_hLastShooter = shooter;
    m_vLastMuzzle = muzzle;
}

void CWeaponMgr::RenderLaserSight() {
    g_Renderer.RecordPass("CWeaponMgr::RenderLaserSight");
}
