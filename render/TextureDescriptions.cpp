// The texture files of the data directory, their descriptions from the
// texture scripts, the .tga/.dds twins and the skinned-mesh substitutes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/VideoConfig.h"
#include "platform/os/Os.h"
#include "render/Renderer.h"
#include "world/Engine.h"

namespace {

constexpr size_t kMaxScanDirectory = 768;
constexpr int kDescriptionLine = 256;
constexpr int kSubstituteLine = 255;

template <size_t N> void CopyCut(char (&dst)[N], const char* src) {
    std::snprintf(dst, N, "%s", src ? src : "");
}

bool EndsWithNoCase(const char* s, const char* tail) {
    const size_t n = std::strlen(s), k = std::strlen(tail);
    return n >= k && StrCmpNoCase(s + n - k, tail) == 0;
}

// The name less its last four characters (the extension), compared without
// regard to case with a stem.
bool StemEquals(const char* name, const char* stem) {
    const size_t n = std::strlen(name);
    const size_t k = n >= 4 ? n - 4 : 0;
    return std::strlen(stem) == k && os::EqualNoCase(std::string_view(name, k), stem);
}

// ---- The description keys ---------------------------------------------------

enum class Kind { Flag, Number, File, Material, Frame, Water, WaterColor, Specular, Grow };

struct Key {
    const char* name;
    Kind kind;
    uint8_t TextureDescription::*flag = nullptr;
    float TextureDescription::*number = nullptr;
    char (TextureDescription::*file)[TextureDescription::NAME] = nullptr;
    uint32_t material = 0;
};

constexpr Key Flag(const char* n, uint8_t TextureDescription::*f) {
    return {n, Kind::Flag, f, nullptr, nullptr, 0};
}
constexpr Key Number(const char* n, float TextureDescription::*f) {
    return {n, Kind::Number, nullptr, f, nullptr, 0};
}
constexpr Key File(const char* n, char (TextureDescription::*f)[TextureDescription::NAME]) {
    return {n, Kind::File, nullptr, nullptr, f, 0};
}
constexpr Key Material(const char* n, uint32_t m) {
    return {n, Kind::Material, nullptr, nullptr, nullptr, m};
}
constexpr Key Special(const char* n, Kind k) {
    return {n, k, nullptr, nullptr, nullptr, 0};
}

using D = TextureDescription;
const Key kKeys[] = {
    Special("animation_frame", Kind::Frame),
    Number("animation_speed", &D::fAnimationSpeed),
    Flag("ray_of_light", &D::bRayOfLight),
    Flag("priority", &D::bPriority),
    Number("appear_distance", &D::fAppearDistance),
    File("normal", &D::szNormal),
    File("Multitexture_R", &D::szMultitextureR),
    File("Multitexture_G", &D::szMultitextureG),
    File("Multitexture_B", &D::szMultitextureB),
    Number("Multitexture_Density_R", &D::fMultitextureDensityR),
    Number("Multitexture_Density_G", &D::fMultitextureDensityG),
    Number("Multitexture_Density_B", &D::fMultitextureDensityB),
    Flag("no_intersect", &D::bNoIntersect),
    File("detail", &D::szDetail),
    Number("detail_density", &D::fDetailDensity),
    Flag("detail_as_normal", &D::bDetailAsNormal),
    Number("normal_density", &D::fNormalDensity),
    Flag("fully_bright_in_normal_mask", &D::bFullyBrightInNormalMask),
    Number("texture_density", &D::fTextureDensity),
    Number("bump_height", &D::fBumpHeight),
    File("lava", &D::szLava),
    Number("lava_map_coef", &D::fLavaMapCoef),
    Number("lava_speed_down", &D::fLavaSpeedDown),
    Number("lava_speed_up", &D::fLavaSpeedUp),
    Special("water", Kind::Water),
    Number("water_height", &D::fWaterHeight),
    Number("water_transparent", &D::fWaterTransparent),
    Special("water_color", Kind::WaterColor),
    File("add_water", &D::szAddWater),
    Number("add_water_height", &D::fAddWaterHeight),
    Number("add_water_param", &D::fAddWaterHeight),
    Number("add_water_density", &D::fAddWaterDensity),
    Number("water_fog_far", &D::fWaterFogFar),
    Number("water_fog_near", &D::fWaterFogNear),
    Flag("transparent", &D::bTransparent),
    Flag("translucent", &D::bTranslucent),
    Flag("additive", &D::bAdditive),
    Flag("stain", &D::bStain),
    Flag("2sided", &D::b2Sided),
    Flag("2_sided", &D::b2Sided),
    File("environmental", &D::szEnvironmental),
    Special("specular", Kind::Specular),
    Flag("Specular_In_Detail_Mask", &D::bSpecularInDetailMask),
    Flag("no_fog", &D::bNoFog),
    Flag("no_light", &D::bNoLight),
    Flag("do_not_render", &D::bDoNotRender),
    Flag("do_not_cast_shadow", &D::bDoNotCastShadow),
    Material("cement", MATERIAL_CEMENT),
    Material("metal", MATERIAL_METAL),
    Material("wood", MATERIAL_WOOD),
    Material("sand", MATERIAL_SAND),
    Material("snow", MATERIAL_SNOW),
    Material("coal", MATERIAL_COAL),
    Material("glass", MATERIAL_GLASS),
    Material("plastic", MATERIAL_PLASTIC),
    Special("grow", Kind::Grow),
};

void ApplyKey(const Key& k, const char* line, strtexturepaths* p) {
    TextureDescription& d = p->desc;
    const char* arg = GetArgument(line);
    switch (k.kind) {
    case Kind::Flag:
        d.*k.flag = 1;
        break;
    case Kind::Number:
        d.*k.number = float(std::atof(arg));
        break;
    case Kind::File:
        CopyCut(d.*k.file, arg);
        break;
    case Kind::Material:
        d.dwMaterial = k.material;
        break;
    case Kind::Frame:
        if (p->dwFrames >= uint32_t(strtexturepaths::MAX_FRAMES)) break;
        if (!p->pFrames) p->pFrames = new char[strtexturepaths::MAX_FRAMES][strtexturepaths::FRAME_NAME]();
        CopyCut(p->pFrames[p->dwFrames++], arg);
        break;
    case Kind::Water:
        d.bWater = 1;
        d.dwMaterial = MATERIAL_WATER;
        break;
    case Kind::WaterColor: {
        char* end = const_cast<char*>(arg);
        for (float& c : d.fWaterColor)
            c = float(uint32_t(std::strtol(end, &end, 10))) / 255.0f;
        break;
    }
    case Kind::Specular:
        d.bSpecular = 1;
        std::sscanf(arg, "%f %f", &d.fSpecularPower, &d.fSpecularCone);
        break;
    case Kind::Grow:
        if (!NoLightMode) CopyCut(d.szGrow, arg);
        break;
    }
}

} // namespace

