#include "physics/RigidBodyParametersMgr.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "app/Geometry.h"
#include "app/Records.h"
#include "physics/CollisionMgr.h"
#include "platform/os/Number.h"
#include "platform/os/Os.h"
#include "render/Mesh.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"

void SplitLine(const char* line, int32_t index, char* out, size_t capacity) {
    if (!out || capacity == 0) return;
    out[0] = 0;
    if (!line) return;
    while (*line == ' ')
        ++line;
    // The working copy: the line without its leading and trailing blanks.
    char copy[SPLIT_LINE_CAPACITY] = {};
    size_t length = strnlen(line, sizeof copy - 1);
    std::memcpy(copy, line, length);
    while (length > 0 && copy[length - 1] == ' ')
        copy[--length] = 0;
    if (length == 0) return;

    const char* p = copy;
    for (int32_t i = 0; i < index && *p; ++i) {
        while (*p && *p != ' ')
            ++p;
        while (*p == ' ')
            ++p;
    }
    size_t word = 0;
    while (p[word] && p[word] != ' ')
        ++word;
    if (word > capacity - 1) word = capacity - 1;
    std::memcpy(out, p, word);
    out[word] = 0;
}

// ---- Inertia-tensor files -------------------------------------------------------------

ERigidBodyParametersMgr g_RigidBodyParametersMgr;

