// The frame of the pass tests: the world of WorldTest on the real device
// headless, the data directory's effects behind a recorder, hand-made render
// lists of texture records and their users, and on request a counting device
// in front of the real one that the passes and the meshes draw through.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/D3DMain.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "skinmesh/SkinMesh.h"
#include "tests/EffectDevice.h"
#include "tests/render/CountingDevice.h"
#include "tests/render/CountingEffect.h"
#include "tests/world/WorldFixture.h"

class PassTest : public WorldTest {
  protected:
    // A derived SetUp asserts the device next: without one nothing runs.
    void SetUp() override {
        WorldTest::SetUp();
        g_pD3DInterface = d_.dev;
    }
    void TearDown() override {
        g_Renderer.m_pMeshTextures[0] = g_Renderer.m_pSkinMeshTextures[0] = g_Renderer.m_pAllTextures[0] =
            nullptr;
        g_EffectMgr.Destroy();
        for (gfx::VertexDeclaration*& decl : g_pVertexDeclarations) {
            if (decl) decl->Release();
            decl = nullptr;
        }
        WorldTest::TearDown();
        AfterWorldTearDown();
        g_RenderStateCache = ERenderStateCache();
        g_pD3DInterface = nullptr;
        if (device_) device_->Release();
        device_ = nullptr;
    }
    // What a fixture releases once the world is gone, while the device is
    // still in place.
    virtual void AfterWorldTearDown() {}

    // From here on the passes draw through a counting device, the cache and
    // the device agreeing; the static and skinned vertex declarations are
    // made on it.
    void DrawThroughCountingDevice() {
        device_ = new CountingDevice(d_.dev);
        g_pD3DInterface = device_;
        g_RenderStateCache = ERenderStateCache();
        g_RenderStateCache.ResetCullMode();
        MakeVertexDeclarations(device_);
    }
    static void MakeVertexDeclarations(gfx::Device* d) {
        d->CreateVertexDeclaration(mesh::kStaticMeshElements, &g_pVertexDeclarations[0]);
        d->CreateVertexDeclaration(mesh::kSkinnedMeshElements, &g_pVertexDeclarations[1]);
    }

    // The data effect of that name loaded by the manager (its handles
    // cached), put behind a recorder; made on the device in place.
    static CountingEffect* AddEffect(const char* name) {
        return AddEffect(name, std::string(ZT_SOURCE_DIR) + "/data/fx/" + name + ".fxc");
    }
    // The same from another file.
    static CountingEffect* AddEffect(const char* name, const std::string& path) {
        EffectRecord* record = g_EffectMgr.CreateEffect(name, path.c_str());
        EXPECT_TRUE(record && record->pEffect) << path;
        if (!record || !record->pEffect) return nullptr;
        auto* counting = new CountingEffect(record->pEffect);
        record->pEffect = counting;
        return counting;
    }

    // In view and seen (subset 0).
    static ObjectRecord* Ready(ObjectRecord* h) {
        EXPECT_TRUE(h);
        h->bVisibleNow = 1;
        h->bSeen = 1;
        h->bSubsetDraw[0] = 1;
        return h;
    }

    // A texture record of the fixture, numbered by its place.
    strtexture* NewRecord() {
        textures_.push_back(std::make_unique<strtexture>());
        strtexture* t = textures_.back().get();
        t->id = uint32_t(textures_.size());
        return t;
    }
    // A texture record of one texel (white unless told) whose users are the
    // given objects' subset (0 unless told), static or skinned by the
    // object's type, in that order.
    strtexture* Texture(const std::vector<ObjectRecord*>& users,
                        std::function<void(strtexture*)> describe = {}, uint32_t subset = 0,
                        uint32_t argb = 0xFFFFFFFF) {
        strtexture* t = NewRecord();
        t->pTexture = d_.Texture(argb);
        for (auto it = users.rbegin(); it != users.rend(); ++it)
            AddUser(t, *it, subset);
        if (describe) describe(t);
        return t;
    }
    // Puts the object's subset at the head of the texture's users.
    void AddUser(strtexture* t, ObjectRecord* h, uint32_t subset = 0) {
        if (h->dwType == OT_SKINMESH) {
            skinUsers_.push_back(std::make_unique<strlistaskinmeshy>());
            strlistaskinmeshy* u = skinUsers_.back().get();
            *u = {h, h->SkinMesh(), subset, t->pSkinMeshes, nullptr};
            t->pSkinMeshes = u;
        } else {
            meshUsers_.push_back(std::make_unique<strlistameshy>());
            strlistameshy* u = meshUsers_.back().get();
            *u = {h, h->Mesh(), subset, t->pMeshes, nullptr};
            t->pMeshes = u;
        }
    }
    // Makes a renderer list of the textures, null-terminated.
    template <size_t N> static void List(strtexture* (&list)[N], const std::vector<strtexture*>& textures) {
        for (size_t i = 0; i < textures.size(); ++i)
            list[i] = textures[i];
        list[textures.size()] = nullptr;
    }

    EffectDevice d_;
    CountingDevice* device_ = nullptr;
    std::vector<std::unique_ptr<strtexture>> textures_;
    std::vector<std::unique_ptr<strlistameshy>> meshUsers_;
    std::vector<std::unique_ptr<strlistaskinmeshy>> skinUsers_;
};
