#include "world/WorldMgr.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "app/Options.h"
#include "app/Orientation.h"
#include "app/Records.h"
#include "app/TextMgr.h"
#include "platform/math/Math.h"
#include "platform/os/Number.h"
#include "platform/os/Os.h"
#include "render/EnvironmentSettings.h"
#include "render/Mesh.h"
#include "render/PostProcess.h"
#include "skinmesh/SkinMesh.h"
#include "world/BezierMgr.h"
#include "world/Camera.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/VisBlockers.h"

EWorldMgr g_WorldMgr;

namespace {

constexpr uint32_t kAllBits = 0xFFFFFFFFu;
constexpr uint32_t kKindInvisibleInGame = 0x20000;
constexpr uint32_t kKindInvisibleInEditor = 0x80000;
constexpr size_t kTieNameBound = 1000;
constexpr size_t kLightTieNameBound = 32;

int ToInt(const char* text) {
    return os::ReadInt(text);
}
// Colours, flag words and PESEL words are 32-bit patterns: a value above the
// signed range keeps its bits, a negative one wraps.
uint32_t ToU32(const char* text) {
    const int64_t v = os::ReadInt64(text);
    if (v > static_cast<int64_t>(UINT32_MAX)) return UINT32_MAX;
    if (v < INT32_MIN) return static_cast<uint32_t>(INT32_MIN);
    return static_cast<uint32_t>(v);
}
float ToFloat(const char* text) {
    return os::ReadFloat(text);
}

} // namespace

bool safe_string_copy(const char* label, size_t bound, char* destination, const char* source) {
    if (!destination) return false;
    if (!source) source = "";
    size_t length = std::strlen(source);
    if (length < bound) {
        std::memcpy(destination, source, length + 1);
        return true;
    }
    const char* message = "ERROR: safe_string_copy() Source String Too Long!";
    ErrorLog(message, nullptr);
    ErrorLog(label ? label : "", nullptr);
    g_Console.Print(message);
    g_Console.Print(label ? label : "");
    if (bound) destination[0] = 0;
    return false;
}

// ---- Loader state ------------------------------------------------------------

struct EWorldMgr::LoadState {
    ObjectRecord* hCurrent = nullptr;
    bool bInObject = false;
    uint32_t dwType = OT_MESH; // of the last creation line
    AddObjectParams Params;
};

EWorldMgr::EWorldMgr() = default;
EWorldMgr::~EWorldMgr() = default;

// ---- Lines and parameters ----------------------------------------------------

size_t EWorldMgr::NextLine(const char* data, size_t size, size_t pos, char* line) {
    int n = 0;
    for (;;) {
        if (pos >= size) break;
        char c = data[pos];
        if (c == '\r' || c == '\n') {
            // CR LF, a lone LF or a lone CR; a lone CR keeps the next byte.
            ++pos;
            if (c == '\r' && pos < size && data[pos] == '\n') ++pos;
            break;
        }
        // A full line continues as the next one, unless its end comes now.
        if (n == MAX_LINE) break;
        line[n++] = c == '\t' ? ' ' : c;
        ++pos;
    }
    line[n] = 0;
    return pos;
}

namespace {
// Copies the line without leading and trailing blanks into a buffer of the
// given capacity and returns it.
char* CopyTrimmed(char* buffer, size_t capacity, const char* line) {
    while (*line == ' ')
        ++line;
    size_t length = std::strlen(line);
    if (length >= capacity) length = capacity - 1;
    std::memcpy(buffer, line, length);
    while (length > 0 && buffer[length - 1] == ' ')
        --length;
    buffer[length] = 0;
    return buffer;
}
} // namespace

const char* EWorldMgr::GetLineParam(const char* line, int n) {
    if (!line) {
        m_ParamBuffer[0] = 0;
        return m_ParamBuffer;
    }
    char* p = CopyTrimmed(m_ParamBuffer, sizeof m_ParamBuffer, line);
    for (int i = 0; i < n && *p; ++i) {
        while (*p && *p != ' ')
            ++p;
        while (*p == ' ')
            ++p;
    }
    char* end = p;
    while (*end && *end != ' ')
        ++end;
    *end = 0;
    return p;
}

