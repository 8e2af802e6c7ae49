// Ambient-light probes, `EAmbientProbe` (global g_AmbientProbe): an object
// lit from the ground under it (flag2 0x20000000) takes its ambient colour
// from a tiny render of that ground. The behaviour layer finds the ground
// with downward segment tests and queues a request (QueueProbe); once a
// frame, in the scene render, ProcessQueue draws each request's ground
// object, seen from just above the probe point, into a 16 x 16 target with
// the SkyLight effect's RenderPlantProbeNoTexture technique, reads the
// centre pixel back through a system-memory surface and stores it, bounded
// against the ground's ambient colour, as the receiver's probed ambient
// colour.
//
// Lifetimes: the targets (a 16 x 16 A8R8G8B8 render texture, a depth surface
// of the device's depth format and the read-back surface) are made at world
// open (Init) and after a device reset while a world is open, and released at
// world close (Destroy) and before a reset. The queue holds at most
// MAX_AMBIENT_PROBE_CUE requests; Init empties it, world close does not.
//
// Failure policy: a target that cannot be made prints its line and leaves
// the probe without targets; ProcessQueue then draws nothing, empties the
// queue and marks the receivers as asking again (re-probe requested), since
// drawing without its own target would clear and draw into whatever target
// is current. A full queue prints "MAX_AMBIENT_PROBE_CUE overflow!" per
// dropped request and marks that receiver the same way. A failed read-back
// prints its line and measures black, which the lower bound lifts to 0.3 x
// the reference. Without the SkyLight effect a probe measures the reference
// colour itself (one console line until the effect is there again). The
// shared camera is moved for each probe and always put back. Main thread only.
#pragma once

#include <cstdint>

#include "platform/gfx/Types.h"
#include "platform/math/Types.h"

struct ObjectRecord;
namespace gfx {
class Texture;
class Surface;
} // namespace gfx

// One queued probe.
struct AmbientProbeRequest {
    ObjectRecord* hReceiver = nullptr; // gets the colour
    ObjectRecord* hGround = nullptr;   // is drawn; its ambient index gives the reference
    math::Vec3 vPoint;                 // the probe point, world space
    uint32_t dwTextureId = 0;          // 0: every subset of the ground, else those of this texture
};

class EAmbientProbe {
  public:
    static constexpr int QUEUE_SLOTS = 512;
    static constexpr int MAX_AMBIENT_PROBE_CUE = QUEUE_SLOTS - 1;
    static constexpr uint32_t PROBE_SIZE = 16;
    // The pixel read back: row and column 8, the middle of the target.
    static constexpr uint32_t CENTRE = PROBE_SIZE / 2;
    // The probe's eye stands this far above the probe point.
    static constexpr float EYE_HEIGHT = 8.0f;
    // The measured colour is kept within these multiples of the reference
    // when all three channels lie beyond them.
    static constexpr float UPPER_BOUND = 1.3f;
    static constexpr float LOWER_BOUND = 0.3f;
    static constexpr const char* TECHNIQUE = "RenderPlantProbeNoTexture";

    virtual ~EAmbientProbe() = default;

    // World open: makes the targets, empties the queue.
    void Init();
    // World close: releases the targets.
    void Destroy();
    // Device hooks: release before a reset, make again after it (while a
    // world is open).
    void OnLostDevice() { ReleaseTargets(); }
    void OnResetDevice();
    void CreateTargets();
    void ReleaseTargets();

    void QueueProbe(ObjectRecord* receiver, const math::Vec3& point, ObjectRecord* ground,
                    uint32_t textureId);
    // Every queued request, then the queue is empty.
    void ProcessQueue();
    // Keeps the device's render target, depth surface and viewport and makes
    // the probe target current with a 16 x 16 viewport. False, with nothing
    // changed, without a device or the targets.
    bool BeginProbeRender();
    // Puts back what BeginProbeRender kept and rebuilds the camera's
    // projection; nothing when no probe render is begun.
    void EndProbeRender();
    // One probe: 0x00RRGGBB. Begins (and ends) the probe render itself when
    // none is begun; without targets it draws nothing and gives the
    // reference colour.
    uint32_t RenderProbe(const math::Vec3& point, ObjectRecord* ground, uint32_t textureId);
    // The centre pixel of the probe target, 0x00RRGGBB; 0 when the read-back
    // fails.
    uint32_t ReadProbe();

    // The reference of a ground object: the environment's ambient colour of
    // its ambient index, each channel / 255.
    static math::Vec3 ReferenceColour(const ObjectRecord* ground);
    // The bounds: all three channels above UPPER_BOUND x reference become
    // that; then all three below LOWER_BOUND x reference become that;
    // otherwise the colour stays as measured.
    static math::Vec3 Bound(const math::Vec3& measured, const math::Vec3& reference);

    // Observers (tests, the debug display).
    int QueueCount() const { return m_iCount; }
    const AmbientProbeRequest& Request(int i) const { return m_Queue[i]; }
    bool HasTargets() const {
        return m_pProbeTexture && m_pProbeSurface && m_pProbeDepth && m_pCalculateSurface;
    }
    bool IsBegun() const { return m_bBegun != 0; }
    bool IsWorldOpen() const { return m_bWorldOpen; }
    gfx::Surface* ProbeSurface() const { return m_pProbeSurface; }
    gfx::Surface* ProbeDepth() const { return m_pProbeDepth; }
    gfx::Surface* CalculateSurface() const { return m_pCalculateSurface; }

  private:
    // Marks the receivers of the queued requests as asking again and empties
    // the queue.
    void DropQueue();

    AmbientProbeRequest m_Queue[QUEUE_SLOTS];
    int m_iCount = 0;

    gfx::Surface* m_pKeptTarget = nullptr;
    gfx::Surface* m_pKeptDepth = nullptr;
    gfx::Viewport m_KeptViewport;

    gfx::Surface* m_pProbeSurface = nullptr; // level 0 of the probe texture
    gfx::Texture* m_pProbeTexture = nullptr;
    gfx::Surface* m_pProbeDepth = nullptr;
    gfx::Surface* m_pCalculateSurface = nullptr; // system memory, the read-back copy
    uint8_t m_bBegun = 0;
    bool m_bWorldOpen = false;
    // The missing effect was reported; reported again once it was found.
    bool m_bEffectMissingReported = false;
};

extern EAmbientProbe g_AmbientProbe;