namespace {

constexpr int kLineLength = 5000;
constexpr const char* kSeparator = " ";

// A value as "%0.12lf" prints it in the C locale, whatever the process locale.
const char* FormatFixed12(double value, char (&out)[400]) {
    const std::to_chars_result r =
        std::to_chars(out, out + sizeof out - 1, value, std::chars_format::fixed, 12);
    *(r.ec == std::errc() ? r.ptr : out) = 0;
    return out;
}

void WriteRows(std::FILE* f, const char* keyword, const double m[9]) {
    for (int row = 0; row < 3; ++row) {
        char x[400], y[400], z[400];
        std::fprintf(f, "%s %d %s %s %s\n", keyword, row, FormatFixed12(m[row * 3], x),
                     FormatFixed12(m[row * 3 + 1], y), FormatFixed12(m[row * 3 + 2], z));
    }
}

// Word `index` of the line as a number.
int64_t IntAt(const char* line, int index) {
    char word[64];
    SplitLine(line, index, word, sizeof word);
    return os::ReadInt64(word);
}

double DoubleAt(const char* line, int index) {
    // Room for the longest fixed-point double.
    char word[400];
    SplitLine(line, index, word, sizeof word);
    return os::ReadDouble(word);
}

// A count line: the count and an identity map, unless the map exists already
// or the count is out of range.
void ReadCount(const char* line, uint32_t* count, std::unique_ptr<uint32_t[]>* map, const char* tag) {
    const int64_t n = IntAt(line, 1);
    if (*map || n < 0 || n > int64_t(ERigidBodyParametersMgr::MAX_VERTICES)) return;
    *count = uint32_t(n);
    map->reset(new uint32_t[n]);
    for (uint32_t i = 0; i < *count; ++i)
        (*map)[i] = i;
    g_Debug.AddAllocation(tag);
}

// A map line "keyword a b": map[a] = b when the map exists, a < count and
// b < the other count.
void ReadMapEntry(const char* line, uint32_t count, uint32_t* map, uint32_t otherCount) {
    const int64_t a = IntAt(line, 1), b = IntAt(line, 2);
    if (!map || a < 0 || a >= int64_t(count) || b < 0 || b >= int64_t(otherCount)) return;
    map[a] = uint32_t(b);
}

// A tensor value beyond this is no unit-mass tensor of any world-sized mesh,
// and its products with masses and speeds would overflow into NaN.
constexpr double kMaxTensorValue = 1e12;

void ReadRow(const char* line, const char* keyword, const char* path, double m[9]) {
    const int64_t index = IntAt(line, 1);
    const int row = index < 0 ? 0 : index > 2 ? 2 : int(index);
    for (int i = 0; i < 3; ++i) {
        const double v = DoubleAt(line, 2 + i);
        if (std::isfinite(v) && std::fabs(v) <= kMaxTensorValue) {
            m[row * 3 + i] = v;
            continue;
        }
        g_Console.Printf("%s: %s %d value %g out of range (-%g..%g), 0 taken", path, keyword, row, v,
                         kMaxTensorValue, kMaxTensorValue);
        m[row * 3 + i] = 0.0;
    }
}

// The first map entry that names a vertex beyond the other count, as the
// keyword of its line; null when both maps keep their bounds.
const char* MapOutOfRange(const RigidBodyParameters& r, uint32_t* index, uint32_t* value) {
    const struct {
        const char* keyword;
        const uint32_t* map;
        uint32_t count, other;
    } maps[2] = {{"map_new_vertices_to_old", r.map_new_to_old.get(), r.num_new_vertices, r.num_old_vertices},
                 {"map_old_vertices_to_new", r.map_old_to_new.get(), r.num_old_vertices, r.num_new_vertices}};
    for (const auto& m : maps) {
        if (!m.map) continue;
        for (uint32_t i = 0; i < m.count; ++i)
            if (m.map[i] >= m.other) {
                *index = i;
                *value = m.map[i];
                return m.keyword;
            }
    }
    return nullptr;
}

// A file whose last line has no line end was cut while it was written.
bool EndsWithinALine(std::FILE* f) {
    if (std::fseek(f, -1, SEEK_END) != 0) return false; // empty
    const int last = std::fgetc(f);
    return last != '\n' && last != '\r';
}

bool IsFirstWord(const char* line, const char* keyword) {
    char word[32];
    SplitLine(line, 0, word, sizeof word);
    return StrCmpNoCase(word, keyword) == 0;
}

// Reads the lines of an open file into a cleared record; the mesh name read
// goes to meshName.
void ReadParameters(std::FILE* f, const char* path, RigidBodyParameters& r,
                    char (&meshName)[RigidBodyParameters::NAME_LEN]) {
    static char line[kLineLength + 1];
    while (MoreLines(f, path)) {
        line[0] = 0;
        ReadLine(f, line, kLineLength);
        if (IsFirstWord(line, "mesh_filename")) {
            SplitLine(line, 1, meshName, sizeof meshName);
        } else if (IsFirstWord(line, "ibody_row")) {
            ReadRow(line, "ibody_row", path, r.Ibody);
        } else if (IsFirstWord(line, "ibodyinv_row")) {
            ReadRow(line, "ibodyinv_row", path, r.Ibodyinv);
        } else if (IsFirstWord(line, "num_old_vertices")) {
            ReadCount(line, &r.num_old_vertices, &r.map_old_to_new, "map_old_to_new");
        } else if (IsFirstWord(line, "num_new_vertices")) {
            ReadCount(line, &r.num_new_vertices, &r.map_new_to_old, "map_new_to_old");
        } else if (IsFirstWord(line, "map_new_vertices_to_old")) {
            ReadMapEntry(line, r.num_new_vertices, r.map_new_to_old.get(), r.num_old_vertices);
        } else if (IsFirstWord(line, "map_old_vertices_to_new")) {
            ReadMapEntry(line, r.num_old_vertices, r.map_old_to_new.get(), r.num_new_vertices);
        }
    }
}

math::Vec3d Widen(const math::Vec3& v) {
    return {v.x, v.y, v.z};
}

} // namespace

void RigidBodyParameters::Clear() {
    szMeshFilename[0] = 0;
    szPath[0] = 0;
    std::memset(Ibody, 0, sizeof Ibody);
    std::memset(Ibodyinv, 0, sizeof Ibodyinv);
    if (map_old_to_new) g_Debug.RemoveAllocation("map_old_to_new");
    if (map_new_to_old) g_Debug.RemoveAllocation("map_new_to_old");
    map_old_to_new.reset();
    map_new_to_old.reset();
    num_old_vertices = 0;
    num_new_vertices = 0;
}

uint32_t ERigidBodyParametersMgr::Init() {
    m_Computed.clear();
    if (!os::DirectoryExists(FOLDER) && os::CreateDirectory(FOLDER)) return 0;
    const std::string folder = FOLDER;
    const std::vector<os::DirEntry> entries = os::ListDirectory(folder + "\\*.*");
    if (entries.empty()) return 0;
    m_dwNumRecords = 0;
    uint32_t loaded = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].isDirectory) {
            const std::string path = folder + "\\" + entries[i].name;
            if (LoadFile(path.c_str()))
                ++loaded;
            else
                g_Console.Printf("\nProblem with Inertia Tensor file: %s", path.c_str());
        }
        if (i + 1 == entries.size()) break;
        if (m_dwNumRecords >= MAX_FILES_WITH_PARAMETERS) {
            g_Console.Print("ERROR in RigidBodyParametersMgr: Init(): MAX_FILES_WITH_PARAMETERS exceeded!");
            break;
        }
    }
    return loaded;
}

