#include "world/BezierMgr.h"

#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "platform/math/Math.h"
#include "platform/os/Number.h"
#include "platform/os/Os.h"
#include "world/Engine.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/WorldHooks.h"
#include "world/WorldMgr.h"

BezierMgr g_BezierMgr;

namespace {


void ReadFloats(const char* line, float* out, int count) {
    for (int i = 0; i < count; ++i)
        out[i] = os::ReadFloat(GetWord(line, i + 1));
}

uint8_t Flag(const char* line) {
    return os::ReadInt(GetWord(line, 1)) != 0;
}

math::Vec3 Lerp(const math::Vec3& a, const math::Vec3& b, float t) {
    return a + (b - a) * t;
}

const char* ObjectName(const ObjectRecord* h) {
    return h ? h->szName : "";
}

} // namespace

BezierMgr::~BezierMgr() {
    FreeAll();
}

BezierNode* BezierMgr::AllocNode() {
    BezierNode* node = new BezierNode;
    g_Debug.AddAllocation("BezierNode");
    node->pNext = m_pFirst;
    m_pFirst = node;
    return node;
}

BezierNode* BezierMgr::FindNode(const char* name) const {
    if (!name || !*name) return nullptr;
    for (BezierNode* n = m_pFirst; n; n = n->pNext)
        if (StrCmpNoCase(n->szName, name) == 0) return n;
    return nullptr;
}

BezierNode* BezierMgr::FindNodeByNr(uint32_t nr) const {
    for (BezierNode* n = m_pFirst; n; n = n->pNext)
        if (n->nr == nr) return n;
    return nullptr;
}

void BezierMgr::FreeAll() {
    while (m_pFirst) {
        BezierNode* next = m_pFirst->pNext;
        delete m_pFirst;
        g_Debug.RemoveAllocation("BezierNode");
        m_pFirst = next;
    }
    m_dwNumPoints = 0;
}

// ---- The path file ------------------------------------------------------------------

bool BezierMgr::LoadFile(const char* fileName) {
    std::FILE* f = fileName ? os::OpenFile(fileName, "rt") : nullptr;
    if (!f) return false;
    char line[257];
    BezierNode* node = nullptr;
    uint32_t nodes = 0;
    while (MoreLines(f, fileName)) {
        ReadLine(f, line, 256);
        if (IsKeyword(line, "bezier_node")) {
            // A node is a few kilobytes, its line a few bytes.
            if (nodes++ == BezierMgr::MAX_FILE_NODES) {
                g_Console.Printf("%s: more than %u Bezier nodes, the rest of the file is ignored", fileName,
                                 BezierMgr::MAX_FILE_NODES);
                break;
            }
            node = AllocNode();
            safe_string_copy("bezier_node", sizeof node->szName, node->szName, GetArgument(line));
            continue;
        }
        if (!node) continue; // lines before the first node are ignored
        if (IsKeyword(line, "nr"))
            node->nr = static_cast<uint32_t>(os::ReadInt(GetWord(line, 1)));
        else if (IsKeyword(line, "pos"))
            ReadFloats(line, node->vPosition.data(), 3);
        else if (IsKeyword(line, "ksztalt1"))
            ReadFloats(line, node->vControl1.data(), 3);
        else if (IsKeyword(line, "ksztalt2"))
            ReadFloats(line, node->vControl2.data(), 3);
        else if (IsKeyword(line, "fixed_rotation"))
            ReadFloats(line, node->fFixedRotation, 3);
        else if (IsKeyword(line, "interpolation_rotation"))
            ReadFloats(line, node->fInterpolationRotation, 3);
        else if (IsKeyword(line, "dont_follow"))
            node->bDontFollow = Flag(line);
        else if (IsKeyword(line, "emit_bomb"))
            node->bEmitBomb = Flag(line);
        else if (IsKeyword(line, "gameai_set"))
            safe_string_copy("gameai_set", sizeof node->szGameAiSet, node->szGameAiSet, GetWord(line, 1));
        else if (IsKeyword(line, "gameai_unset"))
            safe_string_copy("gameai_unset", sizeof node->szGameAiUnset, node->szGameAiUnset,
                             GetWord(line, 1));
        else if (IsKeyword(line, "give_action_to_mesh"))
            safe_string_copy("give_action_to_mesh", sizeof node->szGiveActionToMesh, node->szGiveActionToMesh,
                             GetWord(line, 1));
        else if (IsKeyword(line, "blocker"))
            node->bBlocker = Flag(line);
        else if (IsKeyword(line, "dont_render"))
            node->bDontRender = Flag(line);
        else if (IsKeyword(line, "pause_in_node"))
            node->bPauseInNode = Flag(line);
        else if (IsKeyword(line, "pause_pause_time"))
            node->dPauseTime = os::ReadDouble(GetWord(line, 1));
        else if (IsKeyword(line, "values"))
            ReadFloats(line, node->fValues, 5);
        else if (IsKeyword(line, "next_in_path_nr"))
            node->dwNextNr = static_cast<uint32_t>(os::ReadInt(GetWord(line, 1)));
    }
    const bool unreadable = std::ferror(f);
    std::fclose(f);
    if (unreadable) return false;
    LinkAndSample();
    StartLoadedObjects();
    return true;
}

