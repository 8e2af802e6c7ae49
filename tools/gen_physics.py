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
    prefabs/special/hurt.x                a unit box: an object of this mesh marks a
                                          NO COLLISION area and leaves the world at
                                          its start
    models/l_prop.x                       an L-shaped prop for mesh-shape bodies:
                                          a 40 x 10 x 10 foot with a 10 x 30 x 10
                                          upright on one end, standing on y = 0

Every triangle has its own three vertices, so welding has work to do.

The player's two bodies and the movement course beside the demo room:

    prefabs/special/hero.x       the standing body: a 32 x 72 x 32 box
    prefabs/special/hero_kuca.x  the crouching body: a 32 x 40 x 32 box
                                 (both centred on their position, as the
                                 engine centres every prefab it loads)
    models/course_stairs16.x     five steps of 16 units, 32 deep, 96 wide,
                                 climbing along +z from z = 0
    models/course_stairs20.x     the same with 20-unit steps
    models/course_ramp40.x       a wedge 96 wide rising along +z to 64 units
    models/course_ramp50.x       at 40 and 50 degrees (built at their size)
    models/course_corner.x       an inner corner of two 128-high walls, the
                                 front one with a 36-unit gap
    models/course_ledge.x        a 96 x 64 x 96 block to stand on and walk off
    models/course_slab.x         a 64 x 4 x 64 slab whose top is cut into
                                 32 triangles: the hurting and killing floors

The joints' demo pieces, each centred on its origin, and their socket files
(scripts/mesh_sockets/, z up as in every socket file):

    models/ceiling_beam.x   a 256 x 16 x 16 beam along x; sockets lamp_hook
                            and chain_hook under it, 64 units either side
    models/hanging_lamp.x   a 24-wide, 24-high lamp shade (12 sides); socket
                            hook on its top
    rigid_body_box.txt      sockets top and bottom of the unit construction box,
                            for the chain links and the sign built from it

The segment test's demo pieces, thin boxes built at their real size:

    prefabs/special/hero_stick.x  the stick marker: a 4 x 64 x 4 post (prefab
                                  meshes are centred when loaded)
    models/curtain.x              a 128-wide, 160-high curtain, 2 thick along x
                                  (the world lets shots through it)
    models/glass_pane.x           a 128 x 128 pane, 2 thick along x (sight
                                  passes through it)
    models/cloth.x                a 96-wide, 128-high hanging cloth, 1 thick
                                  along z (nothing hits it)
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


def hurt():
    return mesh_text("hurt", [("textures\\crate.tga", box_solid((-0.5, -0.5, -0.5), (0.5, 0.5, 0.5)))])


def ceiling_beam():
    return mesh_text("ceiling_beam", [("textures\\crate.tga", box_solid((-128.0, -8.0, -8.0), (128.0, 8.0, 8.0)))])


def hanging_lamp():
    segments, r, h = 12, 12.0, 12.0
    tris = side(r, segments, -h, h, 1) + fan(r, segments, h, True) + fan(r, segments, -h, False)
    return mesh_text("hanging_lamp", [("textures\\crate.tga", tris)])


def joint_pieces():
    """{path: text} of the joint meshes and their socket files."""
    sockets = os.path.join(ROOT, "data", "scripts", "mesh_sockets")
    return {
        os.path.join(OUT, "ceiling_beam.x"): ceiling_beam(),
        os.path.join(OUT, "hanging_lamp.x"): hanging_lamp(),
        os.path.join(sockets, "ceiling_beam.txt"):
            "mesh_filename models\\ceiling_beam.x\nsocket lamp_hook -64 0 -8\nsocket chain_hook 64 0 -8\n",
        os.path.join(sockets, "hanging_lamp.txt"): "mesh_filename models\\hanging_lamp.x\nsocket hook 0 0 12\n",
        os.path.join(sockets, "rigid_body_box.txt"):
            "mesh_filename prefabs\\special\\rigidbody_box.x\nsocket top 0 0 0.5\nsocket bottom 0 0 -0.5\n",
    }


def rigid_body_prefabs():
    prefabs = os.path.join(ROOT, "data", "prefabs", "special")
    return {os.path.join(prefabs, "hurt.x"): hurt(),
            os.path.join(prefabs, "rigidbody_box.x"): rigidbody_box(),
            os.path.join(prefabs, "rigidbody_cylinder.x"): rigidbody_cylinder(),
            os.path.join(prefabs, "rigidbody_sphere.x"): rigidbody_sphere(),
            os.path.join(OUT, "l_prop.x"): l_prop()}


# ---- The player's bodies and the movement course --------------------------------------

def cuboid(lo, hi, top_cuts=1):
    """A closed box from corner lo to corner hi; its top cut into top_cuts^2 quads."""
    (x0, y0, z0), (x1, y1, z1) = lo, hi
    tris = []
    tris += quad([(x0, y0, z0), (x1, y0, z0), (x1, y0, z1), (x0, y0, z1)], (0, -1, 0))
    tris += quad([(x0, y0, z0), (x1, y0, z0), (x1, y1, z0), (x0, y1, z0)], (0, 0, -1))
    tris += quad([(x0, y0, z1), (x1, y0, z1), (x1, y1, z1), (x0, y1, z1)], (0, 0, 1))
    tris += quad([(x0, y0, z0), (x0, y0, z1), (x0, y1, z1), (x0, y1, z0)], (-1, 0, 0))
    tris += quad([(x1, y0, z0), (x1, y0, z1), (x1, y1, z1), (x1, y1, z0)], (1, 0, 0))
    n = top_cuts
    for i in range(n):
        for j in range(n):
            a = (x0 + (x1 - x0) * i / n, y1, z0 + (z1 - z0) * j / n)
            b = (x0 + (x1 - x0) * (i + 1) / n, y1, z0 + (z1 - z0) * (j + 1) / n)
            tris += quad([(a[0], y1, a[2]), (b[0], y1, a[2]), (b[0], y1, b[2]), (a[0], y1, b[2])], (0, 1, 0))
    return tris


