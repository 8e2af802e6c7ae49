// The scene renderer, `ERenderer` (global g_Renderer), and its texture
// registry.
//
// Every texture the program draws with is asked for by file name and handed
// back as a texture id (1..1023, 0 = none), the slot of a `strtexture` record
// in the id table. Before any world loads, `Init` scans the data directory
// for .tga and .dds files (`strtexturepaths`, kept in backslash form such as
// ".\textures\crate.tga"), reads the texture descriptions of
// "scripts\textures.txt" and "scripts\textures\*.txt" into them and links
// x.tga to x.dds twins; the substitutes of "scripts\texture_substitutes.txt"
// are read once, at the first `Init`. Loading a texture copies its file's
// description into the record; the first mesh or skinned mesh that uses it
// also loads its companions (normal map, multitexture layers, detail, lava,
// add-water, grow, environment cube, animation frames), which never enter the
// render lists themselves. Each record lists the mesh and skinned-mesh
// subsets that use it; the passes walk those lists.
//
// The frame: `Update` (engine update) builds the render lists of the
// textures whose users are in view, grouped by description keys, and their
// presence flags; `PreRender` (before the scene) does the off-screen work,
// the occlusion test and the culling of the lists; `Render` (inside the
// scene) runs the passes in a fixed order, each over the lists. Nothing is
// drawn in the first four game frames of a world. The lists and flags are
// rebuilt every frame and allocate nothing.
//
// Lifetimes: records, their device textures and their user nodes live until
// `ReleaseTextures` (world change, engine release through `Destroy`), which
// empties every list; the file list and the substitutes live until the
// process ends.
//
// Failure policy: a missing file or a wrong extension is written to the
// console and "!error.txt" and sets the engine's quit flag (the record stays,
// without a device texture); a name or path longer than the record's
// 512-character fields counts as a missing file. A full table prints
// "MAX_TEXTURES hit!" and gives id 0. Lookups take null names and records
// quietly. A pass whose effect is missing draws nothing and the frame goes
// on. Main thread only.
#pragma once

#include <cstdint>

namespace gfx {
class Texture;
class CubeTexture;
} // namespace gfx
namespace math {
struct Matrix;
struct Vec4;
}

struct ObjectRecord;
struct orientation;
class EMesh;
class ESkinMesh;

// Surface materials of a texture description.
enum TextureMaterial : uint32_t {
    MATERIAL_CEMENT = 0,
    MATERIAL_METAL,
    MATERIAL_WOOD,
    MATERIAL_SAND,
    MATERIAL_SNOW,
    MATERIAL_WATER,
    MATERIAL_COAL,
    MATERIAL_GLASS,
    MATERIAL_PLASTIC,
};

// The values a texture description sets, with their defaults; held by each
// texture file and copied into each texture record loaded from it.
struct TextureDescription {
    static constexpr int NAME = 256;
    char szNormal[NAME] = {};
    char szMultitextureR[NAME] = {};
    char szMultitextureG[NAME] = {};
    char szMultitextureB[NAME] = {};
    char szDetail[NAME] = {};
    char szLava[NAME] = {};
    char szAddWater[NAME] = {};
    char szEnvironmental[NAME] = {};
    char szGrow[NAME] = {};
    float fAnimationSpeed = 1.0f;
    float fAppearDistance = 0.0f;
    float fMultitextureDensityR = 1.0f;
    float fMultitextureDensityG = 1.0f;
    float fMultitextureDensityB = 1.0f;
    float fDetailDensity = 16.0f;
    float fNormalDensity = 1.0f;
    float fTextureDensity = 0.0f;
    float fBumpHeight = 1.0f;
    float fLavaMapCoef = 1.0f;
    float fLavaSpeedDown = 1.0f;
    float fLavaSpeedUp = 1.0f;
    float fWaterHeight = 16.0f;
    float fWaterTransparent = 1.0f;
    float fWaterColor[3] = {1.0f, 1.0f, 1.0f};
    float fAddWaterHeight = 1.0f;
    float fAddWaterDensity = 1.0f;
    float fWaterFogFar = 20000.0f;
    float fWaterFogNear = 0.0f;
    float fSpecularPower = 1.05f;
    float fSpecularCone = 24.0f;
    uint32_t dwMaterial = MATERIAL_CEMENT;
    uint8_t bRayOfLight = 0;
    uint8_t bPriority = 0;
    uint8_t bNoIntersect = 0;
    uint8_t bDetailAsNormal = 0;
    uint8_t bFullyBrightInNormalMask = 0;
    uint8_t bWater = 0;
    uint8_t bTransparent = 0;
    uint8_t bTranslucent = 0;
    uint8_t bAdditive = 0;
    uint8_t bStain = 0;
    uint8_t b2Sided = 0;
    uint8_t bSpecular = 0;
    uint8_t bSpecularInDetailMask = 0;
    uint8_t bNoFog = 0;
    uint8_t bNoLight = 0;
    uint8_t bDoNotRender = 0;
    uint8_t bDoNotCastShadow = 0;
};

