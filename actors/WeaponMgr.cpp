#include "actors/WeaponMgr.h"

#include "actors/ItemMgr.h"
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

bool CWeaponMgr::CanAim() const {
    return m_pCurrentWeapon && m_pCurrentWeapon->pDescription && m_pCurrentWeapon->pDescription->bCanAim;
}
