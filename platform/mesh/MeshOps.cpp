#include "platform/mesh/MeshOps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numeric>

#include "platform/math/Math.h"

namespace mesh {
namespace {

// Union-find over vertex indices; the representative is the smallest index.
struct Sets {
    std::vector<uint32_t> parent;
    explicit Sets(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0u); }
    uint32_t Find(uint32_t i) {
        while (parent[i] != i) {
            parent[i] = parent[parent[i]];
            i = parent[i];
        }
        return i;
    }
    void Join(uint32_t a, uint32_t b) {
        a = Find(a);
        b = Find(b);
        if (a != b) parent[std::max(a, b)] = std::min(a, b);
    }
};

// A value's cell on a grid of eps-wide cells (values within eps are in the
// same or neighbouring cells); with eps 0 the value itself, as an ordered
// integer (0 and -0 alike).
int64_t CellOf(float v, float eps) {
    if (eps > 0) return int64_t(std::clamp(std::floor(double(v) / eps), -9.0e18, 9.0e18));
    if (v == 0) v = 0;
    int32_t bits;
    std::memcpy(&bits, &v, 4);
    return bits < 0 ? -int64_t(bits & 0x7FFFFFFF) : int64_t(bits);
}

// Clusters of vertices with equal bucket whose D values all differ by at
// most eps: the representative (smallest index) of each vertex's cluster.
// Vertices are sorted by grid cell; each is compared with those of its own
// and the neighbouring cells only.
template <int D, typename Values>
std::vector<uint32_t> Cluster(size_t n, const std::vector<uint32_t>* bucket, float eps, Values values) {
    struct Key {
        int64_t cell[D + 1]; // bucket, then the cells
        uint32_t index;
    };
    std::vector<Key> keys(n);
    for (uint32_t i = 0; i < n; ++i) {
        const auto v = values(i);
        keys[i].cell[0] = bucket ? (*bucket)[i] : 0;
        for (int k = 0; k < D; ++k)
            keys[i].cell[k + 1] = CellOf(v[k], eps);
        keys[i].index = i;
    }
    auto cellLess = [](const Key& a, const Key& b) {
        return std::lexicographical_compare(a.cell, a.cell + D + 1, b.cell, b.cell + D + 1);
    };
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        return cellLess(a, b) || (!cellLess(b, a) && a.index < b.index);
    });
    int neighbours = 1;
    for (int k = 0; k < D && eps > 0; ++k)
        neighbours *= 3;
    const int own = (neighbours - 1) / 2; // the offset (0, ..., 0)
    Sets sets(n);
    Key probe;
    for (size_t i = 0; i < n; ++i) {
        const Key& a = keys[i];
        // Values of one cell are within eps of each other: joining each with
        // the next of its cell joins them all.
        if (i + 1 < n && !cellLess(a, keys[i + 1])) sets.Join(a.index, keys[i + 1].index);
        if (eps == 0) continue;
        const auto va = values(a.index);
        for (int m = 0; m < neighbours; ++m) {
            if (m == own) continue;
            probe.cell[0] = a.cell[0];
            for (int k = 0, r = m; k < D; ++k, r /= 3)
                probe.cell[k + 1] = a.cell[k + 1] + (eps > 0 ? r % 3 - 1 : 0);
            auto it = std::lower_bound(keys.begin(), keys.end(), probe, cellLess);
            for (; it != keys.end() && !cellLess(probe, *it); ++it) {
                const auto vb = values(it->index);
                bool near = true;
                for (int k = 0; k < D && near; ++k)
                    near = std::fabs(vb[k] - va[k]) <= eps;
                if (near) sets.Join(a.index, it->index);
            }
        }
    }
    std::vector<uint32_t> rep(n);
    for (uint32_t i = 0; i < n; ++i)
        rep[i] = sets.Find(i);
    return rep;
}

std::array<float, 3> Of(const math::Vec3& v) {
    return {v.x, v.y, v.z};
}

template <typename D> std::vector<uint32_t> PositionReps(const D& d, float eps) {
    return Cluster<3>(d.vertices.size(), nullptr, eps,
                      [&](uint32_t i) { return Of(d.vertices[i].position); });
}