const char* EWorldMgr::GetLineRest(const char* line) {
    if (!line) {
        m_ParamBuffer[0] = 0;
        return m_ParamBuffer;
    }
    char* p = CopyTrimmed(m_ParamBuffer, sizeof m_ParamBuffer, line);
    while (*p && *p != ' ')
        ++p;
    while (*p == ' ')
        ++p;
    return p;
}

int EWorldMgr::ParamInt(const char* line, int n) {
    return ToInt(GetLineParam(line, n));
}
float EWorldMgr::ParamFloat(const char* line, int n) {
    return ToFloat(GetLineParam(line, n));
}
int EWorldMgr::RestInt(const char* line) {
    return ToInt(GetLineRest(line));
}
uint32_t EWorldMgr::ParamU32(const char* line, int n) {
    return ToU32(GetLineParam(line, n));
}
uint32_t EWorldMgr::RestU32(const char* line) {
    return ToU32(GetLineRest(line));
}
float EWorldMgr::RestFloat(const char* line) {
    return ToFloat(GetLineRest(line));
}

void EWorldMgr::TakeKeyword(const char* line) {
    while (*line == ' ')
        ++line;
    size_t n = 0;
    while (line[n] && line[n] != ' ' && n + 1 < sizeof m_Keyword) {
        m_Keyword[n] = line[n];
        ++n;
    }
    m_Keyword[n] = 0;
}

bool EWorldMgr::KeywordIs(const char* key) const {
    // Cheap rejection on the first character, then a compare that stops at
    // the first difference.
    return m_Keyword[0] == key[0] && std::strcmp(m_Keyword, key) == 0;
}

const WorldKeyField* EWorldMgr::FindKeyField(const WorldKeyField* table, size_t count) const {
    for (size_t i = 0; i < count; ++i)
        if (KeywordIs(table[i].szKey)) return &table[i];
    return nullptr;
}

void EWorldMgr::ApplyKeyFields(const char* line, const WorldKeyField* first, const WorldKeyField* end,
                               void* record) {
    uint8_t* base = static_cast<uint8_t*>(record);
    for (const WorldKeyField* f = first; f < end; ++f) {
        if (!KeywordIs(f->szKey)) continue;
        const char* text = f->value ? GetLineParam(line, f->value) : GetLineRest(line);
        uint8_t* field = base + f->offset;
        switch (f->kind) {
        case WorldKeyField::U32Flag: {
            uint32_t v = ToInt(text) != 0;
            std::memcpy(field, &v, sizeof v);
            break;
        }
        case WorldKeyField::U8Flag:
            *field = ToInt(text) != 0;
            break;
        case WorldKeyField::I32: {
            int32_t v = ToInt(text);
            std::memcpy(field, &v, sizeof v);
            break;
        }
        case WorldKeyField::Float: {
            float v = ToFloat(text);
            std::memcpy(field, &v, sizeof v);
            break;
        }
        case WorldKeyField::FloatToInt: {
            // Truncation toward zero; values outside the integer range are
            // clamped rather than left undefined.
            int32_t v = os::ClampToInt(os::ReadDouble(text));
            std::memcpy(field, &v, sizeof v);
            break;
        }
        case WorldKeyField::Text:
            safe_string_copy(f->szLabel ? f->szLabel : "", f->bound, reinterpret_cast<char*>(field), text);
            break;
        }
    }
}

void EWorldMgr::AddErrorLine(const char* text) {
    if (m_nErrorLines >= MAX_ERROR_LINES) return;
    // A longer file name is cut to the line.
    std::snprintf(m_ErrorLines[m_nErrorLines], ERROR_LINE_LEN, "%s", text);
    ++m_nErrorLines;
}

