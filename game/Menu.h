// The menu, `CMenu` (global g_Menu). Only what the main loop, the frame
// driver and the focus manager ask is here until the menu is built.
#pragma once

#include <cstdint>

class CMenu {
  public:
    virtual ~CMenu() = default;

    bool IsOpen() const { return m_bOpen; }
    // The player's menu key asks for the menu (its pages come with the menu;
    // the requests are counted).
    void Open() { ++m_dwOpenRequests; }
    uint32_t m_dwOpenRequests = 0;
    // The menu's screen layer, made at engine start and freed at release.
    void InitOverlay() { m_bOverlay = true; }
    void ReleaseOverlay() { m_bOverlay = false; }
    bool m_bOverlay = false;
    void Render() {}
    // Rebuilds the current page after a device reset.
    void OnDeviceReset() {}
    void OnKeyDown(uint32_t) {}
    void OnKeyUp(uint32_t) {}

    bool m_bOpen = false;
    // The video page's best-filtering option, read by the sampler filters.
    bool m_bBestFiltering = false;
};

extern CMenu g_Menu;
