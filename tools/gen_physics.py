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


def main():
    for name, text in {"pillar.x": pillar(), "lamp_base.x": lamp_base()}.items():
        with open(os.path.join(OUT, name), "w", newline="\n") as f:
            f.write(text)
        print("wrote", os.path.join("data", "models", name))


if __name__ == "__main__":
    main()
