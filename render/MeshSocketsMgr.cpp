#include "render/MeshSocketsMgr.h"

EMeshSocketsMgr g_MeshSocketsMgr;

bool EMeshSocketsMgr::GetSocketWorldPosition(ObjectRecord*, const char*, math::Vec3*) const {
    return false;
}
