#!/usr/bin/env python3
"""Writes the collision demo meshes of the demo world worlds\\test.w as text .x files.

    models/pillar.x     a 24-unit-radius, 256-unit-high column: its first
                        subset is the side, 250 triangles (25 segments x 5
                        rings), so it has face groups of 100, 100 and 50; its
                        second subset the two caps (25 triangles each)
    models/lamp_base.x  a small detailed lamp base: a hexagonal foot with a
                        thinner column, 48 triangles, under 30 units on every
                        axis (mode 1 of triangle gathering takes its box)

Both stand on y = 0. Triangles are written clockwise seen from outside
(Direct3D's front faces); every face has its own normal.

It also writes the construction prefabs of rigid bodies (rigid_body_prefabs),
closed solids centred on the origin whose collision vertices are welded into
the body's hull and whose inertia tensors are sampled from them:

    prefabs/special/rigidbody_box.x       a unit box (12 triangles)
    prefabs/special/rigidbody_cylinder.x  radius 0.5, height 1 along y, 24 sides
    prefabs/special/rigidbody_sphere.x    radius 0.5 (by volume), 16 segments by 7 rings
    models/l_prop.x                       an L-shaped prop for mesh-shape bodies:
                                          a 40 x 10 x 10 foot with a 10 x 30 x 10
                                          upright on one end, standing on y = 0

Every triangle has its own three vertices, so welding has work to do.
"""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_meshes as meshes  # noqa: E402  (number format and header)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "data", "models")


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def unit(v):
    n = math.sqrt(dot(v, v))
    return (v[0] / n, v[1] / n, v[2] / n)


def facing(tri, outward):
    """The triangle wound so that (B - A) x (C - A) points along outward."""
    a, b, c = tri
    if dot(cross(sub(b, a), sub(c, a)), outward) < 0:
        return (a, c, b)
    return tri


def quad(corners, outward):
    a, b, c, d = corners
    return [facing((a, b, c), outward), facing((a, c, d), outward)]


def ring(radius, segments, y, phase=0.0):
    # Rounded so that the file's numbers stay short and exact.
    return [(round(radius * math.cos(phase + 2 * math.pi * i / segments), 6), y,
             round(radius * math.sin(phase + 2 * math.pi * i / segments), 6)) for i in range(segments)]


def side(radius, segments, y0, y1, rings):
    tris = []
    for j in range(rings):
        lo = ring(radius, segments, y0 + (y1 - y0) * j / rings)
        hi = ring(radius, segments, y0 + (y1 - y0) * (j + 1) / rings)
        for i in range(segments):
            k = (i + 1) % segments
            mid = ((lo[i][0] + lo[k][0]) / 2, 0.0, (lo[i][2] + lo[k][2]) / 2)
            tris += quad([lo[i], lo[k], hi[k], hi[i]], mid)
    return tris


def fan(radius, segments, y, up):
    points = ring(radius, segments, y)
    centre = (0.0, y, 0.0)
    return [facing((centre, points[i], points[(i + 1) % segments]), (0, 1 if up else -1, 0))
            for i in range(segments)]


def annulus(inner, outer, segments, y):
    a, b = ring(inner, segments, y), ring(outer, segments, y)
    tris = []
    for i in range(segments):
        k = (i + 1) % segments
        tris += quad([a[i], a[k], b[k], b[i]], (0, 1, 0))
    return tris


def mesh_text(name, subsets):
    """subsets: list of (texture, triangles); one material per subset."""
    positions, faces, normals, materials = [], [], [], []
    for m, (_, tris) in enumerate(subsets):
        for tri in tris:
            base = len(positions)
            positions += tri
            faces.append((base, base + 1, base + 2))
            normals.append(unit(cross(sub(tri[1], tri[0]), sub(tri[2], tri[0]))))
            materials.append(m)
    f = meshes.fmt
    lines = ["Frame %s {" % name,
             " FrameTransformMatrix {",
             "  1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;",
             " }",
             " Mesh %s_mesh {" % name,
             "  %d;" % len(positions),
             ",\n".join("  %s;%s;%s;" % tuple(f(c) for c in p) for p in positions) + ";",
             "  %d;" % len(faces),
             ",\n".join("  3;%d,%d,%d;" % face for face in faces) + ";",
             "  MeshNormals {",
             "   %d;" % len(normals),
             ",\n".join("   %s;%s;%s;" % tuple(f(c) for c in n) for n in normals) + ";",
             "   %d;" % len(faces),
             ",\n".join("   3;%d,%d,%d;" % (i, i, i) for i in range(len(faces))) + ";",
             "  }",
             "  MeshMaterialList {",
             "   %d;" % len(subsets),
             "   %d;" % len(faces),
             ",\n".join("   %d" % m for m in materials) + ";"]
    for texture, _ in subsets:
        lines += ["   Material {",
                  "    1.0;1.0;1.0;1.0;;",
                  "    8.0;",
                  "    0.2;0.2;0.2;;",
                  "    0.0;0.0;0.0;;",
                  '    TextureFilename { "%s"; }' % texture.replace("\\", "\\\\"),
                  "   }"]
    lines += ["  }", " }", "}"]
    return meshes.HEADER + "\n".join(lines) + "\n"


def pillar():
    segments, radius, height = 25, 24.0, 256.0
    body = side(radius, segments, 0.0, height, 5)
    caps = fan(radius, segments, height, True) + fan(radius, segments, 0.0, False)
    assert len(body) == 250 and len(caps) == 50
    return mesh_text("pillar", [("textures\\crate.tga", body), ("textures\\floor.tga", caps)])


