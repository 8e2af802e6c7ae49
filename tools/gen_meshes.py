#!/usr/bin/env python3
"""Writes the demo meshes as DirectX .x files, in each of the file's forms.

    models/box.x       a 64-unit crate standing on the origin (y from 0 to 64), text
    models/plane.x     a 1024 x 1024 floor at y = 0, facing up, compressed text (tzip)
    models/water.x     a 256 x 256 pool surface at y = 0, facing up, its texture
                       repeated twice, text
    models/lava.x      a 256 x 256 lava surface at y = 0, facing up, text
    models/crate.x     a 48-unit crate whose top is a grate (two materials), binary
    prefabs/props/crate_offset.x     a 32-unit crate authored 200 units off its
                                     origin, binary; the mesh manager centres it
    prefabs/props/marker_nocenter.x  a 16-unit post authored beside its origin,
                                     compressed binary (bzip); kept where authored
    models/tree.x      a tree (is_it_tree in the world): a 16-unit trunk 160 high
                       (bark.tga) and two crossed upright leaf quads 160 wide
                       from y = 80 to 240 (leaves.tga, transparent), binary
    models/sky.x       the sky: a 1920-unit box around the origin (the eye) seen
                       from inside, binary. Its walls are cut into bands by
                       height, one material each: below the horizon (y < 0,
                       with the floor), 0..320, 320..640, 640..960, and the
                       ceiling (the zenith); a sixth, translucent material
                       is a 960 x 960 cloud layer at y = 720 under the
                       zenith, last so that it is drawn over it
    models/alcove_floor.x  an inside alcove floor under the hall lamp: 256 x 256
                       facing up in 16 x 16 quads sharing their corners, text,
                       with the lamp's light baked into its vertex colours
                       (MeshVertexColors): the lamp's colour times its power
                       times (1 - distance / range)^2 from where the world
                       places it, clamped to 0..1

Each face has its own normals and texture coordinates, and each material a
texture file name. The optimised-mesh cache entries (!opt) of the rewritten
meshes are deleted, so that the next run rebuilds them. Run from anywhere:
the files go next to this script's repository root.
"""
import os
import struct
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "data")

HEADER = "xof 0303txt 0032\n"


def fmt(v):
    return ("%.6f" % v).rstrip("0").rstrip(".") if v != int(v) else "%d.0" % v


def mesh_text(mesh_name, quads, texture, diffuse=(1.0, 1.0, 1.0, 1.0), repeat=1.0):
    """quads: list of (normal, [4 corners]) with corners clockwise seen from the normal side."""
    positions, uvs, faces, normals = [], [], [], []
    for n, (normal, corners) in enumerate(quads):
        base = len(positions)
        positions += corners
        uvs += [(0, 0), (repeat, 0), (repeat, repeat), (0, repeat)]
        faces.append([base, base + 1, base + 2, base + 3])
        normals.append(normal)
    lines = []
    lines.append("Frame %s {" % mesh_name)
    lines.append(" FrameTransformMatrix {")
    lines.append("  1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;")
    lines.append(" }")
    lines.append(" Mesh %s_mesh {" % mesh_name)
    lines.append("  %d;" % len(positions))
    lines.append(",\n".join("  %s;%s;%s;" % tuple(fmt(c) for c in p) for p in positions) + ";")
    lines.append("  %d;" % len(faces))
    lines.append(",\n".join("  4;%d,%d,%d,%d;" % tuple(f) for f in faces) + ";")
    lines.append("  MeshNormals {")
    lines.append("   %d;" % len(normals))
    lines.append(",\n".join("   %s;%s;%s;" % tuple(fmt(c) for c in nrm) for nrm in normals) + ";")
    lines.append("   %d;" % len(faces))
    lines.append(",\n".join("   4;%d,%d,%d,%d;" % (i, i, i, i) for i in range(len(faces))) + ";")
    lines.append("  }")
    lines.append("  MeshTextureCoords {")
    lines.append("   %d;" % len(uvs))
    lines.append(",\n".join("   %s;%s;" % tuple(fmt(c) for c in uv) for uv in uvs) + ";")
    lines.append("  }")
    lines.append("  MeshMaterialList {")
    lines.append("   1;")
    lines.append("   %d;" % len(faces))
    lines.append(",\n".join("   0" for _ in faces) + ";")
    lines.append("   Material {")
    lines.append("    %s;%s;%s;%s;;" % tuple(fmt(c) for c in diffuse))
    lines.append("    8.0;")
    lines.append("    0.2;0.2;0.2;;")
    lines.append("    0.0;0.0;0.0;;")
    lines.append('    TextureFilename { "%s"; }' % texture.replace("\\", "\\\\"))
    lines.append("   }")
    lines.append("  }")
    lines.append(" }")
    lines.append("}")
    return HEADER + "\n".join(lines) + "\n"