void ERenderer::ScanTextureDirectory(const char* directory, bool skipKnown) {
    if (!directory || std::strlen(directory) > kMaxScanDirectory) return;
    // "*" lists every entry, as the system's "*.*" does.
    for (const os::DirEntry& e : os::ListDirectory(std::string(directory) + "\\*")) {
        if (e.name.empty() || e.name[0] == '.') continue;
        const std::string path = std::string(directory) + "\\" + e.name;
        if (e.isDirectory) {
            ScanTextureDirectory(path.c_str(), false);
            continue;
        }
        if (skipKnown) {
            bool known = false;
            for (const strtexturepaths* p = m_pTexturePaths; p && !known; p = p->next)
                known = StrCmpNoCase(p->szPath, path.c_str()) == 0;
            if (known) continue;
        }
        RegisterTexturePath(path.c_str());
    }
}

void ERenderer::RegisterTexturePath(const char* path) {
    if (!path || std::strlen(path) < 5) return;
    if (!EndsWithNoCase(path, ".tga") && !EndsWithNoCase(path, ".dds")) return;
    if (!IsValidPath(path)) {
        ErrorLog(path, nullptr);
        g_Engine.Quit();
        return;
    }
    strtexturepaths* p = new strtexturepaths();
    g_Debug.AddAllocation("strtexturepaths");
    const char* slash = std::strrchr(path, '\\');
    CopyCut(p->szName, slash ? slash + 1 : path);
    CopyCut(p->szPath, path);
    const size_t n = std::strlen(p->szName);
    std::snprintf(p->szStem, sizeof p->szStem, "%.*s", int(n >= 4 ? n - 4 : 0), p->szName);
    p->bTga = EndsWithNoCase(path, ".tga");
    p->next = m_pTexturePaths;
    m_pTexturePaths = p;
}