void ERigidBodyParametersMgr::Destroy() {
    for (RigidBodyParameters& r : m_Records)
        r.Clear();
    m_dwNumRecords = 0;
    m_Computed.clear();
}

bool ERigidBodyParametersMgr::LoadFile(const char* path) {
    if (m_dwNumRecords >= MAX_FILES_WITH_PARAMETERS) {
        g_Console.Print("ERROR in RigidBodyParametersMgr: LoadFile(): MAX_FILES_WITH_PARAMETERS exceeded!");
        return false;
    }
    if (!path || std::strlen(path) >= RigidBodyParameters::PATH_LEN) return false;
    // A name that never matches its own file would otherwise add a record
    // per lookup.
    for (uint32_t i = 0; i < m_dwNumRecords; ++i)
        if (os::EqualNoCase(m_Records[i].szPath, path)) return true;
    if (!ReadRecord(path, m_Records[m_dwNumRecords])) return false;
    ++m_dwNumRecords;
    return true;
}

bool ERigidBodyParametersMgr::ReadRecord(const char* path, RigidBodyParameters& r) {
    std::FILE* f = os::OpenFile(path, "rb");
    if (!f) return false;
    r.Clear();
    char meshName[RigidBodyParameters::NAME_LEN] = {};
    ReadParameters(f, path, r, meshName);
    const bool unreadable = std::ferror(f);
    const bool cut = !unreadable && EndsWithinALine(f);
    std::fclose(f);
    // A file cut short or stale would make the hull index past its mesh: it
    // is refused whole, so that the lookup computes it again.
    uint32_t index = 0, value = 0;
    const char* badMap = unreadable || cut ? nullptr : MapOutOfRange(r, &index, &value);
    if (cut) g_Console.Printf("%s: cut short (its last line has no line end)", path);
    if (badMap)
        g_Console.Printf("%s: %s %u %u names a vertex beyond the %u %s vertices", path, badMap, index, value,
                         badMap[4] == 'n' ? r.num_old_vertices : r.num_new_vertices,
                         badMap[4] == 'n' ? "old" : "new");
    if (unreadable || cut || badMap) {
        r.Clear();
        return false;
    }
    std::memcpy(r.szMeshFilename, meshName, sizeof meshName);
    std::snprintf(r.szPath, sizeof r.szPath, "%s", path);
    return true;
}

bool ERigidBodyParametersMgr::Recompute(const char* meshFilename, RigidBodyParameters** out) {
    if (out) *out = nullptr;
    if (!meshFilename) return false;
    for (uint32_t i = 0; i < m_dwNumRecords; ++i) {
        RigidBodyParameters& r = m_Records[i];
        if (StrCmpNoCase(r.szMeshFilename, meshFilename) != 0) continue;
        ComputeAndSaveInertiaTensor(meshFilename);
        char path[RigidBodyParameters::PATH_LEN];
        if (!FileNameFor(meshFilename, path) || !ReadInto(r, path)) return false;
        if (out) *out = &r;
        return true;
    }
    return false;
}

bool ERigidBodyParametersMgr::ReadInto(RigidBodyParameters& r, const char* path) {
    // Read aside first: a file that cannot be read keeps the old record.
    RigidBodyParameters fresh;
    if (!ReadRecord(path, fresh)) return false;
    r.Clear();
    r = std::move(fresh);
    return true;
}

bool ERigidBodyParametersMgr::FindParameters(const char* meshFilename, RigidBodyParameters** out) {
    if (out) *out = nullptr;
    if (!meshFilename) return false;
    for (int pass = 0; pass < 2; ++pass) {
        for (uint32_t i = 0; i < m_dwNumRecords; ++i) {
            if (StrCmpNoCase(m_Records[i].szMeshFilename, meshFilename) == 0) {
                if (out) *out = &m_Records[i];
                return true;
            }
        }
        ComputeAndSaveInertiaTensor(meshFilename);
        char path[RigidBodyParameters::PATH_LEN];
        if (!FileNameFor(meshFilename, path)) continue;
        // The file's path may hold a nameless record, read from an empty
        // file or one cut before its name: the new file replaces it. (A
        // record naming another mesh of the same file name stays.)
        RigidBodyParameters* loaded = nullptr;
        for (uint32_t i = 0; i < m_dwNumRecords && !loaded; ++i)
            if (!m_Records[i].szMeshFilename[0] && os::EqualNoCase(m_Records[i].szPath, path))
                loaded = &m_Records[i];
        if (loaded)
            ReadInto(*loaded, path);
        else
            LoadFile(path);
    }
    return false;
}

