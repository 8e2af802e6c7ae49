#include "actors/ItemMgr.h"

#include "app/Console.h"
#include "app/FileHelpers.h"

ItemMgr g_ItemMgr;

const ItemDescription* ItemMgr::FindDescription(const char* name) const {
    if (!name || !*name) return nullptr;
    for (const ItemDescription& d : m_Descriptions)
        if (StrCmpNoCase(d.szName, name) == 0) return &d;
    return nullptr;
}

void ItemMgr::GiveItem(const char* name, int count) {
    if (!name || !*name) return;
    const ItemDescription* dsc = FindDescription(name);
    if (!dsc) {
        g_Console.Print2("No dsc found for ", name);
        return;
    }
}