void BezierMgr::LinkAndSample() {
    // Each node's next node is the first one in the list with its number,
    // found through a table made once rather than a walk per node.
    std::unordered_map<uint32_t, BezierNode*> byNr;
    for (BezierNode* n = m_pFirst; n; n = n->pNext)
        byNr.emplace(n->nr, n);
    for (BezierNode* n = m_pFirst; n; n = n->pNext) {
        auto it = byNr.find(n->dwNextNr);
        n->pNextInPath = it != byNr.end() ? it->second : nullptr;
    }
    m_dwNumPoints = 0;
    for (BezierNode* n = m_pFirst; n; n = n->pNext) {
        SampleNode(n);
        m_dwNumPoints += n->dwNumPoints;
    }
}

void BezierMgr::SampleNode(BezierNode* node) {
    if (!node) return;
    BezierNode* next = node->pNextInPath;
    if (!next) {
        node->dwNumPoints = 2;
        node->vPoints[0] = node->vPoints[1] = node->vPosition;
        node->dLength = 0;
        return;
    }
    const math::Vec3 p0 = node->vPosition, c1 = node->vControl1, c2 = node->vControl2, p1 = next->vPosition;
    node->dwNumPoints = BezierNode::NUM_SAMPLES;
    double length = 0;
    for (uint32_t i = 0; i < BezierNode::NUM_SAMPLES; ++i) {
        const float u = float(i) / float(BezierNode::NUM_SAMPLES - 1), v = 1.0f - u;
        node->vPoints[i] = p0 * (v * v * v) + c1 * (3 * v * v * u) + c2 * (3 * v * u * u) + p1 * (u * u * u);
        if (i > 0) length += math::Vec3Length(node->vPoints[i] - node->vPoints[i - 1]);
    }
    node->dLength = length;
    if (length <= 0) g_Console.Print("ERROR in BezierMgr.cpp: Bezier Node length is zero!");
    next->vIncoming = node->vPoints[BezierNode::NUM_SAMPLES - 1] - node->vPoints[BezierNode::NUM_SAMPLES - 2];
}

void BezierMgr::StartLoadedObjects() {
    for (int slot = 0; slot < EEngine::MAX_OBJECTS; ++slot) {
        ObjectRecord* h = g_Engine.Object(slot);
        if (!h || !h->bUsed || !h->Bezier.bActive) continue;
        if (h->Bezier.bStartWhenLoaded) {
            StartObjectBezierMoving(h);
        } else if (h->Bezier.bPlaceAtStart) {
            // Placed once at the start of its path, not moving.
            ObjectSubRecord& s = h->BezierState;
            GetObjectPosition(h, &s.vPosition);
            GetObjectOrientation(h, &s.Orientation);
            Advance(h, 0.0);
            SetObjectPosition(h, s.vPosition, true);
            SetObjectOrientation(h, s.Orientation);
        }
    }
}

