// The console's drawing: the open console (half-screen bar, frame, the last
// 16 lines and the input line), the closed view (the newest lines in the
// top-left corner), and the loading screen (picture, progress bar with its
// outline, caption) drawn from inside the loading code.
#include <cstdio>
#include <cstring>

#include "app/Console.h"
#include "app/D3DMain.h"
#include "app/Debug.h"
#include "app/Font.h"
#include "app/GameFrame.h"
#include "app/Options.h"
#include "app/TTFont.h"
#include "app/TextMgr.h"
#include "platform/gfx/Draw.h"

namespace {

// The frame and outline lines: pre-transformed position and colour.
struct LineVertex {
    float x, y, z, rhw;
    uint32_t color;
};
constexpr uint32_t LINE_FVF = gfx::fvf::XyzRhw | gfx::fvf::Diffuse;

constexpr uint32_t CONSOLE_TEXT_COLOR = 0xFF80FF80;
constexpr uint32_t PROGRESS_COLOR = 0xFFA6A392;
constexpr uint32_t CAPTION_COLOR = 0xFFD9D5BF;
constexpr uint32_t VERSION_COLOR = 0x80408040;

// A buffer of the four lines around a rectangle; null when it cannot be
// made or filled.
gfx::VertexBuffer* MakeOutline(float left, float top, float right, float bottom, uint32_t color) {
    gfx::VertexBuffer* vb = nullptr;
    if (!g_pD3DInterface ||
        g_pD3DInterface->CreateVertexBuffer(8 * sizeof(LineVertex), gfx::usage::WriteOnly, LINE_FVF,
                                            gfx::Pool::Managed, &vb) != gfx::Result::Ok) {
        return nullptr;
    }
    void* data = nullptr;
    if (vb->Lock(0, 0, &data, 0) != gfx::Result::Ok) {
        vb->Release();
        return nullptr;
    }
    const LineVertex tl = {left, top, 0, 1, color}, tr = {right, top, 0, 1, color},
                     br = {right, bottom, 0, 1, color}, bl = {left, bottom, 0, 1, color};
    const LineVertex lines[8] = {tl, tr, tr, br, br, bl, bl, tl};
    std::memcpy(data, lines, sizeof lines);
    vb->Unlock();
    return vb;
}

// Lines drawn untextured, without lighting and fog (both put back).
void DrawOutline(gfx::VertexBuffer* vb) {
    gfx::Device* d = g_pD3DInterface;
    if (!vb || !d) return;
    uint32_t lighting = 0, fog = 0, blend = 0, colorOp = 0, colorArg1 = 0;
    d->GetRenderState(gfx::RenderState::Lighting, &lighting);
    d->GetRenderState(gfx::RenderState::FogEnable, &fog);
    d->GetRenderState(gfx::RenderState::AlphaBlendEnable, &blend);
    d->GetTextureStageState(0, gfx::TextureStageState::ColorOp, &colorOp);
    d->GetTextureStageState(0, gfx::TextureStageState::ColorArg1, &colorArg1);
    d->SetRenderState(gfx::RenderState::Lighting, 0);
    d->SetRenderState(gfx::RenderState::FogEnable, 0);
    // The lines show their own colour, whatever blending and stage
    // operations the scene's overlay passes left set.
    d->SetRenderState(gfx::RenderState::AlphaBlendEnable, 0);
    d->SetTextureStageState(0, gfx::TextureStageState::ColorOp, gfx::StateValue(gfx::TextureOp::SelectArg1));
    d->SetTextureStageState(0, gfx::TextureStageState::ColorArg1, gfx::texarg::Diffuse);
    d->SetTransform(gfx::TransformState::World, math::Matrix::Identity());
    d->SetTexture(0, nullptr);
    d->SetFVF(LINE_FVF);
    d->SetStreamSource(0, vb, 0, sizeof(LineVertex));
    d->DrawPrimitive(gfx::PrimitiveType::LineList, 0, 4);
    d->SetStreamSource(0, nullptr, 0, 0);
    d->SetRenderState(gfx::RenderState::Lighting, lighting);
    d->SetRenderState(gfx::RenderState::FogEnable, fog);
    d->SetRenderState(gfx::RenderState::AlphaBlendEnable, blend);
    d->SetTextureStageState(0, gfx::TextureStageState::ColorOp, colorOp);
    d->SetTextureStageState(0, gfx::TextureStageState::ColorArg1, colorArg1);
}

void ReleaseBuffer(gfx::VertexBuffer*& vb, const char* tag) {
    if (!vb) return;
    vb->Release();
    vb = nullptr;
    if (tag) g_Debug.RemoveAllocation(tag);
}

} // namespace

// ---- Console bar ---------------------------------------------------------------------

void EConsole::CreateConsoleBar() {
    const float xs = g_f2DScaleX, ys = g_f2DScaleY;
    m_ConsoleBar.Create("czarne.tga", 0, 0, float(screenwidth), float(screenheight / 2), 0x80FFFFFF);
    ReleaseBuffer(m_pVConsoleBar, "m_pVConsoleBar");
    m_pVConsoleBar = MakeOutline(0, 0, 1023.0f * xs, 383.0f * ys, CONSOLE_TEXT_COLOR);
    if (m_pVConsoleBar) g_Debug.AddAllocation("m_pVConsoleBar");
}

void EConsole::ReleaseConsoleBar() {
    m_ConsoleBar.Release();
    ReleaseBuffer(m_pVConsoleBar, "m_pVConsoleBar");
}

// ---- Console views ---------------------------------------------------------------------

void EConsole::Render() {
    if (TheGameFrame().LevelFrame() == 0) {
        DrawLoadingCaption();
        return;
    }
    g_TTFont.SelectFont(0);
    if (m_bOpen) {
        DrawOpenConsole();
    } else {
        DrawShortView();
    }
    g_TTFont.SelectFont(0);
}