bool ERigidBodyParametersMgr::GetInertiaTensor(const char* meshFilename, double* Ibody, double* Ibodyinv) {
    RigidBodyParameters* r = nullptr;
    if (!FindParameters(meshFilename, &r)) return false;
    if (Ibody) std::memcpy(Ibody, r->Ibody, sizeof r->Ibody);
    if (Ibodyinv) std::memcpy(Ibodyinv, r->Ibodyinv, sizeof r->Ibodyinv);
    return true;
}

void ERigidBodyParametersMgr::ComputeAndSaveInertiaTensor(const char* meshFilename) {
    if (!meshFilename) return;
    for (const std::string& done : m_Computed)
        if (StrCmpNoCase(done.c_str(), meshFilename) == 0) return;
    m_Computed.emplace_back(meshFilename);
    AddObjectParams params;
    params.dwType = OT_MESH;
    params.dwFlags = 12;
    ObjectRecord* h = nullptr;
    // A name the creation record cannot hold would name another mesh.
    if (std::strlen(meshFilename) < sizeof params.szFileName) {
        std::snprintf(params.szFileName, sizeof params.szFileName, "%s", meshFilename);
        h = g_Engine.AddObject(params);
    }
    if (!h) {
        g_Console.Printf("ERROR in ComputeAndSaveInertiaTensor(): mesh creation failed: %s", meshFilename);
        return;
    }
    // World and mesh coordinates coincide.
    SetObjectFlags(h, 12, 0xFFFFFFFF);
    SetObjectPosition(h, math::Vec3(0, 0, 0));
    orientation o;
    o.InitYawPitchRoll(0, 0, 0);
    SetObjectOrientation(h, o);
    SetObjectScale(h, math::Vec3(1, 1, 1));
    SaveFile(h);
    g_Engine.DeleteObject(h);
}