// ---- Loading -------------------------------------------------------------------

bool EWorldMgr::LoadWorld(const char* fileName) {
    m_bLoadError = 0;
    m_nErrorLines = 0;
    if (!fileName) {
        m_bLoadError = 1;
        return false;
    }
    std::FILE* f = os::OpenFile(fileName, "rt");
    if (!f) {
        g_Console.Printf("%s: cannot be opened (%s)", fileName, std::strerror(errno));
        m_bLoadError = 1;
        return false;
    }
    std::fclose(f);

    // As a missing file, but said in the log.
    auto cannotRead = [&](const char* reason) {
        g_Console.Printf("%s: cannot be read (%s)", fileName, reason);
        m_bLoadError = 1;
        return false;
    };
    // A directory opens, but is no file to read.
    std::string data;
    if (!os::ReadWholeFile(fileName, &data, size_t(MAX_FILE_BYTES))) {
        if (errno == EFBIG) {
            g_Console.Printf("%s: world file of %lld bytes, more than the %ld allowed", fileName,
                             os::FileSize(fileName), MAX_FILE_BYTES);
            m_bLoadError = 1;
            return false;
        }
        return cannotRead(errno == EISDIR || errno == EINVAL ? "not a file" : std::strerror(errno));
    }
    if (data.empty()) return false;
    ProcessWorldData(data.data(), data.size(), fileName);
    return true;
}

void EWorldMgr::ProcessWorldData(const char* data, size_t size, const char* fileName) {
    m_szLoadingFile = fileName;
    LoadState s;
    auto line = std::make_unique<char[]>(LINE_BUFFER);
    for (size_t pos = 0; pos < size;) {
        pos = NextLine(data, size, pos, line.get());
        if (std::strchr(line.get(), '>')) g_TextMgr.ReplaceKeys(line.get(), LINE_BUFFER);
        ParseLine(s, line.get());
    }
    m_szLoadingFile = nullptr;
    MakeVisibilityBlockers();
    LoadBezierFile(fileName);
}

void EWorldMgr::ParseLine(LoadState& s, const char* line) {
    TakeKeyword(line);
    if (!m_Keyword[0]) return;
    ParseWorldKey(s, line);
    ParseCreationKey(s, line);
    ParseCurrentObjectKey(s, line);
    ParseSetFxKey(line, s.hCurrent);
    ParseBezierMovingKeys(line, s.hCurrent);
    if (!s.bInObject || !s.hCurrent) return;
    switch (s.dwType) {
    case OT_MESH:
        ParseMeshBlockKey(s, line);
        break;
    case OT_SKINMESH:
        ParseSkinMeshBlockKey(s, line);
        break;
    case OT_LIGHT:
        ParseLightBlockKey(s, line);
        break;
    }
}

// ---- World keys --------------------------------------------------------------------