def box(size, height):
    h = size / 2.0
    x0, x1, y0, y1, z0, z1 = -h, h, 0.0, height, -h, h
    # Corners clockwise seen from outside (Direct3D's front faces).
    return [
        ((0, 0, -1), [(x0, y1, z0), (x1, y1, z0), (x1, y0, z0), (x0, y0, z0)]),
        ((0, 0, 1), [(x1, y1, z1), (x0, y1, z1), (x0, y0, z1), (x1, y0, z1)]),
        ((-1, 0, 0), [(x0, y1, z1), (x0, y1, z0), (x0, y0, z0), (x0, y0, z1)]),
        ((1, 0, 0), [(x1, y1, z0), (x1, y1, z1), (x1, y0, z1), (x1, y0, z0)]),
        ((0, 1, 0), [(x0, y1, z1), (x1, y1, z1), (x1, y1, z0), (x0, y1, z0)]),
        ((0, -1, 0), [(x0, y0, z0), (x1, y0, z0), (x1, y0, z1), (x0, y0, z1)]),
    ]


def plane(size):
    h = size / 2.0
    return [((0, 1, 0), [(-h, 0.0, h), (h, 0.0, h), (h, 0.0, -h), (-h, 0.0, -h)])]


def quads_to_mesh(quads, materials_of_quads):
    """Positions, triangles (fans of the quads), per-face normals, uvs, face materials."""
    positions, uvs, faces, normals, face_normals, face_materials = [], [], [], [], [], []
    for n, (normal, corners) in enumerate(quads):
        base = len(positions)
        positions += corners
        uvs += [(0, 0), (1, 0), (1, 1), (0, 1)]
        faces.append([base, base + 1, base + 2, base + 3])
        normals.append(normal)
        face_normals.append([n] * 4)
        face_materials.append(materials_of_quads[n])
    return positions, uvs, faces, normals, face_normals, face_materials


# The binary form: 16-bit tokens; names and strings with a 32-bit length;
# lists of 32-bit integers or floats with a 32-bit count.
T_NAME, T_STRING, T_INTEGER_LIST, T_FLOAT_LIST = 1, 2, 6, 7
T_OBRACE, T_CBRACE, T_SEMICOLON = 10, 11, 20


def tok(t):
    return struct.pack("<H", t)


def name(n):
    return tok(T_NAME) + struct.pack("<I", len(n)) + n.encode()


def string(s):
    return tok(T_STRING) + struct.pack("<I", len(s)) + s.encode() + tok(T_SEMICOLON)


def ints(values):
    return tok(T_INTEGER_LIST) + struct.pack("<I", len(values)) + struct.pack("<%dI" % len(values), *values)


def floats(values):
    return tok(T_FLOAT_LIST) + struct.pack("<I", len(values)) + struct.pack("<%df" % len(values), *values)


def obj(type_name, body):
    return name(type_name) + tok(T_OBRACE) + body + tok(T_CBRACE)


def named(type_name, object_name, body):
    return name(type_name) + name(object_name) + tok(T_OBRACE) + body + tok(T_CBRACE)


def mesh_binary(quads, materials, materials_of_quads, offset=(0.0, 0.0, 0.0)):
    """A binary .x body (after the header): one Mesh with normals, uvs and materials."""
    positions, uvs, faces, normals, face_normals, face_materials = quads_to_mesh(quads, materials_of_quads)
    positions = [tuple(p[i] + offset[i] for i in range(3)) for p in positions]
    body = ints([len(positions)]) + floats([c for p in positions for c in p])
    body += ints([len(faces)] + [v for f in faces for v in [len(f)] + f])
    body += obj("MeshNormals", ints([len(normals)]) + floats([c for n in normals for c in n]) +
                ints([len(face_normals)] + [v for f in face_normals for v in [len(f)] + f]))
    body += obj("MeshTextureCoords", ints([len(uvs)]) + floats([c for uv in uvs for c in uv]))
    mats = b""
    for diffuse, texture in materials:
        mats += obj("Material", floats(list(diffuse) + [8.0, 0.2, 0.2, 0.2, 0.0, 0.0, 0.0]) +
                    obj("TextureFilename", string(texture)))
    body += obj("MeshMaterialList", ints([len(materials), len(face_materials)] + face_materials) + mats)
    return obj("Mesh", body)