bool ERigidBodyParametersMgr::FileNameFor(const char* meshFilename,
                                          char (&out)[RigidBodyParameters::PATH_LEN]) {
    out[0] = 0;
    if (!meshFilename) return false;
    std::string path = std::string(FOLDER) + "\\";
    for (const char* p = meshFilename; *p && *p != '.'; ++p)
        path += *p == '\\' ? '_' : *p;
    path += ".txt";
    if (path.size() >= sizeof out) return false;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

void ERigidBodyParametersMgr::SaveFile(ObjectRecord* h) {
    const EMesh* mesh = h ? h->Mesh() : nullptr;
    if (!mesh || mesh->m_iMeshId < 0) return;
    double Ibody[9], Ibodyinv[9];
    ComputeInertiaTensor(h, Ibody);
    InvertMatrix3(Ibody, Ibodyinv);
    char path[RigidBodyParameters::PATH_LEN];
    if (!FileNameFor(mesh->m_szFileName, path)) return;
    os::CreateDirectory(FOLDER);
    std::FILE* f = os::OpenFile(path, "wb");
    if (!f) return;
    std::fprintf(f, "mesh_filename %s\n%s\n", mesh->m_szFileName, kSeparator);
    WriteRows(f, "ibody_row", Ibody);
    std::fprintf(f, "%s\n", kSeparator);
    WriteRows(f, "ibodyinv_row", Ibodyinv);
    std::fprintf(f, "%s\n", kSeparator);
    WriteVertexMaps(f, h);
    std::fprintf(f, "%s\n", kSeparator);
    std::fclose(f);
}

void ERigidBodyParametersMgr::ComputeInertiaTensor(ObjectRecord* h, double out[9]) {
    std::memset(out, 0, 9 * sizeof(double));
    const CollisionMeshEntry* entry = g_CollisionMgr.GetEntry(h);
    if (!entry) return;
    const double min[3] = {entry->vWorldMin.x, entry->vWorldMin.y, entry->vWorldMin.z};
    const double max[3] = {entry->vWorldMax.x, entry->vWorldMax.y, entry->vWorldMax.z};
    // The sample coordinates of each axis, grown by adding the step once per
    // sample from lo.
    std::vector<double> coords[3];
    for (int axis = 0; axis < 3; ++axis) {
        if (!(max[axis] > min[axis])) return;
        const double lo = min[axis] - 0.1;
        const double size = max[axis] + 0.1 - lo;
        const double step = size / 40.0;
        const int samples = int(size / step) + 2;
        coords[axis].resize(samples);
        double c = lo;
        for (int i = 0; i < samples; ++i, c += step)
            coords[axis][i] = c;
    }
    const std::vector<double>&xs = coords[0], &ys = coords[1], &zs = coords[2];
    const size_t nx = xs.size(), ny = ys.size(), nz = zs.size();
    // Each face counts its crossings only at the samples whose ray along +x
    // can reach it (the sample's y and z within the face's box, its x not
    // beyond it): what IsPointInsideMesh counts, face by face.
    std::vector<uint8_t> odd(nx * ny * nz, 0);
    const math::Vec3d diagonal = Widen(entry->vWorldMax) - Widen(entry->vWorldMin);
    const double d = std::sqrt(diagonal.x * diagonal.x + diagonal.y * diagonal.y + diagonal.z * diagonal.z);
    const double margin = 1e-7 * d + 1e-12;
    for (uint32_t face = 0; face < entry->dwNumFaces; ++face) {
        const uint16_t* index = entry->CM_dwFaces + 3 * face;
        const math::Vec3d a = Widen(entry->CM_vVerticesWorld[index[0]]);
        const math::Vec3d b = Widen(entry->CM_vVerticesWorld[index[1]]);
        const math::Vec3d c = Widen(entry->CM_vVerticesWorld[index[2]]);
        const double yLo = std::min({a.y, b.y, c.y}) - margin, yHi = std::max({a.y, b.y, c.y}) + margin;
        const double zLo = std::min({a.z, b.z, c.z}) - margin, zHi = std::max({a.z, b.z, c.z}) + margin;
        const double xHi = std::max({a.x, b.x, c.x}) + margin;
        // The index ranges whose coordinates pass the same comparisons.
        const size_t j0 = size_t(std::lower_bound(ys.begin(), ys.end(), yLo) - ys.begin());
        const size_t j1 = size_t(std::upper_bound(ys.begin(), ys.end(), yHi) - ys.begin());
        const size_t k0 = size_t(std::lower_bound(zs.begin(), zs.end(), zLo) - zs.begin());
        const size_t k1 = size_t(std::upper_bound(zs.begin(), zs.end(), zHi) - zs.begin());
        const size_t i1 = size_t(std::upper_bound(xs.begin(), xs.end(), xHi) - xs.begin());
        for (size_t i = 0; i < i1; ++i)
            for (size_t j = j0; j < j1; ++j)
                for (size_t k = k0; k < k1; ++k) {
                    const math::Vec3d from(xs[i], ys[j], zs[k]);
                    const math::Vec3d to(xs[i] + 2 * d, ys[j], zs[k]);
                    math::Vec3d q;
                    double t;
                    if (SegmentTriangleIntersectDouble(from, to, a, b, c, &q, &t))
                        odd[(i * ny + j) * nz + k] ^= 1;
                }
    }
    double sum[9] = {};
    uint64_t count = 0;
    for (size_t i = 0; i < nx; ++i)
        for (size_t j = 0; j < ny; ++j)
            for (size_t k = 0; k < nz; ++k) {
                if (!odd[(i * ny + j) * nz + k]) continue;
                const double x = xs[i], y = ys[j], z = zs[k];
                ++count;
                sum[0] += y * y + z * z;
                sum[4] += x * x + z * z;
                sum[8] += x * x + y * y;
                sum[1] -= x * y;
                sum[2] -= x * z;
                sum[5] -= y * z;
            }
    sum[3] = sum[1];
    sum[6] = sum[2];
    sum[7] = sum[5];
    for (int i = 0; i < 9; ++i)
        out[i] = count > 0 ? sum[i] / double(count) : sum[i];
}

bool ERigidBodyParametersMgr::IsPointInsideMesh(const double p[3], const CollisionMeshEntry& entry) {
    const math::Vec3d diagonal = Widen(entry.vWorldMax) - Widen(entry.vWorldMin);
    const double d = std::sqrt(diagonal.x * diagonal.x + diagonal.y * diagonal.y + diagonal.z * diagonal.z);
    const math::Vec3d from(p[0], p[1], p[2]);
    const math::Vec3d to(p[0] + 2 * d, p[1], p[2]);
    // A face whose box the line along +x misses by more than rounding cannot
    // be crossed, so the exact test is spared for it.
    const double margin = 1e-7 * d + 1e-12;
    uint32_t crossings = 0;
    for (uint32_t face = 0; face < entry.dwNumFaces; ++face) {
        const uint16_t* index = entry.CM_dwFaces + 3 * face;
        const math::Vec3& a = entry.CM_vVerticesWorld[index[0]];
        const math::Vec3& b = entry.CM_vVerticesWorld[index[1]];
        const math::Vec3& c = entry.CM_vVerticesWorld[index[2]];
        if (p[1] < std::min({a.y, b.y, c.y}) - margin || p[1] > std::max({a.y, b.y, c.y}) + margin ||
            p[2] < std::min({a.z, b.z, c.z}) - margin || p[2] > std::max({a.z, b.z, c.z}) + margin ||
            p[0] > std::max({a.x, b.x, c.x}) + margin)
            continue;
        math::Vec3d q;
        double t;
        if (SegmentTriangleIntersectDouble(from, to, Widen(a), Widen(b), Widen(c), &q, &t)) ++crossings;
    }
    return crossings % 2 == 1;
}

void ERigidBodyParametersMgr::WriteVertexMaps(std::FILE* f, ObjectRecord* h) {
    const EMesh* mesh = h ? h->Mesh() : nullptr;
    const CollisionMeshEntry* entry = g_CollisionMgr.GetEntry(h);
    if (!f || !mesh || mesh->m_iMeshId < 0) return;
    const uint32_t n = entry ? entry->dwNumVertices : 0;
    // Both maps start as the identity.
    std::unique_ptr<uint32_t[]> oldToNew(new uint32_t[n]), newToOld(new uint32_t[n]);
    g_Debug.AddAllocation("Map");
    g_Debug.AddAllocation("NewVertices");
    for (uint32_t i = 0; i < n; ++i)
        oldToNew[i] = newToOld[i] = i;
    uint32_t m = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const math::Vec3d v = Widen(entry->CM_vVerticesLocal[i]);
        uint32_t j = 0;
        for (; j < m; ++j) {
            const math::Vec3d e = v - Widen(entry->CM_vVerticesLocal[newToOld[j]]);
            if (e.x * e.x + e.y * e.y + e.z * e.z < 1e-16) break;
        }
        oldToNew[i] = j;
        if (j == m) newToOld[m++] = i;
    }
    std::fprintf(f, "num_old_vertices %u\nnum_new_vertices %u\n%s\n", n, m, kSeparator);
    for (uint32_t j = 0; j < m; ++j)
        std::fprintf(f, "map_new_vertices_to_old %u %u\n", j, newToOld[j]);
    std::fprintf(f, "%s\n", kSeparator);
    for (uint32_t i = 0; i < n; ++i)
        std::fprintf(f, "map_old_vertices_to_new %u %u\n", i, oldToNew[i]);
    std::fprintf(f, "%s\n", kSeparator);
    g_Debug.RemoveAllocation("Map");
    g_Debug.RemoveAllocation("NewVertices");
}

double Determinant3(const double m[9]) {
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
           m[2] * (m[3] * m[7] - m[4] * m[6]);
}

double Cofactor3(const double m[9], int i, int j) {
    // The rows and columns of the minor, in order.
    const int r0 = i == 0 ? 1 : 0, r1 = i == 2 ? 1 : 2;
    const int c0 = j == 0 ? 1 : 0, c1 = j == 2 ? 1 : 2;
    const double minor = m[r0 * 3 + c0] * m[r1 * 3 + c1] - m[r0 * 3 + c1] * m[r1 * 3 + c0];
    return (i + j) % 2 ? -minor : minor;
}

bool InvertMatrix3(const double m[9], double out[9]) {
    const double det = Determinant3(m);
    if (det == 0.0) {
        std::memset(out, 0, 9 * sizeof(double));
        return false;
    }
    double result[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            result[j * 3 + i] = Cofactor3(m, i, j) / det;
    std::memcpy(out, result, sizeof result);
    return true;
}
