#include "render/SpriteMgr.h"

#include "app/Options.h"
#include "app/Records.h"
#include "world/ObjectRecord.h"

ESpriteMgr g_SpriteMgr;

namespace {
strSingleSprite* Slot(ObjectRecord* h) {
    return h && h->pSprite && h->pSprite->bUsed ? h->pSprite : nullptr;
}
} // namespace

void ESpriteMgr::AddSprite(ObjectRecord* h, const AddObjectParams& params) {
    if (!h || !DrawSprites || !params.szFileName[0]) return;
    for (strSingleSprite& s : m_Sprites) {
        if (s.bUsed) continue;
        s = strSingleSprite{};
        s.bUsed = 1;
        s.hObject = h;
        s.dwFlags = params.dwFlags;
        s.dwFlags2 = params.dwFlags2;
        s.vPosition = params.vPosition;
        s.vScale = params.vScale;
        s.Orientation = params.Orientation;
        h->pSprite = &s;
        h->pObject = &s;
        ++m_iNumSprites;
        return;
    }
}

void ESpriteMgr::RemoveSprite(ObjectRecord* h) {
    strSingleSprite* s = Slot(h);
    if (!s) return;
    *s = strSingleSprite{};
    --m_iNumSprites;
    h->pSprite = nullptr;
    h->pObject = nullptr;
}

void ESpriteMgr::SetSpritePosition(ObjectRecord* h, const math::Vec3& p) {
    if (strSingleSprite* s = Slot(h)) s->vPosition = p;
}
void ESpriteMgr::GetSpritePosition(ObjectRecord* h, math::Vec3* out) const {
    if (strSingleSprite* s = Slot(h); s && out) *out = s->vPosition;
}
void ESpriteMgr::SetSpriteOrientation(ObjectRecord* h, const orientation& o) {
    if (strSingleSprite* s = Slot(h)) s->Orientation = o;
}
void ESpriteMgr::GetSpriteOrientation(ObjectRecord* h, orientation* out) const {
    if (strSingleSprite* s = Slot(h); s && out) *out = s->Orientation;
}
void ESpriteMgr::SetSpriteScale(ObjectRecord* h, const math::Vec3& scale) {
    if (strSingleSprite* s = Slot(h)) s->vScale = scale;
}
void ESpriteMgr::GetSpriteScale(ObjectRecord* h, math::Vec3* out) const {
    if (strSingleSprite* s = Slot(h); s && out) *out = s->vScale;
}
void ESpriteMgr::SetSpriteFlags(ObjectRecord* h, uint32_t flags) {
    if (strSingleSprite* s = Slot(h)) s->dwFlags = flags;
}
void ESpriteMgr::SetSpriteFlags2(ObjectRecord* h, uint32_t flags2) {
    if (strSingleSprite* s = Slot(h)) s->dwFlags2 = flags2;
}

void ESpriteMgr::ReleaseAll() {
    for (strSingleSprite& s : m_Sprites)
        s = strSingleSprite();
    m_iNumSprites = 0;
}