// Faces around each vertex, as offsets into one list.
struct VertexFaces {
    std::vector<uint32_t> start, faces;
    VertexFaces(const std::vector<uint32_t>& indices, size_t numVertices) : start(numVertices + 1, 0) {
        for (uint32_t v : indices)
            ++start[v + 1];
        for (size_t v = 0; v < numVertices; ++v)
            start[v + 1] += start[v];
        faces.resize(indices.size());
        std::vector<uint32_t> fill(start.begin(), start.end() - 1);
        for (size_t c = 0; c < indices.size(); ++c)
            faces[fill[indices[c]]++] = uint32_t(c / 3);
    }
};

// Removes unused vertices (keeping the order of the rest) and faces whose
// corners repeat a vertex.
template <typename D> void Compact(D* d) {
    std::vector<uint32_t> indices, attributes;
    indices.reserve(d->indices.size());
    attributes.reserve(d->attributes.size());
    for (size_t f = 0; f < d->attributes.size(); ++f) {
        const uint32_t* c = &d->indices[3 * f];
        if (c[0] == c[1] || c[1] == c[2] || c[0] == c[2]) continue;
        indices.insert(indices.end(), c, c + 3);
        attributes.push_back(d->attributes[f]);
    }
    std::vector<uint32_t> remap(d->vertices.size(), kNoFace);
    for (uint32_t v : indices)
        remap[v] = 0;
    std::vector<typename D::VertexType> vertices;
    vertices.reserve(d->vertices.size());
    for (size_t v = 0; v < d->vertices.size(); ++v) {
        if (remap[v] == kNoFace) continue;
        remap[v] = uint32_t(vertices.size());
        vertices.push_back(d->vertices[v]);
    }
    for (uint32_t& v : indices)
        v = remap[v];
    d->vertices = std::move(vertices);
    d->indices = std::move(indices);
    d->attributes = std::move(attributes);
}

// ---- Vertex-cache order (scores after Tom Forsyth's linear-speed method) ----

constexpr int kCacheSize = 32;

float VertexScore(int cachePosition, uint32_t remaining) {
    if (remaining == 0) return -1.0f;
    float score = 0;
    if (cachePosition >= 0) {
        score = cachePosition < 3 ? 0.75f
                                  : std::pow(1.0f - float(cachePosition - 3) / float(kCacheSize - 3), 1.5f);
    }
    return score + 2.0f / std::sqrt(float(remaining));
}

