// The TrueType fonts, `TTFont` (global g_TTFont). Until the fonts are drawn
// only their device life is here: creation with the device and the two
// halves of a reset, registered with the focus manager.
#pragma once

class TTFont {
public:
    virtual ~TTFont() = default;

    void Create();
    void Release();
    void OnLostDevice();
    void OnResetDevice();

    bool m_bCreated = false;
};

extern TTFont g_TTFont;