def stairs(rise, steps=5, depth=32.0, width=96.0):
    """Steps along +z: each a riser and a tread, closed by the sides and the back."""
    w = width / 2
    tris = []
    for k in range(steps):
        z0, z1, y0, y1 = k * depth, (k + 1) * depth, k * rise, (k + 1) * rise
        tris += quad([(-w, y0, z0), (w, y0, z0), (w, y1, z0), (-w, y1, z0)], (0, 0, -1))
        tris += quad([(-w, y1, z0), (w, y1, z0), (w, y1, z1), (-w, y1, z1)], (0, 1, 0))
        for x, out in ((-w, -1), (w, 1)):
            tris += quad([(x, 0.0, z0), (x, 0.0, z1), (x, y1, z1), (x, y1, z0)], (out, 0, 0))
    z, top = steps * depth, steps * rise
    tris += quad([(-w, 0.0, z), (w, 0.0, z), (w, top, z), (-w, top, z)], (0, 0, 1))
    return tris


def ramp(degrees, height=64.0, width=96.0):
    """A wedge rising along +z from z = 0 to its full height."""
    w = width / 2
    length = round(height / math.tan(math.radians(degrees)), 4)
    up = (0.0, math.cos(math.radians(degrees)), -math.sin(math.radians(degrees)))
    tris = quad([(-w, 0.0, 0.0), (w, 0.0, 0.0), (w, height, length), (-w, height, length)], up)
    tris += quad([(-w, 0.0, length), (w, 0.0, length), (w, height, length), (-w, height, length)], (0, 0, 1))
    for x, out in ((-w, -1), (w, 1)):
        tris.append(facing(((x, 0.0, 0.0), (x, 0.0, length), (x, height, length)), (out, 0, 0)))
    return tris


def corner():
    """A side wall along z at x -72..-64 and a front wall at z 0..8 from it,
    with a gap from x = 0 to 36."""
    h = 128.0
    return (cuboid((-72.0, 0.0, -128.0), (-64.0, h, 8.0)) + cuboid((-64.0, 0.0, 0.0), (0.0, h, 8.0))
            + cuboid((36.0, 0.0, 0.0), (128.0, h, 8.0)))


def course():
    """{path: text} of the bodies and the course pieces."""
    out = {
        os.path.join(ROOT, "data", "prefabs", "special", "hero.x"):
            mesh_text("hero", [("textures\\crate.tga", cuboid((-16.0, -36.0, -16.0), (16.0, 36.0, 16.0)))]),
        os.path.join(ROOT, "data", "prefabs", "special", "hero_kuca.x"):
            mesh_text("hero_kuca", [("textures\\crate.tga", cuboid((-16.0, -20.0, -16.0), (16.0, 20.0, 16.0)))]),
    }
    pieces = {
        "course_stairs16.x": stairs(16.0),
        "course_stairs20.x": stairs(20.0),
        "course_ramp40.x": ramp(40.0),
        "course_ramp50.x": ramp(50.0),
        "course_corner.x": corner(),
        "course_ledge.x": cuboid((-48.0, 0.0, -48.0), (48.0, 64.0, 48.0)),
        "course_slab.x": cuboid((-32.0, 0.0, -32.0), (32.0, 4.0, 32.0), top_cuts=4),
    }
    for name, tris in pieces.items():
        out[os.path.join(OUT, name)] = mesh_text(name[:-2], [("textures\\floor.tga", tris)])
    return out


def segment_test_pieces():
    """The stick marker and the three thin pieces of the segment test's demo,
    standing on y = 0 and centred on x and z."""
    def slab(sx, sy, sz):
        return box_solid((-sx / 2.0, 0.0, -sz / 2.0), (sx / 2.0, sy, sz / 2.0))

    return {
        os.path.join(ROOT, "data", "prefabs", "special", "hero_stick.x"):
            mesh_text("hero_stick", [("textures\\bialy.tga", slab(4.0, 64.0, 4.0))]),
        os.path.join(OUT, "curtain.x"): mesh_text("curtain", [("textures\\grate.tga", slab(2.0, 160.0, 128.0))]),
        os.path.join(OUT, "glass_pane.x"):
            mesh_text("glass_pane", [("textures\\glass.tga", slab(2.0, 128.0, 128.0))]),
        os.path.join(OUT, "cloth.x"): mesh_text("cloth", [("textures\\bialy.tga", slab(96.0, 128.0, 1.0))]),
    }


def main():
    files = {os.path.join(OUT, "pillar.x"): pillar(), os.path.join(OUT, "lamp_base.x"): lamp_base()}
    files.update(rigid_body_prefabs())
    files.update(course())
    files.update(segment_test_pieces())
    files.update(joint_pieces())
    for path, text in files.items():
        with open(path, "w", newline="\n") as f:
            f.write(text)
        print("wrote", os.path.relpath(path, ROOT))


if __name__ == "__main__":
    main()
