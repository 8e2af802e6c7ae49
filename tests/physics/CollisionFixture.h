// Collision tests on the real object table: meshes written as text .x files
// into the test's data directory, objects created through the engine, and
// helpers that build the shapes the tests need.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/Geometry.h"
#include "physics/CollisionMgr.h"
#include "platform/math/Math.h"
#include "tests/world/WorldFixture.h"

namespace coltest {

struct Triangle {
    math::Vec3 a, b, c;
};
using Subset = std::vector<Triangle>;

// A text .x file of one mesh, one material per subset, faces in subset order.
inline void WriteMesh(const std::filesystem::path& path, const std::vector<Subset>& subsets) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream f(path);
    size_t faces = 0;
    for (const Subset& s : subsets)
        faces += s.size();
    f << "xof 0303txt 0032\nMesh m {\n " << 3 * faces << ";\n";
    size_t n = 0;
    for (const Subset& s : subsets)
        for (const Triangle& t : s)
            for (const math::Vec3& p : {t.a, t.b, t.c})
                f << "  " << p.x << ";" << p.y << ";" << p.z << ";" << (++n == 3 * faces ? ";" : ",") << "\n";
    f << " " << faces << ";\n";
    for (size_t i = 0; i < faces; ++i)
        f << "  3;" << 3 * i << "," << 3 * i + 1 << "," << 3 * i + 2 << ";" << (i + 1 == faces ? ";" : ",")
          << "\n";
    f << " MeshMaterialList {\n  " << subsets.size() << ";\n  " << faces << ";\n";
    size_t k = 0;
    for (size_t m = 0; m < subsets.size(); ++m)
        for (size_t i = 0; i < subsets[m].size(); ++i)
            f << "  " << m << (++k == faces ? ";" : ",") << "\n";
    for (size_t m = 0; m < subsets.size(); ++m)
        f << "  Material {\n   1.0;1.0;1.0;1.0;;\n   8.0;\n   0.0;0.0;0.0;;\n   0.0;0.0;0.0;;\n  }\n";
    f << " }\n}\n";
}

// n small triangles side by side along x, one unit apart, in the y = 0 plane.
inline Subset Strip(int n, float z = 0.0f) {
    Subset s;
    for (int i = 0; i < n; ++i)
        s.push_back({{float(i), 0, z}, {float(i), 0, z + 1}, {float(i) + 1, 0, z}});
    return s;
}

// A closed box of the given size standing on y = 0, each side cut into
// 2 x 2 quads: 48 triangles.
inline Subset SubdividedBox(float size) {
    Subset s;
    const float h = size / 2;
    math::Vec3 c[8];
    BoxCorners({-h, 0, -h}, {h, size, h}, c);
    const int sides[6][4] = {{0, 1, 2, 3}, {5, 4, 7, 6}, {4, 0, 3, 7},
                             {1, 5, 6, 2}, {3, 2, 6, 7}, {4, 5, 1, 0}};
    for (const auto& q : sides) {
        const math::Vec3 o = c[q[0]], u = (c[q[1]] - c[q[0]]) * 0.5f, v = (c[q[3]] - c[q[0]]) * 0.5f;
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j) {
                const math::Vec3 p = o + u * float(i) + v * float(j);
                s.push_back({p, p + u, p + u + v});
                s.push_back({p, p + u + v, p + v});
            }
    }
    return s;
}

} // namespace coltest

class CollisionTest : public WorldTest {
  protected:
    void TearDown() override {
        for (Finder* f : finders_)
            g_CollisionMgr.RemoveFinder(f);
        WorldTest::TearDown();
    }

    void Write(const char* file, const std::vector<coltest::Subset>& subsets) {
        std::string path = file;
        for (char& c : path)
            if (c == '\\') c = '/';
        coltest::WriteMesh(dir_ / path, subsets);
    }

    static ObjectRecord* MakeMesh(const char* file, const math::Vec3& position, uint32_t flags,
                                  uint32_t flags2 = 0) {
        AddObjectParams p;
        p.dwType = OT_MESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", file);
        p.vPosition = position;
        p.dwFlags = flags;
        p.dwFlags2 = flags2;
        return g_Engine.AddObject(p);
    }

    static ObjectRecord* MakeSkin(const math::Vec3& position, uint32_t flags) {
        AddObjectParams p;
        p.dwType = OT_SKINMESH;
        std::snprintf(p.szFileName, sizeof p.szFileName, "%s", "chars\\hero.x");
        p.vPosition = position;
        p.dwFlags = flags;
        return g_Engine.AddObject(p);
    }

    // A box finder removed when the test ends.
    Finder* BoxFinder(const math::Vec3& min, const math::Vec3& max) {
        Finder* f = g_CollisionMgr.AddBoxFinder(&min, &max);
        if (f) finders_.push_back(f);
        return f;
    }
    void Remove(Finder* f) {
        std::erase(finders_, f);
        g_CollisionMgr.RemoveFinder(f);
    }

    static bool InList(const Finder* f, const ObjectRecord* h) {
        for (uint32_t i = 0; i < g_CollisionMgr.GetTouchCount(f); ++i)
            if (g_CollisionMgr.GetTouchObject(f, i) == h) return true;
        return false;
    }

    std::vector<Finder*> finders_;
};