// ---- Walking a path ----------------------------------------------------------------------

double BezierMgr::GetPathLength(const char* startName) {
    for (BezierNode* n = m_pFirst; n; n = n->pNext)
        n->bVisited = 0;
    double length = 0;
    for (BezierNode* n = FindNode(startName); n && !n->bVisited; n = n->pNextInPath) {
        n->bVisited = 1;
        length += n->dLength;
    }
    return length;
}

void BezierMgr::GetPointOnPath(const char* startName, double distance, math::Vec3* position,
                               math::Vec3* direction) {
    BezierNode* node = FindNode(startName);
    if (!node) return;
    if (!(distance > 0)) distance = 0; // negative, and not a number
    // The path's length, its node count and its last node before it ends or
    // runs into itself.
    for (BezierNode* n = m_pFirst; n; n = n->pNext)
        n->bVisited = 0;
    double total = 0;
    uint32_t count = 0;
    BezierNode* end = node;
    for (BezierNode* n = node; n && !n->bVisited; n = n->pNextInPath) {
        n->bVisited = 1;
        total += n->dLength;
        ++count;
        end = n;
    }
    // A path that runs into itself repeats its loop: a longer distance is
    // taken round the loop, so one walk along the path holds it.
    if (BezierNode* loop = end->pNextInPath; loop && distance > total && std::isfinite(total)) {
        double lead = 0;
        for (BezierNode* n = node; n != loop; n = n->pNextInPath)
            lead += n->dLength;
        const double cycle = total - lead;
        distance = cycle > 0 ? lead + std::fmod(distance - lead, cycle) : total;
    }
    // Lengths that are not numbers, or a loop of no length, could keep the
    // walk going: it ends after the path and its loop once more.
    BezierNode* last = node;
    for (uint32_t steps = 0; node && steps <= 2 * count; ++steps) {
        last = node;
        if (distance <= node->dLength && node->pNextInPath && node->dwNumPoints >= 2) {
            for (uint32_t i = 0; i + 1 < node->dwNumPoints; ++i) {
                const math::Vec3 step = node->vPoints[i + 1] - node->vPoints[i];
                const double len = math::Vec3Length(step);
                if (distance <= len || i + 2 == node->dwNumPoints) {
                    const float t = len > 0 ? float(distance / len) : 0.0f;
                    if (position) *position = Lerp(node->vPoints[i], node->vPoints[i + 1], t > 1 ? 1 : t);
                    if (direction) *direction = (i == 0 && distance <= 0) ? node->vIncoming : step;
                    return;
                }
                distance -= len;
            }
        }
        distance -= node->dLength;
        node = node->pNextInPath;
    }
    if (position) *position = last->vPosition;
    if (direction) *direction = last->vIncoming;
    g_Console.Print("x0");
}

// ---- Movement ------------------------------------------------------------------------------

void StartObjectBezierMoving(ObjectRecord* h) {
    if (!h || !h->Bezier.bActive) return;
    ObjectSubRecord& s = h->BezierState;
    s.Reset();
    BezierNode* start = g_BezierMgr.FindNode(h->Bezier.szStartNode);
    if (!start) {
        g_Console.Print("ERROR with Bezier Moving: Start node doesn't exist!");
        g_Console.Printf("object name: %s", h->szName);
        g_Console.Printf("bad node name: %s", h->Bezier.szStartNode);
        return;
    }
    GetObjectOrientation(h, &s.Orientation);
    GetObjectPosition(h, &s.vPosition);
    s.bMoving = 1;
    s.pStartNode = s.pCurrentNode = start;
    s.dwLapCounter = 0;
    s.bLapPause = 0;
    s.dLapPauseTime = 0;
    s.bStopAtEnd = !h->Bezier.bLoops;
    g_BezierMgr.NodeArrival(h, start);
}

