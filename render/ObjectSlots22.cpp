#include "render/ObjectSlots22.h"

#include "world/Engine.h"

ObjectSlots22 g_ObjectSlots22;

void ObjectSlots22::Init() {
    for (Slot& s : m_Slots)
        s = Slot{};
}

void ObjectSlots22::Update() {
    m_fFrameTime = g_Engine.m_fFrameTime;
}

void ObjectSlots22::Clear() {
    for (Slot& s : m_Slots) {
        if (s.hObject) g_Engine.DeleteObject(s.hObject);
        s.hObject = nullptr;
        s.bUsed = 0;
    }
}