// One texture file of the data directory with its description (allocation
// tag "strtexturepaths").
struct strtexturepaths {
    static constexpr int MAX_FRAMES = 127;
    static constexpr int FRAME_NAME = 128;
    char szName[256] = {};  // the file name without directory
    char szPath[1024] = {}; // the path as the scan found it
    char szStem[256] = {};  // the name less its last four characters
    TextureDescription desc;
    char (*pFrames)[FRAME_NAME] = nullptr; // allocated on the first animation_frame line
    uint32_t dwFrames = 0;
    uint8_t bDescribed = 0;
    uint8_t bTga = 0;
    strtexturepaths* pTwin = nullptr; // the same stem in another format (on .tga files only)
    strtexturepaths* next = nullptr;  // newest first
};

// One texture with the substitutes that successive skinned meshes wear
// (allocation tag "strtexturesubstitutes").
struct strtexturesubstitutes {
    static constexpr int MAX_SUBSTITUTES = 31;
    char szName[64] = {}; // the texture's name without its extension
    char szSubstitutes[MAX_SUBSTITUTES][64] = {};
    uint32_t dwCount = 0;
    strtexturesubstitutes* next = nullptr; // newest first
};

// A static-mesh subset that uses a texture (allocation tag "strlistameshy").
struct strlistameshy {
    ObjectRecord* m_hObject = nullptr;
    EMesh* pMesh = nullptr;
    uint32_t dwSubset = 0;
    strlistameshy* next = nullptr;
    strlistameshy* prev = nullptr;
};

// A skinned-mesh subset that uses a texture (allocation tag "strlistaskinmeshy").
struct strlistaskinmeshy {
    ObjectRecord* m_hObject = nullptr;
    ESkinMesh* pSkinMesh = nullptr;
    uint32_t dwSubset = 0;
    strlistaskinmeshy* next = nullptr;
    strlistaskinmeshy* prev = nullptr;
};

// One loaded texture (allocation tag "strtexture").
struct strtexture {
    static constexpr int NAME = 512;
    uint32_t id = 0;
    char szName[NAME] = {}; // the normalised file name
    uint8_t bListed = 0;    // in this frame's render lists
    uint32_t dwWidth = 0, dwHeight = 0, dwFormat = 0; // from the file's header (described files)
    char szPath[NAME] = {};                            // the path opened
    uint8_t bCube = 0, bTga = 0, bReduce = 0, bHigh = 0;
    uint8_t bAnimated = 0;
    uint32_t dwCurrentFrame = 0; // 0: the texture itself, 1..count: the frames
    uint32_t dwFrameCount = 0;
    float fFrameTime = 1.0f; // seconds each frame shows
    float fFrameTimer = 0.0f;
    uint8_t bPlaying = 0;
    uint32_t dwSteppedFrame = 0; // the renderer frame in which the animation last stepped
    gfx::Texture* pTexture = nullptr;
    gfx::CubeTexture* pCubeTexture = nullptr;
    strtexture* pFrames[strtexturepaths::MAX_FRAMES] = {};
    strtexture* pLava = nullptr;
    strtexture* pNormal = nullptr;
    strtexture* pDetail = nullptr;
    strtexture* pGrow = nullptr;
    strtexture* pEnvironment = nullptr;
    strtexture* pAddWater = nullptr;
    strtexture* pMultitextureR = nullptr;
    strtexture* pMultitextureG = nullptr;
    strtexture* pMultitextureB = nullptr;
    uint8_t bHasMultitexture = 0;
    TextureDescription desc; // copied from the file's description
    uint8_t bDoNotRender = 0;
    uint8_t bMissing = 0; // the file was missing or not a .tga/.dds
    strlistameshy* pMeshes = nullptr;
    strlistaskinmeshy* pSkinMeshes = nullptr;
    strtexture* next = nullptr; // newest first
    strtexture* prev = nullptr;
};

