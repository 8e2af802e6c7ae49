// The console's buffer, log files, input line and loading-screen counters.
// The variables and the command dispatcher are in ConsoleVariables.cpp.
#include "app/Console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/D3DMain.h"
#include "app/FileHelpers.h"
#include "app/GameFrame.h"
#include "app/Options.h"
#include "app/Timer.h"
#include "platform/gfx/Draw.h"
#include "platform/os/Os.h"
#include "platform/window/Window.h"
#include "world/Engine.h"

EConsole g_Console;

namespace {

// The character a key types, 0 for keys that type nothing. Only the OEM
// codes give punctuation: Insert (45) and the right Windows key (92) share
// their codes with '-' and '\' but are not typing keys.
char TypedCharacter(uint32_t code) {
    if (code >= 'A' && code <= 'Z') return char(code - 'A' + 'a');
    if (code >= '0' && code <= '9') return char(code);
    switch (code) {
    case window::vk::Space:
        return ' ';
    case window::vk::OemPeriod:
        return '.';
    case window::vk::OemMinus:
        return '-';
    case window::vk::Oem5:
        return '\\';
    default:
        return 0;
    }
}

} // namespace

EConsole::EConsole() {
    std::snprintf(m_szStartDirectory, sizeof m_szStartDirectory, "%s", os::StartDirectory().c_str());
    StoreVariable("quit", 0.0f, 0);
}

// At exit the list and the outline buffers are usually freed already (the
// shutdown frees them); what is left goes without the allocation tracker,
// which may be destroyed by now.
EConsole::~EConsole() {
    for (gfx::VertexBuffer* vb : {m_pVConsoleBar, m_pProgressBarVB})
        if (vb) vb->Release();
    while (m_pZmienne) {
        ConsoleVariable* next = m_pZmienne->pNext;
        delete m_pZmienne;
        m_pZmienne = next;
    }
    CloseLog();
}

// ---- Log ----------------------------------------------------------------------

void EConsole::Print(const char* text) {
    std::lock_guard lock(m_PrintMutex);
    PrintLocked(text);
}

// The log gets the text once, whole; the buffer gets it in lines of 79
// characters (at most 1023 characters of it).
void EConsole::PrintLocked(const char* text) {
    if (text && *text) WriteLogLine(text);
    char copy[1024] = {};
    if (text) std::strncpy(copy, text, sizeof copy - 1);
    const char* rest = copy;
    do {
        std::memmove(m_Lines[0], m_Lines[1], sizeof(m_Lines[0]) * (NUM_LINES - 1));
        char* line = m_Lines[NUM_LINES - 1];
        const size_t len = strnlen(rest, LINE_LEN - 1);
        std::memcpy(line, rest, len);
        std::memset(line + len, 0, LINE_LEN - len);
        rest += len;
    } while (*rest);
}

// The file stays open between lines: opening it costs far more than the line.
// It is opened anew when its name went away (the log was rotated or deleted)
// or the start directory changed, so each line lands where ErrorLog would
// put it.
void EConsole::AppendToLog(const char* text) {
    if (m_pLogFile && (m_LogDirectory != os::StartDirectory() || os::FileUnlinked(m_pLogFile))) CloseLog();
    if (!m_pLogFile) {
        m_pLogFile = os::OpenFile("!console.txt", "a");
        if (!m_pLogFile) return;
        m_LogDirectory = os::StartDirectory();
    }
    std::fputs(text, m_pLogFile);
    std::fputc('\n', m_pLogFile);
    std::fflush(m_pLogFile);
}

void EConsole::CloseLog() {
    if (m_pLogFile) std::fclose(m_pLogFile);
    m_pLogFile = nullptr;
}

void EConsole::CopyLine(int i, char* out) const {
    std::lock_guard lock(m_PrintMutex);
    if (i < 0 || i >= NUM_LINES) {
        out[0] = 0;
        return;
    }
    std::memcpy(out, m_Lines[i], LINE_LEN);
}

namespace {
template <typename... A> void Fmt(EConsole& c, const char* format, A... args) {
    char buf[2048];
    std::snprintf(buf, sizeof buf, format, args...);
    c.Print(buf);
}
const char* S(const char* s) {
    return s ? s : "";
}
} // namespace