def compress(header, body):
    """MSZIP: the inflated size of the whole file, then blocks of at most 32 KB,
    each raw deflate with the previous block as its dictionary."""
    out = header.encode() + struct.pack("<I", len(header) + len(body))
    previous = b""
    for start in range(0, len(body), 32768):
        block = body[start:start + 32768]
        c = zlib.compressobj(9, zlib.DEFLATED, -15, zdict=previous) if previous else \
            zlib.compressobj(9, zlib.DEFLATED, -15)
        data = b"CK" + c.compress(block) + c.flush(zlib.Z_FINISH)
        out += struct.pack("<HH", len(block), len(data)) + data
        previous = block
    return out


def cache_name(relative):
    """The optimised-mesh cache of a mesh requested as the given data path."""
    return "!opt\\" + relative.replace("\\", "_") + "vx.x"


def offset_box(size, height, dx):
    return [(n, [(x + dx, y, z) for (x, y, z) in c]) for n, c in box(size, height)]


def inward(quad):
    """The same quad seen from its other side (corners reversed, normal flipped)."""
    normal, corners = quad
    return tuple(-c for c in normal), list(reversed(corners))


SKY_HALF = 960.0
SKY_BAND_HEIGHTS = [-SKY_HALF, 0.0, 320.0, 640.0, SKY_HALF]
SKY_CLOUD_HEIGHT, SKY_CLOUD_HALF = 720.0, 480.0
SKY_TEXTURES = ["textures\\sky_nadir.tga", "textures\\sky_horizon.tga", "textures\\sky_middle.tga",
                "textures\\sky_high.tga", "textures\\sky_zenith.tga", "textures\\sky_clouds.tga"]


def sky_box():
    """Quads and their materials: the wall bands (materials 0..3 from the
    bottom), the ceiling (4) and floor (0), then the cloud layer (5)."""
    quads, materials = [], []
    for band, (y0, y1) in enumerate(zip(SKY_BAND_HEIGHTS, SKY_BAND_HEIGHTS[1:])):
        for normal, corners in box(2 * SKY_HALF, y1 - y0)[:4]:
            quads.append(inward((normal, [(x, y + y0, z) for (x, y, z) in corners])))
            materials.append(band)
    top, bottom = box(2 * SKY_HALF, 2 * SKY_HALF)[4:]
    for (normal, corners), material in ((top, 4), (bottom, 0)):
        quads.append(inward((normal, [(x, y - SKY_HALF, z) for (x, y, z) in corners])))
        materials.append(material)
    cloud_normal, cloud_corners = plane(2 * SKY_CLOUD_HALF)[0]
    quads.append(inward((cloud_normal, [(x, y + SKY_CLOUD_HEIGHT, z) for (x, y, z) in cloud_corners])))
    materials.append(5)
    return quads, materials


# The hall lamp of worlds\test.w (position, range, colour, power) and where
# the world places the alcove floor, for the baked vertex colours.
LAMP_POSITION = (0.0, 220.0, 0.0)
LAMP_RANGE = 600.0
LAMP_COLOUR = (1.0, 0.9, 0.7)
LAMP_POWER = 2.5
ALCOVE_POSITION = (0.0, 1.0, 0.0)
ALCOVE_SIZE, ALCOVE_QUADS = 256.0, 16


def baked_light(point):
    d = sum((point[i] + ALCOVE_POSITION[i] - LAMP_POSITION[i]) ** 2 for i in range(3)) ** 0.5
    fall = max(0.0, 1.0 - d / LAMP_RANGE) ** 2
    return tuple(min(1.0, c * LAMP_POWER * fall) for c in LAMP_COLOUR)


