// The shadow render state: what the engine last set, what the graphics API
// last received, and the states that differ between the two. Setting a state
// only records it; the back-end applies the differences just before it draws
// (or clears), so repeated or reverted sets cost nothing.
#pragma once

#include <array>
#include <cstdint>

#include "platform/gfx/Types.h"

namespace gfx {

class RenderStateCache {
  public:
    RenderStateCache() { ResetToDefaults(); }

    // Direct3D's default value of each state (a device with an automatic
    // depth buffer starts with depth testing on).
    static uint32_t DefaultValue(RenderState s, bool autoDepthStencil);

    // Every state back to its default, and everything marked unknown to the
    // API, so the next Apply sends all of them.
    void ResetToDefaults(bool autoDepthStencil = true);

    void Set(RenderState s, uint32_t value) {
        uint32_t i = static_cast<uint32_t>(s);
        m_wanted[i] = value;
        if (!m_dirty[i]) {
            m_dirty[i] = true;
            m_dirtyList[m_dirtyCount++] = s;
        }
    }
    uint32_t Get(RenderState s) const { return m_wanted[static_cast<uint32_t>(s)]; }
    // The value the API holds (what was last applied).
    uint32_t Applied(RenderState s) const { return m_applied[static_cast<uint32_t>(s)]; }

    // Calls apply(state, value) for each state whose wanted value differs from
    // the applied one (or was never applied), in the order they were first
    // set since the last Apply, then records them as applied. Allocates nothing.
    template <typename F> void Apply(F&& apply) {
        for (uint32_t k = 0; k < m_dirtyCount; ++k) {
            uint32_t i = static_cast<uint32_t>(m_dirtyList[k]);
            m_dirty[i] = false;
            if (m_known[i] && m_applied[i] == m_wanted[i]) continue;
            apply(m_dirtyList[k], m_wanted[i]);
            m_applied[i] = m_wanted[i];
            m_known[i] = true;
        }
        m_dirtyCount = 0;
    }

    // Number of states set since the last Apply (whether or not they differ).
    uint32_t PendingCount() const { return m_dirtyCount; }

  private:
    std::array<uint32_t, RenderStateCount> m_wanted{};
    std::array<uint32_t, RenderStateCount> m_applied{};
    std::array<bool, RenderStateCount> m_known{};
    std::array<bool, RenderStateCount> m_dirty{};
    std::array<RenderState, RenderStateCount> m_dirtyList{};
    uint32_t m_dirtyCount = 0;
};

} // namespace gfx
