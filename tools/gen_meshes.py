#!/usr/bin/env python3
"""Writes the demo meshes of data/models/ as text DirectX .x files.

    box.x    a 64-unit crate standing on the origin (y from 0 to 64)
    plane.x  a 1024 x 1024 floor at y = 0, facing up

Each face has its own normals and texture coordinates, one material with a
texture file name. Run from anywhere: the files go next to this script's
repository root.
"""
import os

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "data", "models")

HEADER = "xof 0303txt 0032\n"


def fmt(v):
    return ("%.6f" % v).rstrip("0").rstrip(".") if v != int(v) else "%d.0" % v


def mesh_text(name, quads, texture, diffuse=(1.0, 1.0, 1.0, 1.0)):
    """quads: list of (normal, [4 corners]) with corners clockwise seen from the normal side."""
    positions, uvs, faces, normals = [], [], [], []
    for n, (normal, corners) in enumerate(quads):
        base = len(positions)
        positions += corners
        uvs += [(0, 0), (1, 0), (1, 1), (0, 1)]
        faces.append([base, base + 1, base + 2, base + 3])
        normals.append(normal)
    lines = []
    lines.append("Frame %s {" % name)
    lines.append(" FrameTransformMatrix {")
    lines.append("  1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;")
    lines.append(" }")
    lines.append(" Mesh %s_mesh {" % name)
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


def main():
    os.makedirs(OUT, exist_ok=True)
    files = {
        "box.x": mesh_text("box", box(64.0, 64.0), "textures\\crate.tga"),
        "plane.x": mesh_text("plane", plane(1024.0), "textures\\floor.tga"),
    }
    for name, text in files.items():
        with open(os.path.join(OUT, name), "w", newline="\n") as f:
            f.write(text)
        print("wrote", os.path.join("data", "models", name))


if __name__ == "__main__":
    main()