class ERenderer {
  public:
    static constexpr uint32_t MAX_TEXTURES = 1024;
    static constexpr int MAX_FLASHES = 5;
    static constexpr float FLASH_TIME = 0.08f;

    virtual ~ERenderer();

    // ---- Frame ---------------------------------------------------------------
    // The engine update's step: the frame time, the focus of the
    // post-processing, the projector switch, the flashes, the sky shadow
    // maps, the render lists and the reports whose console variables are set.
    void Update();
    // Before the scene, from the fifth game frame of a world on: the
    // off-screen work (automap, shadow maps, water reflection), the occlusion
    // test and the culling of the render lists.
    void PreRender();
    // Inside the scene, from the fifth game frame on: the objects' render
    // matrices, the scene's passes in their fixed order, the depth render's
    // end-of-frame step.
    void Render();
    void RenderScene();
    // The two base passes: the simplest one (SimpleRender) and the lit one.
    void RenderBaseFastest();
    void RenderBaseFull();

    // ---- Lifecycle -------------------------------------------------------------
    // Registers the texture files and their descriptions (and, the first
    // time, the substitutes); a second call adds to the lists.
    void Init();
    // World open: empties the mesh render lists and loads "bialy.tga" as the
    // default texture. World close forgets it.
    void InitWorld();
    void EndWorld();
    bool m_bWorldReady = false;
    // Frees every texture record, its device texture and its user nodes.
    void ReleaseTextures();
    void Destroy() { ReleaseTextures(); }
    // Forgets the texture files and their descriptions (process exit, and
    // tests that change the data directory).
    void ReleaseTexturePaths();

    // ---- Registry ----------------------------------------------------------------
    // The id of a texture by file name: a loaded texture without users, or
    // one loaded now (never as a cube); 0 when the table is full or the file
    // is missing or of the wrong kind.
    uint32_t GetTextureIdByName(const char* name, int reduce = 0, int high = 0, int cube = 0);
    strtexture* GetTexture(uint32_t id) const { return id < MAX_TEXTURES ? m_pTextureIds[id] : nullptr; }
    // The record of that name, by a walk of the list (counted in
    // m_dwNameLookups, so per-frame code can be checked to do none).
    strtexture* FindTexture(const char* name) const;
    mutable uint32_t m_dwNameLookups = 0;
    // Binds the record's 2D texture to a device stage; nothing for an id of
    // 1024 or more or an empty slot.
    void SetTexture(uint32_t stage, uint32_t id);
    strtexture* LoadTexture(const char* name, int reduce, int high, int cube);
    uint32_t LoadMeshTextures(const char* fileName, EMesh* mesh, uint32_t subset);
    uint32_t LoadSkinMeshTextures(const char* fileName, ESkinMesh* skinMesh, uint32_t subset);
    void UnlinkMesh(EMesh* mesh);
    void UnlinkSkinMesh(ESkinMesh* skinMesh);
    strtexture* FirstTexture() const { return m_pTextures; }
    // The default white texture of the world (null outside a world).
    gfx::Texture* DefaultTexture() const { return m_pDefaultTexture; }

    // Binds T's image (or its current animation frame) to stage 0 and its
    // normal map to stage 1, stepping the animation once per frame.
    void BindTextureStages(strtexture* T, bool bindNormalMap);

    // ---- Descriptions and substitutes -----------------------------------------
    void ScanTextureDirectory(const char* directory, bool skipKnown);
    void RegisterTexturePath(const char* path);
    void LoadAllTextureDescriptions();
    void LoadTextureDescriptions(const char* file);
    void LinkTextureTwins();
    strtexturepaths* FindTexturePath(const char* name) const;
    void LoadTextureSubstitutes();
    strtexturesubstitutes* FindTextureSubstitute(const char* fileName) const;
    strtexturepaths* FirstTexturePath() const { return m_pTexturePaths; }

    // ---- Flashes ---------------------------------------------------------------
    void AddFlash(const float* position);
    void UpdateFlashes();
    struct Flash {
        float vPosition[3] = {0.0f, -1e9f, 0.0f};
        float fTime = 0.0f;
    };
    Flash m_Flashes[MAX_FLASHES];
    uint8_t m_bAnyFlash = 0;