void StopObjectBezierMoving(ObjectRecord* h) {
    if (h) h->BezierState.bMoving = 0;
}

bool IsObjectBezierMoving(ObjectRecord* h) {
    return h && h->BezierState.bMoving;
}

void SetObjectBezierSpeedMode1(ObjectRecord* h, float value) {
    if (!h) return;
    h->BezierState.dwSpeedMode = 1;
    h->BezierState.fSpeedModeValue = value;
}

void SetObjectBezierSpeedMode2(ObjectRecord* h, float value) {
    if (!h) return;
    h->BezierState.dwSpeedMode = 2;
    h->BezierState.fSpeedModeValue = value;
}

void SwitchObjectBezierMoving(ObjectRecord* h, float seconds) {
    if (!h) return;
    ObjectSubRecord& s = h->BezierState;
    // A mover slowed down keeps its moving flag: the slow-down mode tells
    // that it is switched off.
    if (s.bMoving && s.dwSpeedMode != 1) {
        SetObjectBezierSpeedMode1(h, seconds);
        return;
    }
    if (!s.bMoving) {
        StartObjectBezierMoving(h);
        if (!s.bMoving) return;
        s.fSpeedFactor = 0.0f;
    }
    SetObjectBezierSpeedMode2(h, seconds);
}

void SetObjectBezierLoop(ObjectRecord* h, bool loop) {
    if (h) h->BezierState.bStopAtEnd = !loop;
}

void BezierMgr::NodeArrival(ObjectRecord* h, BezierNode* node) {
    ObjectSubRecord& s = h->BezierState;
    s.dDistanceInNode = s.dDistanceInSegment = s.dProgress = 0;
    s.dwSampleIndex = 0;
    s.pCurrentNode = node;
    s.dSpeed = node->fValues[0];
    if (node == s.pStartNode) {
        ++s.dwLapCounter;
        const double pause = s.dwLapCounter == 1 ? h->Bezier.dFirstLapPause : h->Bezier.dLaterLapPause;
        if (pause > 0) {
            s.bLapPause = 1;
            s.dLapPauseTime = pause;
        }
    }
    s.bPauseInNode = node->bPauseInNode;
    s.dNodePauseTime = node->dPauseTime;
    if (node->bBlocker && s.bStopAtEnd) s.bStopMarked = 1;
    if (node->szGameAiSet[0]) TheWorldHooks().SetVariable(node->szGameAiSet, h);
    if (node->szGameAiUnset[0]) TheWorldHooks().UnsetVariable(node->szGameAiUnset, h);
    if (node->szGiveActionToMesh[0]) g_Engine.FireAction(node->szGiveActionToMesh, 0);
}

namespace {

// A running pause takes the time first: true while time is left for moving.
bool AbsorbPause(uint8_t* running, double* pause, double* t) {
    if (!*running) return true;
    if (*pause > *t) {
        *pause -= *t;
        *t = 0;
        return false;
    }
    *t -= *pause;
    *pause = 0;
    *running = 0;
    return true;
}

void PrintInternalError(const ObjectRecord* h, const char* what) {
    const ObjectSubRecord& s = h->BezierState;
    g_Console.Print(" ");
    g_Console.Print(what);
    g_Console.Print("Problematic object name:");
    g_Console.Print(ObjectName(h));
    if (s.pStartNode) {
        g_Console.Print("Bezier start node name:");
        g_Console.Print(s.pStartNode->szName);
    }
    g_Console.Print(" ");
}

// The direction the mover faces: from a point on the previous sample step to
// the point at the same fraction of the next one.
math::Vec3 FacingDirection(const BezierNode* node, uint32_t i, float fraction) {
    const math::Vec3* p = node->vPoints;
    math::Vec3 previous;
    if (i == 0)
        previous = p[0] - node->vIncoming * (1.0f - fraction);
    else
        previous = Lerp(p[i - 1], p[i], fraction);
    math::Vec3 next;
    if (i + 2 < node->dwNumPoints)
        next = Lerp(p[i + 1], p[i + 2], fraction);
    else if (const BezierNode* n = node->pNextInPath)
        next = Lerp(n->vPoints[0], n->vPoints[1], fraction);
    else
        next = node->vPosition;
    return next - previous;
}

} // namespace

