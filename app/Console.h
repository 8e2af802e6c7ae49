// The developer console: the system's one log, its input line and the
// program's configuration.
//
// - Log: a 128-line scroll-back buffer (line 127 newest) that every subsystem
//   prints into; each printed text is also appended to "!console.txt" in the
//   start directory (kept open and flushed after each line, so a line is in
//   the file as soon as it is printed). BeginLogFile/EndLogFile keep a dated
//   copy of the previous log when the variable "BackupConsole" is set.
// - Input line: 80 characters with a cursor and a 64-entry history, edited by
//   OnKey while the console is open; Enter runs it as a command.
// - Variables: a list of named floats (`m_pZmienne`) and the dispatcher
//   `SetVariable` that applies a name and a value to the global options of
//   app/Options.h or to the row of app/ConsoleRows.h, whose handler its owner
//   registered. zt.cfg, files run by "exec" and object actions, and the
//   command line all go through it.
// - Loading screen: counters of the world's meshes and of loading steps.
//
// Failure policy: printing never fails (a missing text scrolls a blank line
// in, a text over 1023 characters is cut); a file that cannot be opened is
// named in the log and skipped; unknown variable names are stored and cost
// nothing else.
//
// Threads: Print and its formatted variants may be called from the music
// thread as well as the main thread; the buffer and the log file are guarded
// by one mutex, and readers of the buffer copy lines out under it
// (CopyLine). Everything else is main thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/ERect.h"
#include "app/ImageSurface.h"

// One named float of the console (144 bytes with 4-byte links).
struct ConsoleVariable {
    char szName[128];
    float fValue;
    uint8_t bFromConfig;  // set when it came from zt.cfg
    ConsoleVariable* pNext;
    ConsoleVariable* pPrev;
};

class EConsole {
public:
    static constexpr int NUM_LINES = 128;
    static constexpr int LINE_LEN = 80;
    static constexpr int HISTORY_SIZE = 64;
    static constexpr uint32_t TOTAL_LOADING_STEPS = 321;

    EConsole();
    virtual ~EConsole();

    // ---- Log ---------------------------------------------------------------
    void Print(const char* text);
    void PrintVector(const char* text, float x, float y, float z);
    void PrintVector(const char* text, const float* v);
    void Print2(const char* a, const char* b);
    void Print3(const char* a, const char* b, const char* c);
    void Print4(const char* a, const char* b, const char* c, const char* d);
    void Print5(const char* a, const char* b, const char* c, const char* d, const char* e);
    void PrintFloat(const char* text, float v);
    void PrintFloat(const char* text, double v);
    void PrintFloat(const char* text, int v);  // the integer printed as a double
    void PrintInt(const char* text, int v);
    void PrintInteger(const char* text, int v);
    void Print2Float(const char* a, const char* b, float v);
    void Print2Int(const char* a, const char* b, int v);
    // printf-style convenience for the engine's own formatted log lines.
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Copies line i of the buffer (0 oldest, 127 newest) into out[LINE_LEN];
    // safe against prints from other threads.
    void CopyLine(int i, char* out) const;

    // From HoldLogFile until BeginLogFile the printed lines are kept for this
    // run's log instead of going to the previous run's, which BeginLogFile
    // copies or deletes; BeginLogFile then writes them first.
    void HoldLogFile();
    void BeginLogFile();
    void EndLogFile();

    // ---- Input line --------------------------------------------------------
    void Open();
    void Close();
    bool IsOpen() const { return m_bOpen; }
    void OnKey(uint32_t code);
    void ResetState();
    void ExecCommandLine();
    const char* CommandLine() const { return m_szCommandLine; }
    uint32_t Cursor() const { return m_iCursor; }
    const char* HistoryEntry(int i) const { return m_History[i]; }
    uint32_t HistoryIndex() const { return m_iHistoryIndex; }

    // ---- Variables and commands --------------------------------------------
    void SetVariable(const char* name, const char* value, bool fromConfig);
    void StoreVariable(const char* name, float value, uint8_t fromConfig);
    // Through an index by NoCaseKey of the names StoreVariable gave, so that
    // a script of many names does not walk the list for each line.
    ConsoleVariable* FindVariable(const char* name);
    ConsoleVariable* AddVariableEntry();
    void FreeVariables();
    ConsoleVariable* Variables() const { return m_pZmienne; }
    // A file that cannot be opened is named in the log.
    void ExecFile(const char* fileName);
    void ExecFileIfNamed(const char* fileName);
    void ExecLine(const char* line);
    void ReapplyVariables();
    void CompleteName();

