#include "sound/RadioMgr.h"

#include <string>
#include <vector>

#include "platform/os/Os.h"

RadioMgr g_RadioMgr;

void LoadRadios() {
    g_RadioMgr.Clear();
    for (const os::DirEntry& e : os::ListDirectory("scripts\\radio\\*.txt"))
        if (!e.isDirectory) ++g_RadioMgr.m_iNumDescriptions;
}
