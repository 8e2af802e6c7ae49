// The AI path graph, `CPathMgr` (global g_PathMgr): the paths that
// characters walk, each a list of places. The graph's generation, its .pth
// file and the walking come with the characters' subsystem; this holds the
// table of paths and the three look-ups the world's respawners make: the
// nearest place over all paths, a path by its identifying triple and a place
// of a path by its index.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/math/Types.h"

struct strPlace {
    int32_t iIndex = 0;
    math::Vec3 vPosition;
};

struct strPath {
    int32_t iId[3] = {}; // the identifying triple
    std::vector<strPlace> Places;
};

class CPathMgr {
  public:
    virtual ~CPathMgr() = default;

    // The place nearest to the position over every path, and its path; both
    // null when there are no places. The last argument is kept for the
    // callers' sake (they pass 1).
    void FindNearestPlaceInAllPaths(const math::Vec3& position, strPath** path, strPlace** place, int mode);
    // Null when no path has that triple, or no place of the path that index.
    strPath* FindPath(int32_t a, int32_t b, int32_t c);
    strPlace* FindPlace(strPath* path, int32_t index);
    // Debug drawing of the graph at the end of the scene (recorded by the
    // renderer until the graph draws it).
    void DrawDebug();

    // The graph of the running world (filled by its generator or its file).
    std::vector<strPath> m_Paths;
};

extern CPathMgr g_PathMgr;
