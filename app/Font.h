// The bitmap fonts, `EFont` (global g_Font). Only the one-time build that the
// start-up logo runs is here until the fonts are drawn.
#pragma once

class EFont {
public:
    virtual ~EFont() = default;

    // Builds the font slots once (until Release).
    void EnsureFonts() { m_bBuilt = true; }
    void Release() { m_bBuilt = false; }

    bool m_bBuilt = false;
};

extern EFont g_Font;
