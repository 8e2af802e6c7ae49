// Post-processing of the rendered frame, `EPostProcess` (global
// g_PostProcess): the screen-space back end of the renderer. While it runs
// the world is drawn into a target of its own (HDR or Main) and a chain of
// full-screen passes of the effect `dof` composes the picture; this holds
// what the chain draws with and what it decides:
// - its render targets (table below), the handles and constant inputs of
//   `dof` (filter taps, viewport mapping, pixel-to-texel tables), the
//   full-screen quad and its vertex declaration, and the per-world switches
//   (chain active, HDR runs in this world);
// - the screen-effect state the game sets and that runs down by itself:
//   black-and-white mode with up to 8 objects kept in colour, the
//   monochromatic flag, red tint, blood screen, motion blur and the focus of
//   the depth of field; the per-frame decisions PreparePostProcess (motion
//   blur, target luminance) and UpdateFocus;
// - HDR: the scale-down of the HDR image to 32 x 32, its read-back to
//   measure the scene's luminance and colour, and the tone mapping into Main
//   with an exposure that adapts slowly to the measured luminance;
// - the post-process block of the save game.
//
// Targets (W x H the screen size when they were made; sizes divide
// downward): HDR W x H, HDRScaled 32 x 32 and a 32 x 32 read-back surface in
// system memory, all A16B16G16R16F and made only with the "High Dynamic
// Range" option; Main, Distortion, Target, Bloom 2 W x H; BW and MotionBlur
// W/2 x H/2 (BW with a depth-stencil surface of its own); Bloom 0 and 1
// W/8 x H/8; all A8R8G8B8 but Depth, W x H G16R16F.
//
// Lifetimes: Create at world open decides the world's switches and makes
// everything; Destroy and ReleaseTargets at world end. A device loss
// releases the targets (OnLostDevice) and the reset makes them again
// (OnResetDevice), both through the focus manager's PostProcessTargets hook;
// the `dof` effect and its handles are the effect manager's and survive it.
// The screen-effect state, the adapted luminance and black-and-white mode
// outlive worlds and resets.
//
// Failure policy: every creation failure prints its "PostProcess: Failed
// creating ..." line. An HDR target that cannot be made releases what the
// HDR step made and turns the option off for the rest of the run (and so in
// the next save\video.cfg); any other stops the creation there, and the
// chain stays inactive: the world is drawn straight to the back buffer. A
// device below pixel shader 2.0 prints its line and makes nothing; a
// missing `dof` makes nothing and prints nothing. A failed HDR read-back
// prints "GetRenderTargetData HDR failed!" and keeps the last measurement.
// Main thread only; nothing on the per-frame path allocates.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/effect/Effect.h"
#include "platform/math/Types.h"

namespace gfx {
class Texture;
class Surface;
class VertexDeclaration;
} // namespace gfx
struct ObjectRecord;
struct strtexture;

class EPostProcess {
  public:
    static constexpr uint32_t MAX_BW_OBJECTS = 8;
    static constexpr uint32_t HDR_SCALED_SIZE = 32;
    // The read-back block that is measured: 8 x 8 texels from (11, 11).
    static constexpr uint32_t MEASURE_FIRST = 11;
    static constexpr uint32_t MEASURE_SIZE = 8;
    // Bytes of a save block holding n objects kept in colour.
    static constexpr uint32_t SaveBlockBytes(uint32_t n) { return 5 + 4 + 4 * 4 + 12 * n; }

    // The render targets, in the order they are made.
    enum Target : uint32_t {
        HDR,
        HDRScaled,
        Main,
        Distortion,
        BW,
        Depth,
        TargetTex, // "Target", the chain's full-size work target
        Bloom0,
        Bloom1,
        Bloom2,
        MotionBlur,
        TARGET_COUNT
    };

    // One vertex of the full-screen quad: pixel position (x, y, z, w) and
    // texture coordinate.
    struct QuadVertex {
        float x, y, z, w, u, v;
    };
    static_assert(sizeof(QuadVertex) == 24);

    EPostProcess();
    virtual ~EPostProcess() = default;

    // ---- Targets and lifecycle --------------------------------------------------
    // World open: nothing while "Enable postprocessing" is off; else decides
    // whether HDR runs here, clears forced motion blur and the monochromatic
    // flag, needs pixel shader 2.0, makes the declaration and the targets,
    // fills the pixel-to-texel tables and sets the chain active when the
    // whole set exists.
    void Create();
    // World end: the declaration goes, the chain is inactive.
    void Destroy();
    // The handles, the constant inputs and the targets (world open, after a
    // reset, and when the chain finds Main missing).
    void CreatePostProcessTargets();
    // Every target and kept surface; the declaration and handles stay.
    void ReleaseTargets();
    void OnLostDevice() { ReleaseTargets(); }
    void OnResetDevice() { CreatePostProcessTargets(); }
    void SetFilterTaps();
    void SetViewportParams();
    // Fills each parameter that has the string annotation `annotation` from
    // the parameter the annotation names: its vectors with x divided by
    // (W / divisor) and y by (H / divisor), both integer divisions.
    void ConvertPixelsToTexels(const char* annotation, uint32_t divisor);

