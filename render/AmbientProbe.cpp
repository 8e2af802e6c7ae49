#include "render/AmbientProbe.h"

#include <cstring>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/FocusMgr.h"
#include "app/Options.h"
#include "platform/effect/Effect.h"
#include "platform/gfx/Device.h"
#include "platform/gfx/Draw.h"
#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "render/EffectMgr.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/RenderStateCache.h"
#include "render/Renderer.h"
#include "world/Camera.h"
#include "world/EngineObjectFlags.h"
#include "world/ObjectRecord.h"

EAmbientProbe g_AmbientProbe;

namespace {

const bool g_Registered = (RegisterDeviceHook(
                               DeviceHook::AmbientProbeTargets, [] { g_AmbientProbe.OnLostDevice(); },
                               [] { g_AmbientProbe.OnResetDevice(); }),
                           true);

template <typename T> void ReleaseRef(T*& r) {
    if (r) r->Release();
    r = nullptr;
}

// Almost straight down: a look exactly along -y has no steady up axis.
const math::Vec3 kProbeDirection{0.02f, -0.98f, 0.02f};

math::Vec4 VertexAmbientColour(const float c[3]) {
    return {c[0], c[1], c[2], 1.0f};
}

// The three vertex-ambient parameters, from the inside set for a ground
// object lit from inside.
void SetVertexAmbient(effect::Effect* e, bool inside) {
    const EnvironmentSettings& env = g_EnvironmentSettings;
    const effect::Handle none;
    e->SetFloat(e->GetParameterByName(none, "g_fVertexAmbientBrightness"),
                inside ? env.m_fVertexAmbientInsideBrightness : env.m_fVertexAmbientBrightness);
    e->SetFloat(e->GetParameterByName(none, "g_fVertexAmbientContrast"),
                inside ? env.m_fVertexAmbientInsideContrast : env.m_fVertexAmbientContrast);
    e->SetVector(e->GetParameterByName(none, "g_fVertexAmbientColor"),
                 VertexAmbientColour(inside ? env.m_vVertexAmbientInsideColor : env.m_vVertexAmbientColor));
}

// The reference colour as the clear takes it: the environment's channels
// (0..255) packed, which is what each channel / 255 truncated back gives.
uint32_t PackedReference(const ObjectRecord* ground) {
    return g_EnvironmentSettings.GetAmbientColor(ground ? ground->iAmbientLightIdx : 0) & 0x00FFFFFFu;
}

} // namespace

// ---- Lifecycle -----------------------------------------------------------------------------------

void EAmbientProbe::Init() {
    m_bWorldOpen = true;
    m_bEffectMissingReported = false;
    CreateTargets();
    m_iCount = 0;
    m_bBegun = 0;
}

void EAmbientProbe::Destroy() {
    ReleaseTargets();
    m_bWorldOpen = false;
    m_bBegun = 0;
}

void EAmbientProbe::OnResetDevice() {
    if (m_bWorldOpen) CreateTargets();
}

void EAmbientProbe::CreateTargets() {
    ReleaseTargets();
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    if (gfx::Failed(d->CreateTexture(PROBE_SIZE, PROBE_SIZE, 1, gfx::usage::RenderTarget,
                                     gfx::Format::A8R8G8B8, gfx::Pool::Default, &m_pProbeTexture))) {
        m_pProbeTexture = nullptr;
        g_Console.Print("Unable to create render target for ambient probe");
        return;
    }
    if (gfx::Failed(d->CreateDepthStencilSurface(PROBE_SIZE, PROBE_SIZE, g_DepthStencilFormat, 0, 0, true,
                                                 &m_pProbeDepth))) {
        m_pProbeDepth = nullptr;
        g_Console.Print("Unable to create depth/stencil surface for ambient probe");
        return;
    }
    m_pProbeTexture->GetSurfaceLevel(0, &m_pProbeSurface);
    if (gfx::Failed(d->CreateOffscreenPlainSurface(PROBE_SIZE, PROBE_SIZE, gfx::Format::A8R8G8B8,
                                                   gfx::Pool::SystemMem, &m_pCalculateSurface))) {
        m_pCalculateSurface = nullptr;
        g_Console.Print("Unable to create m_pCalculateSurface for render occluder");
    }
}