    uint32_t NumConsoleLines() const { return m_iNumConsoleLines; }
    // Clamped to the buffer, so the closed view never reads outside it.
    void SetNumConsoleLines(int32_t n) {
        m_iNumConsoleLines = uint32_t(n < 0 ? 0 : (n > NUM_LINES ? NUM_LINES : n));
    }
    // Buffer lines the closed console shows: the first index and the count,
    // always inside the buffer.
    void ShortView(int* first, int* count) const;
    uint32_t ScrollOffset() const { return m_iScrollOffset; }
    const char* StartDirectory() const { return m_szStartDirectory; }

    // ---- Loading screen ----------------------------------------------------
    void BeginLoadingScreen(const char* worldFile);
    void AddLoadingProgress(int n);
    void StepLoadingProgress();
    void DrawLoadingScreen(int unused = 0);
    void DrawLoadingImage();
    void DrawProgressBar();
    void ReleaseLoadingImage();
    void ReleaseProgressBar();
    void ReleaseLoadingScreen();
    // The loading caption alone (nothing while no loading is shown).
    void DrawLoadingCaption();

    bool LoadingShown() const { return m_bLoadingShown; }
    uint32_t NumMeshes() const { return m_iNumMeshes; }
    uint32_t MeshesLoaded() const { return m_iMeshesLoaded; }
    int32_t LoadingStage() const { return m_iStage; }
    uint32_t TotalSteps() const { return m_iTotalSteps; }
    uint32_t StepsDone() const { return m_iStepsDone; }
    uint32_t AnimationFrame() const { return m_iAnimFrame; }
    // Fraction of the progress bar: steps done capped at the total.
    float LoadingFraction() const;

    // Placement of the loading picture (screen pixels).
    struct Placement {
        float fLeft, fRight, fTop, fBottom, fWidth, fHeight;
    };
    const Placement& LoadingPicturePlacement() const { return m_LoadingPlacement; }
    float LoadingPictureX() const { return m_fLoadingX; }
    float LoadingPictureY() const { return m_fLoadingY; }
    const char* LoadingPictureFile() const { return m_szLoadingPicture; }

    // ---- Drawing (inside the frame's scene) ---------------------------------
    void CreateConsoleBar();
    void ReleaseConsoleBar();
    void Render();

private:
    void PrintLocked(const char* text);
    void WriteLogLine(const char* text);
    void PushHistory(const char* line);
    void TypeCharacter(char c);
    void LoadingFrame();

    // Drawing (ConsoleDraw.cpp): the console bar and frame, the loading
    // picture and the progress bar with its outline.
    void PrepareLoadingScreen();
    void DrawOpenConsole();
    void DrawShortView();
    ERect m_ConsoleBar;
    gfx::VertexBuffer* m_pVConsoleBar = nullptr;
    ImageSurface m_LoadingImage;
    gfx::VertexBuffer* m_pProgressBarVB = nullptr;
    ERect m_ProgressBar;

    // History: entry 0 stays blank, entry 1 is the latest command.
    char m_History[HISTORY_SIZE][LINE_LEN] = {};
    uint32_t m_iHistoryIndex = 0;

    // Loading picture: draw position and placement.
    float m_fLoadingX = 0, m_fLoadingY = 0;
    Placement m_LoadingPlacement = {};
    char m_szLoadingPicture[256] = {};

    // Loading-screen timing and progress.
    double m_fLastLoadingFrame = 0;  // absolute time of the last drawn frame
    uint32_t m_iAnimFrame = 255;  // 0..7; 255 before the first frame
    uint32_t m_iTotalSteps = 0;
    uint32_t m_iStepsDone = 0;

    ConsoleVariable* m_pZmienne = nullptr;
    // The entry FindVariable finds first from the head, by NoCaseKey of its name.
    std::unordered_map<std::string, ConsoleVariable*> m_VariableIndex;

    char m_Lines[NUM_LINES][LINE_LEN] = {};
    char m_szCommandLine[LINE_LEN] = {};
    uint32_t m_iCursor = 0;

    uint32_t m_iNumConsoleLines = 5;
    uint32_t m_iScrollOffset = 0;

    bool m_bLoadingShown = false;
    uint32_t m_iNumMeshes = 0;
    int32_t m_iStage = -1;
    uint32_t m_iMeshesLoaded = 0;

    bool m_bOpen = false;
    char m_szStartDirectory[512] = {};

    mutable std::recursive_mutex m_PrintMutex;
    bool m_bHoldLog = false;
    std::vector<std::string> m_HeldLog;
    // "!console.txt", open for appending, and the start directory it was opened in.
    std::FILE* m_pLogFile = nullptr;
    std::string m_LogDirectory;
    void AppendToLog(const char* text);
    void CloseLog();
};

extern EConsole g_Console;
