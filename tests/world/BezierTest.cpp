// Bezier paths: the path file, sampling and length, walking a path, and
// objects moving along paths across nodes with their arrivals, pauses,
// laps and speed blends.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <tuple>

#include "WorldFixture.h"
#include "game/GameAI.h"
#include "platform/math/Math.h"
#include "world/BezierMgr.h"
#include "world/EngineObject.h"

namespace {

// An independent evaluation of the cubic segment.
math::Vec3 Cubic(const math::Vec3& p0, const math::Vec3& c1, const math::Vec3& c2, const math::Vec3& p1,
                 double u) {
    const double v = 1 - u;
    auto f = [&](float a, float b, float c, float d) {
        return float(v * v * v * a + 3 * v * v * u * b + 3 * v * u * u * c + u * u * u * d);
    };
    return {f(p0.x, c1.x, c2.x, p1.x), f(p0.y, c1.y, c2.y, p1.y), f(p0.z, c1.z, c2.z, p1.z)};
}

double Distance(const math::Vec3& a, const math::Vec3& b) {
    return math::Vec3Length(a - b);
}

} // namespace

class BezierTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        g_BezierMgr.FreeAll();
    }
    void TearDown() override {
        g_BezierMgr.FreeAll();
        WorldTest::TearDown();
    }

    // A node with straight control points (a line) towards the node numbered next.
    static BezierNode* Node(const char* name, uint32_t nr, const math::Vec3& pos, uint32_t next, float speed,
                            const math::Vec3* towards = nullptr) {
        BezierNode* n = g_BezierMgr.AllocNode();
        std::snprintf(n->szName, sizeof n->szName, "%s", name);
        n->nr = nr;
        n->dwNextNr = next;
        n->vPosition = pos;
        const math::Vec3 to = towards ? *towards : pos;
        n->vControl1 = pos + (to - pos) * (1.0f / 3.0f);
        n->vControl2 = pos + (to - pos) * (2.0f / 3.0f);
        n->fValues[0] = speed;
        return n;
    }

    void WriteFile(const char* name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }

    // A mover on a start node, moving.
    static ObjectRecord* Mover(const char* startNode, uint32_t lapLimit = 0, bool loops = true) {
        ObjectRecord* h = Make(OT_MESH, {}, "mover");
        BezierMovingParams p;
        p.bActive = 1;
        p.bLoops = loops;
        p.dwLapLimit = lapLimit;
        std::snprintf(p.szStartNode, sizeof p.szStartNode, "%s", startNode);
        SetObjectBezierMovingParams(h, p);
        StartObjectBezierMoving(h);
        return h;
    }
};

TEST_F(BezierTest, TheFileFillsEveryKeyAndLinksNodesByNumber) {
    WriteFile("path.bzr",
              "ignored line before any node\n"
              "bezier_node First Node\n"
              "nr 7\npos 1 2 3\nksztalt1 4 5 6\nksztalt2 7 8 9\n"
              "fixed_rotation 10 20 30\ninterpolation_rotation 1 2 3\n"
              "dont_follow 1\nemit_bomb 2\ngameai_set up\ngameai_unset down\ngive_action_to_mesh door\n"
              "blocker 1\ndont_render 1\npause_in_node 1\npause_pause_time 2.5\n"
              "values 64 1 2 3 4\nnext_in_path_nr 8\nunknown_key 5\n"
              "bezier_node second\r\nnr 8\r\npos 100 2 3\r\n");
    ASSERT_TRUE(g_BezierMgr.LoadFile("path.bzr"));
    BezierNode* a = g_BezierMgr.FindNode("first node");
    BezierNode* b = g_BezierMgr.FindNode("SECOND");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->nr, 7u);
    EXPECT_EQ(a->vPosition, math::Vec3(1, 2, 3));
    EXPECT_EQ(a->vControl1, math::Vec3(4, 5, 6));
    EXPECT_EQ(a->vControl2, math::Vec3(7, 8, 9));
    EXPECT_FLOAT_EQ(a->fFixedRotation[2], 30);
    EXPECT_FLOAT_EQ(a->fInterpolationRotation[1], 2);
    EXPECT_EQ(a->bDontFollow, 1);
    EXPECT_EQ(a->bEmitBomb, 1);
    EXPECT_STREQ(a->szGameAiSet, "up");
    EXPECT_STREQ(a->szGameAiUnset, "down");
    EXPECT_STREQ(a->szGiveActionToMesh, "door");
    EXPECT_EQ(a->bBlocker, 1);
    EXPECT_EQ(a->bDontRender, 1);
    EXPECT_EQ(a->bPauseInNode, 1);
    EXPECT_DOUBLE_EQ(a->dPauseTime, 2.5);
    EXPECT_FLOAT_EQ(a->fValues[0], 64);
    EXPECT_FLOAT_EQ(a->fValues[4], 4);
    EXPECT_EQ(a->pNextInPath, b);
    EXPECT_EQ(b->pNextInPath, nullptr);
    EXPECT_EQ(a->dwColor, 0xFF00EAFEu);
    // Newest first.
    EXPECT_EQ(g_BezierMgr.First(), b);
    EXPECT_FALSE(g_BezierMgr.LoadFile("missing.bzr"));
    EXPECT_EQ(g_BezierMgr.FindNode(""), nullptr);
}

