// The decorative cockroaches, `DeeDee` (global g_DeeDee). Their slots,
// runs and drawing come with the render props; this takes the groups that
// the world's actions release, counting them with the last place.
#pragma once

#include <cstdint>

#include "platform/math/Types.h"

class DeeDee {
  public:
    virtual ~DeeDee() = default;

    // Releases count cockroaches at the position.
    void SpawnGroup(const math::Vec3& position, int count) {
        m_dwGroups += 1;
        m_iLastCount = count;
        m_vLastPosition = position;
    }

    uint32_t m_dwGroups = 0;
    int m_iLastCount = 0;
    math::Vec3 m_vLastPosition;
};

extern DeeDee g_DeeDee;
