// The scene renderer, `ERenderer` (global g_Renderer). Only the per-frame
// preparation that the frame driver calls is here until the renderer is built.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gfx {
class Texture;
}

class ERenderer {
  public:
    virtual ~ERenderer() = default;

    // Work before the scene (shadow maps, water reflection, occluder).
    void PreRender() {}
    // The engine frame's step and the scene render (no passes exist yet).
    void Update() {}
    // The texture registry is made at engine start.
    void Init() {}
    void Render() {}
    // Per world: the render lists are made and dropped.
    void InitWorld() { m_bWorldReady = true; }
    void EndWorld() { m_bWorldReady = false; }
    bool m_bWorldReady = false;

    // Textures by file name until the texture registry is built: ids 1..1023
    // (0 = none). A name is looked up after its last backslash, first as a
    // path in the data directory, then among the .tga and .dds files of the
    // whole data directory. Loaded into the managed pool; 0 when the file is
    // missing or unreadable (printed on the console).
    static constexpr uint32_t MAX_TEXTURES = 1024;
    uint32_t GetTextureIdByName(const char* name, int reduce = 0, int high = 0, int cube = 0);
    // Binds the texture of an id to a device stage; ids without texture bind nothing.
    void SetTexture(uint32_t stage, uint32_t id);
    gfx::Texture* GetTextureObject(uint32_t id) const;
    void ReleaseTextures();

  private:
    struct TextureSlot {
        std::string name;
        gfx::Texture* texture = nullptr;
    };
    TextureSlot m_Textures[MAX_TEXTURES];
    std::vector<std::string> m_TextureFiles;  // data-relative paths of .tga/.dds files
    bool m_bTextureFilesScanned = false;
    void ScanTextureFiles(const std::string& dir);
};

extern ERenderer g_Renderer;