TEST_F(BezierTest, SamplesFollowTheCubicAndTheLengthSumsTheirSteps) {
    BezierNode* a = Node("a", 1, {0, 0, 0}, 2, 10);
    BezierNode* b = Node("b", 2, {300, 0, 0}, 0, 10);
    a->vControl1 = {0, 200, 0};
    a->vControl2 = {300, 200, 100};
    g_BezierMgr.LinkAndSample();
    ASSERT_EQ(a->dwNumPoints, 200u);
    double length = 0;
    for (int i = 0; i < 200; ++i) {
        const math::Vec3 expected = Cubic(a->vPosition, a->vControl1, a->vControl2, b->vPosition, i / 199.0);
        EXPECT_NEAR(Distance(a->vPoints[i], expected), 0, 1e-3) << i;
        if (i)
            length += Distance(
                expected, Cubic(a->vPosition, a->vControl1, a->vControl2, b->vPosition, (i - 1) / 199.0));
    }
    EXPECT_NEAR(a->dLength, length, 1e-2);
    EXPECT_EQ(a->vPoints[0], a->vPosition);
    EXPECT_NEAR(Distance(a->vPoints[199], b->vPosition), 0, 1e-3);
    // The next node's incoming direction is the segment's last step.
    const math::Vec3 step = a->vPoints[199] - a->vPoints[198];
    EXPECT_EQ(b->vIncoming, step);
    // An end node: two samples at its position, no length.
    EXPECT_EQ(b->dwNumPoints, 2u);
    EXPECT_EQ(b->vPoints[0], b->vPosition);
    EXPECT_EQ(b->vPoints[1], b->vPosition);
    EXPECT_EQ(b->dLength, 0);
}

TEST_F(BezierTest, PathLengthCountsEachSegmentOnceAndZeroLengthIsReported) {
    const math::Vec3 p(0, 0, 0), q(0, 0, 400);
    Node("a", 1, p, 2, 10, &q);
    Node("b", 2, q, 1, 10, &p);
    MarkConsole();
    g_BezierMgr.LinkAndSample();
    EXPECT_FALSE(Printed("Bezier Node length is zero"));
    // Two nodes pointing at each other: 400 there and 400 back, once each.
    EXPECT_NEAR(g_BezierMgr.GetPathLength("a"), 800.0, 1e-2);
    EXPECT_NEAR(g_BezierMgr.GetPathLength("B"), 800.0, 1e-2);
    EXPECT_EQ(g_BezierMgr.GetPathLength("nobody"), 0.0);

    g_BezierMgr.FreeAll();
    Node("c", 1, p, 2, 10);
    Node("d", 2, p, 0, 10);
    MarkConsole();
    g_BezierMgr.LinkAndSample();
    EXPECT_TRUE(Printed("ERROR in BezierMgr.cpp: Bezier Node length is zero!"));
}

