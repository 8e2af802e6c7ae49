// The ambient-bird holder, `ObjectSlots22` (global g_ObjectSlots22): 22 slots,
// each able to own one engine object. The game's world open, update and
// close drive it; nothing puts an object into a slot, so the slots stay empty
// and the birds add nothing to the world.
#pragma once

#include <cstdint>

struct ObjectRecord;

class ObjectSlots22 {
  public:
    static constexpr int NUM_SLOTS = 22;

    struct Slot {
        uint8_t bUsed = 0;
        uint8_t bFlag2 = 0;
        ObjectRecord* hObject = nullptr;
        float fTimer = 0;
    };

    // Clears both flags, the object and the timer of every slot.
    void Init();
    // Copies the engine's frame time; nothing else.
    void Update();
    void Destroy() { Clear(); }
    // Deletes the object of every slot that owns one through the engine's
    // object table, then clears the slot's object and used flag.
    void Clear();

    Slot m_Slots[NUM_SLOTS];
    float m_fFrameTime = 0;
};

extern ObjectSlots22 g_ObjectSlots22;
