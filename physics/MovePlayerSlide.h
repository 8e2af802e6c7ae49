// The player's collide-and-slide movement, `EMovePlayerSlide` (global
// g_MovePlayerSlide). The body is an axis-aligned box, the local bounding box
// of the body object's mesh, placed at the object's position; it moves
// through a private buffer of world triangles that the mover gathers around
// each query from its own box finder in the collision manager.
//
// A move frees a stuck body (lifting, searching, pushing), pushes loose
// rigid bodies, slides along walls, climbs steps of up to 18 units, tries
// side-steps out of corners, turns larger steps into a short glide that
// later frames finish, reports ground contact and applies the damage of
// hurting and killing surfaces. The same object answers whether a box fits
// at a position and whether an object's box can move between two points.
//
// Lifetimes: one global instance for the whole process; its triangle buffer
// is part of it, so nothing is allocated per move. The finder is made on the
// first move and removed by ReleaseFinder (a game load). The player's two
// body objects come through the physics hooks (physics/PhysicsWorld.h); while
// a query gathers, both lose their gathering flag so that the body never
// collides with itself, and get their flags back whatever the outcome.
//
// Failure policy: null arguments return false at once; a full buffer prints
// its console line and the move goes on with what was gathered; a body stuck
// beyond the three searches stays where it is and the move returns false.
// Main thread only.
#pragma once

#include <cstdint>

#include "physics/CollisionMgr.h"
#include "platform/math/Types.h"

struct ObjectRecord;

// The outcome of one sweep.
struct SlideSweepResult {
    uint8_t bHit = 0;
    uint8_t bStartedInside = 0; // the box overlapped a triangle at the start and could not move
    math::Vec3 vPos;            // where the box stops
    float fFraction = 0;        // the part of the way travelled, 0..1
    math::Vec3 vNormal;         // the contact normal to slide along
};

// Bumps of one slide; the corner trials run with 2.
extern uint32_t g_dwMaxSlideBumps;

class EMovePlayerSlide {
  public:
    static constexpr uint32_t MAX_TRIANGLES = 6000;

    EMovePlayerSlide();
    virtual ~EMovePlayerSlide() = default;
    EMovePlayerSlide(const EMovePlayerSlide&) = delete;
    EMovePlayerSlide& operator=(const EMovePlayerSlide&) = delete;

    // Moves the body object towards the wanted position; on return wanted
    // holds the position to take. True when a move was computed.
    bool MovePlayerSlide(ObjectRecord* h, math::Vec3* wanted, uint8_t* contact, bool force);
    // The last move ended on walkable ground.
    bool IsOnGround() const { return m_bOnGround != 0; }
    // True when the object's box placed at the position touches no world
    // triangle (the player's bodies left out).
    bool IsPositionFree(ObjectRecord* h, const math::Vec3& position);
    // True when the object's box, moved in a straight line, meets a world
    // triangle; m_hLastHitObject then names the object hit. Equal points
    // make it a static overlap test.
    bool TestObjectMove(ObjectRecord* h, const math::Vec3* from, const math::Vec3* to);
    // When release is set, removes the mover's finder; the next move makes a
    // new one.
    void ReleaseFinder(bool release);

    // ---- Queries on the gathered triangles --------------------------------------------
    // Makes the buffer hold the triangles of a box that reaches beyond the
    // gathered box (which grows to the union of both).
    void GatherAround(const math::Vec3& min, const math::Vec3& max);
    bool TestBox(const math::Vec3& p, const math::Vec3& min, const math::Vec3& max);
    bool FindOpposingNormal(const math::Vec3& p, const math::Vec3& min, const math::Vec3& max,
                            const math::Vec3& direction, math::Vec3* normal) const;
    bool SweptBoxHits(const math::Vec3& from, const math::Vec3& to, const math::Vec3& min,
                      const math::Vec3& max);
    void SweepBox(const math::Vec3& from, const math::Vec3& to, const math::Vec3& min, const math::Vec3& max,
                  bool probe, SlideSweepResult* result);
    static void ClipVelocity(const math::Vec3& v, const math::Vec3& n, math::Vec3* out, float factor);
    void SlideMove(math::Vec3* position, math::Vec3* velocity, const math::Vec3& min, const math::Vec3& max);
    bool FindFacingContact(const math::Vec3& p, const math::Vec3& min, const math::Vec3& max,
                           math::Vec3* normal);
    ObjectRecord* FindMeshOnSegment(const math::Vec3& a, const math::Vec3& b);

    // ---- Freeing a stuck body and pushing loose bodies --------------------------------
    void UnstickByLifting(math::Vec3* p, const math::Vec3& min, const math::Vec3& max);
    void UnstickBySearching(math::Vec3* p, const math::Vec3& min, const math::Vec3& max);
    void UnstickByPushing(math::Vec3* p, const math::Vec3& min, const math::Vec3& max);
    bool PushRigidBodies(const math::Vec3& q, const math::Vec3& min, const math::Vec3& max,
                         const math::Vec3& u);

    Finder* m_pFinder = nullptr;
    uint32_t m_dwNumTriangles = 0;
    CollisionTriangle m_pTriangles[MAX_TRIANGLES];
    math::Vec3 m_vGatherMin, m_vGatherMax;
    math::Vec3 m_vContactNormal{0, 1, 0};
    uint8_t m_bOnGround = 1;
    uint8_t m_bPushActive = 0;
    math::Vec3 m_vPushDir;
    float m_fPushRemaining = 0;
    ObjectRecord* m_hLastHitObject = nullptr;

    // What the last moves did, for the benchmark's counts: unstick searches
    // run and glides started.
    uint32_t m_dwUnstickSearches = 0;
    uint32_t m_dwGlides = 0;

  private:
    // Empties the buffer and refills it from the mover's finder set to the
    // gathered box (made on first use).
    void RefillFromFinder();
    // Whether the triangle's box and TriBoxOverlap both meet the box.
    static bool Touches(const CollisionTriangle& t, const math::Vec3& min, const math::Vec3& max);
    // The acceptance test of a freed position: the box fits there and no
    // mesh lies between it and the start.
    bool Acceptable(const math::Vec3& start, const math::Vec3& p, const math::Vec3& min,
                    const math::Vec3& max);
    // The first of the eight ring offsets, radius and lift given, that
    // passes the acceptance test; false when none does.
    bool TryRing(const math::Vec3& start, float radius, float lift, const math::Vec3& min,
                 const math::Vec3& max, math::Vec3* out);
    // Hurting and killing surfaces touching the box, each object once.
    void HurtBySurfaces(const math::Vec3& min, const math::Vec3& max, float frameTime);
};

extern EMovePlayerSlide g_MovePlayerSlide;