namespace {

// A world key: what the line sets, and whether it closes the current object
// block (the lines after it no longer belong to that object). `index` is the
// key's number for the keys that come in numbered sets, else 0.
struct WorldKey {
    const char* key;
    bool endsObject;
    int index;
    void (*apply)(EWorldMgr& w, const char* line, int index);
};

EnvironmentSettings& Env() {
    return g_EnvironmentSettings;
}

void SetFogSwitch(int on) {
    if (on)
        Env().EnableFog();
    else
        Env().DisableFog();
}

void ApplyFogSet(EWorldMgr& w, const char* line, int i) {
    Env().SetFogColor(w.ParamU32(line, 1), i);
    Env().SetFogFar(w.ParamFloat(line, 2), i);
    Env().SetFogNear(w.ParamFloat(line, 3), i);
}

// The stored rotation and pitch let the console's rows turn the direction
// further.
void ApplyDirection(EWorldMgr& w, const char* line, bool lens) {
    float pitch = w.ParamFloat(line, 1);
    float rotation = w.ParamFloat(line, 2);
    g_Console.StoreVariable(lens ? "LensFlareRotation" : "SkyLightRotation", rotation, 0);
    g_Console.StoreVariable(lens ? "LensFlarePitch" : "SkyLightPitch", pitch, 0);
    float d[3];
    EnvironmentSettings::DirectionFromAngles(rotation, pitch, d);
    if (lens)
        Env().SetLensFlareDirection(d);
    else
        Env().SetSkyLightDirection(d);
}

void ApplyAmbientSet(EWorldMgr& w, const char* line, int i) {
    Env().SetAmbientColor(w.RestU32(line), i);
}

void ReadThree(EWorldMgr& w, const char* line, float* out) {
    for (int i = 0; i < 3; ++i)
        out[i] = w.ParamFloat(line, i + 1);
}

const WorldKey kWorldKeys[] = {
    {"editor_undo_pesel", false, 0, [](EWorldMgr&, const char*, int) {}}, // read and not used by the game
    {"world_general_properties", true, 0, [](EWorldMgr&, const char*, int) {}},
    {"fog", true, 0,
     [](EWorldMgr& w, const char* line, int) {
         ApplyFogSet(w, line, 0);
         SetFogSwitch(w.ParamInt(line, 4));
     }},
    {"fog_in_game", false, 0, [](EWorldMgr& w, const char* line, int) { SetFogSwitch(w.ParamInt(line, 1)); }},
    {"fog0", true, 0, &ApplyFogSet},
    {"fog1", true, 1, &ApplyFogSet},
    {"fog2", true, 2, &ApplyFogSet},
    {"fog3", true, 3, &ApplyFogSet},
    {"farz", true, 0, [](EWorldMgr& w, const char* line, int) { g_Camera.SetFarZ(w.RestFloat(line)); }},
    {"ambient_occlusion_depth", true, 0,
     [](EWorldMgr& w, const char* line, int) { g_PostProcess.SetAODepth(w.RestFloat(line)); }},
    {"ambient_occlusion_intensity", true, 0,
     [](EWorldMgr& w, const char* line, int) { g_PostProcess.SetAOIntensity(w.RestFloat(line)); }},
    // The unnumbered key sets the first set, like "global_ambient_light0".
    {"global_ambient_light", true, 0, &ApplyAmbientSet},
    {"global_ambient_light0", true, 0, &ApplyAmbientSet},
    {"global_ambient_light1", true, 1, &ApplyAmbientSet},
    {"global_ambient_light2", true, 2, &ApplyAmbientSet},
    {"global_ambient_light3", true, 3, &ApplyAmbientSet},
    {"background_color", true, 0,
     [](EWorldMgr& w, const char* line, int) { g_Camera.SetBackgroundColor(w.RestU32(line)); }},
    {"lens_flare_direction", false, 0,
     [](EWorldMgr& w, const char* line, int) { ApplyDirection(w, line, true); }},
    {"sky_light_direction", false, 0,
     [](EWorldMgr& w, const char* line, int) { ApplyDirection(w, line, false); }},
    {"vertex_ambient_brightness", false, 0,
     [](EWorldMgr& w, const char* line, int) { Env().m_fVertexAmbientBrightness = w.RestFloat(line); }},
    {"vertex_ambient_contrast", false, 0,
     [](EWorldMgr& w, const char* line, int) { Env().m_fVertexAmbientContrast = w.RestFloat(line); }},
    {"vertex_ambient_color", false, 0,
     [](EWorldMgr& w, const char* line, int) { ReadThree(w, line, Env().m_vVertexAmbientColor); }},
    {"vertex_ambient_inside_brightness", false, 0,
     [](EWorldMgr& w, const char* line, int) { Env().m_fVertexAmbientInsideBrightness = w.RestFloat(line); }},
    {"vertex_ambient_inside_contrast", false, 0,
     [](EWorldMgr& w, const char* line, int) { Env().m_fVertexAmbientInsideContrast = w.RestFloat(line); }},
    {"vertex_ambient_inside_color", false, 0,
     [](EWorldMgr& w, const char* line, int) { ReadThree(w, line, Env().m_vVertexAmbientInsideColor); }},
    {"sky_light_use", false, 0,
     [](EWorldMgr& w, const char* line, int) { Env().m_bSkyLightInUse = w.ParamInt(line, 1) != 0; }},
    {"sky_light_color", false, 0,
     [](EWorldMgr& w, const char* line, int) { Env().SetSkyLightColor(w.ParamU32(line, 1)); }},
    {"sky_light_power", false, 0,
     [](EWorldMgr& w, const char* line, int) { SkyLightPower = w.ParamFloat(line, 1); }},
    {"sky_mesh", false, 0,
     [](EWorldMgr& w, const char* line, int) {
         char name[EWorldMgr::PARAM_BUFFER];
         std::snprintf(name, sizeof name, "%s", w.GetLineRest(line));
         Env().CreateSkyObject(name);
     }},
    {"sky_light_projector", false, 0,
     [](EWorldMgr& w, const char* line, int) {
         int size = w.ParamInt(line, 1);
         int distance1 = w.ParamInt(line, 2);
         int distance2 = w.ParamInt(line, 3);
         EnvironmentSettings::SetSkyLightProjector(size, distance1, distance2, w.ParamFloat(line, 4));
     }},
    {"skinmesh_skylight_coef", false, 0,
     [](EWorldMgr& w, const char* line, int) { SkinmeshLightCoef = w.ParamFloat(line, 1); }},
    {"bloom_params", false, 0,
     [](EWorldMgr& w, const char* line, int) {
         float cone = w.ParamFloat(line, 1);
         EnvironmentSettings::SetBloom(cone, w.ParamFloat(line, 2));
     }},
    // "lensflare_script", "sounds_world_bank" and "skinmesh_ambient_coef" have
    // no effect and no row.
};

} // namespace