void EAmbientProbe::ReleaseTargets() {
    ReleaseRef(m_pProbeSurface);
    ReleaseRef(m_pProbeDepth);
    ReleaseRef(m_pProbeTexture);
    ReleaseRef(m_pCalculateSurface);
}

// ---- Queue ----------------------------------------------------------------------------------------

void EAmbientProbe::QueueProbe(ObjectRecord* receiver, const math::Vec3& point, ObjectRecord* ground,
                               uint32_t textureId) {
    if (m_iCount >= MAX_AMBIENT_PROBE_CUE) {
        g_Console.Print("MAX_AMBIENT_PROBE_CUE overflow!");
        if (receiver) receiver->bAmbientReprobe = 1;
        return;
    }
    AmbientProbeRequest& r = m_Queue[m_iCount++];
    r.hReceiver = receiver;
    r.hGround = ground;
    r.vPoint = point;
    r.dwTextureId = textureId;
}

void EAmbientProbe::DropQueue() {
    for (int i = 0; i < m_iCount; ++i)
        if (ObjectRecord* h = m_Queue[i].hReceiver) h->bAmbientReprobe = 1;
    m_iCount = 0;
}

math::Vec3 EAmbientProbe::ReferenceColour(const ObjectRecord* ground) {
    const uint32_t c = g_EnvironmentSettings.GetAmbientColor(ground ? ground->iAmbientLightIdx : 0);
    return {float((c >> 16) & 0xFF) / 255.0f, float((c >> 8) & 0xFF) / 255.0f, float(c & 0xFF) / 255.0f};
}

math::Vec3 EAmbientProbe::Bound(const math::Vec3& measured, const math::Vec3& reference) {
    math::Vec3 c = measured;
    const math::Vec3 upper = reference * UPPER_BOUND;
    if (c.x > upper.x && c.y > upper.y && c.z > upper.z) c = upper;
    const math::Vec3 lower = reference * LOWER_BOUND;
    if (c.x < lower.x && c.y < lower.y && c.z < lower.z) c = lower;
    return c;
}

void EAmbientProbe::ProcessQueue() {
    if (m_iCount == 0) return;
    if (!HasTargets() || !BeginProbeRender()) {
        DropQueue();
        return;
    }
    for (int i = 0; i < m_iCount; ++i) {
        const AmbientProbeRequest& r = m_Queue[i];
        const math::Vec3 reference = ReferenceColour(r.hGround);
        const uint32_t c = RenderProbe(r.vPoint, r.hGround, r.dwTextureId);
        const math::Vec3 measured{float((c >> 16) & 0xFF) / 255.0f, float((c >> 8) & 0xFF) / 255.0f,
                                  float(c & 0xFF) / 255.0f};
        ObjectRecord* h = r.hReceiver;
        if (!h) continue;
        const math::Vec3 probed = Bound(measured, reference);
        h->fProbedAmbient[0] = probed.x;
        h->fProbedAmbient[1] = probed.y;
        h->fProbedAmbient[2] = probed.z;
        h->fProbedAmbient[3] = 1.0f;
        h->bAmbientProbed = 1;
        h->bAmbientReprobe = 0;
    }
    EndProbeRender();
    m_iCount = 0;
}

// ---- The probe render --------------------------------------------------------------------------------

bool EAmbientProbe::BeginProbeRender() {
    gfx::Device* d = g_pD3DInterface;
    if (m_bBegun) return true;
    if (!d || !HasTargets()) return false;
    d->GetViewport(&m_KeptViewport);
    d->GetRenderTarget(0, &m_pKeptTarget);
    d->GetDepthStencilSurface(&m_pKeptDepth);
    d->SetRenderTarget(0, m_pProbeSurface);
    d->SetDepthStencilSurface(m_pProbeDepth);
    d->SetViewport(gfx::Viewport{0, 0, PROBE_SIZE, PROBE_SIZE, 0.0f, 1.0f});
    m_bBegun = 1;
    return true;
}