    bool IsActive() const { return m_bActive != 0; }
    bool HDRRunsInThisWorld() const { return m_bHDRThisWorld != 0; }
    gfx::Texture* TargetTexture(Target t) const { return m_pTex[t]; }
    gfx::Surface* TargetSurface(Target t) const { return m_pSurf[t]; }
    gfx::Surface* ReadBackSurface() const { return m_pReadBack; }
    gfx::Surface* BWDepthStencil() const { return m_pBWDepthStencil; }
    gfx::VertexDeclaration* QuadDeclaration() const { return m_pVertexDeclaration; }
    const QuadVertex* FullScreenQuad() const { return m_FullScreenQuad; }
    effect::Effect* DofEffect() const { return m_pEffect; }
    uint32_t NoiseTexture() const { return m_dwNoiseTexture; }
    uint32_t Width() const { return m_dwWidth; }
    uint32_t Height() const { return m_dwHeight; }

    void SetAODepth(float depth) { m_fAODepth = depth; }
    // Stored times 1000.
    void SetAOIntensity(float intensity) { m_fAOIntensity = intensity * 1000.0f; }

    // The save block: flags, the count of objects in colour, the two times,
    // the two ambient-occlusion values, then one object reference each. A
    // null stream does nothing. A count above 8 keeps the first 8 and reads
    // past the rest, so the blocks after it stay in step.
    void Save(std::FILE* f) const;
    void Load(std::FILE* f);

    // ---- Screen effects ----------------------------------------------------------
    // On = 1, hold = the argument.
    void TurnOnBW(bool hold) {
        m_bBWOn = 1;
        m_bBWHold = hold ? 1 : 0;
    }
    // Nothing when on, held and not forced; else on = hold = 0.
    void TurnOffBW(bool force) {
        if (m_bBWOn && m_bBWHold && !force) return;
        m_bBWOn = m_bBWHold = 0;
    }
    // Appends a live object while the list holds fewer than 8.
    void AddObjectToBW(ObjectRecord* h);
    void ClearBWObjects() {
        for (ObjectRecord*& h : m_hBWObjects)
            h = nullptr;
        m_dwNumBWObjects = 0;
    }
    bool IsObjectInBW(const ObjectRecord* h) const;
    // The depth-of-field strength (maxCoC is half of it).
    void SetMaxCoC(float strength) { m_fMaxCoC = strength; }

    // ---- Per-frame decisions -------------------------------------------------------
    // The focus distance follows what the camera looks at (the renderer's
    // update); 16 with a range of 4000 while the weapon reloads.
    void UpdateFocus();
    // 0.2, or 0.16 in the intro's first scene.
    void UpdateTargetLuminance();
    // g_FocalRange = 1 / focus range (a range of 0 becomes 1.0) and
    // g_FocalDist on a depth pass's effect, while the chain is active.
    void SetFocusParams(effect::Effect* e);

    // ---- HDR ----------------------------------------------------------------------
    void RenderHDR();
    void HDRScaleDown();
    void MeasureHDR();
    void HDRToMain();
    // Luminance and scene colour from a 32 x 32 read-back image whose rows
    // lie `pitch` bytes apart.
    void MeasureImage(const void* bits, int32_t pitch);
    // The adapted luminance one step (0.04 a second, 0.02 in the intro)
    // toward the measured one; the first measurement after the chain was
    // made (a world opened, the options changed) sets it outright, so the
    // chain's first frames are not exposed for a dark eye.
    void AdaptLuminance(float frameTime, bool intro);
    // target / adapted while the target is above 0 and the adapted above 0;
    // else 1.0.
    float Iloraz() const;
    // 0.2126 r + 0.7152 g + 0.0722 b of one texel's half floats.
    static float PixelLuminance(const uint16_t* texel);

    // ---- The chain and the hooks around the world's passes -------------------------
    // The frame gate: the chain active, level frame 151 or later, WireFrame
    // off and DrawPostprocess on. The short gate is the first two.
    bool ShortGate() const;
    bool FrameGate() const;
    // Before the world's scene: keeps the back buffer and makes the HDR
    // target (HDR running here) or Main current; clears it, its depth and
    // stencil to the camera's background colour every frame (frame gate).
    void BeginScene();
    // After the world's passes: the kept back buffer current again.
    void RestoreBackBuffer();
    // The chain, into the back buffer (short gate, then the targets, then
    // WireFrame and DrawPostprocess).
    void RenderPostProcess();
    // Around the depth pass (frame gate) and the black-and-white pass
    // (short gate): the target of the pass current, the caller's back after.
    void BeginDepthScene();
    void EndDepthScene();
    void BeginBWScene();
    void EndBWScene();
    // The menu's video options changed: the depth target is cleared again
    // at its next pass.
    void OnVideoOptionsApplied() { m_bDepthClearedOnce = 0; }
    // The stages of the chain.
    void RenderDistortion();
    void RenderBloom();
    void RenderDoF();
    void RenderMotionBlur();
    void RenderToScreen();
    // The saturation the to-screen stage sets (1 full colour): from the
    // player's health unless the wide screen, a scripted camera or the menu
    // forces full colour, then 0.1 when monochromatic or in a cut-scene
    // phase marked `black_white`.
    float Saturation() const;