void EConsole::PrintVector(const char* t, float x, float y, float z) {
    Fmt(*this, "%s(%f, %f, %f)", S(t), double(x), double(y), double(z));
}
void EConsole::PrintVector(const char* t, const float* v) {
    if (v) PrintVector(t, v[0], v[1], v[2]);
}
void EConsole::Print2(const char* a, const char* b) {
    Fmt(*this, "%s%s", S(a), S(b));
}
void EConsole::Print3(const char* a, const char* b, const char* c) {
    Fmt(*this, "%s%s%s", S(a), S(b), S(c));
}
void EConsole::Print4(const char* a, const char* b, const char* c, const char* d) {
    Fmt(*this, "%s%s%s%s", S(a), S(b), S(c), S(d));
}
void EConsole::Print5(const char* a, const char* b, const char* c, const char* d, const char* e) {
    Fmt(*this, "%s%s%s%s%s", S(a), S(b), S(c), S(d), S(e));
}
void EConsole::PrintFloat(const char* t, float v) {
    Fmt(*this, "%s%f", S(t), double(v));
}
void EConsole::PrintFloat(const char* t, double v) {
    Fmt(*this, "%s%f", S(t), v);
}
void EConsole::PrintFloat(const char* t, int v) {
    Fmt(*this, "%s%f", S(t), double(v));
}
void EConsole::PrintInt(const char* t, int v) {
    Fmt(*this, "%s%d", S(t), v);
}
void EConsole::PrintInteger(const char* t, int v) {
    Fmt(*this, "%s%i", S(t), v);
}
void EConsole::Print2Float(const char* a, const char* b, float v) {
    Fmt(*this, "%s%s%f", S(a), S(b), double(v));
}
void EConsole::Print2Int(const char* a, const char* b, int v) {
    Fmt(*this, "%s%s%i", S(a), S(b), v);
}

void EConsole::Printf(const char* format, ...) {
    char buf[2048];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    Print(buf);
}