// Reorders the faces [first, first + count) of the index list.
void CacheOrder(std::vector<uint32_t>* indices, uint32_t first, uint32_t count, size_t numVertices,
                std::vector<uint32_t>* scratch) {
    if (count < 2) return;
    uint32_t* idx = indices->data() + size_t(first) * 3;
    // Local vertex numbers, so that the work is sized by the range.
    std::vector<uint32_t>& local = *scratch;
    local.assign(numVertices, kNoFace);
    std::vector<uint32_t> globalOf;
    std::vector<uint32_t> corners(size_t(count) * 3);
    for (size_t c = 0; c < corners.size(); ++c) {
        uint32_t& l = local[idx[c]];
        if (l == kNoFace) {
            l = uint32_t(globalOf.size());
            globalOf.push_back(idx[c]);
        }
        corners[c] = l;
    }
    const size_t nv = globalOf.size();
    VertexFaces around(corners, nv);
    std::vector<uint32_t> remaining(nv);
    for (size_t v = 0; v < nv; ++v)
        remaining[v] = around.start[v + 1] - around.start[v];
    std::vector<int> cachePos(nv, -1);
    std::vector<float> vscore(nv);
    for (size_t v = 0; v < nv; ++v)
        vscore[v] = VertexScore(-1, remaining[v]);
    std::vector<float> fscore(count);
    std::vector<uint8_t> done(count, 0);
    for (uint32_t f = 0; f < count; ++f)
        fscore[f] = vscore[corners[3 * f]] + vscore[corners[3 * f + 1]] + vscore[corners[3 * f + 2]];

    std::vector<uint32_t> out;
    out.reserve(corners.size());
    int cache[kCacheSize + 3];
    int cacheCount = 0;
    uint32_t best = uint32_t(std::max_element(fscore.begin(), fscore.end()) - fscore.begin());
    uint32_t cursor = 0;
    for (uint32_t emitted = 0; emitted < count; ++emitted) {
        if (best == kNoFace) {
            while (done[cursor])
                ++cursor;
            best = cursor;
        }
        done[best] = 1;
        const uint32_t* fc = &corners[3 * size_t(best)];
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = fc[k];
            out.push_back(globalOf[v]);
            // Drop the face from the vertex's remaining faces.
            uint32_t* list = &around.faces[around.start[v]];
            for (uint32_t i = 0; i < remaining[v]; ++i) {
                if (list[i] == best) {
                    list[i] = list[--remaining[v]];
                    break;
                }
            }
        }
        // The face's vertices move to the front of the cache.
        int next[kCacheSize + 3];
        int n = 0;
        for (int k = 0; k < 3; ++k)
            next[n++] = int(fc[k]);
        for (int i = 0; i < cacheCount; ++i) {
            const int v = cache[i];
            if (v != int(fc[0]) && v != int(fc[1]) && v != int(fc[2])) next[n++] = v;
        }
        for (int i = 0; i < n; ++i) {
            const int v = next[i];
            cachePos[v] = i < kCacheSize ? i : -1;
            vscore[v] = VertexScore(cachePos[v], remaining[v]);
        }
        cacheCount = std::min(n, kCacheSize);
        std::copy(next, next + cacheCount, cache);
        // The best face among those touching the cache.
        best = kNoFace;
        float bestScore = -1e30f;
        for (int i = 0; i < n; ++i) {
            const uint32_t v = uint32_t(next[i]);
            const uint32_t* list = &around.faces[around.start[v]];
            for (uint32_t j = 0; j < remaining[v]; ++j) {
                const uint32_t f = list[j];
                const float s =
                    vscore[corners[3 * f]] + vscore[corners[3 * f + 1]] + vscore[corners[3 * f + 2]];
                fscore[f] = s;
                if (s > bestScore) {
                    bestScore = s;
                    best = f;
                }
            }
        }
    }
    std::copy(out.begin(), out.end(), idx);
}

// A unit vector across v; (1, 0, 0) for a zero v.
math::Vec3 AnyPerpendicular(const math::Vec3& v) {
    const math::Vec3 p =
        math::Vec3Cross(std::fabs(v.x) < 0.9f ? math::Vec3{1, 0, 0} : math::Vec3{0, 1, 0}, v);
    return math::Vec3LengthSq(p) < 1e-12f ? math::Vec3{1, 0, 0} : math::Vec3Normalize(p);
}

} // namespace

template <typename D> std::vector<uint32_t> GenerateAdjacency(const D& d, float epsilon) {
    const size_t numFaces = d.FaceCount();
    const std::vector<uint32_t> rep = PositionReps(d, epsilon);
    struct Edge {
        uint64_t key; // from, to point
        uint32_t corner;
    };
    std::vector<Edge> edges;
    edges.reserve(numFaces * 3);
    auto point = [&](size_t f, int k) { return rep[d.indices[3 * f + size_t(k % 3)]]; };
    for (size_t f = 0; f < numFaces; ++f)
        for (int k = 0; k < 3; ++k)
            edges.push_back({uint64_t(point(f, k)) << 32 | point(f, k + 1), uint32_t(3 * f + k)});
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) {
        return a.key != b.key ? a.key < b.key : a.corner < b.corner;
    });
    std::vector<uint32_t> adjacency(numFaces * 3, kNoFace);
    std::vector<uint8_t> paired(numFaces * 3, 0);
    for (size_t f = 0; f < numFaces; ++f) {
        for (int k = 0; k < 3; ++k) {
            const uint32_t corner = uint32_t(3 * f + k);
            const uint32_t a = point(f, k), b = point(f, k + 1);
            if (paired[corner] || a == b) continue;
            const uint64_t reverse = uint64_t(b) << 32 | a;
            auto it = std::lower_bound(edges.begin(), edges.end(), reverse,
                                       [](const Edge& e, uint64_t key) { return e.key < key; });
            for (; it != edges.end() && it->key == reverse; ++it) {
                if (paired[it->corner] || it->corner / 3 == f) continue;
                paired[corner] = paired[it->corner] = 1;
                adjacency[corner] = it->corner / 3;
                adjacency[it->corner] = uint32_t(f);
                break;
            }
        }
    }
    return adjacency;
}