TEST_F(BezierTest, PointsOnAPathAreFoundByDistance) {
    const math::Vec3 p(0, 0, 0), q(0, 0, 398), r(398, 0, 398);
    Node("a", 1, p, 2, 10, &q);
    Node("b", 2, q, 3, 10, &r);
    Node("c", 3, r, 0, 10);
    g_BezierMgr.LinkAndSample();
    struct Case {
        double distance;
        math::Vec3 position;
        math::Vec3 direction; // unit
    } cases[] = {
        {-5, {0, 0, 0}, {0, 0, 1}},
        {100, {0, 0, 100}, {0, 0, 1}},
        {398 + 50, {50, 0, 398}, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        math::Vec3 position, direction;
        g_BezierMgr.GetPointOnPath("a", c.distance, &position, &direction);
        EXPECT_NEAR(Distance(position, c.position), 0, 1e-2) << c.distance;
        if (c.distance > 0) {
            EXPECT_NEAR(Distance(math::Vec3Normalize(direction), c.direction), 0, 1e-3) << c.distance;
        }
    }
    MarkConsole();
    math::Vec3 position, direction;
    g_BezierMgr.GetPointOnPath("a", 5000, &position, &direction);
    EXPECT_EQ(position, r);
    EXPECT_TRUE(Printed("x0"));
}

TEST_F(BezierTest, AMissingStartNodeIsReportedAndTheObjectStaysStill) {
    Node("a", 1, {0, 0, 0}, 0, 10);
    g_BezierMgr.LinkAndSample();
    MarkConsole();
    ObjectRecord* h = Mover("nowhere");
    EXPECT_TRUE(Printed("ERROR with Bezier Moving: Start node doesn't exist!"));
    EXPECT_TRUE(Printed("object name: mover"));
    EXPECT_TRUE(Printed("bad node name: nowhere"));
    EXPECT_FALSE(IsObjectBezierMoving(h));
    g_BezierMgr.UpdateObjects(1.0f);
    math::Vec3 position;
    GetObjectPosition(h, &position);
    EXPECT_EQ(position, math::Vec3());
    // Inactive parameters never start.
    BezierMovingParams p;
    GetObjectBezierMovingParams(h, &p);
    p.bActive = 0;
    std::snprintf(p.szStartNode, sizeof p.szStartNode, "a");
    SetObjectBezierMovingParams(h, p);
    StartObjectBezierMoving(h);
    EXPECT_FALSE(IsObjectBezierMoving(h));
}

TEST_F(BezierTest, AMoverCrossesNodesSettingTheirVariablesAndFiringTheirActions) {
    const math::Vec3 p(0, 0, 0), q(0, 0, 100), r(100, 0, 100);
    BezierNode* a = Node("a", 1, p, 2, 50, &q);
    BezierNode* b = Node("b", 2, q, 3, 50, &r);
    Node("c", 3, r, 0, 50);
    std::snprintf(a->szGameAiSet, sizeof a->szGameAiSet, "at_a");
    std::snprintf(b->szGameAiSet, sizeof b->szGameAiSet, "at_b");
    std::snprintf(b->szGameAiUnset, sizeof b->szGameAiUnset, "at_a");
    std::snprintf(b->szGiveActionToMesh, sizeof b->szGiveActionToMesh, "door");
    g_BezierMgr.LinkAndSample();
    ObjectRecord* door = Make(OT_MESH, {}, "door");
    g_EngineObject.m_pLastActionObject = nullptr;
    ObjectRecord* h = Mover("a");
    EXPECT_TRUE(g_GameAI.IsSet("at_a"));
    EXPECT_FALSE(g_GameAI.IsSet("at_b"));

    // 1.5 s at 50 units/s: 75 along the first segment.
    g_BezierMgr.UpdateObjects(1.5f);
    math::Vec3 position;
    GetObjectPosition(h, &position);
    EXPECT_NEAR(Distance(position, {0, 0, 75}), 0, 0.05);
    EXPECT_EQ(h->BezierState.pCurrentNode, a);
    // Facing along the path.
    orientation o;
    GetObjectOrientation(h, &o);
    EXPECT_NEAR(Distance(o.forward, {0, 0, 1}), 0, 1e-3);

    // One more second: past node b, 25 along its segment.
    g_BezierMgr.UpdateObjects(1.0f);
    GetObjectPosition(h, &position);
    EXPECT_NEAR(Distance(position, {25, 0, 100}), 0, 0.05);
    EXPECT_EQ(h->BezierState.pCurrentNode, b);
    EXPECT_TRUE(g_GameAI.IsSet("at_b"));
    EXPECT_FALSE(g_GameAI.IsSet("at_a"));
    EXPECT_EQ(g_EngineObject.m_pLastActionObject, door);
    GetObjectOrientation(h, &o);
    EXPECT_NEAR(Distance(o.forward, {1, 0, 0}), 0, 1e-3);
    // The start position is kept.
    EXPECT_EQ(h->vStartPosition, math::Vec3());
}

TEST_F(BezierTest, LapLimitsAndLoopsDecideWhereTheMoverEnds) {
    const math::Vec3 p(0, 0, 0), q(0, 0, 100);
    struct Case {
        const char* what;
        bool closed;   // the last node leads back to the first
        uint32_t laps; // lap limit
        float seconds; // at 100 units/s
        bool moving;
        math::Vec3 position;
    } cases[] = {
        {"open path, no limit: back to the start and on", false, 0, 1.5f, true, {0, 0, 50}},
        {"open path, one lap: stops at the end node", false, 1, 1.5f, false, {0, 0, 100}},
        {"closed path, one lap: stops when the start comes round again", true, 1, 2.5f, false, {0, 0, 0}},
        {"closed path, two laps: still going round", true, 2, 2.5f, true, {0, 0, 50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_BezierMgr.FreeAll();
        Node("a", 1, p, 2, 100, &q);
        Node("b", 2, q, c.closed ? 1 : 0, 100, c.closed ? &p : nullptr);
        g_BezierMgr.LinkAndSample();
        ObjectRecord* h = Mover("a", c.laps);
        for (float t = 0; t < c.seconds - 1e-4f; t += 0.25f)
            g_BezierMgr.UpdateObjects(0.25f);
        EXPECT_EQ(IsObjectBezierMoving(h), c.moving);
        math::Vec3 position;
        GetObjectPosition(h, &position);
        EXPECT_NEAR(Distance(position, c.position), 0, 0.5);
        g_Engine.DeleteObject(h);
    }
}

TEST_F(BezierTest, PausesHoldTheMover) {
    const math::Vec3 p(0, 0, 0), q(0, 0, 100);
    BezierNode* a = Node("a", 1, p, 2, 100, &q);
    Node("b", 2, q, 0, 100);
    a->bPauseInNode = 1;
    a->dPauseTime = 0.5;
    g_BezierMgr.LinkAndSample();
    ObjectRecord* h = Mover("a");
    // The node's pause takes the first half second, then it moves.
    g_BezierMgr.UpdateObjects(0.4f);
    math::Vec3 position;
    GetObjectPosition(h, &position);
    EXPECT_NEAR(Distance(position, p), 0, 1e-3);
    g_BezierMgr.UpdateObjects(0.3f);
    GetObjectPosition(h, &position);
    EXPECT_NEAR(Distance(position, {0, 0, 20}), 0, 0.05);

    // A first-lap pause on the start node works the same way.
    g_Engine.DeleteObject(h);
    a->bPauseInNode = 0;
    h = Make(OT_MESH, {}, "lapper");
    BezierMovingParams params;
    params.bActive = 1;
    params.dFirstLapPause = 1.0;
    std::snprintf(params.szStartNode, sizeof params.szStartNode, "a");
    SetObjectBezierMovingParams(h, params);
    StartObjectBezierMoving(h);
    g_BezierMgr.UpdateObjects(1.25f);
    GetObjectPosition(h, &position);
    EXPECT_NEAR(Distance(position, {0, 0, 25}), 0, 0.05);
}

TEST_F(BezierTest, TheSpeedBlendsTowardsTheNextNodeAndANodeOfNoLengthKeepsItsOwn) {
    const math::Vec3 p(0, 0, 0), q(0, 0, 100);
    Node("a", 1, p, 2, 100, &q);
    Node("b", 2, q, 0, 300);
    g_BezierMgr.LinkAndSample();
    ObjectRecord* h = Mover("a");
    g_BezierMgr.UpdateObjects(0.4f);
    // The speed moves from 100 towards 300 with the share of the node covered
    // (taken at the last sample passed, one sample step of 100 / 199 at most behind).
    const double share = h->BezierState.dDistanceInNode / h->BezierState.pCurrentNode->dLength;
    EXPECT_GT(share, 0.3);
    EXPECT_NEAR(h->BezierState.dSpeed, 100.0 + 200.0 * share, 200.0 / 199.0 + 1e-3);
    g_Engine.DeleteObject(h);

    // A node of no length (position, controls and next node coincide).
    g_BezierMgr.FreeAll();
    Node("z", 1, p, 2, 40);
    Node("y", 2, p, 3, 500);
    Node("x", 3, q, 0, 500);
    g_BezierMgr.LinkAndSample();
    h = Mover("z");
    g_BezierMgr.Advance(h, 0.01);
    EXPECT_TRUE(std::isfinite(h->BezierState.dSpeed));
    EXPECT_TRUE(std::isfinite(h->BezierState.vPosition.z));
}

TEST_F(BezierTest, SpeedModesSlowDownAndSpeedUp) {
    const math::Vec3 p(0, 0, 0), q(0, 0, 1000);
    Node("a", 1, p, 2, 100, &q);
    Node("b", 2, q, 0, 100);
    g_BezierMgr.LinkAndSample();
    ObjectRecord* h = Mover("a");
    SetObjectBezierSpeedMode1(h, 1.0f);
    for (int i = 0; i < 8; ++i)
        g_BezierMgr.UpdateObjects(0.25f);
    const float stopped = h->BezierState.vPosition.z;
    EXPECT_FLOAT_EQ(h->BezierState.fSpeedFactor, 0.0f);
    g_BezierMgr.UpdateObjects(0.25f);
    EXPECT_FLOAT_EQ(h->BezierState.vPosition.z, stopped);
    SetObjectBezierSpeedMode2(h, 0.5f);
    for (int i = 0; i < 4; ++i)
        g_BezierMgr.UpdateObjects(0.25f);
    EXPECT_EQ(h->BezierState.dwSpeedMode, 0u);
    EXPECT_FLOAT_EQ(h->BezierState.fSpeedFactor, 1.0f);
    EXPECT_GT(h->BezierState.vPosition.z, stopped);
}

TEST_F(BezierTest, APathOfNoLengthNeverHangsTheMover) {
    Node("solo", 1, {5, 5, 5}, 0, 100);
    g_BezierMgr.LinkAndSample();
    ObjectRecord* h = Mover("solo");
    g_BezierMgr.UpdateObjects(1.0f);
    math::Vec3 position;
    GetObjectPosition(h, &position);
    EXPECT_EQ(position, math::Vec3(5, 5, 5));
}

TEST_F(BezierTest, LoadingStartsMoversAndPlacesTheOthersAtTheirStart) {
    WriteFile("w.bzr", "bezier_node start\nnr 1\npos 0 10 0\nksztalt1 0 10 30\nksztalt2 0 10 60\n"
                       "values 10 0 0 0 0\nnext_in_path_nr 2\n"
                       "bezier_node end\nnr 2\npos 0 10 90\n");
    ObjectRecord* mover = Make(OT_MESH, {}, "m");
    ObjectRecord* placed = Make(OT_MESH, {7, 7, 7}, "p");
    BezierMovingParams params;
    params.bActive = 1;
    std::snprintf(params.szStartNode, sizeof params.szStartNode, "start");
    SetObjectBezierMovingParams(mover, params);
    params.bStartWhenLoaded = 0;
    params.bPlaceAtStart = 1;
    SetObjectBezierMovingParams(placed, params);
    ASSERT_TRUE(g_BezierMgr.LoadFile("w.bzr"));
    EXPECT_TRUE(IsObjectBezierMoving(mover));
    EXPECT_FALSE(IsObjectBezierMoving(placed));
    math::Vec3 position;
    GetObjectPosition(placed, &position);
    EXPECT_EQ(position, math::Vec3(0, 10, 0));
}

// ---- Hostile numbers ------------------------------------------------------------------

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// The shapes a path can take: open, closed through its start, running into a
// loop that misses the start (a lasso), and a closed loop of no length.
enum class Shape { Open, Closed, Lasso, EmptyLoop };

// A shape, the speed of its nodes and the time step.
using MoverCase = std::tuple<Shape, double, double>;

} // namespace

class BezierHostileTest : public BezierTest, public ::testing::WithParamInterface<MoverCase> {
  protected:
    // A path of the shape whose nodes all have the speed; starts at "a".
    static void Build(Shape shape, float speed) {
        const math::Vec3 p(0, 0, 0), q(0, 0, 100), r(100, 0, 100);
        switch (shape) {
        case Shape::Open:
            Node("a", 1, p, 2, speed, &q);
            Node("b", 2, q, 0, speed);
            break;
        case Shape::Closed:
            Node("a", 1, p, 2, speed, &q);
            Node("b", 2, q, 1, speed, &p);
            break;
        case Shape::Lasso:
            Node("a", 1, p, 2, speed, &q);
            Node("b", 2, q, 3, speed, &r);
            Node("c", 3, r, 2, speed, &q);
            break;
        case Shape::EmptyLoop:
            Node("a", 1, p, 2, speed);
            Node("b", 2, p, 1, speed);
            break;
        }
        g_BezierMgr.LinkAndSample();
    }
};

TEST_P(BezierHostileTest, EveryStepEndsAndTheMoverStaysOnItsPath) {
    const auto [shape, speed, step] = GetParam();
    Build(shape, float(speed));
    ObjectRecord* h = Mover("a");
    ASSERT_TRUE(h);
    for (int i = 0; i < 3; ++i) {
        g_BezierMgr.Advance(h, step);
        g_BezierMgr.UpdateObjects(step > FLT_MAX ? float(kInf) : float(step)); // NaN stays NaN
    }
    // Within the paths' box, 0..100 on x and z.
    const math::Vec3 v = h->BezierState.vPosition;
    EXPECT_TRUE(v.x >= -1e-3f && v.x <= 100.001f && v.z >= -1e-3f && v.z <= 100.001f)
        << v.x << " " << v.y << " " << v.z;
    EXPECT_LT(h->BezierState.dwSampleIndex + 1, h->BezierState.pCurrentNode->dwNumPoints);

    // Walking the path by any distance ends as well, on the path.
    for (double distance : {step, speed, kNan, kInf, -kInf, 1e300, 250.0}) {
        math::Vec3 position(-1, -1, -1), direction;
        g_BezierMgr.GetPointOnPath("a", distance, &position, &direction);
        EXPECT_TRUE(position.x >= -1e-3f && position.x <= 100.001f && position.z >= -1e-3f &&
                    position.z <= 100.001f)
            << distance;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, BezierHostileTest,
    ::testing::Combine(::testing::Values(Shape::Open, Shape::Closed, Shape::Lasso, Shape::EmptyLoop),
                       ::testing::Values(kNan, kInf, double(FLT_MAX), -double(FLT_MAX), 0.0, 1e-40, 64.0),
                       ::testing::Values(kNan, kInf, 1e300, double(FLT_MAX), -1.0, 0.0, 1e-300, 0.016)));

// A closed loop taken round many times finds the same point as the distance
// within one lap.
TEST_F(BezierTest, ADistanceBeyondALoopIsTakenRoundIt) {
    const math::Vec3 p(0, 0, 0), q(0, 0, 100), r(100, 0, 100);
    Node("a", 1, p, 2, 10, &q);
    Node("b", 2, q, 3, 10, &r);
    Node("c", 3, r, 2, 10, &q);
    g_BezierMgr.LinkAndSample();
    const double lead = 100, cycle = 200;
    math::Vec3 near, far, direction;
    g_BezierMgr.GetPointOnPath("a", lead + 50, &near, &direction);
    g_BezierMgr.GetPointOnPath("a", lead + 1000 * cycle + 50, &far, &direction);
    EXPECT_NEAR(Distance(near, {50, 0, 100}), 0, 0.05);
    EXPECT_NEAR(Distance(far, near), 0, 0.05);
}

// Hostile numbers in the path file read as the one number reader reads them.
TEST_F(BezierTest, HostileNumbersInThePathFileReadAsFiniteValues) {
    const std::string nines(60, '9');
    WriteFile("h.bzr", "bezier_node a\nnr nan\npos inf -inf 1e30\nksztalt1 " + nines + " -" + nines +
                           " nan\nvalues nan 1 2 3 4\npause_pause_time " + nines + "\nnext_in_path_nr inf\n");
    ASSERT_TRUE(g_BezierMgr.LoadFile("h.bzr"));
    BezierNode* a = g_BezierMgr.FindNode("a");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->nr, 0u);
    EXPECT_EQ(a->vPosition, math::Vec3(0, 0, 1));
    EXPECT_EQ(a->vControl1, math::Vec3(FLT_MAX, -FLT_MAX, 0));
    EXPECT_EQ(a->fValues[0], 0.0f);
    EXPECT_EQ(a->dPauseTime, 1e60);
    EXPECT_EQ(a->pNextInPath, a);
}