    // ---- Render lists and presence flags (rebuilt every frame) -------------------
    // Textures of visible static meshes and of visible skinned meshes, grouped
    // by their description keys, `translucent` ones last; the two joined; the
    // rendered textures without users. Each ends with a null entry. A texture
    // that serves both kinds of mesh is in both lists and twice in the joined
    // one, which therefore has room for both lists whole.
    static constexpr uint32_t MAX_LISTED = MAX_TEXTURES - 1;
    strtexture* m_pMeshTextures[MAX_LISTED + 1] = {};
    strtexture* m_pSkinMeshTextures[MAX_LISTED + 1] = {};
    strtexture* m_pAllTextures[2 * MAX_LISTED + 1] = {};
    strtexture* m_pFreeTextures[MAX_LISTED + 1] = {};
    // Walks the records into the lists (visible users only) and the free list.
    void BuildRenderLists();
    // Keeps of the lists what the occlusion test saw, and the textures that
    // it does not hide (blended, alpha-tested, additive, stains, rays).
    void CullRenderLists();
    // Joins the lists and sets the list presence flags on the way.
    void MergeRenderLists();

    // Set from the lists: a `water` texture in either list, in the mesh list;
    // a mesh-list texture with a lava texture; `additive`, `stain` per list;
    // a `ray_of_light` texture kept by the culling.
    uint8_t m_bAnyWater = 0;
    uint8_t m_bMeshWater = 0;
    uint8_t m_bLava = 0;
    uint8_t m_bMeshAdditive = 0;
    uint8_t m_bSkinMeshAdditive = 0;
    uint8_t m_bMeshStain = 0;
    uint8_t m_bSkinMeshStain = 0;
    uint8_t m_bRayOfLight = 0;
    // The lit families of the objects in view, as the engine's object frame
    // classed them (copied by Update).
    uint8_t m_bSkyLitMeshes = 0;
    uint8_t m_bSkyLitSkinMeshes = 0;
    uint8_t m_bAmbientLitMeshes = 0;
    uint8_t m_bAmbientLitSkinMeshes = 0;
    // Set by a lit family's first call (or the fastest pass) when it left
    // `translucent` textures to a second call later in the scene; the scene
    // clears them once the second calls are made.
    uint8_t m_bSecondCallSkyLitMeshes = 0;
    uint8_t m_bSecondCallSkyLitSkinMeshes = 0;
    uint8_t m_bSecondCallAmbientLitMeshes = 0;
    uint8_t m_bSecondCallAmbientLitSkinMeshes = 0;

    // ---- Passes (each draws the meshes of the list textures that need it) -----
    // Shader-model-2 ambient base: true when a visible `transparent` subset
    // was met, which the second one then draws.
    bool RenderAmbientBaseColor();
    void RenderAmbient();
    // Lit passes; the argument is the call number (false: first call in the
    // base pass, true: second call for the `translucent` textures).
    void RenderSkyLightMeshes(bool secondCall);
    void RenderSkyLightMeshes20(bool secondCall);
    void RenderSkyLightSkinmeshes(bool secondCall);
    void RenderSkyLightSkinmeshes20(bool secondCall);
    void RenderLightMeshes(bool translucentOnly);
    void RenderLightMeshes20(bool translucentOnly);
    void RenderLightSkinmeshes(bool translucentOnly);
    void RenderLightSkinmeshes20(bool translucentOnly);
    // The fastest pass (SimpleRender, FastestPass.cpp): the solid world lit
    // by the ambient colour, the sky light (without shadows) and the fog,
    // drawing only what the occluder marked seen; static meshes with the
    // effect "SimpleMesh", skinned meshes with "SimpleSkinmesh". Null matrices
    // mean the camera's. Translucent textures are left to the sky-light
    // passes' second calls, whose flags they set.
    void RenderSimpleMeshes(const math::Matrix* view, const math::Matrix* projection);
    void RenderSimpleSkinmeshes(const math::Matrix* view, const math::Matrix* projection);
    // Water (plain and reflective; both test DrawWater themselves) and lava.
    void RenderWater();
    void RenderWaterReflection();
    void RenderLava();
    void RenderAdditive();
    void RenderSkinmeshesAdditive();
    void RenderStains();
    void RenderSkinmeshStains();
    void RenderRayOfLight();
    void RenderStroboMeshes();
    void RenderStroboSkinmeshes();
    void RenderSceneBW();
    void RenderSkinmeshesBW();
    void RenderSceneDepth();
    void RenderSkinmeshesDepth();
    // Sky shadow map 0 or 1, before the scene (SkyDepthPass.cpp), and its
    // drawing steps with the light's view matrix: the static meshes that do
    // not move (map 0), the moving ones near the camera and the skinned
    // meshes of the skinned list (map 1).
    void RenderSkyDepth(int map);
    void RenderShadowMeshes(const math::Matrix& view);
    void RenderShadowNearMeshes(const math::Matrix& view);
    void RenderShadowSkinmeshes(const math::Matrix& view);
    // Set by the engine's object frame when a moving static mesh or a skinned
    // mesh near the camera casts into map 1 (cleared at its start).
    uint8_t m_bNearMeshes = 0;
    uint8_t m_bNearSkinMeshes = 0;

