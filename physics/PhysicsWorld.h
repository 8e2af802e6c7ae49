// What the collision subsystem reads of the player, gathered in one place so
// that those reads stay few and visible. The player sits above the engine:
// the game fills these hooks at start-up (InstallPhysicsWorld). Until then
// there is no player: no body objects, and health changes go nowhere.
#pragma once

#include <cstdint>

struct ObjectRecord;

namespace physicsworld {

struct Hooks {
    // The player's two body objects, standing (0) and crouching (1); null
    // while the player has none.
    ObjectRecord* (*PlayerBody)(int which) = [](int) -> ObjectRecord* { return nullptr; };
    // The three objects of the player (0..2) whose triangles a rigid body
    // leaves out when it does not collide with the player; null for none.
    ObjectRecord* (*PlayerExcludedObject)(int which) = [](int) -> ObjectRecord* { return nullptr; };
    // The player's health change (negative values hurt).
    void (*ChangePlayerHealth)(float change, int32_t, uint32_t) = [](float, int32_t, uint32_t) {};
};

const Hooks& World();
void InstallPhysicsWorld(const Hooks& hooks);

} // namespace physicsworld
