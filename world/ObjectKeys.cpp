#include "world/ObjectKeys.h"

#include <bit>
#include <cstring>

#include "app/FileHelpers.h"

static_assert(std::endian::native == std::endian::little, "record images are copied as little-endian bytes");

// ---- RigidBodyPhysicsParams ------------------------------------------------

void RigidBodyPhysicsParams::Reset() {
    std::memset(this, 0, sizeof *this);
    fMass = 8.0f;
    bCollideWithPlayer = 1;
    bReactAfterBulletHit = 1;
    bReactAfterExplosion = 1;
    fFrictionCoef = 1.0f;
    fJointDamping = 1.0f;
}

void RigidBodyPhysicsParams::WriteImage(uint8_t* image) const {
    std::memset(image, 0, IMAGE_SIZE);
#define ZT_PUT(offset, field) std::memcpy(image + (offset), &field, sizeof field);
    ZT_RIGID_BODY_PARAMS_IMAGE(ZT_PUT)
#undef ZT_PUT
}

void RigidBodyPhysicsParams::ReadImage(const uint8_t* image) {
#define ZT_GET(offset, field) std::memcpy(&field, image + (offset), sizeof field);
    ZT_RIGID_BODY_PARAMS_IMAGE(ZT_GET)
#undef ZT_GET
}

void FileWriteRigidBodyPhysicsParams(std::FILE* f, const RigidBodyPhysicsParams& params) {
    uint8_t image[RigidBodyPhysicsParams::IMAGE_SIZE];
    params.WriteImage(image);
    FileWriteBytes(f, image, sizeof image);
}

void FileReadRigidBodyPhysicsParams(std::FILE* f, RigidBodyPhysicsParams& params) {
    uint8_t image[RigidBodyPhysicsParams::IMAGE_SIZE];
    params.WriteImage(image);  // a short read keeps the fields as they were
    FileReadBytes(f, image, sizeof image);
    params.ReadImage(image);
}
