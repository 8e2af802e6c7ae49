#include "actors/ItemMgr.h"

#include "app/Console.h"

ItemMgr g_ItemMgr;

const ItemDescription* ItemMgr::FindDescription(const char* name) const {
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
