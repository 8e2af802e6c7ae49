// The rigid-body parameter manager, `ERigidBodyParametersMgr` (global
// g_RigidBodyParametersMgr), and the word picker of the parameter text files.
//
// A body whose shape is a mesh needs the mesh's inertia tensor per unit mass
// (about the mesh's own origin) and its vertices welded for the hull. Both are
// computed once per mesh file, by sampling the solid on a grid, and kept as a
// text file per mesh under "!opt\rigid_body_physics_parameters"; the manager
// loads that folder at world start (Init, after Destroy) and answers lookups
// by mesh file name, computing, saving and loading the file of a mesh that
// has none. A file is never checked against its mesh: deleting it makes the
// next world compute it again. Numbers are written and read in the C locale
// whatever the process locale.
//
// Lifetimes: at most MAX_FILES_WITH_PARAMETERS records, filled from the
// front; each owns its two vertex maps until Destroy (world end and exit).
//
// Failure policy: a full table and an unreadable file print their console
// lines and are left out; a mesh that cannot be created prints its line and
// gets no file; a file that cannot be written is silently not written; a
// corrupt file loads what it holds and leaves the rest cleared (counts above
// MAX_VERTICES and repeated count lines are ignored; a tensor value beyond
// its range is logged and read as 0); a file cut short (no line end after
// its last line) or with a map entry beyond its counts is refused whole with
// a line, so that the lookup computes it again.
//
// `SplitLine` is the one word reader of the parameter text files: the
// inertia-tensor files, the skinned meshes' collision files and the mesh
// socket files match a line's keyword first and then fetch its arguments by
// index. Only the blank (0x20) separates words; the line readers have turned
// tabs into blanks before. Nothing is allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// The working copy of a line, terminator included.
constexpr size_t SPLIT_LINE_CAPACITY = 5000;

// Word `index` of the line (0, or any index below 0, is the first word) into
// out, cut to capacity - 1 characters and always terminated; the empty text
// when the line has no such word. A line is read up to its first
// SPLIT_LINE_CAPACITY - 1 characters.
void SplitLine(const char* line, int32_t index, char* out, size_t capacity);

struct ObjectRecord;
struct CollisionMeshEntry;

// The parameters of one mesh: its unit-mass inertia tensor and inverse
// (row-major) and the maps between its collision vertices ("old", in stored
// order) and those left after welding equal positions ("new").
struct RigidBodyParameters {
    static constexpr size_t NAME_LEN = 256; // 255 characters and the terminator
    static constexpr size_t PATH_LEN = 512;

    char szMeshFilename[NAME_LEN] = {};
    double Ibody[9] = {};
    double Ibodyinv[9] = {};
    uint32_t num_old_vertices = 0;
    std::unique_ptr<uint32_t[]> map_old_to_new;
    uint32_t num_new_vertices = 0;
    std::unique_ptr<uint32_t[]> map_new_to_old;
    // The path the record was loaded from, so that a path is loaded once.
    char szPath[PATH_LEN] = {};

    // Empty name, zero matrices, no maps (the maps are freed).
    void Clear();
};

class ERigidBodyParametersMgr {
  public:
    static constexpr uint32_t MAX_FILES_WITH_PARAMETERS = 200;
    // No mesh has more vertices; a larger count in a file is ignored.
    static constexpr uint32_t MAX_VERTICES = 65536;
    static constexpr const char* FOLDER = "!opt\\rigid_body_physics_parameters";

    ERigidBodyParametersMgr() = default;
    virtual ~ERigidBodyParametersMgr() { Destroy(); }
    ERigidBodyParametersMgr(const ERigidBodyParametersMgr&) = delete;
    ERigidBodyParametersMgr& operator=(const ERigidBodyParametersMgr&) = delete;

    // Creates the folder when it is missing, else loads every file in it;
    // the number of files loaded.
    uint32_t Init();
    // Frees every record.
    void Destroy();
    // Appends the record of one file; false when the table is full or the
    // file cannot be read. A path loaded already adds nothing.
    bool LoadFile(const char* path);
    // The record of a mesh (names compared without regard to case), computing
    // and loading its file when there is none.
    bool FindParameters(const char* meshFilename, RigidBodyParameters** out);
    // The tensor (9 doubles, row-major) and its inverse of a mesh; either
    // output may be null.
    bool GetInertiaTensor(const char* meshFilename, double* Ibody, double* Ibodyinv);
    // Computes and saves the file of a mesh that has a record again and
    // reads it into that record: for a record that does not fit its mesh
    // (a stale or foreign file). False, and the record kept, when the new
    // file cannot be made or read.
    bool Recompute(const char* meshFilename, RigidBodyParameters** out);
    // Writes the file of a mesh through a temporary object of the engine,
    // once a world for each mesh.
    void ComputeAndSaveInertiaTensor(const char* meshFilename);

    // The file of a mesh: its name with every backslash an underscore and
    // everything from the first full stop on removed, in the folder, ".txt";
    // false (and empty) when it does not fit PATH_LEN.
    static bool FileNameFor(const char* meshFilename, char (&out)[RigidBodyParameters::PATH_LEN]);
    // Writes the file of a mesh object that has its mesh.
    static void SaveFile(ObjectRecord* h);
    // The unit-mass inertia tensor of a mesh object's collision copy, by
    // sampling its solid on a grid of 41 or 42 points per axis (all zero for
    // a flat box or an object without a collision copy).
    static void ComputeInertiaTensor(ObjectRecord* h, double out[9]);
    // Whether a point lies inside the closed mesh: the number of faces a
    // segment along +x crosses is odd.
    static bool IsPointInsideMesh(const double p[3], const CollisionMeshEntry& entry);
    // The two counts and both maps, each block closed by a separator line.
    static void WriteVertexMaps(std::FILE* f, ObjectRecord* h);

    uint32_t NumRecords() const { return m_dwNumRecords; }
    const RigidBodyParameters& Record(uint32_t i) const { return m_Records[i]; }

  private:
    // One file into the record (cleared first); false, with the record
    // cleared, when it cannot be read, was cut short or has a map entry
    // beyond its counts.
    static bool ReadRecord(const char* path, RigidBodyParameters& r);
    // The file into a record in use, which stays as it was when the file
    // cannot be read.
    static bool ReadInto(RigidBodyParameters& r, const char* path);

    uint32_t m_dwNumRecords = 0;
    RigidBodyParameters m_Records[MAX_FILES_WITH_PARAMETERS];
    // The meshes computed since Init: each is created and sampled once a
    // world, whatever became of its file (a file that cannot be written or
    // read back would otherwise have every lookup load the mesh again).
    std::vector<std::string> m_Computed;
};

extern ERigidBodyParametersMgr g_RigidBodyParametersMgr;

// 3 x 3 matrices of doubles, row-major.
double Determinant3(const double m[9]);
// The determinant of the minor without row i and column j, negated when
// i + j is odd.
double Cofactor3(const double m[9], int i, int j);
// out = the inverse of m; all zero and false when the determinant is 0.
bool InvertMatrix3(const double m[9], double out[9]);