void BezierMgr::Advance(ObjectRecord* h, double t) {
    if (!h) return;
    ObjectSubRecord& s = h->BezierState;
    if (!s.pStartNode) {
        s.pStartNode = FindNode(h->Bezier.szStartNode);
        if (!s.pStartNode) {
            if (!h->Bezier.szStartNode[0]) return;
            g_Console.Print(" ");
            g_Console.Print("ERROR: Start bezier node not found!");
            g_Console.Print("Bad node name:");
            g_Console.Print(h->Bezier.szStartNode);
            g_Console.Print("Bad object name:");
            g_Console.Print(ObjectName(h));
            g_Console.Print(" ");
            return;
        }
    }
    if (!s.pCurrentNode) s.pCurrentNode = s.pStartNode;
    BezierNode* node = s.pCurrentNode;
    if (node->dwNumPoints < 2) {
        PrintInternalError(h, "BezierMgr.cpp: Internal ERROR: (p->iAktPointInNode+1)>=pNode->iNumPoints");
        return;
    }
    if (s.dwSampleIndex >= node->dwNumPoints - 1) s.dwSampleIndex = node->dwNumPoints - 2;

    // Speed modes scale the time.
    if (s.dwSpeedMode == 1) {
        if (s.fSpeedModeValue > 0)
            s.fSpeedFactor = std::fmax(0.0f, s.fSpeedFactor - float(t) / s.fSpeedModeValue);
        t *= s.fSpeedFactor;
    } else if (s.dwSpeedMode == 2) {
        if (s.fSpeedModeValue > 0) s.fSpeedFactor += float(t) / s.fSpeedModeValue;
        if (s.fSpeedFactor >= 1.0f) {
            s.fSpeedFactor = 1.0f;
            s.dwSpeedMode = 0;
        }
        t *= s.fSpeedFactor;
    }

    // A path of no length would send the mover round for ever: two returns to
    // the start node without any way covered end the step. Speeds and times
    // from data may be anything: a step walks every sample of the paths at
    // most twice, and a speed or time that is not a number ends it.
    int emptyLaps = 0;
    for (uint32_t budget = 2 * m_dwNumPoints + 2; budget > 0; --budget) {
        if (!AbsorbPause(&s.bLapPause, &s.dLapPauseTime, &t)) break;
        if (s.bStopMarked) break;
        if (!AbsorbPause(&s.bPauseInNode, &s.dNodePauseTime, &t)) break;
        if (!(s.dSpeed > 0) || !(t > 0)) break;
        node = s.pCurrentNode;
        const uint32_t i = s.dwSampleIndex;
        const double way = t * s.dSpeed;
        const double segment = math::Vec3Length(node->vPoints[i + 1] - node->vPoints[i]);
        if (s.dDistanceInSegment + way < segment) {
            s.dDistanceInSegment += way;
            s.dDistanceInNode = std::fmin(s.dDistanceInNode + way, node->dLength);
            break;
        }
        const double rest = segment - s.dDistanceInSegment;
        if (rest > 0) emptyLaps = 0;
        t -= rest / s.dSpeed;
        s.dDistanceInNode = std::fmin(s.dDistanceInNode + rest, node->dLength);
        s.dDistanceInSegment = 0;
        ++s.dwSampleIndex;
        // Speed blends towards the next node's; a node of no length keeps its own.
        const float own = node->fValues[0];
        const float next = node->pNextInPath ? node->pNextInPath->fValues[0] : own;
        s.dSpeed = node->dLength > 0 ? own + (next - own) * (s.dDistanceInNode / node->dLength) : own;

        if (s.dwSampleIndex + 1 < node->dwNumPoints) continue;
        // The node's last segment is done.
        if (BezierNode* nextNode = node->pNextInPath) {
            if (nextNode == s.pStartNode && ++emptyLaps > 2) break;
            NodeArrival(h, nextNode);
            if (nextNode == s.pStartNode && h->Bezier.dwLapLimit && s.dwLapCounter > h->Bezier.dwLapLimit) {
                s.bMoving = 0;
                break;
            }
        } else {
            s.dDistanceInNode = 0;
            s.dwSampleIndex = 0;
            if (h->Bezier.dwLapLimit && s.dwLapCounter >= h->Bezier.dwLapLimit) {
                s.dwSampleIndex = node->dwNumPoints - 2;
                s.dDistanceInSegment = 0;
                s.bMoving = 0;
                break;
            }
            if (++emptyLaps > 2) break;
            NodeArrival(h, s.pStartNode);
        }
    }

    node = s.pCurrentNode;
    if (!node) {
        PrintInternalError(h, "BezierMgr.cpp: Internal ERROR: pNode is NULL");
        return;
    }
    const uint32_t i = s.dwSampleIndex;
    if (i + 1 >= node->dwNumPoints) {
        PrintInternalError(h, "BezierMgr.cpp: Internal ERROR: (p->iAktPointInNode+1)>=pNode->iNumPoints");
        return;
    }
    const math::Vec3 a = node->vPoints[i], b = node->vPoints[i + 1];
    const double segment = math::Vec3Length(b - a);
    const float fraction = segment > 0 ? float(s.dDistanceInSegment / segment) : 0.0f;
    s.vPosition = segment > 0 ? Lerp(a, b, fraction) : a;

    if (!node->bDontFollow) {
        const math::Vec3 dir = FacingDirection(node, i, fraction);
        if (math::Vec3LengthSq(dir) > 1e-12f) {
            orientation path;
            path.SetDirection(math::Vec3Normalize(dir));
            // The interpolation rotation moves towards the next node's over the node.
            float interp[3];
            const BezierNode* next = node->pNextInPath;
            const float progress = node->dLength > 0 ? float(s.dDistanceInNode / node->dLength) : 0.0f;
            for (int k = 0; k < 3; ++k) {
                const float to = next ? next->fInterpolationRotation[k] : node->fInterpolationRotation[k];
                interp[k] =
                    node->fInterpolationRotation[k] + (to - node->fInterpolationRotation[k]) * progress;
            }
            const math::Quat fixed = math::QuatRotationYawPitchRoll(math::ToRadian(node->fFixedRotation[0]),
                                                                    math::ToRadian(node->fFixedRotation[1]),
                                                                    math::ToRadian(node->fFixedRotation[2]));
            const math::Quat turn = math::QuatRotationYawPitchRoll(
                math::ToRadian(interp[0]), math::ToRadian(interp[1]), math::ToRadian(interp[2]));
            const math::Quat q = math::QuatMultiply(math::QuatMultiply(fixed, turn), path.quaternion);
            s.Orientation.SetQuaternion(q);
        }
    }
}

void BezierMgr::UpdateObjects(float frameTime) {
    g_Engine.ForEachSlotBelowHighWater(
        [&](int slot) {
            ObjectRecord* h = g_Engine.Object(slot);
            if (!h || !h->bUsed || !h->BezierState.bMoving) return;
            ObjectSubRecord& s = h->BezierState;
            GetObjectPosition(h, &s.vPosition);
            GetObjectOrientation(h, &s.Orientation);
            Advance(h, frameTime);
            SetObjectPosition(h, s.vPosition, true);
            SetObjectOrientation(h, s.Orientation);
        },
        true);
}
