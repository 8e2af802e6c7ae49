#include "skinmesh/SkinMeshMgr.h"

#include "app/FileHelpers.h"

ESkinMeshMgr g_SkinMeshMgr;

uint32_t ESkinMeshMgr::NextInstance(const char* modelFile) {
    const char* file = modelFile ? modelFile : "";
    for (Base& b : m_Instances) {
        if (StrCmpNoCase(b.file.c_str(), file) == 0) return b.instances++;
    }
    m_Instances.push_back({file, 1});
    return 0;
}