template <typename D> std::vector<uint32_t> CleanMesh(D* d, const std::vector<uint32_t>& adjacency) {
    const size_t numFaces = d->FaceCount();
    std::vector<uint32_t> groups(d->vertices.size(), 0);
    uint32_t nextGroup = 1;
    auto copyVertex = [&](uint32_t v, uint32_t group) {
        d->vertices.push_back(d->vertices[v]);
        groups.push_back(group);
        return uint32_t(d->vertices.size() - 1);
    };

    // Back-facing pairs: the same three vertices, the other winding.
    struct Triple {
        uint32_t v[3];
        uint32_t face;
    };
    std::vector<Triple> triples(numFaces);
    for (uint32_t f = 0; f < numFaces; ++f) {
        Triple& t = triples[f];
        std::copy_n(&d->indices[3 * f], 3, t.v);
        std::sort(t.v, t.v + 3);
        t.face = f;
    }
    std::sort(triples.begin(), triples.end(), [](const Triple& a, const Triple& b) {
        return std::lexicographical_compare(a.v, a.v + 3, b.v, b.v + 3) ||
               (std::equal(a.v, a.v + 3, b.v) && a.face < b.face);
    });
    auto sameWinding = [&](uint32_t f, uint32_t g) {
        const uint32_t* a = &d->indices[3 * f];
        const uint32_t* b = &d->indices[3 * g];
        for (int r = 0; r < 3; ++r)
            if (a[0] == b[r] && a[1] == b[(r + 1) % 3] && a[2] == b[(r + 2) % 3]) return true;
        return false;
    };
    for (size_t i = 1; i < triples.size(); ++i) {
        const Triple& t = triples[i];
        if (!std::equal(t.v, t.v + 3, triples[i - 1].v) || t.v[0] == t.v[1] || t.v[1] == t.v[2]) continue;
        // Compare with the first face of the run of equal triples.
        size_t first = i - 1;
        while (first > 0 && std::equal(t.v, t.v + 3, triples[first - 1].v))
            --first;
        if (sameWinding(t.face, triples[first].face)) continue;
        const uint32_t group = nextGroup++;
        for (int k = 0; k < 3; ++k) {
            uint32_t& c = d->indices[3 * size_t(t.face) + k];
            c = copyVertex(c, group);
        }
    }

    // Bow-ties: the faces around a vertex in more than one fan.
    const size_t numVertices = d->vertices.size();
    VertexFaces around(d->indices, numVertices);
    std::vector<uint32_t> fan;
    for (uint32_t v = 0; v < numVertices; ++v) {
        const uint32_t* faces = &around.faces[around.start[v]];
        const uint32_t n = around.start[v + 1] - around.start[v];
        if (n < 2) continue;
        fan.assign(n, 0);
        std::iota(fan.begin(), fan.end(), 0u);
        auto find = [&](uint32_t i) {
            while (fan[i] != i)
                i = fan[i] = fan[fan[i]];
            return i;
        };
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t f = faces[i];
            for (int k = 0; k < 3; ++k) {
                const uint32_t g =
                    adjacency.size() > 3 * size_t(f) + k ? adjacency[3 * size_t(f) + k] : kNoFace;
                if (g == kNoFace) continue;
                // Only edges through v join fans.
                if (d->indices[3 * size_t(f) + k] != v && d->indices[3 * size_t(f) + (k + 1) % 3] != v)
                    continue;
                for (uint32_t j = 0; j < n; ++j) {
                    if (faces[j] != g) continue;
                    const uint32_t a = find(i), b = find(j);
                    if (a != b) fan[std::max(a, b)] = std::min(a, b);
                }
            }
        }
        // The fan holding the first face keeps v; every other fan gets a copy.
        std::vector<std::pair<uint32_t, uint32_t>> copies; // fan root, new vertex
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t root = find(i);
            if (root == find(0)) continue;
            uint32_t nv = kNoFace;
            for (const auto& [r, c] : copies)
                if (r == root) nv = c;
            if (nv == kNoFace) {
                nv = copyVertex(v, nextGroup++);
                copies.push_back({root, nv});
            }
            for (int k = 0; k < 3; ++k) {
                uint32_t& c = d->indices[3 * size_t(faces[i]) + k];
                if (c == v) c = nv;
            }
        }
    }
    return groups;
}