    // ---- State ----------------------------------------------------------------------
    float m_fBloomCone = 0;
    float m_fBloomPower = 0;
    float m_fAODepth = 0;
    float m_fAOIntensity = 0;

    // Black and white, and the objects drawn in colour.
    uint8_t m_bBWOn = 0;
    uint8_t m_bBWHold = 0;
    ObjectRecord* m_hBWObjects[MAX_BW_OBJECTS] = {};
    uint32_t m_dwNumBWObjects = 0;
    // 0.8, 0.75, 0.6, 0: the BW target's clear colour.
    math::Vec4 m_BWBackgroundColor{0.8f, 0.75f, 0.6f, 0.0f};
    uint8_t m_bMonochromatic = 0;
    uint8_t m_bForcedMotionBlur = 0;
    uint8_t m_bMotionBlurThisFrame = 0;
    float m_fRedTintTime = 0;    // seconds; g_fRed is half of it
    float m_fMotionBlurTime = 0; // seconds
    float m_fEK = 0;             // the blood-screen amount the HUD writes
    // The to-screen stage's HUD textures (vignette, light vignette, blood
    // screen), looked up by name at its first frame of a world (null when
    // missing): the records live as long as the world.
    const strtexture* m_pHud[3] = {};
    uint8_t m_bHudLooked = 0;
    // Two switches the game layer sets that together daze the player's
    // view; the post-processing keeps them.
    uint8_t m_bDaze1 = 0;
    uint8_t m_bDaze2 = 0;
    float m_fMaxCoC = 2.0f; // the depth-of-field strength
    float m_fTargetFocus = 0;
    float m_fFocus = 0;
    float m_fFocusRange = 8000.0f;

    // HDR measurement and adaptation.
    float m_fMeasuredLuminance = 0;
    float m_fAdaptedLuminance = 0;
    uint8_t m_bEyeSet = 0; // the adapted luminance follows a measurement of this chain
    float m_fTargetLuminance = 0.2f; // also the console's "HDRTargetLuminance"
    math::Vec4 m_vSceneColor{0, 0, 0, 0};

    uint8_t m_bDepthClearedOnce = 0;
    uint8_t m_bMotionBlurHistory = 0; // the MotionBlur target holds the last frame
    // Set by Create: the chain runs (all targets made) and HDR runs here.
    uint8_t m_bActive = 0;
    uint8_t m_bHDRThisWorld = 0;

  private:
    // The technique drawn over the whole current target in every pass.
    void DrawQuad(effect::Handle technique);
    // The full-screen quad in every pass of the begun technique.
    void DrawPasses(uint32_t passes);
    // `technique` drawn into target `t`.
    void DrawInto(Target t, effect::Handle technique);
    // A linear-filtered copy of one whole target onto another.
    void Stretch(Target from, Target to);
    void FetchHandles();
    void ReleaseTarget(Target t);
    // One texture and its surface; false (with its line printed) on failure.
    bool MakeTarget(Target t);
    // The HDR step's three; on failure what it made goes again.
    bool MakeHDRTargets();

    uint32_t m_dwWidth = 640, m_dwHeight = 480;
    uint32_t m_dwNoiseTexture = 0;

    gfx::Texture* m_pTex[TARGET_COUNT] = {};
    gfx::Surface* m_pSurf[TARGET_COUNT] = {};
    gfx::Surface* m_pReadBack = nullptr;
    gfx::Surface* m_pBWDepthStencil = nullptr;
    // Surfaces the chain keeps while it draws elsewhere and sets back.
    gfx::Surface* m_pKeptBackBuffer = nullptr;
    gfx::Surface* m_pKeptDepthTarget = nullptr;
    gfx::Surface* m_pKeptBWTarget = nullptr;
    gfx::Surface* m_pKeptDepthStencil = nullptr;

    gfx::VertexDeclaration* m_pVertexDeclaration = nullptr;
    QuadVertex m_FullScreenQuad[4] = {};

    // `dof` and its handles, by name at creation.
    effect::Effect* m_pEffect = nullptr;
    struct Handles {
        effect::Handle g_fBloomCone, g_fBloomPower, tSceneColor, tBW, tBloomBlur, fMotionBlurCoef, tBlurDepth;
        effect::Handle maxCoC, g_FocalRange, g_FocalDist, viewportScale, viewportBias, filterTaps;
        effect::Handle tDistortionNormal;
        effect::Handle DownFilter, BrightPass, BloomHorizontal, BloomVertical, Combine, MotionBlur, ToScreen;
        effect::Handle FilterDoF;
    } m_h;
};

extern EPostProcess g_PostProcess;

// The engine frame's post-processing decisions, after the renderer's
// update, while the chain is active: the target luminance when HDR runs,
// and whether this frame blurs (motion-blur time left; with MotionBlurOption
// at 0.15 or more also a recent explosion or hit, forced blur, the player
// dead or the mission failed, a blurring camera positioning, the OBE camera).
void PreparePostProcess();