void EConsole::DrawOpenConsole() {
    const float xs = g_f2DScaleX, ys = g_f2DScaleY;
    m_ConsoleBar.BeginRender2D(false);
    m_ConsoleBar.Render(true);
    m_ConsoleBar.EndRender2D();
    DrawOutline(m_pVConsoleBar);

    const int lineStep = int(21.0f * ys);
    char line[LINE_LEN + 1] = {};
    for (int i = 0; i < 16; ++i) {
        CopyLine(NUM_LINES - 16 + i, line);
        g_TTFont.DrawText(line, float(int(14.0f * xs)), float(8 + i * lineStep), CONSOLE_TEXT_COLOR, false,
                          false);
    }
    const float inputY = float(int(8.0f + float(16 * lineStep) + 8.0f * ys));
    g_TTFont.DrawText(">", 14.0f * xs, inputY, CONSOLE_TEXT_COLOR, false, false);
    char input[LINE_LEN + 2] = {};
    const size_t len = std::strlen(m_szCommandLine);
    const size_t cursor = m_iCursor < len ? m_iCursor : len;
    std::memcpy(input, m_szCommandLine, cursor);
    input[cursor] = '|';
    std::memcpy(input + cursor + 1, m_szCommandLine + cursor, len - cursor);
    g_TTFont.DrawText(input, 26.0f * xs, inputY, CONSOLE_TEXT_COLOR, false, false);
    g_TTFont.DrawText(" ver 1.00, 12 II 2010.", 780.0f * xs, float(screenheight / 2) - 36.0f * ys,
                      VERSION_COLOR, false, false);
}

void EConsole::DrawShortView() {
    if (m_iNumConsoleLines == 0) return;
    int first = 0, count = 0;
    ShortView(&first, &count);
    char line[LINE_LEN + 1] = {};
    for (int k = 0; k < count; ++k) {
        CopyLine(first + k, line);
        g_TTFont.DrawTextScaled(line, 3.0f, float(21 * k + 1), 0xFF000000, false, false);
        g_TTFont.DrawTextScaled(line, 2.0f, float(21 * k), CONSOLE_TEXT_COLOR, false, false);
    }
}

// ---- Loading screen ----------------------------------------------------------------------

void EConsole::PrepareLoadingScreen() {
    const float xs = g_f2DScaleX, ys = g_f2DScaleY;
    if (const char* level = TheGameFrame().LevelLoadingPicture()) {
        std::snprintf(m_szLoadingPicture, sizeof m_szLoadingPicture, "%s", level);
    }
    const Placement& p = m_LoadingPlacement;
    if (m_LoadingImage.Load(m_szLoadingPicture, uint32_t(p.fWidth), uint32_t(p.fHeight)) == 0) {
        m_LoadingImage.SetRect(int32_t(p.fLeft), int32_t(p.fTop), int32_t(p.fRight), int32_t(p.fBottom));
    }
    ReleaseBuffer(m_pProgressBarVB, nullptr);
    m_pProgressBarVB = MakeOutline(80.0f * xs - 1.0f, 728.0f * ys - 1.0f, 380.0f * xs + 1.0f,
                                   728.0f * ys + 8.0f * ys + 2.0f, PROGRESS_COLOR);
    m_ProgressBar.Create("hud_progress_bar.tga", 80.0f * xs, 728.0f * ys, 80.0f * xs, 736.0f * ys,
                         PROGRESS_COLOR);
}

void EConsole::LoadingFrame() {
    gfx::Device* d = g_pD3DInterface;
    if (!d) return;
    d->Clear(0, nullptr, gfx::clear::Target | gfx::clear::ZBuffer, 0xFF000000, 1.0f, 0);
    d->BeginScene();
    DrawLoadingImage();
    DrawProgressBar();
    DrawLoadingCaption();
    TheGameFrame().DrawBriefing();
    d->EndScene();
    d->Present();
}

void EConsole::DrawLoadingImage() {
    m_LoadingImage.Draw(int32_t(m_fLoadingX), int32_t(m_fLoadingY));
}

void EConsole::DrawProgressBar() {
    const float xs = g_f2DScaleX, ys = g_f2DScaleY;
    const float fraction = LoadingFraction();
    DrawOutline(m_pProgressBarVB);
    if (!m_ProgressBar.IsCreated()) return;
    const float left = 80.0f * xs, top = 728.0f * ys;
    m_ProgressBar.SetRect(left, top, left + (380.0f - 80.0f) * xs * fraction, top + 8.0f * ys);
    m_ProgressBar.SetColor(PROGRESS_COLOR);
    m_ProgressBar.BeginRender2D(false);
    m_ProgressBar.Render(true);
    m_ProgressBar.EndRender2D();
}

void EConsole::DrawLoadingCaption() {
    if (!m_bLoadingShown) return;
    char caption[512];
    if (const char* title = TheGameFrame().LevelTitle()) {
        std::snprintf(caption, sizeof caption, "%s %s", g_TextMgr.GetText(">LD"), title);
    } else {
        std::snprintf(caption, sizeof caption, "%s", g_TextMgr.GetText(">S22"));
    }
    g_Font.BeginText();
    g_Font.Print(caption, 80.0f * g_f2DScaleX, 698.0f * g_f2DScaleY, CAPTION_COLOR, 18.0f, 0, false, false);
    g_Font.EndText();
}

void EConsole::ReleaseLoadingImage() {
    m_LoadingImage.Release();
}

void EConsole::ReleaseProgressBar() {
    ReleaseBuffer(m_pProgressBarVB, nullptr);
    m_ProgressBar.Release();
    m_bLoadingShown = false;
}