template <typename D> void WeldVertices(D* d, const std::vector<uint32_t>* groups) {
    using V = typename D::VertexType;
    const size_t n = d->vertices.size();
    if (n == 0) return;
    std::vector<V>& vs = d->vertices;
    // Positions first; the other components are snapped only between
    // vertices at one point.
    const std::vector<uint32_t> point = PositionReps(*d, kWeldEpsilon);
    for (size_t i = 0; i < n; ++i)
        vs[i].position = vs[point[i]].position;
    // Vertices by point. The other components are compared only within a
    // point: pairwise while points hold few vertices (the usual case), else
    // through the grid of Cluster.
    std::vector<uint32_t> byPoint(n);
    std::iota(byPoint.begin(), byPoint.end(), 0u);
    std::stable_sort(byPoint.begin(), byPoint.end(),
                     [&](uint32_t a, uint32_t b) { return point[a] < point[b]; });
    constexpr size_t kPairwise = 64;
    size_t largest = 0;
    for (size_t i = 0, j = 0; i < n; i = j) {
        for (j = i; j < n && point[byPoint[j]] == point[byPoint[i]]; ++j) {
        }
        largest = std::max(largest, j - i);
    }
    auto near3 = [](const math::Vec3& a, const math::Vec3& b) {
        return std::fabs(a.x - b.x) <= kWeldEpsilon && std::fabs(a.y - b.y) <= kWeldEpsilon &&
               std::fabs(a.z - b.z) <= kWeldEpsilon;
    };
    auto snap3 = [&](math::Vec3 V::*member) {
        if (largest > kPairwise) {
            const std::vector<uint32_t> rep =
                Cluster<3>(n, &point, kWeldEpsilon, [&](uint32_t i) { return Of(vs[i].*member); });
            for (size_t i = 0; i < n; ++i)
                vs[i].*member = vs[rep[i]].*member;
            return;
        }
        // Each vertex takes the value of the first one of its point near it.
        for (size_t i = 0, j = 0; i < n; i = j) {
            for (j = i; j < n && point[byPoint[j]] == point[byPoint[i]]; ++j)
                for (size_t k = i; k < j; ++k)
                    if (near3(vs[byPoint[k]].*member, vs[byPoint[j]].*member)) {
                        vs[byPoint[j]].*member = vs[byPoint[k]].*member;
                        break;
                    }
        }
    };
    snap3(&V::normal);
    snap3(&V::tangent);
    snap3(&V::binormal);
    if (largest > kPairwise) {
        const std::vector<uint32_t> uvRep = Cluster<2>(n, &point, kWeldEpsilon, [&](uint32_t i) {
            return std::array<float, 2>{vs[i].uv.x, vs[i].uv.y};
        });
        for (size_t i = 0; i < n; ++i)
            vs[i].uv = vs[uvRep[i]].uv;
    } else {
        for (size_t i = 0, j = 0; i < n; i = j) {
            for (j = i; j < n && point[byPoint[j]] == point[byPoint[i]]; ++j)
                for (size_t k = i; k < j; ++k) {
                    const math::Vec2 a = vs[byPoint[k]].uv, b = vs[byPoint[j]].uv;
                    if (std::fabs(a.x - b.x) <= kWeldEpsilon && std::fabs(a.y - b.y) <= kWeldEpsilon) {
                        vs[byPoint[j]].uv = a;
                        break;
                    }
                }
        }
    }

    // Equal vertices become the first of them.
    auto group = [&](uint32_t i) { return groups && i < groups->size() ? (*groups)[i] : 0u; };
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    auto compare = [&](uint32_t a, uint32_t b) {
        if (group(a) != group(b)) return group(a) < group(b) ? -1 : 1;
        // Every byte: the vertex layouts have no padding (their sizes are checked).
        return std::memcmp(&vs[a], &vs[b], sizeof(V));
    };
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const int c = compare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    std::vector<uint32_t> same(n);
    for (size_t i = 0; i < n; ++i)
        same[order[i]] = i > 0 && compare(order[i - 1], order[i]) == 0 ? same[order[i - 1]] : order[i];
    for (uint32_t& c : d->indices)
        c = same[c];
    Compact(d);
}

