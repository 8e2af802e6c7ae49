// The modal dialog on screen: a window of its own with an OpenGL 3.3 context,
// drawn with Dear ImGui (its SDL2 and OpenGL3 back-ends). Controls are placed
// at their resource rectangles; texts are turned from code page 1250 into
// UTF-8 and drawn with a DejaVu face that holds every glyph of the code page.
#include <SDL2/SDL.h>
#include <SDL2/SDL_opengl.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <imgui.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialog/Dialog.h"
#include "platform/font/Font.h"
#include "platform/gfx/Bmp.h"
#include "platform/os/Os.h"
#include "platform/window/Window.h"
#include "platform/window/sdl/SdlWindow.h"

namespace dialog {
namespace {

constexpr float kFontPixels = 16.0f;

std::string Utf8(const std::string& cp1250) {
    std::string out;
    out.reserve(cp1250.size());
    for (unsigned char c : cp1250) {
        const char32_t u = font::Cp1250ToUnicode(c);
        if (u < 0x80) {
            out.push_back(char(u));
        } else if (u < 0x800) {
            out.push_back(char(0xC0 | (u >> 6)));
            out.push_back(char(0x80 | (u & 0x3F)));
        } else {
            out.push_back(char(0xE0 | (u >> 12)));
            out.push_back(char(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(char(0x80 | (u & 0x3F)));
        }
    }
    return out;
}

// The glyph ranges of code page 1250's printable characters.
const ImWchar* Cp1250Ranges() {
    static ImVector<ImWchar> ranges;
    if (ranges.empty()) {
        ImFontGlyphRangesBuilder builder;
        for (int c = 0x20; c < 0x100; ++c)
            builder.AddChar(ImWchar(font::Cp1250ToUnicode(uint8_t(c))));
        builder.BuildRanges(&ranges);
    }
    return ranges.Data;
}

// Where ZT_DIALOG_SHOTS asks for a picture of each dialog; empty otherwise.
std::string ShotDirectory() {
    const char* dir = std::getenv("ZT_DIALOG_SHOTS");
    return dir && *dir ? std::string(dir) : std::string();
}

class Screen {
  public:
    ~Screen() { Close(); }

    bool Open(const Dialog& d) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        window::CreateParams p;
        p.title = Utf8(d.Title());
        p.width = d.Width();
        p.height = d.Height();
        p.popup = false;
        p.visible = true;
        p.proc = &Screen::Proc;
        m_window = window::CreateWindow(p);
        if (!m_window) return false;
        m_sdl = window::sdl::NativeWindow(m_window.get());
        SDL_SetWindowPosition(m_sdl, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
        m_previous = SDL_GL_GetCurrentContext();
        m_previousWindow = SDL_GL_GetCurrentWindow();
        m_gl = window::sdl::CreateGlContext(m_sdl);
        if (!m_gl) return false;
        SDL_GL_MakeCurrent(m_sdl, m_gl);
        SDL_GL_SetSwapInterval(1);

        IMGUI_CHECKVERSION();
        m_imgui = ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.LogFilename = nullptr;
        const std::string face = font::FindFaceFile("DejaVu Sans", 400);
        if (face.empty() ||
            !io.Fonts->AddFontFromFileTTF(face.c_str(), kFontPixels, nullptr, Cp1250Ranges())) {
            io.Fonts->AddFontDefault();
        }
        ImGui::StyleColorsLight();
        ImGuiStyle& style = ImGui::GetStyle();
        style.WindowRounding = 0;
        style.FrameBorderSize = 1;
        if (!ImGui_ImplSDL2_InitForOpenGL(m_sdl, m_gl)) return false;
        m_sdlBackend = true;
        if (!ImGui_ImplOpenGL3_Init("#version 330 core")) return false;
        m_glBackend = true;
        window::sdl::AddEventObserver(&Screen::Observe, this);
        m_observing = true;
        m_window->BringToTop();
        return true;
    }

    void Close() {
        if (m_observing) window::sdl::RemoveEventObserver(&Screen::Observe, this);
        m_observing = false;
        if (m_gl) SDL_GL_MakeCurrent(m_sdl, m_gl);
        if (m_glBackend) ImGui_ImplOpenGL3_Shutdown();
        if (m_sdlBackend) ImGui_ImplSDL2_Shutdown();
        m_glBackend = m_sdlBackend = false;
        if (m_imgui) ImGui::DestroyContext(m_imgui);
        m_imgui = nullptr;
        if (m_gl) SDL_GL_DeleteContext(m_gl);
        m_gl = nullptr;
        if (m_window) m_window->Destroy();
        m_window.reset();
        // Whoever drew before the dialog draws on.
        if (m_previous && m_previousWindow) SDL_GL_MakeCurrent(m_previousWindow, m_previous);
    }

    // Takes the waiting messages; true when the dialog's window was closed.
    bool Pump() {
        s_current = this;
        window::Message m;
        while (window::PeekMessage(m)) {
            if (m.message == window::msg::Quit) {
                // The quit belongs to the program's own loop.
                window::PostQuitMessage(int(m.wParam));
                m_closed = true;
                break;
            }
            window::DispatchMessage(m);
        }
        s_current = nullptr;
        const bool closed = m_closed;
        m_closed = false;
        return closed;
    }

    void Draw(Dialog& d, Handler& h) {
        SDL_GL_MakeCurrent(m_sdl, m_gl);
        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplSDL2_NewFrame();
        ImGui::NewFrame();
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
        ImGui::Begin("##dialog", nullptr,
                     ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                         ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus);
        // Handlers may change controls (never their number) while they draw.
        for (size_t i = 0; i < d.Controls().size() && !d.Ended(); ++i)
            DrawControl(d, h, d.Controls()[i].id);
        if (!d.Ended() && ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter), false)) {
            d.Click(h, d.DefaultButton());
        }
        ImGui::End();
        ImGui::Render();
        int w = 0, hgt = 0;
        SDL_GL_GetDrawableSize(m_sdl, &w, &hgt);
        glViewport(0, 0, w, hgt);
        glClearColor(0.93f, 0.93f, 0.93f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    }

    void Present() { SDL_GL_SwapWindow(m_sdl); }

    // Reads the drawn frame back (before Present) and writes it as a BMP.
    bool SaveShot(const std::string& file) {
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(m_sdl, &w, &h);
        if (w <= 0 || h <= 0) return false;
        std::vector<uint8_t> rgba(size_t(w) * size_t(h) * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        std::vector<uint32_t> argb(size_t(w) * size_t(h));
        for (int y = 0; y < h; ++y) {
            const uint8_t* row = &rgba[size_t(h - 1 - y) * size_t(w) * 4]; // GL rows run bottom-up
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = row + x * 4;
                argb[size_t(y) * size_t(w) + size_t(x)] =
                    0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | uint32_t(p[2]);
            }
        }
        std::FILE* f = std::fopen(file.c_str(), "wb");
        if (!f) return false;
        const bool ok = gfx::WriteBmp(f, uint32_t(w), uint32_t(h), argb.data(), uint32_t(w));
        std::fclose(f);
        return ok;
    }

  private:
    void DrawControl(Dialog& d, Handler& h, uint32_t id) {
        const Control* c = d.Item(id);
        if (!c) return;
        const std::string text = Utf8(c->text);
        const std::string tag = "##" + std::to_string(c->id);
        ImGui::SetCursorPos(ImVec2(float(c->x), float(c->y)));
        ImGui::BeginDisabled(!c->enabled);
        switch (c->kind) {
        case ControlKind::Static:
            ImGui::PushTextWrapPos(float(c->x + c->w));
            ImGui::TextUnformatted(text.c_str());
            ImGui::PopTextWrapPos();
            break;
        case ControlKind::Group: {
            ImDrawList* draw = ImGui::GetWindowDrawList();
            const ImVec2 origin = ImGui::GetWindowPos();
            const float top = origin.y + float(c->y) + kFontPixels / 2;
            draw->AddRect(ImVec2(origin.x + float(c->x), top),
                          ImVec2(origin.x + float(c->x + c->w), origin.y + float(c->y + c->h)),
                          ImGui::GetColorU32(ImGuiCol_Border));
            ImGui::SetCursorPos(ImVec2(float(c->x + 10), float(c->y)));
            ImGui::TextUnformatted((" " + text + " ").c_str());
            break;
        }
        case ControlKind::Button:
            if (ImGui::Button((text + tag).c_str(), ImVec2(float(c->w), float(c->h)))) d.Click(h, id);
            break;
        case ControlKind::CheckBox: {
            bool checked = c->checked;
            if (ImGui::Checkbox((text + tag).c_str(), &checked)) d.Click(h, id);
            break;
        }
        case ControlKind::ComboBox: {
            const int sel = c->selection;
            const std::string preview =
                sel >= 0 && sel < int(c->items.size()) ? Utf8(c->items[size_t(sel)]) : "";
            ImGui::SetNextItemWidth(float(c->w));
            if (ImGui::BeginCombo(tag.c_str(), preview.c_str())) {
                int chosen = -1;
                for (size_t i = 0; i < c->items.size(); ++i) {
                    const std::string item = Utf8(c->items[i]) + tag + "_" + std::to_string(i);
                    if (ImGui::Selectable(item.c_str(), int(i) == sel)) chosen = int(i);
                }
                ImGui::EndCombo();
                if (chosen >= 0 && chosen != sel) d.Select(h, id, chosen);
            }
            break;
        }
        }
        ImGui::EndDisabled();
    }

    static intptr_t Proc(window::Window* w, uint32_t message, uintptr_t, intptr_t) {
        // Closing the dialog's window is a press of its close button, not a
        // destruction: the dialog decides.
        if (message == window::msg::Close && s_current && w == s_current->m_window.get()) {
            s_current->m_closed = true;
        }
        return 0;
    }

    static void Observe(const SDL_Event& e, void* context) {
        Screen* s = static_cast<Screen*>(context);
        if (s->m_imgui && s->ForThisWindow(e)) {
            ImGuiContext* previous = ImGui::GetCurrentContext();
            ImGui::SetCurrentContext(s->m_imgui);
            ImGui_ImplSDL2_ProcessEvent(&e);
            ImGui::SetCurrentContext(previous);
        }
        if (e.type == SDL_QUIT) s->m_closed = true;
    }

    bool ForThisWindow(const SDL_Event& e) const {
        const uint32_t id = SDL_GetWindowID(m_sdl);
        switch (e.type) {
        case SDL_WINDOWEVENT:
            return e.window.windowID == id;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            return e.key.windowID == id;
        case SDL_TEXTINPUT:
            return e.text.windowID == id;
        case SDL_MOUSEMOTION:
            return e.motion.windowID == id;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            return e.button.windowID == id;
        case SDL_MOUSEWHEEL:
            return e.wheel.windowID == id;
        default:
            return false;
        }
    }

    static inline Screen* s_current = nullptr;
    std::unique_ptr<window::Window> m_window;
    SDL_Window* m_sdl = nullptr;
    SDL_GLContext m_gl = nullptr;
    SDL_GLContext m_previous = nullptr;
    SDL_Window* m_previousWindow = nullptr;
    ImGuiContext* m_imgui = nullptr;
    bool m_sdlBackend = false;
    bool m_glBackend = false;
    bool m_observing = false;
    bool m_closed = false;
};

// Gives the focus back to the window under the dialog and waits a little
// for it to arrive: a full-screen device made on that window right after
// the dialog counts as lost while its window lacks the focus.
void ReturnFocus(window::Window* parent) {
    if (!parent || parent->IsDestroyed()) return;
    parent->BringToTop();
    parent->SetFocus();
    constexpr uint32_t kWaitMs = 1000;
    const uint32_t start = os::TimeGetTimeMs();
    window::Message m;
    while (!parent->HasFocus() && os::TimeGetTimeMs() - start < kWaitMs) {
        while (window::PeekMessage(m)) {
            if (m.message == window::msg::Quit) {
                window::PostQuitMessage(int(m.wParam));
                return;
            }
            window::DispatchMessage(m);
        }
        os::SleepMs(5);
    }
}

// Takes the default button; a handler that does not end the dialog on it
// ends it here, so nothing waits.
void TakeDefault(Dialog& d, Handler& h) {
    if (!d.Ended()) d.Click(h, d.DefaultButton());
    if (!d.Ended()) d.End(0);
}

} // namespace

int RunModal(window::Window* parent, Dialog& dialog, Handler& handler, uint32_t closeId) {
    dialog.Init(handler);
    if (dialog.Ended()) return dialog.Result();
    const bool unattended = window::Unattended();
    const std::string shots = ShotDirectory();
    if (unattended && shots.empty()) {
        TakeDefault(dialog, handler);
        return dialog.Result();
    }
    Screen screen;
    if (!screen.Open(dialog)) {
        // Nowhere to show it: nobody can answer but the default.
        screen.Close();
        TakeDefault(dialog, handler);
        return dialog.Result();
    }
    // A few frames settle the layout (combo widths, fonts) before a picture.
    for (int frame = 0; !dialog.Ended(); ++frame) {
        // A termination signal closes the dialog as its close button does;
        // its close goes to the main window, so it is asked for here.
        const bool terminated = window::TerminationRequested();
        if ((screen.Pump() || terminated) && closeId != 0) dialog.Click(handler, closeId);
        if (terminated && !dialog.Ended()) dialog.End(0);
        if (dialog.Ended()) break;
        screen.Draw(dialog, handler);
        if (unattended && frame == 2) {
            if (!shots.empty()) {
                screen.SaveShot(shots + "/dialog" + std::to_string(dialog.ResourceId()) + ".bmp");
            }
            screen.Present();
            TakeDefault(dialog, handler);
            break;
        }
        screen.Present();
        os::SleepMs(10);
    }
    screen.Close();
    ReturnFocus(parent);
    return dialog.Result();
}

} // namespace dialog
