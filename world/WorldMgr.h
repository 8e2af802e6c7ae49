// The world loader, `EWorldMgr` (global g_WorldMgr): reads a world file
// (".w", text) into the object table. Every line stands alone: world keys
// push the level's general settings into the environment, the camera, the
// post-process stage and the console variables; a creation line ("mesh",
// "skinmesh", "light") makes the current object; property lines change the
// current object through the object API, and the sibling parsers fill its
// action block, death parameters, light control, Bezier movement, FX, blinking
// and rigid-body settings by get-change-set. After the last line, marker
// meshes named "visibility_blocker.x" become visibility blockers and the
// level's Bezier path file (".bzr") is loaded.
//
// Lifetimes: the loader lives for the whole run. The per-load state (current
// object, in-object flag, creation record, file buffer) lives only during
// LoadWorld; the load error flag and the error lines keep the last load's
// result. GetLineParam / GetLineRest return text in the loader's parameter
// buffer, valid until the next such call.
//
// Failure policy: a missing, empty or unreadable file makes LoadWorld return
// false. A creation line that fails sets the load error, adds its error lines
// and the load goes on (the block's property lines find no current object).
// Texts longer than their fields are refused with safe_string_copy's two log
// lines; unknown keys and malformed numbers are not reported (no effect, 0).
#pragma once

#include <cstddef>
#include <cstdint>

struct ObjectRecord;
struct AddObjectParams;
struct RigidBodyPhysicsParams;

// Copies source with its terminator when its length is below the bound.
// Otherwise logs "ERROR: safe_string_copy() Source String Too Long!" and the
// label on the error log and the console and leaves the destination empty
// (when the bound is not 0). Returns whether the text was copied.
bool safe_string_copy(const char* label, size_t bound, char* destination, const char* source);

// One value of a world-file key and the record field it goes to. The
// get-change-set parsers hold a table of these per record.
struct WorldKeyField {
    enum Kind : uint8_t {
        U32Flag,    // 32-bit word, 1 when the integer is not 0
        U8Flag,     // one byte, 1 when the integer is not 0
        I32,        // a decimal integer
        Float,      // a decimal number
        FloatToInt, // read as a float, integer part (toward zero) kept as i32
        Text,       // safe_string_copy with the bound and label
    };
    const char* szKey;
    uint8_t value; // parameter number; 0 = the rest of the line
    Kind kind;
    uint16_t offset;     // of the field in the record
    uint16_t bound;      // texts only
    const char* szLabel; // texts only
};

class EWorldMgr {
  public:
    static constexpr int MAX_LINE = 2999; // longer text continues as the next line
    static constexpr int PARAM_BUFFER = 3101;
    static constexpr int MAX_ERROR_LINES = 36;
    static constexpr int ERROR_LINE_LEN = 128;
    // The line buffer also holds a line whose labels were replaced.
    static constexpr int LINE_BUFFER = 4096;
    // The largest world file read into memory.
    static constexpr long MAX_FILE_BYTES = 256L << 20;

    EWorldMgr();
    virtual ~EWorldMgr();

    // Reads the world file into the object table; true when it was read and
    // processed to its end, even if some objects failed.
    bool LoadWorld(const char* fileName);
    // The loading steps after the file was read: every line of the data in
    // order, then the visibility blockers and the Bezier path file named
    // after fileName. LoadWorld's second half; the fuzzer feeds it directly.
    void ProcessWorldData(const char* data, size_t size, const char* fileName);

    // The n-th blank-separated word after the keyword (0: the keyword); ""
    // when missing.
    const char* GetLineParam(const char* line, int n);
    // Everything after the keyword and the blanks after it, trailing blanks
    // removed.
    const char* GetLineRest(const char* line);
    // The same read as numbers (0 when missing).
    int ParamInt(const char* line, int n);
    float ParamFloat(const char* line, int n);
    int RestInt(const char* line);
    uint32_t ParamU32(const char* line, int n);
    uint32_t RestU32(const char* line);
    float RestFloat(const char* line);

    // Sibling parsers: each applies one line to the object; nothing happens
    // for a null line or object or a keyword that is not theirs.
    void ParseActionKeys(const char* line, ObjectRecord* h);
    void ParseLoopMusicKey(const char* line, ObjectRecord* h);
    void ParseDeathParamsKeys(const char* line, ObjectRecord* h);
    void ParseSetFxKey(const char* line, ObjectRecord* h);
    void ParseBezierMovingKeys(const char* line, ObjectRecord* h);
    void ParseObjectLightControlKeys(const char* line, ObjectRecord* h);
    // The keys the loader handles itself with the same get-change-set steps.
    void ParseBlinkingKey(const char* line, ObjectRecord* h);
    void ParseMeshLightControlKeys(const char* line, ObjectRecord* h);
    void ParseRigidBodyKeys(const char* line, ObjectRecord* h);

    // Splits the next line off a file image: from pos, up to CR LF, a lone LF
    // or a lone CR, or MAX_LINE characters (the rest continues as the next
    // line). Tabs become blanks. Writes the terminated line and returns the
    // position after its line end.
    static size_t NextLine(const char* data, size_t size, size_t pos, char* line);

    uint8_t m_bLoadError = 0;
    char m_ErrorLines[MAX_ERROR_LINES][ERROR_LINE_LEN] = {};
    uint32_t m_nErrorLines = 0;

  private:
    struct LoadState;

    // The first word of the line into m_Keyword.
    void TakeKeyword(const char* line);
    bool KeywordIs(const char* key) const;
    // The first entry of the table keyed by the current keyword, or null.
    const WorldKeyField* FindKeyField(const WorldKeyField* table, size_t count) const;
    // Writes the values of every entry keyed by the current keyword, from the
    // first one found to the table's end.
    void ApplyKeyFields(const char* line, const WorldKeyField* first, const WorldKeyField* end, void* record);
    void AddErrorLine(const char* text);
    // The rigid-body values the current keyword set that lie outside what a
    // body can work with: each logged with the file, key and value, and
    // replaced by its default.
    void CheckRigidBodyRanges(RigidBodyPhysicsParams* params);

    void ParseLine(LoadState& s, const char* line);
    bool ParseWorldKey(LoadState& s, const char* line);
    bool ParseCreationKey(LoadState& s, const char* line);
    void ParseCurrentObjectKey(LoadState& s, const char* line);
    void ParseMeshBlockKey(LoadState& s, const char* line);
    void ParseSkinMeshBlockKey(LoadState& s, const char* line);
    void ParseLightBlockKey(LoadState& s, const char* line);
    // The keys of "name", "xpos", "ypos", "zpos", "flags", "flag2" and the
    // visibility keys shared by the block tables; true when the key was one.
    bool ParseCommonBlockKey(LoadState& s, const char* line, bool withScaleAndVisibility);
    void ParseRotationAngles(LoadState& s, const char* line);
    void ParseTie(const char* line, ObjectRecord* h, size_t bound, const char* objectLabel,
                  const char* socketLabel);
    void MakeVisibilityBlockers();
    void LoadBezierFile(const char* worldFileName);

    char m_ParamBuffer[PARAM_BUFFER] = {};
    char m_Keyword[PARAM_BUFFER] = {};
    // The world file being processed, for the lines of values refused.
    const char* m_szLoadingFile = nullptr;
};

extern EWorldMgr g_WorldMgr;