namespace {
// Keeps the previous run's log as "!Console <date> at <time>.txt".
void CopyLogWithDate() {
    os::CalendarTime t = os::LocalTime();
    char name[128];
    std::snprintf(name, sizeof name, "!Console %i-%i-%i at %i-%i-%i.txt", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    os::CopyFile("!Console.txt", name, true);
}
} // namespace

void EConsole::WriteLogLine(const char* text) {
    if (m_bHoldLog) {
        m_HeldLog.emplace_back(text);
    } else {
        AppendToLog(text);
    }
}

void EConsole::HoldLogFile() {
    std::lock_guard lock(m_PrintMutex);
    m_bHoldLog = true;
}

void EConsole::BeginLogFile() {
    std::lock_guard lock(m_PrintMutex);
    CloseLog();
    ConsoleVariable* backup = FindVariable("BackupConsole");
    if (backup && backup->fValue != 0.0f) CopyLogWithDate();
    os::DeleteFile("!Console.txt");
    m_bHoldLog = false;
    for (const std::string& line : m_HeldLog)
        AppendToLog(line.c_str());
    m_HeldLog.clear();
    m_HeldLog.shrink_to_fit();
}

void EConsole::EndLogFile() {
    ConsoleVariable* backup = FindVariable("BackupConsole");
    if (!backup || backup->fValue == 0.0f) return;
    std::lock_guard lock(m_PrintMutex);
    CloseLog();
    CopyLogWithDate();
    os::DeleteFile("!Console.txt");
}

// ---- Input line -----------------------------------------------------------------

void EConsole::Open() {
    m_bOpen = true;
    // The open console reads window key messages; the engine's keyboard
    // would otherwise see the typing as game commands.
    g_Engine.ReleaseKeyboard();
}

void EConsole::Close() {
    m_bOpen = false;
    g_Engine.CreateKeyboard();
}

void EConsole::ResetState() {
    m_bLoadingShown = false;
    std::memset(m_szCommandLine, 0, sizeof m_szCommandLine);
    m_iCursor = 0;
}

void EConsole::TypeCharacter(char c) {
    size_t len = std::strlen(m_szCommandLine);
    if (len >= LINE_LEN - 1) return;
    if (m_iCursor > len) m_iCursor = uint32_t(len);
    std::memmove(m_szCommandLine + m_iCursor + 1, m_szCommandLine + m_iCursor, len - m_iCursor + 1);
    m_szCommandLine[m_iCursor] = c;
    ++m_iCursor;
}

void EConsole::OnKey(uint32_t code) {
    if (code == window::vk::Oem3) {
        Close();
        return;
    }
    if (code == window::vk::F8) {
        g_Engine.SaveScreenshot();
        return;
    }
    if (char c = TypedCharacter(code)) {
        TypeCharacter(c);
        return;
    }
    size_t len = std::strlen(m_szCommandLine);
    switch (code) {
    case window::vk::Back:
        if (m_iCursor > 0 && m_iCursor <= len) {
            std::memmove(m_szCommandLine + m_iCursor - 1, m_szCommandLine + m_iCursor, len - m_iCursor + 1);
            --m_iCursor;
        }
        break;
    case window::vk::Left:
        if (m_iCursor > 0) --m_iCursor;
        break;
    case window::vk::Right:
        if (m_iCursor < len) ++m_iCursor;
        break;
    case window::vk::Up:
        if (m_iHistoryIndex + 1 < HISTORY_SIZE && m_History[m_iHistoryIndex + 1][0]) {
            ++m_iHistoryIndex;
            std::memcpy(m_szCommandLine, m_History[m_iHistoryIndex], LINE_LEN);
            m_iCursor = uint32_t(std::strlen(m_szCommandLine));
        }
        break;
    case window::vk::Down:
        if (m_iHistoryIndex > 0) {
            --m_iHistoryIndex;
            std::memcpy(m_szCommandLine, m_History[m_iHistoryIndex], LINE_LEN);
            m_iCursor = uint32_t(std::strlen(m_szCommandLine));
        }
        break;
    case window::vk::Tab:
        CompleteName();
        break;
    case window::vk::Return:
        ExecCommandLine();
        break;
    case window::vk::Delete:
        if (m_iCursor < len) {
            std::memmove(m_szCommandLine + m_iCursor, m_szCommandLine + m_iCursor + 1, len - m_iCursor);
        }
        break;
    default:
        break;
    }
}

void EConsole::PushHistory(const char* line) {
    std::memmove(m_History[2], m_History[1], sizeof(m_History[0]) * (HISTORY_SIZE - 2));
    std::snprintf(m_History[1], LINE_LEN, "%s", line);
    m_iHistoryIndex = 0;
}

// ---- Loading screen -------------------------------------------------------------

void EConsole::BeginLoadingScreen(const char* worldFile) {
    m_fLastLoadingFrame = 0;
    m_iNumMeshes = 0;
    m_iMeshesLoaded = 0;
    m_iTotalSteps = TOTAL_LOADING_STEPS;
    m_iStepsDone = 0;
    m_iAnimFrame = 255;
    std::FILE* f = worldFile && *worldFile ? os::OpenFile(worldFile, "rt") : nullptr;
    if (!f) return;
    // World lines hold at most 2999 characters.
    static char line[3000];
    while (MoreLines(f, worldFile)) {
        ReadLineRaw(f, line, sizeof line - 1);
        if (IsKeyword(line, "mesh")) {
            ++m_iNumMeshes;
            ++m_iTotalSteps;
        }
    }
    const bool unreadable = std::ferror(f);
    std::fclose(f);
    if (unreadable) return;
    m_bLoadingShown = true;
    m_iStage = -1;

    // The picture fills the screen's height at its 1600 x 1024 proportions,
    // centred.
    float height = float(screenheight);
    float width = float(screenheight) * 1600.0f / 1024.0f;
    float x = (float(screenwidth) - width) / 2.0f;
    m_LoadingPlacement = {0.0f, width, 0.0f, height, width, height};
    if (x < 0) {
        // Wider than the screen (4:3, 5:4): cropped evenly on both sides.
        m_LoadingPlacement.fLeft = -x;
        m_LoadingPlacement.fRight = width + x;
        x = 0;
    }
    m_fLoadingX = x;
    m_fLoadingY = 0;
    std::snprintf(m_szLoadingPicture, sizeof m_szLoadingPicture, "%s", "misc\\loading\\loading1.bmp");
    PrepareLoadingScreen();
    DrawLoadingScreen();
}

void EConsole::AddLoadingProgress(int n) {
    m_iStepsDone += uint32_t(n);
    if (m_bLoadingShown) DrawLoadingScreen();
}

void EConsole::StepLoadingProgress() {
    ++m_iMeshesLoaded;
    int32_t stage = int32_t(8 * m_iMeshesLoaded / (m_iNumMeshes + 1));
    if (stage < 0) stage = 0;
    if (stage > 7) stage = 7;
    if (stage != m_iStage) {
        m_iStage = stage;
        DrawLoadingScreen();
    }
}

void EConsole::ShortView(int* first, int* count) const {
    int n = int(m_iNumConsoleLines);
    int start = NUM_LINES - int(m_iScrollOffset) - n;
    if (start < 0) {
        n += start;
        start = 0;
    }
    *first = start;
    *count = n > 0 ? n : 0;
}

float EConsole::LoadingFraction() const {
    if (m_iTotalSteps == 0) return 0.0f;
    uint32_t done = m_iStepsDone < m_iTotalSteps ? m_iStepsDone : m_iTotalSteps;
    float f = float(done) / float(m_iTotalSteps);
    return f < 0 ? 0 : (f > 1 ? 1 : f);
}

void EConsole::DrawLoadingScreen(int) {
    if (TheGameFrame().CutSceneRunning()) return;
    if (!m_bLoadingShown || TheGameFrame().LevelFrame() >= 199) return;
    if (g_pD3DInterface) g_pD3DInterface->SetRenderState(gfx::RenderState::MultisampleAntialias, 0);
    const double now = DXUtilTimer(TIMER_GETABSOLUTETIME);
    if (now - m_fLastLoadingFrame < 0.5) return;
    m_iAnimFrame = m_iAnimFrame + 1 > 7 ? 0 : m_iAnimFrame + 1;
    m_fLastLoadingFrame = now;
    LoadingFrame();
}

void EConsole::ReleaseLoadingScreen() {
    ReleaseProgressBar();
}