def lamp_base():
    n = 6
    tris = (side(12.0, n, 0.0, 6.0, 1) + annulus(4.0, 12.0, n, 6.0) + side(4.0, n, 6.0, 26.0, 1)
            + fan(4.0, n, 26.0, True) + fan(12.0, n, 0.0, False))
    assert len(tris) == 48
    return mesh_text("lamp_base", [("textures\\crate.tga", tris)])


def box_solid(lo, hi):
    """The 12 triangles of an axis-aligned box, facing outwards."""
    (x0, y0, z0), (x1, y1, z1) = lo, hi
    sides = [([(x0, y0, z0), (x0, y1, z0), (x0, y1, z1), (x0, y0, z1)], (-1, 0, 0)),
             ([(x1, y0, z0), (x1, y0, z1), (x1, y1, z1), (x1, y1, z0)], (1, 0, 0)),
             ([(x0, y0, z0), (x0, y0, z1), (x1, y0, z1), (x1, y0, z0)], (0, -1, 0)),
             ([(x0, y1, z0), (x1, y1, z0), (x1, y1, z1), (x0, y1, z1)], (0, 1, 0)),
             ([(x0, y0, z0), (x1, y0, z0), (x1, y1, z0), (x0, y1, z0)], (0, 0, -1)),
             ([(x0, y0, z1), (x0, y1, z1), (x1, y1, z1), (x1, y0, z1)], (0, 0, 1))]
    return [t for corners, outward in sides for t in quad(corners, outward)]


def rigidbody_box():
    return mesh_text("rigidbody_box", [("textures\\crate.tga", box_solid((-0.5, -0.5, -0.5), (0.5, 0.5, 0.5)))])


def rigidbody_cylinder():
    segments = 24
    tris = side(0.5, segments, -0.5, 0.5, 1) + fan(0.5, segments, 0.5, True) + fan(0.5, segments, -0.5, False)
    return mesh_text("rigidbody_cylinder", [("textures\\crate.tga", tris)])


def volume(tris):
    """The volume enclosed by outward-facing triangles (tetrahedra from the origin)."""
    return sum(dot(a, cross(b, c)) for a, b, c in tris) / 6.0


def uv_sphere(radius, segments, rings):
    def point(ring_index, i):
        polar = math.pi * ring_index / rings
        azimuth = 2 * math.pi * i / segments
        return (round(radius * math.sin(polar) * math.cos(azimuth), 6), round(radius * math.cos(polar), 6),
                round(radius * math.sin(polar) * math.sin(azimuth), 6))

    tris = []
    for j in range(rings):
        for i in range(segments):
            k = (i + 1) % segments
            a, b, c, d = point(j, i), point(j, k), point(j + 1, k), point(j + 1, i)
            centre = tuple((a[n] + c[n]) / 2 for n in range(3))
            if j == 0:
                tris.append(facing((a, c, d), centre))
            elif j == rings - 1:
                tris.append(facing((a, b, c), centre))
            else:
                tris += quad([a, b, c, d], centre)
    assert len(tris) == 2 * segments * (rings - 1)
    return tris


def rigidbody_sphere():
    """16 segments by 7 rings: an odd count keeps every ring off the equator
    plane, and the smallest triangles (at the poles) stay above the size the
    segment test takes for degenerate. An inscribed polyhedron this coarse
    holds 7% less volume than the sphere, so its vertices lie on the radius
    that gives it the sphere's volume (0.513)."""
    segments, rings, r = 16, 7, 0.5
    inscribed = volume(uv_sphere(r, segments, rings))
    scale = (4.0 / 3.0 * math.pi * r ** 3 / inscribed) ** (1.0 / 3.0)
    return mesh_text("rigidbody_sphere", [("textures\\crate.tga", uv_sphere(r * scale, segments, rings))])


def l_prop():
    """The foot and the upright as one closed surface: the foot's top is left
    out where the upright stands on it, and so is the upright's bottom."""
    def on_plane_y10(t):
        return all(v[1] == 10.0 for v in t)

    foot = [t for t in box_solid((-20.0, 0.0, -5.0), (20.0, 10.0, 5.0)) if not on_plane_y10(t)]
    foot_top = quad([(-20.0, 10.0, -5.0), (10.0, 10.0, -5.0), (10.0, 10.0, 5.0), (-20.0, 10.0, 5.0)], (0, 1, 0))
    upright = [t for t in box_solid((10.0, 10.0, -5.0), (20.0, 40.0, 5.0)) if not on_plane_y10(t)]
    return mesh_text("l_prop", [("textures\\crate.tga", foot + foot_top + upright)])


def rigid_body_prefabs():
    prefabs = os.path.join(ROOT, "data", "prefabs", "special")
    return {os.path.join(prefabs, "rigidbody_box.x"): rigidbody_box(),
            os.path.join(prefabs, "rigidbody_cylinder.x"): rigidbody_cylinder(),
            os.path.join(prefabs, "rigidbody_sphere.x"): rigidbody_sphere(),
            os.path.join(OUT, "l_prop.x"): l_prop()}


def main():
    files = {os.path.join(OUT, "pillar.x"): pillar(), os.path.join(OUT, "lamp_base.x"): lamp_base()}
    files.update(rigid_body_prefabs())
    for path, text in files.items():
        with open(path, "w", newline="\n") as f:
            f.write(text)
        print("wrote", os.path.relpath(path, ROOT))


if __name__ == "__main__":
    main()