template <typename D>
bool ValidateMesh(const D& d, const std::vector<uint32_t>& adjacency, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        return false;
    };
    const size_t numFaces = d.FaceCount();
    if (d.indices.size() != numFaces * 3) return fail("index count does not match the faces");
    for (size_t f = 0; f < numFaces; ++f) {
        const uint32_t* c = &d.indices[3 * f];
        for (int k = 0; k < 3; ++k)
            if (c[k] >= d.vertices.size())
                return fail("face " + std::to_string(f) + " uses vertex " + std::to_string(c[k]) + " of " +
                            std::to_string(d.vertices.size()));
        if (c[0] == c[1] || c[1] == c[2] || c[0] == c[2])
            return fail("face " + std::to_string(f) + " is degenerate");
    }
    if (adjacency.size() != numFaces * 3) return fail("adjacency does not match the faces");
    for (size_t e = 0; e < adjacency.size(); ++e) {
        const uint32_t g = adjacency[e];
        if (g == kNoFace) continue;
        if (g >= numFaces) return fail("adjacency names face " + std::to_string(g));
        const uint32_t* back = &adjacency[3 * size_t(g)];
        if (back[0] != e / 3 && back[1] != e / 3 && back[2] != e / 3)
            return fail("faces " + std::to_string(e / 3) + " and " + std::to_string(g) +
                        " disagree on adjacency");
    }
    return true;
}

template <typename D> void OptimizeMesh(D* d) {
    const size_t numFaces = d->FaceCount();
    std::vector<uint32_t> order(numFaces);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return d->attributes[a] < d->attributes[b]; });
    std::vector<uint32_t> indices(numFaces * 3), attributes(numFaces);
    for (size_t i = 0; i < numFaces; ++i) {
        std::copy_n(&d->indices[3 * size_t(order[i])], 3, &indices[3 * i]);
        attributes[i] = d->attributes[order[i]];
    }

    std::vector<uint32_t> scratch;
    for (uint32_t f = 0; f < numFaces;) {
        uint32_t end = f;
        while (end < numFaces && attributes[end] == attributes[f])
            ++end;
        CacheOrder(&indices, f, end - f, d->vertices.size(), &scratch);
        f = end;
    }

    // Vertices by first use, each range with its own.
    std::vector<uint32_t> newIndex(d->vertices.size(), kNoFace), rangeOf(d->vertices.size(), kNoFace);
    std::vector<typename D::VertexType> vertices;
    vertices.reserve(d->vertices.size());
    uint32_t range = 0;
    for (size_t c = 0; c < indices.size(); ++c) {
        if (c % 3 == 0 && c > 0 && attributes[c / 3] != attributes[c / 3 - 1]) ++range;
        const uint32_t v = indices[c];
        if (rangeOf[v] != range) {
            rangeOf[v] = range;
            newIndex[v] = uint32_t(vertices.size());
            vertices.push_back(d->vertices[v]);
        }
        indices[c] = newIndex[v];
    }
    d->vertices = std::move(vertices);
    d->indices = std::move(indices);
    d->attributes = std::move(attributes);
    BuildAttributeTable(d);
}