    // ---- Pass recording (a test seam) -------------------------------------------
    // While recording, every pass and every step of the frame appends its
    // name and call number to a fixed array (what does not fit is counted
    // and dropped); while not, a pass pays one branch.
    struct PassRecord {
        const char* szName;
        uint32_t dwCall;
    };
    static constexpr uint32_t MAX_PASS_RECORDS = 256;
    void StartPassRecording() {
        m_dwPassRecords = m_dwDroppedPassRecords = 0;
        m_bRecordPasses = true;
    }
    void StopPassRecording() { m_bRecordPasses = false; }
    void RecordPass(const char* name, uint32_t call = 0) {
        if (m_bRecordPasses) [[unlikely]]
            AppendPassRecord(name, call);
    }
    uint32_t PassRecordCount() const { return m_dwPassRecords; }
    uint32_t DroppedPassRecords() const { return m_dwDroppedPassRecords; }
    const PassRecord& GetPassRecord(uint32_t i) const { return m_PassRecords[i]; }

    float m_fFrameTime = 0.0f;
    uint32_t m_dwFrame = 1; // counts engine frames; animations step once in each

    // A record without a file: its id slot and its place in the registry
    // (render-list tests and benchmarks build their textures with it); null
    // when the table is full.
    strtexture* AddTextureRecord(const char* name);

  private:
    // The ambient-lit pass of static meshes; `full` adds the detail and the
    // dropped items' glint (LightMeshPass.cpp).
    void DrawLightMeshes(bool full, bool translucentOnly);
    bool HasFreeId() const;
    // A zero-filled record in the first free id slot, newest in the
    // registry; null when every id is taken.
    strtexture* NewRecord();
    // Empties the mesh, skinned and joined lists (no pointer stays behind).
    void ClearRenderLists();
    void AppendPassRecord(const char* name, uint32_t call);
    void ResetPolygonCounts();
    void CreateTexture(strtexture* t, const strtexturepaths* description);
    void ExtractTextureFile(const strtexture* t) const;
    strtexture* LoadNormalMap(const char* describedNormal, strtexture* layer);
    void LoadCompanions(strtexture* t, const strtexturepaths* p, uint32_t quality, bool skinned);
    void WriteUndefinedTextures() const;
    void WriteDoubleTextures() const;
    void FreeRecords(bool track);

    strtexture* m_pTextures = nullptr;
    strtexture* m_pTextureIds[MAX_TEXTURES] = {};
    strtexturepaths* m_pTexturePaths = nullptr;
    strtexturesubstitutes* m_pSubstitutes = nullptr;
    bool m_bSubstitutesLoaded = false;
    gfx::Texture* m_pDefaultTexture = nullptr;
    bool m_bRecordPasses = false;
    uint32_t m_dwPassRecords = 0;
    uint32_t m_dwDroppedPassRecords = 0;
    PassRecord m_PassRecords[MAX_PASS_RECORDS] = {};
};

// The dropped items' glint direction (w = 0): the camera's forward axis
// turned about its right axis by -3 radians a second of the clock.
math::Vec4 ItemGlintDirection(const orientation& camera, float clock);

// Moves every `translucent` texture of a null-terminated list behind all the
// others, swapping the first translucent entry with the last entry that is
// not, and so on; the others keep their order except for the swapped ones.
void PartitionTranslucentLast(strtexture** list);

// The texture name a request stands for: the part after the last backslash,
// its extension made "dds" unless it is "tga" or "dds". The result lives in
// one buffer that the next call overwrites.
const char* NormalizeTextureName(const char* name);

// Animated textures by name (cut-scenes).
void AnimationPause(const char* name);
void AnimationStop(const char* name);
void AnimationPlay(const char* name);

extern ERenderer g_Renderer;