bool EWorldMgr::ParseWorldKey(LoadState& s, const char* line) {
    for (const WorldKey& k : kWorldKeys) {
        if (!KeywordIs(k.key)) continue;
        k.apply(*this, line, k.index);
        if (k.endsObject) s.bInObject = false;
        return true;
    }
    return false;
}

// ---- Creation lines ----------------------------------------------------------------

bool EWorldMgr::ParseCreationKey(LoadState& s, const char* line) {
    struct Creation {
        const char* key;
        uint32_t type;
        const char* label;
        const char* failure;
    };
    static const Creation kCreations[] = {
        {"mesh", OT_MESH, "mesh file name", "Mesh loading failed:"},
        {"skinmesh", OT_SKINMESH, "skin mesh file name", "SkinMesh loading failed:"},
    };
    for (const Creation& c : kCreations) {
        if (!KeywordIs(c.key)) continue;
        s.bInObject = false;
        char name[EWorldMgr::PARAM_BUFFER];
        std::snprintf(name, sizeof name, "%s", GetLineParam(line, 1));
        if (std::strlen(name) < 2) return true; // the current object stays
        s.Params.Reset();
        s.Params.dwType = c.type;
        // The name must fit the creation record's file-name field; a longer
        // one is refused like a mesh that does not load.
        ObjectRecord* h = nullptr;
        if (safe_string_copy(c.label, sizeof s.Params.szFileName, s.Params.szFileName, name))
            h = g_Engine.AddObject(s.Params);
        if (h) {
            h->bWorldObject = 1;
            s.hCurrent = h;
            s.bInObject = true;
            s.dwType = c.type;
        } else {
            s.hCurrent = nullptr;
            m_bLoadError = 1;
            AddErrorLine(c.failure);
            AddErrorLine(name);
            AddErrorLine("");
        }
        return true;
    }
    if (KeywordIs("light")) {
        s.Params.Reset();
        s.Params.dwType = OT_LIGHT;
        s.Params.szFileName[0] = 0;
        ObjectRecord* h = g_Engine.AddObject(s.Params);
        if (h) {
            h->bWorldObject = 1;
            s.hCurrent = h;
            s.bInObject = true;
            s.dwType = OT_LIGHT;
        } else {
            s.bInObject = false;
            s.hCurrent = nullptr;
            m_bLoadError = 1;
            AddErrorLine("Light failed!");
            AddErrorLine("");
        }
        return true;
    }
    return false;
}