def alcove_floor_text():
    """A grid of quads facing up whose corners are shared, with a vertex colour each."""
    n, h = ALCOVE_QUADS, ALCOVE_SIZE / 2.0
    step = ALCOVE_SIZE / n
    # Row r runs from z = +h (r = 0) toward -z; column c from x = -h.
    positions = [(-h + c * step, 0.0, h - r * step) for r in range(n + 1) for c in range(n + 1)]
    uvs = [(c / 4.0, r / 4.0) for r in range(n + 1) for c in range(n + 1)]
    # Clockwise seen from above: top left, top right, bottom right, bottom left.
    faces = [(r * (n + 1) + c, r * (n + 1) + c + 1, (r + 1) * (n + 1) + c + 1, (r + 1) * (n + 1) + c)
             for r in range(n) for c in range(n)]
    colours = [baked_light(p) for p in positions]
    lines = ["Frame alcove_floor {", " FrameTransformMatrix {",
             "  1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;", " }",
             " Mesh alcove_floor_mesh {", "  %d;" % len(positions),
             ",\n".join("  %s;%s;%s;" % tuple(fmt(c) for c in p) for p in positions) + ";",
             "  %d;" % len(faces),
             ",\n".join("  4;%d,%d,%d,%d;" % f for f in faces) + ";",
             "  MeshNormals {", "   1;", "   0.0;1.0;0.0;;", "   %d;" % len(faces),
             ",\n".join("   4;0,0,0,0;" for _ in faces) + ";", "  }",
             "  MeshTextureCoords {", "   %d;" % len(uvs),
             ",\n".join("   %s;%s;" % tuple(fmt(c) for c in uv) for uv in uvs) + ";", "  }",
             "  MeshVertexColors {", "   %d;" % len(colours),
             ",\n".join("   %d;%s;%s;%s;1.0;;" % ((i,) + tuple(fmt(round(c, 4)) for c in col))
                        for i, col in enumerate(colours)) + ";", "  }",
             "  MeshMaterialList {", "   1;", "   %d;" % len(faces),
             ",\n".join("   0" for _ in faces) + ";",
             "   Material {", "    1.0;1.0;1.0;1.0;;", "    8.0;", "    0.2;0.2;0.2;;", "    0.0;0.0;0.0;;",
             '    TextureFilename { "textures\\\\alcove.tga"; }', "   }", "  }", " }", "}"]
    return HEADER + "\n".join(lines) + "\n"


def tree():
    # A 16-unit trunk 160 high and two crossed upright leaf quads, 160 wide,
    # from y = 80 to 240 (the trunk's material 0, the leaves' 1).
    quads = box(16.0, 160.0)
    h, y0, y1 = 80.0, 80.0, 240.0
    quads = quads + [((0, 0, -1), [(-h, y1, 0.0), (h, y1, 0.0), (h, y0, 0.0), (-h, y0, 0.0)]),
                     ((1, 0, 0), [(0.0, y1, -h), (0.0, y1, h), (0.0, y0, h), (0.0, y0, -h)])]
    return quads, [0] * 6 + [1, 1]


def main():
    white = (1.0, 1.0, 1.0, 1.0)
    files = {
        "models\\box.x": mesh_text("box", box(64.0, 64.0), "textures\\crate.tga").encode(),
        "models\\water.x": mesh_text("water", plane(256.0), "textures\\water.tga", repeat=2.0).encode(),
        "models\\lava.x": mesh_text("lava", plane(256.0), "textures\\lava.tga").encode(),
        "models\\plane.x": compress("xof 0303tzip0032",
                                    mesh_text("plane", plane(1024.0), "textures\\floor.tga")[16:].encode()),
        # Sides crate, top grate (the fifth quad faces up).
        "models\\crate.x": b"xof 0303bin 0032" + mesh_binary(
            box(48.0, 48.0), [(white, "textures\\crate.tga"), (white, "textures\\grate.tga")],
            [0, 0, 0, 0, 1, 0]),
        "prefabs\\props\\crate_offset.x": b"xof 0303bin 0032" + mesh_binary(
            box(32.0, 32.0), [(white, "textures\\crate.tga")], [0] * 6, offset=(200.0, 0.0, 0.0)),
        "prefabs\\props\\marker_nocenter.x": compress("xof 0303bzip0032", mesh_binary(
            box(16.0, 64.0), [(white, "textures\\paint.dds")], [0] * 6, offset=(40.0, 0.0, 0.0))),
        "models\\tree.x": b"xof 0303bin 0032" + mesh_binary(
            tree()[0], [(white, "textures\\bark.tga"), (white, "textures\\leaves.tga")], tree()[1]),
        "models\\sky.x": b"xof 0303bin 0032" + mesh_binary(
            sky_box()[0], [(white, t) for t in SKY_TEXTURES], sky_box()[1]),
        "models\\alcove_floor.x": alcove_floor_text().encode(),
    }
    for relative, data in files.items():
        path = os.path.join(DATA, *relative.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        print("wrote", os.path.join("data", *relative.split("\\")))
        cached = os.path.join(DATA, *cache_name(relative).split("\\"))
        if os.path.exists(cached):
            os.remove(cached)
            print("deleted", os.path.relpath(cached, ROOT))


if __name__ == "__main__":
    main()