void ERenderer::LoadAllTextureDescriptions() {
    LoadTextureDescriptions("scripts\\textures.txt");
    for (const os::DirEntry& e : os::ListDirectory("scripts\\textures\\*.txt")) {
        if (!e.isDirectory) LoadTextureDescriptions(("scripts\\textures\\" + e.name).c_str());
    }
}

void ERenderer::LoadTextureDescriptions(const char* file) {
    if (!FileExists(file)) return;
    std::FILE* f = os::OpenFile(file, "rb");
    if (!f) return;
    char line[kDescriptionLine + 1];
    strtexturepaths* current = nullptr;
    while (!std::feof(f)) {
        line[0] = 0;
        ReadLine(f, line, kDescriptionLine);
        if (!line[0]) continue;
        if (IsKeyword(line, "texture")) {
            const char* name = GetArgument(line);
            current = FindTexturePath(name);
            if (!current) {
                g_Console.Print2(name, " - tekstury nie ma, a jest opis!");
                continue;
            }
            if (current->bDescribed) g_Console.Print4(current->szName, " - Kolejny wpis (", file, ")");
            current->bDescribed = 1;
            continue;
        }
        if (!current) continue;
        for (const Key& k : kKeys) {
            if (IsKeyword(line, k.name)) {
                ApplyKey(k, line, current);
                break;
            }
        }
    }
    std::fclose(f);
}

void ERenderer::LinkTextureTwins() {
    for (strtexturepaths* p = m_pTexturePaths; p && p->next; p = p->next) {
        if (!p->bTga) continue;
        for (strtexturepaths* q = p->next; q; q = q->next) {
            if (q->bTga || StrCmpNoCase(q->szStem, p->szStem) != 0) continue;
            p->pTwin = q;
            TextureDescription& to = q->desc;
            const TextureDescription& from = p->desc;
            to.b2Sided = from.b2Sided;
            to.bAdditive = from.bAdditive;
            to.bStain = from.bStain;
            to.bDoNotRender = from.bDoNotRender;
            to.bNoFog = from.bNoFog;
            to.bNoLight = from.bNoLight;
            to.bSpecular = from.bSpecular;
            to.bTranslucent = from.bTranslucent;
            to.bTransparent = from.bTransparent;
            q->bTga = p->bTga;
            std::memcpy(to.szGrow, from.szGrow, sizeof to.szGrow);
            break;
        }
    }
}

strtexturepaths* ERenderer::FindTexturePath(const char* name) const {
    if (!name) return nullptr;
    for (strtexturepaths* p = m_pTexturePaths; p; p = p->next) {
        if (StemEquals(name, p->szStem)) return p->bTga && p->pTwin ? p->pTwin : p;
    }
    return nullptr;
}

void ERenderer::LoadTextureSubstitutes() {
    std::FILE* f = FileExists("scripts\\texture_substitutes.txt")
                       ? os::OpenFile("scripts\\texture_substitutes.txt", "rb")
                       : nullptr;
    if (!f) return;
    char line[kSubstituteLine + 1];
    strtexturesubstitutes* current = nullptr;
    while (!std::feof(f)) {
        line[0] = 0;
        ReadLine(f, line, kSubstituteLine);
        if (IsKeyword(line, "texture")) {
            const char* arg = GetArgument(line);
            current = new strtexturesubstitutes();
            g_Debug.AddAllocation("strtexturesubstitutes");
            const size_t n = std::strlen(arg);
            std::snprintf(current->szName, sizeof current->szName, "%.*s", int(n > 4 ? n - 4 : n), arg);
            current->next = m_pSubstitutes;
            m_pSubstitutes = current;
        } else if (IsKeyword(line, "substitute")) {
            if (current && current->dwCount < uint32_t(strtexturesubstitutes::MAX_SUBSTITUTES))
                CopyCut(current->szSubstitutes[current->dwCount++], GetArgument(line));
        }
    }
    std::fclose(f);
}

strtexturesubstitutes* ERenderer::FindTextureSubstitute(const char* fileName) const {
    if (!fileName || std::strlen(fileName) < 4) return nullptr;
    for (strtexturesubstitutes* s = m_pSubstitutes; s; s = s->next) {
        if (StemEquals(fileName, s->szName)) return s;
    }
    return nullptr;
}