// ---- Current-object keys -----------------------------------------------------------

void EWorldMgr::ParseCurrentObjectKey(LoadState& s, const char* line) {
    ObjectRecord* h = s.hCurrent;
    if (!h) return;
    auto pesel = [&](PESEL& p) {
        p.dwTime = ParamU32(line, 1);
        p.dwRand = ParamU32(line, 2);
        p.dwSlot = ParamU32(line, 3);
    };
    auto index = [&]() {
        int v = RestInt(line);
        return v > 3 ? 3 : v;
    };
    if (KeywordIs("pesel"))
        pesel(h->Pesel);
    else if (KeywordIs("container_pesel"))
        pesel(h->ContainerPesel);
    else if (KeywordIs("ambient_light_idx"))
        h->iAmbientLightIdx = index();
    else if (KeywordIs("fog_idx"))
        h->iFogIdx = index();
    else if (KeywordIs("sector_idx"))
        h->iSector = RestInt(line);
    else if (KeywordIs("ignore_calculating_player_visibility")) {
        if (h->dwType == OT_LIGHT) h->bIgnorePlayerVisibility = RestInt(line) != 0;
    } else if (KeywordIs("light_linear_scatter")) {
        if (h->dwType == OT_LIGHT) h->bLightLinearScatter = RestInt(line) != 0;
    } else if (KeywordIs("env_texture_idx"))
        h->iEnvTextureIdx = RestInt(line);
    else if (KeywordIs("disappear_range"))
        SetObjectDisappearRange(h, ParamInt(line, 1));
    else if (KeywordIs("link_by_socket"))
        ParseTie(line, h, kTieNameBound, "szObjectName", "szSocketName");
    else if (KeywordIs("blinking1"))
        ParseBlinkingKey(line, h);
}

void EWorldMgr::ParseTie(const char* line, ObjectRecord* h, size_t bound, const char* objectLabel,
                         const char* socketLabel) {
    char objectName[kTieNameBound] = {};
    char socketName[kTieNameBound] = {};
    bool tie = ParamInt(line, 1) != 0;
    safe_string_copy(objectLabel, bound, objectName, GetLineParam(line, 2));
    safe_string_copy(socketLabel, bound, socketName, GetLineParam(line, 3));
    g_Engine.TieObject(h, tie, objectName, socketName);
}

// ---- Block keys ----------------------------------------------------------------------

bool EWorldMgr::ParseCommonBlockKey(LoadState& s, const char* line, bool withScaleAndVisibility) {
    ObjectRecord* h = s.hCurrent;
    if (KeywordIs("name")) {
        const char* rest = GetLineRest(line);
        if (!*rest) return true;
        char name[32];
        safe_string_copy("", sizeof name, name, rest);
        SetObjectName(h, name);
        return true;
    }
    static const char* const kPosKeys[] = {"xpos", "ypos", "zpos"};
    for (int i = 0; i < 3; ++i) {
        if (!KeywordIs(kPosKeys[i])) continue;
        math::Vec3 p;
        GetObjectPosition(h, &p);
        p.data()[i] = RestFloat(line);
        SetObjectPosition(h, p, false);
        return true;
    }
    if (KeywordIs("flags")) {
        SetObjectFlags(h, RestU32(line), kAllBits);
        return true;
    }
    if (KeywordIs("flag2")) {
        SetObjectFlags2(h, RestU32(line), kAllBits);
        return true;
    }
    if (!withScaleAndVisibility) return false;
    if (KeywordIs("rotation_angles")) {
        ParseRotationAngles(s, line);
        return true;
    }
    if (KeywordIs("scaling_axis")) {
        math::Vec3 scale(ParamFloat(line, 1), ParamFloat(line, 2), ParamFloat(line, 3));
        SetObjectScale(h, scale);
        return true;
    }
    if (KeywordIs("invisible_in_game")) {
        if (RestInt(line)) {
            SetObjectFlags(h, 0, 1);
            SetObjectKindFlags(h, kKindInvisibleInGame, kKindInvisibleInGame);
        } else {
            SetObjectKindFlags(h, 0, kKindInvisibleInGame);
        }
        return true;
    }
    if (KeywordIs("invisible_in_edytor")) {
        SetObjectKindFlags(h, RestInt(line) ? kKindInvisibleInEditor : 0, kKindInvisibleInEditor);
        return true;
    }
    return false;
}

