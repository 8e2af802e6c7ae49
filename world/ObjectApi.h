// The object API: the free functions through which the whole program reads
// and changes world objects. Each takes the record first, does nothing for a
// null record (getters then leave their output untouched), dispatches on the
// record's type and forwards to the owned EMesh, ESkinMesh or sprite, keeping
// the record's own copies (position, orientation, scale, names) in step.
//
// Optional blocks (blinking, sound, FX name, action, death parameters, light
// control) are owned by the record, allocated on first store and handled
// whole: a caller copies the block out (a default one when there is none),
// changes it and stores it back; storing a block whose first field is 0
// frees the object's copy.
#pragma once

#include <cstdint>
#include <cstdio>

#include "app/Orientation.h"
#include "platform/math/Types.h"

struct ObjectRecord;
struct ObjectAction;
struct DeathParams;
struct BlinkingBlock;
struct LightControlList;
struct RigidBodyPhysicsParams;
struct PathGenerationParams;
struct BezierMovingParams;

// ---- Names -------------------------------------------------------------------
// Copies the name, cut to the field's 63 characters.
void SetObjectName(ObjectRecord* h, const char* name);

// ---- Position, orientation, scale --------------------------------------------
void SetObjectPosition(ObjectRecord* h, const math::Vec3& position, bool keepStart = false);
void SetObjectPositionAndOrientation(ObjectRecord* h, const math::Vec3& position, const orientation& o,
                                     bool keepStart = false);
void GetObjectPosition(ObjectRecord* h, math::Vec3* out);
void SetObjectOrientation(ObjectRecord* h, const orientation& o);
void GetObjectOrientation(ObjectRecord* h, orientation* out);
void SetObjectScale(ObjectRecord* h, const math::Vec3& scale);
void GetObjectScale(ObjectRecord* h, math::Vec3* out);

// ---- Flags: new = (old AND NOT mask) OR (value AND mask) ----------------------
void SetObjectFlags(ObjectRecord* h, uint32_t value, uint32_t mask);
void SetObjectFlags2(ObjectRecord* h, uint32_t value, uint32_t mask);
void SetObjectKindFlags(ObjectRecord* h, uint32_t value, uint32_t mask);
void GetObjectFlags(ObjectRecord* h, uint32_t* out);
void GetObjectFlags2(ObjectRecord* h, uint32_t* out);
void GetObjectKindFlags(ObjectRecord* h, uint32_t* out);
void SetObjectDisappearRange(ObjectRecord* h, float range);
void GetObjectDisappearRange(ObjectRecord* h, float* out);
// Lights only: range := rounded value, light cache byte := 0.
void SetObjectRange(ObjectRecord* h, float range);

// ---- Skinned-mesh animation (type 6) -------------------------------------------
void SetObjectAnimation(ObjectRecord* h, const char* name, bool loop, float blendTime, float speed);
void SetObjectUpperAnimation(ObjectRecord* h, const char* name, bool loop, float value);
void SetObjectLowerAnimation(ObjectRecord* h, const char* name, bool loop, float value);
void SetObjectFaceAnimation(ObjectRecord* h, const char* name, bool loop, float value);
bool IsObjectAnimationFinished(ObjectRecord* h);
bool ObjectHasAnimation(ObjectRecord* h, const char* name);
bool GetObjectNodePosition(ObjectRecord* h, const char* node, math::Vec3* out);
void UpdateObjectNodeMatrices(ObjectRecord* h);

// ---- Blocks --------------------------------------------------------------------
// The object's looping positioned sound; an empty name leaves none.
void SetObjectSound(ObjectRecord* h, const char* fileName, float range, const char* condition);
// fileName holds 256 bytes, condition 64; empty and 0 when there is no sound.
void GetObjectSound(ObjectRecord* h, char* fileName, float* range, char* condition);
// The repeating sound of a mesh, interval at least 6.0 s; an empty name
// clears it for any type.
void SetObjectLoopSound(ObjectRecord* h, const char* name, float interval);
void SetObjectDeathParams(ObjectRecord* h, const DeathParams& params);
void GetObjectDeathParams(ObjectRecord* h, DeathParams* out);
void SetObjectAction(ObjectRecord* h, const ObjectAction& action);
void GetObjectAction(ObjectRecord* h, ObjectAction* out);
// The blinking block; null frees it.
void SetObjectExtraBlock(ObjectRecord* h, const BlinkingBlock* block);
// The object's own FX: a non-empty name restarts it at the object (no FX
// during the first 150 level frames); an empty name ends it.
void SetObjectFxName(ObjectRecord* h, const char* name);
void SetObjectNameList(ObjectRecord* h, const LightControlList& list);
void GetObjectNameList(ObjectRecord* h, LightControlList* out);
void SetObjectRigidBodyPhysicsParams(ObjectRecord* h, const RigidBodyPhysicsParams& params);
void GetObjectRigidBodyPhysicsParams(ObjectRecord* h, RigidBodyPhysicsParams* out);
void SetObjectPathGenerationParams(ObjectRecord* h, const PathGenerationParams& params);
void GetObjectPathGenerationParams(ObjectRecord* h, PathGenerationParams* out);
void SetObjectBezierMovingParams(ObjectRecord* h, const BezierMovingParams& params);
void GetObjectBezierMovingParams(ObjectRecord* h, BezierMovingParams* out);

// ---- Physics (type 0) ------------------------------------------------------------
void RemoveObjectRigidBody(ObjectRecord* h);
void CreateObjectRigidBody(ObjectRecord* h, bool forced);
void PutForceToObject(ObjectRecord* h, const math::Vec3& force, bool forced = false);

// ---- Actions, sockets, ties ---------------------------------------------------------
void RunObjectAction(ObjectRecord* h, bool flag);
// A mesh's socket through the mesh-socket manager (with the object's
// orientation), a skinned mesh's through its skin mesh; false otherwise.
bool ReadObjectSocket(ObjectRecord* h, const char* socket, math::Vec3* position, orientation* o);
// Stores the names of a tie to be made at world open (each cut at 63 characters).
void SetObjectPendingTie(ObjectRecord* h, const char* objectName, const char* socketName);
// The tie byte and both names; each name buffer holds 32 bytes, and a longer
// name is reported ("!!! 3" object, "!!! 4" socket) and cut.
void GetObjectTie(ObjectRecord* h, uint8_t* tied, char* objectName, char* socketName);

// ---- Camera and hits ------------------------------------------------------------------
// Makes the camera look from one object at another while both are set.
void ForceCameraToLook(ObjectRecord* from, ObjectRecord* at);
// The hit reaction by the object's death parameters; true when the hit killed it.
bool ActivateObjectOnHit(ObjectRecord* h, const math::Vec3& hit, const math::Vec3& attacker, float damage,
                         bool secondary);

// Binary references to objects: the object's 12-byte PESEL (12 zero bytes for
// none); reading stores the live object with that PESEL, or null.
void FileWritePesel(std::FILE* f, const ObjectRecord* h);
void FileReadPesel(std::FILE* f, ObjectRecord** h);
