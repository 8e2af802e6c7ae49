// The sprite manager, `ESpriteMgr` (global g_SpriteMgr): the camera-facing
// textured quads of type-5 world objects.
//
// So far it keeps the sprites' slots and values: adding a sprite takes a free
// slot and fills it from the creation record, and the setters and getters
// keep the slot in step with its object. Texture lists, culling, vertex
// buffers and drawing come with the renderer.
#pragma once

#include <cstdint>

#include "app/Orientation.h"
#include "platform/math/Types.h"

struct ObjectRecord;
struct AddObjectParams;

struct strSingleSprite {
    ObjectRecord* hObject = nullptr;
    math::Vec3 vPosition;
    math::Vec3 vScale;
    orientation Orientation;
    uint32_t dwColor = 0xFFFFFFFF;
    uint8_t bUsed = 0;
    uint32_t dwFlags = 0;
    uint32_t dwFlags2 = 0;
};

class ESpriteMgr {
  public:
    static constexpr int MAX_SPRITES = 1024;

    virtual ~ESpriteMgr() = default;

    // Makes the sprite of a type-5 record; on success the record's sprite
    // entry and owned-object pointer point at its slot. Nothing while the
    // console variable DrawSprites is off, for an empty file name or when
    // every slot is taken.
    void AddSprite(ObjectRecord* h, const AddObjectParams& params);
    void RemoveSprite(ObjectRecord* h);

    void SetSpritePosition(ObjectRecord* h, const math::Vec3& position);
    void GetSpritePosition(ObjectRecord* h, math::Vec3* out) const;
    void SetSpriteOrientation(ObjectRecord* h, const orientation& o);
    void GetSpriteOrientation(ObjectRecord* h, orientation* out) const;
    void SetSpriteScale(ObjectRecord* h, const math::Vec3& scale);
    void GetSpriteScale(ObjectRecord* h, math::Vec3* out) const;
    void SetSpriteFlags(ObjectRecord* h, uint32_t flags);
    void SetSpriteFlags2(ObjectRecord* h, uint32_t flags2);

    int NumSprites() const { return m_iNumSprites; }

    // Per-frame sprite preparation before the scene (frame driver); the
    // sprites are not drawn yet, so there is nothing to prepare.
    void Update() {}
    // Per world and per frame: the sprites' buffers are made, drawn and, at
    // world close, every sprite is freed.
    void Init() {}
    void Render() {}
    void ReleaseAll();

  private:
    strSingleSprite m_Sprites[MAX_SPRITES];
    int m_iNumSprites = 0;
};

extern ESpriteMgr g_SpriteMgr;