void EWorldMgr::ParseRotationAngles(LoadState& s, const char* line) {
    ObjectRecord* h = s.hCurrent;
    float x = ParamFloat(line, 1);
    float y = ParamFloat(line, 2);
    float z = ParamFloat(line, 3);
    // The raw values as written are kept by the mesh or skinned mesh; the
    // record's own rotation angles stay as they were, since they turn the base
    // rotation set here a second time.
    if (EMesh* mesh = h->Mesh()) mesh->m_vRotationAngles = math::Vec3(x, y, z);
    if (ESkinMesh* skin = h->SkinMesh()) skin->m_vRotationAngles = math::Vec3(x, y, z);
    orientation o;
    o.InitYawPitchRoll(math::ToRadian(y), math::ToRadian(x), math::ToRadian(z));
    SetObjectOrientation(h, o);
    h->BaseOrientation = o;
    h->bBaseOrientationGiven = 1;
}

void EWorldMgr::ParseMeshBlockKey(LoadState& s, const char* line) {
    ObjectRecord* h = s.hCurrent;
    if (ParseCommonBlockKey(s, line, true)) return;
    auto flag1 = [&]() -> uint8_t { return ParamInt(line, 1) != 0; };
    if (KeywordIs("sound_for_mesh")) {
        float range = ParamFloat(line, 1);
        char file[256];
        safe_string_copy("sound_for_mesh", sizeof file, file, GetLineParam(line, 2));
        SetObjectSound(h, file, range, "");
    } else if (KeywordIs("sound_for_mes_ifset")) {
        char condition[32];
        safe_string_copy("sound_for_mes_ifset", sizeof condition, condition, GetLineRest(line));
        char file[256] = {};
        char kept[64] = {};
        float range = 0;
        GetObjectSound(h, file, &range, kept);
        SetObjectSound(h, file, range, condition);
    } else if (KeywordIs("bush_sound")) {
        float interval = ParamFloat(line, 1);
        char file[256];
        safe_string_copy("bush_sound", sizeof file, file, GetLineParam(line, 2));
        SetObjectLoopSound(h, file, interval);
    } else if (KeywordIs("land_mine")) {
        h->bLandMine = flag1();
    } else if (KeywordIs("green_point")) {
        h->bGreenPoint = flag1();
    } else if (KeywordIs("red_point")) {
        h->bRedPoint = flag1();
    } else if (KeywordIs("vertex_color")) {
        h->bVertexColor = flag1();
    } else if (KeywordIs("is_it_tree")) {
        h->bIsItTree = flag1();
    } else if (KeywordIs("is_it_wire")) {
        h->bIsItWire = flag1();
    } else if (KeywordIs("item_dropped")) {
        h->bItemDropped = flag1();
    } else if (KeywordIs("mesh_link_by_socket")) {
        ParseTie(line, h, kTieNameBound, "szObjectName", "szSocketName");
    } else if (KeywordIs("path_generation")) {
        PathGenerationParams p;
        GetObjectPathGenerationParams(h, &p);
        p.dwOn = static_cast<uint32_t>(ParamInt(line, 1));
        p.fValue1 = ParamFloat(line, 2);
        p.fValue2 = ParamFloat(line, 3);
        p.fValue3 = ParamFloat(line, 4);
        p.dwValue4 = static_cast<uint32_t>(ParamInt(line, 5));
        SetObjectPathGenerationParams(h, p);
    }
    ParseRigidBodyKeys(line, h);
    ParseMeshLightControlKeys(line, h);
    ParseObjectLightControlKeys(line, h);
    ParseActionKeys(line, h);
    ParseLoopMusicKey(line, h);
    ParseDeathParamsKeys(line, h);
}