template <typename D> void ComputeTangentFrames(D* d) {
    const size_t n = d->vertices.size();
    std::vector<math::Vec3> tangent(n), binormal(n);
    for (size_t f = 0; f < d->FaceCount(); ++f) {
        const uint32_t* c = &d->indices[3 * f];
        const auto& v0 = d->vertices[c[0]];
        const auto& v1 = d->vertices[c[1]];
        const auto& v2 = d->vertices[c[2]];
        const math::Vec3 e1 = v1.position - v0.position, e2 = v2.position - v0.position;
        const float du1 = v1.uv.x - v0.uv.x, dv1 = v1.uv.y - v0.uv.y;
        const float du2 = v2.uv.x - v0.uv.x, dv2 = v2.uv.y - v0.uv.y;
        const float det = du1 * dv2 - du2 * dv1;
        if (std::fabs(det) < 1e-12f) continue;
        const math::Vec3 t = math::Vec3Normalize((e1 * dv2 - e2 * dv1) / det);
        const math::Vec3 b = math::Vec3Normalize((e2 * du1 - e1 * du2) / det);
        for (int k = 0; k < 3; ++k) {
            const math::Vec3& p = d->vertices[c[k]].position;
            const math::Vec3 a = d->vertices[c[(k + 1) % 3]].position - p;
            const math::Vec3 z = d->vertices[c[(k + 2) % 3]].position - p;
            const float la = math::Vec3Length(a), lz = math::Vec3Length(z);
            if (la == 0 || lz == 0) continue;
            const float angle = std::acos(std::clamp(math::Vec3Dot(a, z) / (la * lz), -1.0f, 1.0f));
            tangent[c[k]] += t * angle;
            binormal[c[k]] += b * angle;
        }
    }
    for (size_t i = 0; i < n; ++i) {
        auto& v = d->vertices[i];
        const math::Vec3 nrm = v.normal;
        math::Vec3 t = tangent[i] - nrm * math::Vec3Dot(nrm, tangent[i]);
        // No texture direction here (or no normal): any direction across.
        if (math::Vec3LengthSq(t) < 1e-12f) t = AnyPerpendicular(nrm);
        t = math::Vec3Normalize(t);
        math::Vec3 b =
            binormal[i] - nrm * math::Vec3Dot(nrm, binormal[i]) - t * math::Vec3Dot(t, binormal[i]);
        if (math::Vec3LengthSq(b) < 1e-12f) b = math::Vec3Cross(nrm, t);
        if (math::Vec3LengthSq(b) < 1e-12f) b = AnyPerpendicular(t);
        v.tangent = t;
        v.binormal = math::Vec3Normalize(b);
    }
}

// The operations for both vertex layouts.
#define ZT_MESH_OPS(D)                                                                                       \
    template std::vector<uint32_t> GenerateAdjacency(const D&, float);                                       \
    template std::vector<uint32_t> CleanMesh(D*, const std::vector<uint32_t>&);                              \
    template void WeldVertices(D*, const std::vector<uint32_t>*);                                            \
    template bool ValidateMesh(const D&, const std::vector<uint32_t>&, std::string*);                        \
    template void OptimizeMesh(D*);                                                                          \
    template void ComputeTangentFrames(D*);
ZT_MESH_OPS(MeshData)
ZT_MESH_OPS(SkinnedMeshData)
#undef ZT_MESH_OPS

double AverageCacheMissRatio(const std::vector<uint32_t>& indices, uint32_t cacheSize) {
    if (indices.size() < 3 || cacheSize == 0) return 0;
    std::vector<uint32_t> fifo(cacheSize, kNoFace);
    size_t head = 0, misses = 0;
    for (uint32_t v : indices) {
        if (std::find(fifo.begin(), fifo.end(), v) != fifo.end()) continue;
        ++misses;
        fifo[head] = v;
        head = (head + 1) % cacheSize;
    }
    return double(misses) / double(indices.size() / 3);
}

} // namespace mesh