void EAmbientProbe::EndProbeRender() {
    if (!m_bBegun) return;
    m_bBegun = 0;
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    // The kept depth surface may be none (a device without one): set as kept.
    d->SetDepthStencilSurface(m_pKeptDepth);
    ReleaseRef(m_pKeptDepth);
    if (m_pKeptTarget) d->SetRenderTarget(0, m_pKeptTarget);
    ReleaseRef(m_pKeptTarget);
    d->SetViewport(m_KeptViewport);
    g_Camera.SetProjection();
}

uint32_t EAmbientProbe::RenderProbe(const math::Vec3& point, ObjectRecord* ground, uint32_t textureId) {
    const uint32_t reference = PackedReference(ground);
    // Begun before the clear: the clear must reach the probe target, never
    // the target that happens to be current.
    const bool beganHere = !m_bBegun;
    if (!BeginProbeRender()) return reference;
    gfx::Device* d = g_pD3DInterface;
    // The stencil is asked for only where the depth surface has one: a clear
    // that asks for a missing stencil clears nothing at all.
    uint32_t flags = gfx::clear::Target | gfx::clear::ZBuffer;
    if (gfx::HasStencil(m_pProbeDepth->GetFormat())) flags |= gfx::clear::Stencil;
    d->Clear(0, nullptr, flags, reference, 1.0f, 0);

    const math::Vec3 keptEye = g_Camera.GetPosition();
    const orientation keptOrientation = g_Camera.Orientation();
    const math::Vec3 eye = point + math::Vec3{0.0f, EYE_HEIGHT, 0.0f};
    orientation down;
    down.InitDirection(math::Vec3Normalize(kProbeDirection));
    g_Camera.SetPosition(eye);
    g_Camera.SetOrientation(down);
    g_Camera.UpdateViewMatrix();

    uint32_t c = reference;
    EffectRecord* fx = g_EffectMgr.FindEffect("SkyLight");
    if (!fx || !fx->pEffect) {
        if (!m_bEffectMissingReported) g_Console.Print("Ambient probe: no SkyLight effect");
        m_bEffectMissingReported = true;
    } else {
        m_bEffectMissingReported = false;
        effect::Effect* e = fx->pEffect;
        ERenderStateCache& cache = g_RenderStateCache;
        // The effect's program stays set on the device after its technique
        // ends: the caller's is put back, so that later fixed-function draws
        // (and a device reset) do not find the probe's.
        gfx::Program* keptProgram = d->GetProgram();
        if (keptProgram) keptProgram->AddRef();
        cache.EndTranslucent(fx);
        cache.EndTransparent(fx);
        cache.SetTexture(0, nullptr);
        d->SetProgram(nullptr);
        d->SetFVF(0);
        d->SetRenderState(gfx::RenderState::FogEnable, 0);
        d->SetRenderState(gfx::RenderState::Lighting, 0);
        const math::Matrix& view = g_Camera.View();
        const math::Matrix& projection = g_Camera.Projection();
        math::Matrix viewInverse;
        math::MatrixInverse(view, &viewInverse);
        const bool inside = ground && (ground->dwFlags2 & objflags::kFlag2NoSkyLight);
        if (cache.BeginTechniqueByName(fx, TECHNIQUE, true)) {
            d->SetVertexDeclaration(g_pVertexDeclarations[0]);
            d->SetRenderState(gfx::RenderState::AlphaBlendEnable, 0);
            d->SetRenderState(gfx::RenderState::AlphaTestEnable, 0);
            d->SetRenderState(gfx::RenderState::ZEnable, 1);
            d->SetRenderState(gfx::RenderState::ZWriteEnable, 1);
            e->SetBool(EffectParam(fx, &EffectRecord::g_bUseSkyLight, "g_bUseSkyLight"), UseSkyLight);
            e->SetMatrix(EffectParam(fx, &EffectRecord::g_mView, "g_mView"), view);
            e->SetMatrix(EffectParam(fx, &EffectRecord::g_mViewInv, "g_mViewInv"), viewInverse);
            e->SetMatrix(EffectParam(fx, &EffectRecord::g_mProj, "g_mProj"), projection);
            e->SetVector(EffectParam(fx, &EffectRecord::g_CameraPosition, "g_CameraPosition"),
                         math::Vec4{eye.x, eye.y, eye.z, 1.0f});
            e->SetBool(EffectParam(fx, &EffectRecord::g_bDrawDetail, "g_bDrawDetail"), false);
            e->SetBool(EffectParam(fx, &EffectRecord::g_bDetailAsNormal, "g_bDetailAsNormal"), false);
            e->SetBool(EffectParam(fx, &EffectRecord::g_bFullyBrightINM, "g_bFullyBrightINM"), false);
            SetVertexAmbient(e, inside);
            e->CommitChanges();
            cache.ResetCullMode();

            const effect::Handle hWvp =
                EffectParam(fx, &EffectRecord::g_mWorldViewProjection, "g_mWorldViewProjection");
            const effect::Handle hWorld = EffectParam(fx, &EffectRecord::g_mWorld, "g_mWorld");
            const effect::Handle hWorldView = EffectParam(fx, &EffectRecord::g_mWorldView, "g_mWorldView");
            const effect::Handle hAmbient =
                EffectParam(fx, &EffectRecord::g_AmbientLightDiffuse, "g_AmbientLightDiffuse");
            const effect::Handle hVertexColor =
                EffectParam(fx, &EffectRecord::g_bVertexColor, "g_bVertexColor");
            int lastAmbient = -1;
            for (strtexture* t = g_Renderer.FirstTexture(); t; t = t->next) {
                const TextureDescription& desc = t->desc;
                if ((textureId != 0 && textureId != t->id) || t->bDoNotRender || desc.bDoNotRender ||
                    !t->pMeshes || desc.bWater || t->pLava || desc.bAdditive || desc.bRayOfLight)
                    continue;
                for (const strlistameshy* u = t->pMeshes; u; u = u->next) {
                    ObjectRecord* h = u->m_hObject;
                    if (!u->pMesh || !h || h != ground || !h->pD3DXMesh) continue;
                    const math::Matrix& world = u->pMesh->m_mWorld;
                    const math::Matrix worldView = world * view;
                    e->SetMatrix(hWvp, worldView * projection);
                    e->SetMatrix(hWorld, world);
                    e->SetMatrix(hWorldView, worldView);
                    cache.BeginTechniqueByName(fx, TECHNIQUE, true);
                    SetVertexAmbient(e, inside);
                    if (h->iAmbientLightIdx != lastAmbient || t->bAnimated) {
                        // The object's ambient colour as the frame's passes
                        // send it: its set of the environment, w = 1.
                        const math::Vec3 a = ReferenceColour(h);
                        e->SetVector(hAmbient, math::Vec4{a.x, a.y, a.z, 1.0f});
                        lastAmbient = t->bAnimated ? -1 : h->iAmbientLightIdx;
                    }
                    e->SetBool(hVertexColor, h->bVertexColor != 0);
                    e->CommitChanges();
                    h->pD3DXMesh->DrawSubset(u->dwSubset);
                }
            }
            cache.EndTechnique(fx);
        }
        cache.ResetCullMode();
        d->SetProgram(keptProgram);
        if (keptProgram) keptProgram->Release();
        d->SetVertexDeclaration(nullptr);
        c = ReadProbe();
    }
    if (beganHere) EndProbeRender();
    g_Camera.SetPosition(keptEye);
    g_Camera.SetOrientation(keptOrientation);
    g_Camera.UpdateViewMatrix();
    return c;
}

uint32_t EAmbientProbe::ReadProbe() {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return 0;
    if (!m_pProbeSurface || !m_pCalculateSurface ||
        gfx::Failed(d->GetRenderTargetData(m_pProbeSurface, m_pCalculateSurface))) {
        g_Console.Print("GetRenderTargetData failed!");
        return 0;
    }
    gfx::LockedRect r;
    if (gfx::Failed(m_pCalculateSurface->LockRect(&r, nullptr, gfx::lock::ReadOnly))) {
        g_Console.Print("LockRect FAILED!");
        return 0;
    }
    // Row 8, column 8, through the lock's pitch: rows need not be 64 bytes.
    const auto* row = static_cast<const uint8_t*>(r.pBits) + size_t(CENTRE) * size_t(r.Pitch);
    uint32_t pixel = 0;
    std::memcpy(&pixel, row + size_t(CENTRE) * sizeof(uint32_t), sizeof pixel);
    m_pCalculateSurface->UnlockRect();
    return pixel & 0x00FFFFFFu;
}