void EWorldMgr::ParseSkinMeshBlockKey(LoadState& s, const char* line) {
    ObjectRecord* h = s.hCurrent;
    if (ParseCommonBlockKey(s, line, true)) return;
    if (KeywordIs("skinmesh_sound_range_and_filename")) {
        float range = ParamFloat(line, 1);
        char file[255];
        safe_string_copy("skinmesh_sound_filename", sizeof file, file, GetLineParam(line, 2));
        char kept[256] = {};
        char condition[64] = {};
        float keptRange = 0;
        GetObjectSound(h, kept, &keptRange, condition);
        SetObjectSound(h, file, range, condition);
    } else if (KeywordIs("skinmesh_sound_ifset")) {
        char condition[63];
        safe_string_copy("skinmesh_sound_ifset", sizeof condition, condition, GetLineParam(line, 1));
        char file[256] = {};
        char kept[64] = {};
        float range = 0;
        GetObjectSound(h, file, &range, kept);
        SetObjectSound(h, file, range, condition);
    }
    ParseActionKeys(line, h);
    ParseLoopMusicKey(line, h);
    ParseDeathParamsKeys(line, h);
    ParseObjectLightControlKeys(line, h);
}

void EWorldMgr::ParseLightBlockKey(LoadState& s, const char* line) {
    ObjectRecord* h = s.hCurrent;
    if (ParseCommonBlockKey(s, line, false)) return;
    if (KeywordIs("range")) {
        SetObjectRange(h, RestFloat(line));
    } else if (KeywordIs("power")) {
        float power = RestFloat(line);
        h->fLightPower = power;
        h->fLightBasePower = power;
    } else if (KeywordIs("diffuse")) {
        h->fLightR = ParamFloat(line, 1);
        h->fLightG = ParamFloat(line, 2);
        h->fLightB = ParamFloat(line, 3);
    } else if (KeywordIs("light_link_by_socket")) {
        ParseTie(line, h, kLightTieNameBound, "light_link_by_socket_ObjectName",
                 "light_link_by_socket_SocketName");
    }
    ParseActionKeys(line, h);
    ParseLoopMusicKey(line, h);
    ParseDeathParamsKeys(line, h);
}

// ---- After the last line -------------------------------------------------------------

void EWorldMgr::MakeVisibilityBlockers() {
    for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!h || !h->bUsed || h->dwType != OT_MESH || !h->Mesh()) continue;
        const char* name = h->szFileName;
        for (const char* p = name; *p; ++p)
            if (*p == '\\' || *p == '/') name = p + 1;
        if (StrCmpNoCase(name, "visibility_blocker.x") != 0) continue;
        if (!g_VisBlockers.AddBlocker(h)) g_Console.Print("visibility blocker FAILED...");
        g_Engine.DeleteObject(h);
    }
}

void EWorldMgr::LoadBezierFile(const char* worldFileName) {
    char name[1024];
    std::snprintf(name, sizeof name - 4, "%s", worldFileName);
    char* dot = std::strrchr(name, '.');
    if (dot)
        std::strcpy(dot + 1, "bzr");
    else
        std::strcpy(name, "bzr");
    g_BezierMgr.LoadFile(name);
}
