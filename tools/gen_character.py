#!/usr/bin/env python3
"""Writes the test character, a skinned mannequin with everything the
skinned-mesh code reads of a character model:

    models/manekin/manekin.x           text .x, Y up, facing +z, its right side
                                       (R_ bones, P_ particles) at +x, in the
                                       T-pose: frames Scene_Root > Bip01 (the 54
                                       biped bones, two face bones under the
                                       head's end bone) and Body (the one
                                       skinned mesh: tubes per body segment,
                                       normals, texture coordinates, two
                                       materials, XSkinMeshHeader, a
                                       SkinWeights per weighted bone)
    models/manekin/manekin_lowpoly.x   binary .x: the same frames in the same
                                       order, a mesh of fewer sides and rings
    models/manekin/manekin.tga         body texture: one flat colour per region
                                       (torso, left arm, right arm, left leg,
                                       right leg) in its own cell
    models/manekin/manekin_glowa.tga   head texture, one flat colour
    models/manekin/manekin_a.tga .. manekin_c.tga
                                       the body texture with the torso
                                       recoloured (texture substitutes)
    models/manekin/animations/*.bin    stoi_DEFAULT (idle), idzie (walk),
                                       biegnie_2 (run), umiera (death fall),
                                       celuje (right arm raised), glowa_gada
                                       (jaw), and animations_desc.txt
    models/manekin/sockets.txt         "weapon" on the right hand, "hat" on the
                                       head's end bone
    models/manekin/collisions.txt      hit zones: capsules and spheres over the
                                       body and one mesh element (the mess tin)
    models/manekin/death/              the ragdoll: particles.txt,
                                       distance_constraints.txt,
                                       selfcollision_constraints.txt
    models/common/machanie.bin         a wave of the right arm, and
    models/common/machanie.txt         its standard_params line
    prefabs/manekin/menazka.x          the mess tin's hit-zone mesh (a small box
                                       centred on its origin)

Joints sit where the ragdoll's bone write-back puts them, so a bind pose
placed as particles and written back returns every bone home (the head's end
bone excepted, which the write-back puts 2.4 in front). Every bone has an
identity rotation in the bind pose: a frame's matrix is the translation from
its parent. An animation keys every bone (a bone without a track would take
the identity); a bone whose pose does not change has one key of each kind.

The texture descriptions and substitutes are written by gen_textures.py,
which takes TEXTURE_DESCRIPTIONS and SUBSTITUTE_LINES from here. The .bin
writer (animation_bin) is for other generators to import.

Nothing is written unless every check passes (check_all). Run from anywhere;
an optional argument names the data directory to write into (the repository's
data/ by default).
"""
import math
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_meshes as xw  # noqa: E402  (the .x writer)
import gen_textures as tex  # noqa: E402  (the TGA writer)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# ---- vectors -------------------------------------------------------------------


def add(a, b):
    return (a[0] + b[0], a[1] + b[1], a[2] + b[2])


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def mul(a, s):
    return (a[0] * s, a[1] * s, a[2] * s)


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def length(a):
    return math.sqrt(dot(a, a))


def unit(a):
    n = length(a)
    return a if n == 0 else mul(a, 1.0 / n)


def mean(points):
    return mul(
        (sum(p[0] for p in points), sum(p[1] for p in points), sum(p[2] for p in points)), 1.0 / len(points))


def rotation_axis(axis, angle):
    """3 x 3 rotation, row-vector convention (v' = v M), as the engine builds it."""
    x, y, z = unit(axis)
    s, c = math.sin(angle), math.cos(angle)
    d = 1.0 - c
    return ((d * x * x + c, d * x * y + s * z, d * x * z - s * y),
            (d * y * x - s * z, d * y * y + c, d * y * z + s * x),
            (d * z * x + s * y, d * z * y - s * x, d * z * z + c))


def transform(v, m):
    return (v[0] * m[0][0] + v[1] * m[1][0] + v[2] * m[2][0], v[0] * m[0][1] + v[1] * m[1][1] + v[2] * m[2][1],
            v[0] * m[0][2] + v[1] * m[1][2] + v[2] * m[2][2])


def perpendicular(v):
    """A vector perpendicular to v: two components |v|, the largest one solved."""
    n = length(v)
    ax, ay, az = abs(v[0]), abs(v[1]), abs(v[2])
    if ay >= ax and ay >= az:
        return (0.0, 0.0, 0.0) if ay == 0 else (n, -(n * v[0] + n * v[2]) / v[1], n)
    if ax >= az:
        return (-(n * v[2] + n * v[1]) / v[0], n, n)
    return (n, n, -(n * v[0] + n * v[1]) / v[2])


def rotation_between(a, b):
    """The rotation turning a's direction onto b's: (matrix, axis, angle)."""
    axis = cross(a, b)
    la, lb = length(a), length(b)
    an = (1.0, 0.0, 0.0) if la <= 0.001 else mul(a, 1.0 / la)
    bn = (0.0, 0.0, 1.0) if lb <= 0.001 else mul(b, 1.0 / lb)
    angle = math.acos(max(-1.0, min(1.0, dot(an, bn))))
    if length(axis) < 0.01 or length(sub(an, bn)) < 0.1:
        axis = perpendicular(an)
    return rotation_axis(axis, angle), axis, angle


def quat_axis(axis, degrees):
    """Quaternion (x, y, z, w) that turns by the angle about the axis as
    D3DXQuaternionRotationAxis does (about z, +x goes towards +y)."""
    x, y, z = unit(axis)
    h = math.radians(degrees) / 2
    s = math.sin(h)
    return (x * s, y * s, z * s, math.cos(h))


def quat_then(q1, q2):
    """q1 first, then q2 (D3DXQuaternionMultiply(q1, q2))."""
    x1, y1, z1, w1 = q2
    x2, y2, z2, w2 = q1
    return (w1 * x2 + x1 * w2 + y1 * z2 - z1 * y2, w1 * y2 - x1 * z2 + y1 * w2 + z1 * x2,
            w1 * z2 + x1 * y2 - y1 * x2 + z1 * w2, w1 * w2 - x1 * x2 - y1 * y2 - z1 * z2)


IDENTITY_Q = (0.0, 0.0, 0.0, 1.0)

# ---- skeleton ------------------------------------------------------------------

# (name, parent, world position in the T-pose), children in file order. Each
# bone's aim child (its first child's next sibling, when there is one) is the
# one that continues the chain: Pelvis > Spine, Neck > Head, UpperArm >
# Forearm, Hand > the middle finger.


def side_bones(s, x):
    """The bones of one side (s "L" or "R", x = -1 or +1)."""
    b = "Bip01_%s_" % s
    bones = [
        (b + "Clavicle", "Bip01_Neck", (3.2 * x, 135.0, 0.0)),
        (b + "UpperArm", b + "Clavicle", (20.0 * x, 135.0, 0.0)),
        (b + "ForeTwist", b + "UpperArm", (49.5 * x, 135.0, 0.0)),
        (b + "ForeTwist1", b + "ForeTwist", (67.0 * x, 135.0, 0.0)),
        (b + "Forearm", b + "UpperArm", (47.0 * x, 135.0, 0.0)),
        (b + "Hand", b + "Forearm", (72.0 * x, 135.0, 0.0)),
    ]
    # Thumb forward, two fingers side by side.
    for finger, base, step in ((0, (75.0, 134.0, 3.0), (2.5, -0.5, 1.5)), (1, (80.0, 135.0, 1.5), (3.0, 0.0, 0.0)),
                               (2, (80.0, 135.0, -1.5), (3.0, 0.0, 0.0))):
        parent = b + "Hand"
        for k, suffix in enumerate(("", "1", "2", "Nub")):
            name = "%sFinger%d%s" % (b, finger, suffix)
            p = add(base, mul(step, k))
            bones.append((name, parent, (p[0] * x, p[1], p[2])))
            parent = name
    return bones


def leg_bones(s, x):
    b = "Bip01_%s_" % s
    return [
        (b + "Thigh", "Bip01_Pelvis", (10.0 * x, 90.0, 0.0)),
        (b + "Calf", b + "Thigh", (10.0 * x, 50.0, 1.0)),
        (b + "Foot", b + "Calf", (10.0 * x, 10.0, 0.0)),
        (b + "Toe0", b + "Foot", (10.0 * x, 3.0, 11.0)),
        (b + "Toe0Nub", b + "Toe0", (10.0 * x, 3.0, 18.0)),
    ]


def skeleton():
    bones = [
        ("Scene_Root", None, (0.0, 0.0, 0.0)),
        ("Bip01", "Scene_Root", (0.0, 90.0, 0.0)),
        ("Bip01_Pelvis", "Bip01", (0.0, 90.0, 0.0)),
    ]
    bones += leg_bones("L", -1)[:1]
    bones += [
        ("Bip01_Spine", "Bip01_Pelvis", (0.0, 96.75, 0.0)),
        ("Bip01_Spine1", "Bip01_Spine", (0.0, 103.95, 0.0)),
        ("Bip01_Spine2", "Bip01_Spine1", (0.0, 117.9, 0.0)),
        ("Bip01_Neck", "Bip01_Spine2", (0.0, 138.22, 0.0)),
    ]
    left_arm, right_arm = side_bones("L", -1), side_bones("R", 1)
    bones += left_arm[:1]
    bones += [
        ("Bip01_Head", "Bip01_Neck", (0.0, 142.8, 0.0)),
        ("Bip01_HeadNub", "Bip01_Head", (0.0, 160.0, 0.0)),
        ("Bone_szczeka", "Bip01_HeadNub", (0.0, 150.0, 2.0)),
        ("Bone_brwi", "Bip01_HeadNub", (0.0, 157.0, 9.0)),
    ]
    bones += right_arm[:1]
    bones += left_arm[1:] + right_arm[1:]
    bones += leg_bones("R", 1)[:1]
    bones += leg_bones("L", -1)[1:] + leg_bones("R", 1)[1:]
    bones.append(("Body", "Scene_Root", (0.0, 0.0, 0.0)))
    return order_as_file(bones)


def order_as_file(bones):
    """Depth-first in the order each parent lists its children."""
    children = {}
    for name, parent, _ in bones:
        children.setdefault(parent, []).append(name)
    by_name = {b[0]: b for b in bones}
    out = []

    def walk(name):
        out.append(by_name[name])
        for c in children.get(name, []):
            walk(c)

    walk("Scene_Root")
    return out


BONES = skeleton()
POSITION = {n: p for n, _, p in BONES}
PARENT = {n: par for n, par, _ in BONES}


def children_of(name):
    return [n for n, par, _ in BONES if par == name]


def bind_translation(name):
    parent = PARENT[name]
    return POSITION[name] if parent is None else sub(POSITION[name], POSITION[parent])


BIPED_NAMES = [
    "Bip01", "Bip01_Pelvis", "Bip01_Spine", "Bip01_Spine1", "Bip01_Spine2", "Bip01_L_Thigh", "Bip01_R_Thigh",
    "Bip01_R_Calf", "Bip01_R_Foot", "Bip01_R_Toe0", "Bip01_R_Toe0Nub", "Bip01_L_Calf", "Bip01_L_Foot",
    "Bip01_L_Toe0", "Bip01_L_Toe0Nub", "Bip01_Neck", "Bip01_Head", "Bip01_HeadNub", "Bip01_L_Clavicle",
    "Bip01_R_Clavicle", "Bip01_R_UpperArm", "Bip01_R_Forearm", "Bip01_R_Hand", "Bip01_L_UpperArm",
    "Bip01_L_Forearm", "Bip01_L_Hand", "Bip01_L_ForeTwist", "Bip01_L_ForeTwist1", "Bip01_R_ForeTwist",
    "Bip01_R_ForeTwist1"
] + ["Bip01_%s_Finger%d%s" % (s, f, k) for s in "RL" for f in range(3) for k in ("", "1", "2", "Nub")]

RAGDOLL_BONES = [
    "Bip01", "Bip01_Pelvis", "Bip01_Spine", "Bip01_Spine1", "Bip01_L_Thigh", "Bip01_R_Thigh", "Bip01_R_Calf",
    "Bip01_R_Foot", "Bip01_R_Toe0", "Bip01_R_Toe0Nub", "Bip01_L_Calf", "Bip01_L_Foot", "Bip01_L_Toe0",
    "Bip01_L_Toe0Nub", "Bip01_Neck", "Bip01_Head", "Bip01_HeadNub", "Bip01_L_Clavicle", "Bip01_R_Clavicle",
    "Bip01_R_UpperArm", "Bip01_R_Forearm", "Bip01_R_Hand", "Bip01_L_UpperArm", "Bip01_L_Forearm", "Bip01_L_Hand",
    "Bip01_R_Finger0", "Bip01_L_Finger0"
]

# Bones that animations key: every frame whose bind matrix is not the identity
# and every other bone of the skeleton (the pelvis sits on Bip01), but not the
# scene root nor the mesh frame.
ANIMATED = [n for n, _, _ in BONES if n not in ("Scene_Root", "Body")]

# ---- mesh ----------------------------------------------------------------------

# Materials: 0 the body texture, 1 the head texture. The directory of a texture
# file name is stripped by the loader.
MATERIALS = ["maps\\manekin.tga", "maps\\manekin_glowa.tga"]

# Cells of the body texture (4 x 2 cells of 16 x 32 texels).
CELL_TORSO, CELL_L_ARM, CELL_R_ARM, CELL_L_LEG, CELL_R_LEG = range(5)


def quantise(weights):
    """(bone, weight) pairs, at most four, in thousandths summing to 1000."""
    weights = sorted([(w, b) for b, w in weights if w > 0], reverse=True)[:4]
    total = sum(w for w, _ in weights)
    parts = [[int(w / total * 1000), b, w / total * 1000 - int(w / total * 1000)] for w, b in weights]
    left = 1000 - sum(p[0] for p in parts)
    for p in sorted(parts, key=lambda p: -p[2])[:left]:
        p[0] += 1
    return tuple(sorted(((b, p) for p, b, _ in parts if p > 0), key=lambda e: (-e[1], e[0])))


def chain_weights(anchors, s, blend):
    """Weights at distance s along a chain of (bone, start distance) anchors:
    each bone owns its span, blending with its neighbour within blend of a joint."""
    i = 0
    while i + 1 < len(anchors) and s >= anchors[i + 1][1]:
        i += 1
    bone, start = anchors[i]
    if i > 0 and s - start < blend:
        t = 0.5 + (s - start) / (2 * blend)
        return [(bone, t), (anchors[i - 1][0], 1 - t)]
    if i + 1 < len(anchors) and anchors[i + 1][1] - s < blend:
        t = 0.5 + (anchors[i + 1][1] - s) / (2 * blend)
        return [(bone, t), (anchors[i + 1][0], 1 - t)]
    return [(bone, 1.0)]


def kernel_weights(anchors, s, reach):
    """Smooth weights over (bone, height) anchors: (1 - d / reach)^2."""
    return [(b, (1 - abs(s - h) / reach) ** 2) for b, h in anchors if abs(s - h) < reach]


class Ring:
    def __init__(self, centre, u, v, ru, rv, along, weights):
        self.centre, self.u, self.v, self.ru, self.rv = centre, u, v, ru, rv
        self.along, self.weights = along, weights


class Tube:
    """Rings around an axis, closed at both ends; its vertices take the
    material, a texture cell (or the whole head texture) and, per ring, the
    weights (optionally refined per vertex)."""

    def __init__(self, rings, material, cell, vertex_weights=None):
        self.rings, self.material, self.cell, self.vertex_weights = rings, material, cell, vertex_weights


def frame_for(axis, ref):
    """Two unit vectors across the axis, the first towards ref."""
    d = unit(axis)
    u = unit(sub(ref, mul(d, dot(ref, d))))
    return u, cross(d, u)


def interp(profile, s):
    """Piecewise-linear value of (s, value) pairs."""
    if s <= profile[0][0]:
        return profile[0][1]
    for (s0, v0), (s1, v1) in zip(profile, profile[1:]):
        if s <= s1:
            return v0 + (v1 - v0) * (s - s0) / (s1 - s0)
    return profile[-1][1]


def torso(lowpoly):
    heights = [82, 86, 90, 94, 98, 102, 106, 110, 114, 118, 122, 126, 130, 134, 137, 140]
    if lowpoly:
        heights = heights[::3]
    width = [(82, 11), (90, 14), (100, 12.5), (112, 14), (124, 16), (132, 17), (137, 13), (140, 7)]
    depth = [(82, 8), (90, 10), (100, 9), (118, 10.5), (132, 10), (140, 6)]
    anchors = [("Bip01_Pelvis", 90.0), ("Bip01_Spine", 96.75), ("Bip01_Spine1", 103.95), ("Bip01_Spine2", 117.9),
               ("Bip01_Neck", 138.22)]
    rings = [
        Ring((0.0, float(y), 0.0), (1.0, 0.0, 0.0), (0.0, 0.0, 1.0), interp(width, y), interp(depth, y),
             (y - 82) / 58.0, kernel_weights(anchors, y, 20.0)) for y in heights
    ]
    return Tube(rings, 0, CELL_TORSO)


def head(lowpoly):
    profile = [(136, 5), (142, 5), (145, 8), (148, 10), (152, 11), (158, 10.5), (163, 8), (166, 5), (168, 1.5)]
    heights = [136, 140, 143, 145, 147, 150, 154, 158, 162, 165, 167, 168]
    if lowpoly:
        heights = [136, 142, 147, 154, 162, 168]
    rings = []
    for y in heights:
        r = interp(profile, y)
        weights = chain_weights([("Bip01_Neck", 0.0), ("Bip01_Head", 142.8)], float(y), 3.0)
        rings.append(Ring((0.0, float(y), 0.0), (1.0, 0.0, 0.0), (0.0, 0.0, 1.0), r, r, (y - 136) / 32.0, weights))

    def jaw(position, weights):
        # The front of the lower head opens with the jaw.
        x, y, z = position
        if 144.0 <= y <= 151.0 and z > 2.0:
            return [("Bone_szczeka", 0.7), ("Bip01_Head", 0.3)]
        return weights

    return Tube(rings, 1, None, jaw)


def limb(points, anchors, radii, ref, cell, blend, lowpoly, flat=1.0):
    """A tube along a polyline; distances along it place rings, radii and weights."""
    stations = []
    total = 0.0
    for a, b in zip(points, points[1:]):
        seg = length(sub(b, a))
        steps = max(1, int(round(seg / (12.0 if lowpoly else 5.0))))
        for k in range(steps + (1 if b is points[-1] else 0)):
            stations.append((total + seg * k / steps, a, b, k / steps))
        total += seg
    rings = []
    for s, a, b, f in stations:
        centre = add(a, mul(sub(b, a), f))
        u, v = frame_for(sub(b, a), ref)
        r = interp(radii, s)
        rings.append(Ring(centre, u, v, r * flat, r, s / total, chain_weights(anchors, s, blend)))
    return Tube(rings, 0, cell)


def arm(x, s, lowpoly):
    b = "Bip01_%s_" % s
    pts = [(14.0 * x, 135.0, 0.0), (47.0 * x, 135.0, 0.0), (72.0 * x, 135.0, 0.0), (87.0 * x, 135.0, 0.0)]
    # Distances from the shoulder end: the upper arm starts 6 out, the elbow
    # at 33, the wrist at 58.
    anchors = [(b + "Clavicle", 0.0), (b + "UpperArm", 6.0), (b + "Forearm", 33.0), (b + "Hand", 58.0)]
    radii = [(0, 6.0), (10, 5.5), (33, 4.5), (56, 3.5), (62, 3.2), (73, 2.5)]
    return limb(pts, anchors, radii, (0.0, 1.0, 0.0), CELL_L_ARM if s == "L" else CELL_R_ARM, 3.0, lowpoly)


def leg(x, s, lowpoly):
    b = "Bip01_%s_" % s
    pts = [(10.0 * x, 92.0, 0.0), (10.0 * x, 50.0, 1.0), (10.0 * x, 10.0, 0.0)]
    # The thigh starts 2 below the top ring, the knee at 42 along the leg.
    length_thigh = length(sub(pts[1], pts[0]))
    anchors = [("Bip01_Pelvis", 0.0), (b + "Thigh", 2.0), (b + "Calf", length_thigh)]
    radii = [(0, 7.5), (20, 7.0), (length_thigh, 5.5), (length_thigh + 30, 4.5), (length_thigh + 40, 4.0)]
    return limb(pts, anchors, radii, (1.0, 0.0, 0.0), CELL_L_LEG if s == "L" else CELL_R_LEG, 4.0, lowpoly)


def foot(x, s, lowpoly):
    b = "Bip01_%s_" % s
    pts = [(10.0 * x, 4.0, -5.0), (10.0 * x, 3.5, 10.0), (10.0 * x, 3.0, 19.0)]
    anchors = [(b + "Calf", 0.0), (b + "Foot", 2.0), (b + "Toe0", 15.0)]
    radii = [(0, 3.5), (5, 4.0), (20, 3.5), (24, 2.5)]
    return limb(pts, anchors, radii, (1.0, 0.0, 0.0), CELL_L_LEG if s == "L" else CELL_R_LEG, 2.0, lowpoly, 1.2)


def body_tubes(lowpoly):
    return [torso(lowpoly), head(lowpoly)] + [
        part(x, s, lowpoly) for part in (arm, leg, foot) for x, s in ((-1, "L"), (1, "R"))
    ]


def cell_uv(cell, a, along):
    """A point inside a cell of the body texture, two texels in from its edges."""
    if cell is None:
        return (0.1 + 0.8 * a, 0.1 + 0.8 * along)
    u0, v0 = (cell % 4) * 0.25, (cell // 4) * 0.5
    return (u0 + 0.03 + 0.19 * a, v0 + 0.03 + 0.44 * along)


class Mesh:
    def __init__(self):
        self.positions, self.normals, self.uvs, self.weights = [], [], [], []
        self.faces, self.face_materials = [], []

    def vertex(self, p, n, uv, w):
        self.positions.append(p)
        self.normals.append(n)
        self.uvs.append(uv)
        self.weights.append(quantise(w))
        return len(self.positions) - 1

    def triangle(self, a, b, c, outward, material):
        pa, pb, pc = self.positions[a], self.positions[b], self.positions[c]
        if dot(cross(sub(pb, pa), sub(pc, pa)), outward) < 0:
            b, c = c, b
        self.faces.append((a, b, c))
        self.face_materials.append(material)


def build_mesh(lowpoly):
    sides = 6 if lowpoly else 12
    mesh = Mesh()
    for tube in body_tubes(lowpoly):
        ring_ids = []
        for ring in tube.rings:
            ids = []
            for i in range(sides):
                t = 2 * math.pi * i / sides
                c, s = math.cos(t), math.sin(t)
                p = add(ring.centre, add(mul(ring.u, ring.ru * c), mul(ring.v, ring.rv * s)))
                n = unit(add(mul(ring.u, c / ring.ru), mul(ring.v, s / ring.rv)))
                w = ring.weights if tube.vertex_weights is None else tube.vertex_weights(p, ring.weights)
                ids.append(mesh.vertex(p, n, cell_uv(tube.cell, i / sides, ring.along), w))
            ring_ids.append(ids)
        for k in range(len(tube.rings) - 1):
            for i in range(sides):
                a, b = ring_ids[k][i], ring_ids[k][(i + 1) % sides]
                c, d = ring_ids[k + 1][(i + 1) % sides], ring_ids[k + 1][i]
                out = mesh.normals[a]
                mesh.triangle(a, b, c, out, tube.material)
                mesh.triangle(a, c, d, out, tube.material)
        for ring, ids, sign in ((tube.rings[0], ring_ids[0], -1.0), (tube.rings[-1], ring_ids[-1], 1.0)):
            other = tube.rings[1] if sign < 0 else tube.rings[-2]
            axis = unit(sub(ring.centre, other.centre))
            w = ring.weights if tube.vertex_weights is None else tube.vertex_weights(ring.centre, ring.weights)
            centre = mesh.vertex(ring.centre, axis, cell_uv(tube.cell, 0.5, ring.along), w)
            for i in range(sides):
                mesh.triangle(centre, ids[i], ids[(i + 1) % sides], axis, tube.material)
    return mesh


def skin_bones(mesh):
    """Weighted bones in skeleton order: {bone: [(vertex, weight in thousandths)]}."""
    out = {}
    for v, weights in enumerate(mesh.weights):
        for bone, w in weights:
            out.setdefault(bone, []).append((v, w))
    return [(n, out[n]) for n, _, _ in BONES if n in out]


def max_per_face(mesh):
    return max(len({b for v in f for b, _ in mesh.weights[v]}) for f in mesh.faces)


def weight_text(thousandths):
    return ("%d.%03d" % divmod(thousandths, 1000)).rstrip("0").rstrip(".") if thousandths % 1000 else "%d.0" % (
        thousandths // 1000)


def translation_matrix(t):
    return [1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, t[0], t[1], t[2], 1.0]


def offset_matrix(bone):
    """The inverse of the bone's bind world matrix (a translation)."""
    return translation_matrix(mul(POSITION[bone], -1.0))


# ---- .x text -------------------------------------------------------------------


def number(v):
    return xw.fmt(round(v, 6) + 0.0)


def matrix_text(m):
    return ",".join(number(v) for v in m) + ";;"


def mesh_text(mesh, indent):
    pad = " " * indent
    lines = [pad + "Mesh Body_mesh {", pad + " %d;" % len(mesh.positions)]
    lines.append(",\n".join(pad + " %s;%s;%s;" % tuple(number(c) for c in p) for p in mesh.positions) + ";")
    lines.append(pad + " %d;" % len(mesh.faces))
    lines.append(",\n".join(pad + " 3;%d,%d,%d;" % f for f in mesh.faces) + ";")
    lines += [pad + " MeshNormals {", pad + "  %d;" % len(mesh.normals)]
    lines.append(",\n".join(pad + "  %s;%s;%s;" % tuple(number(c) for c in n) for n in mesh.normals) + ";")
    lines.append(pad + "  %d;" % len(mesh.faces))
    lines.append(",\n".join(pad + "  3;%d,%d,%d;" % f for f in mesh.faces) + ";")
    lines += [pad + " }", pad + " MeshTextureCoords {", pad + "  %d;" % len(mesh.uvs)]
    lines.append(",\n".join(pad + "  %s;%s;" % tuple(number(c) for c in uv) for uv in mesh.uvs) + ";")
    lines += [pad + " }", pad + " MeshMaterialList {", pad + "  %d;" % len(MATERIALS), pad + "  %d;" % len(mesh.faces)]
    lines.append(",\n".join(pad + "  %d" % m for m in mesh.face_materials) + ";")
    for texture in MATERIALS:
        lines += [pad + "  Material {", pad + "   1.0;1.0;1.0;1.0;;", pad + "   8.0;", pad + "   0.2;0.2;0.2;;",
                  pad + "   0.0;0.0;0.0;;", pad + '   TextureFilename { "%s"; }' % texture.replace("\\", "\\\\"),
                  pad + "  }"]
    lines.append(pad + " }")
    bones = skin_bones(mesh)
    lines += [pad + " XSkinMeshHeader {", pad + "  %d;" % max(len(w) for w in mesh.weights),
              pad + "  %d;" % max_per_face(mesh), pad + "  %d;" % len(bones), pad + " }"]
    for bone, influences in bones:
        lines += [pad + " SkinWeights {", pad + '  "%s";' % bone, pad + "  %d;" % len(influences)]
        lines.append(pad + "  " + ",".join("%d" % v for v, _ in influences) + ";")
        lines.append(pad + "  " + ",".join(weight_text(w) for _, w in influences) + ";")
        lines.append(pad + "  " + matrix_text(offset_matrix(bone)))
        lines.append(pad + " }")
    lines.append(pad + "}")
    return lines


def frames_text(name, indent, mesh):
    pad = " " * indent
    lines = [pad + "Frame %s {" % name, pad + " FrameTransformMatrix {",
             pad + "  " + matrix_text(translation_matrix(bind_translation(name))), pad + " }"]
    if name == "Body":
        lines += mesh_text(mesh, indent + 1)
    for child in children_of(name):
        lines += frames_text(child, indent + 1, mesh)
    lines.append(pad + "}")
    return lines


def model_text(mesh):
    return xw.HEADER + "\n".join(frames_text("Scene_Root", 0, mesh)) + "\n"


# ---- .x binary -----------------------------------------------------------------


def mesh_binary(mesh):
    body = xw.ints([len(mesh.positions)]) + xw.floats([c for p in mesh.positions for c in p])
    body += xw.ints([len(mesh.faces)] + [v for f in mesh.faces for v in (3, ) + f])
    body += xw.obj("MeshNormals", xw.ints([len(mesh.normals)]) + xw.floats([c for n in mesh.normals for c in n]) +
                   xw.ints([len(mesh.faces)] + [v for f in mesh.faces for v in (3, ) + f]))
    body += xw.obj("MeshTextureCoords", xw.ints([len(mesh.uvs)]) + xw.floats([c for uv in mesh.uvs for c in uv]))
    mats = b"".join(
        xw.obj("Material", xw.floats([1.0, 1.0, 1.0, 1.0, 8.0, 0.2, 0.2, 0.2, 0.0, 0.0, 0.0]) +
               xw.obj("TextureFilename", xw.string(t))) for t in MATERIALS)
    body += xw.obj("MeshMaterialList", xw.ints([len(MATERIALS), len(mesh.faces)] + mesh.face_materials) + mats)
    bones = skin_bones(mesh)
    body += xw.obj("XSkinMeshHeader", xw.ints([max(len(w) for w in mesh.weights), max_per_face(mesh), len(bones)]))
    for bone, influences in bones:
        body += xw.obj(
            "SkinWeights",
            xw.string(bone) + xw.ints([len(influences)] + [v for v, _ in influences]) +
            xw.floats([w / 1000.0 for _, w in influences] + offset_matrix(bone)))
    return xw.named("Mesh", "Body_mesh", body)


def frames_binary(name, mesh):
    body = xw.obj("FrameTransformMatrix", xw.floats(translation_matrix(bind_translation(name))))
    if name == "Body":
        body += mesh_binary(mesh)
    for child in children_of(name):
        body += frames_binary(child, mesh)
    return xw.named("Frame", name, body)


def model_binary(mesh):
    return b"xof 0303bin 0032" + frames_binary("Scene_Root", mesh)


# ---- .bin animations -----------------------------------------------------------

BIN_MAGIC, BIN_VERSION = b"BINA", 2
KEY_TIME_SCALE = 30.0


def animation_bin(key_time_scale, duration, tracks):
    """A binary animation file. tracks: (node name, (translation, rotation,
    scale) reserved pose, translation keys, rotation keys, scale keys), each
    key list of (key time, value); vec3 values, rotations (x, y, z, w)."""
    out = BIN_MAGIC + struct.pack("<II", BIN_VERSION, len(tracks))
    if not tracks:
        return out
    out += struct.pack("<dd", key_time_scale, duration)
    for name, (rt, rq, rs), tkeys, rkeys, skeys in tracks:
        raw = name.encode("ascii")
        assert len(raw) < 128
        out += raw + b"\0" * (128 - len(raw))
        out += struct.pack("<3f4f3f", *(tuple(rt) + tuple(rq) + tuple(rs)))
        out += struct.pack("<III", len(tkeys), len(rkeys), len(skeys))
        for keys in (tkeys, rkeys, skeys):
            out += struct.pack("<%df" % len(keys), *[t for t, _ in keys])
        for keys, width in ((tkeys, 3), (rkeys, 4), (skeys, 3)):
            out += b"".join(struct.pack("<%df" % width, *v) for _, v in keys)
    return out


def bin_record_sizes(data):
    """Reads a .bin back: (N, [record sizes]), checking the layout."""
    assert data[:4] == BIN_MAGIC and struct.unpack_from("<I", data, 4)[0] == BIN_VERSION
    n = struct.unpack_from("<I", data, 8)[0]
    at, sizes = 28, []
    for _ in range(n):
        nt, nr, ns = struct.unpack_from("<III", data, at + 168)
        sizes.append(180 + 16 * nt + 20 * nr + 16 * ns)
        at += sizes[-1]
    assert at == len(data), "trailing or missing bytes"
    return n, sizes


# Poses: for each animated bone, its local translation and rotation at a time;
# the pose functions return {bone: (translation or None, rotation)} for the
# bones they move, every other bone keeps its bind pose.

ARMS_DOWN = {"Bip01_L_UpperArm": quat_axis((0, 0, 1), 78.0), "Bip01_R_UpperArm": quat_axis((0, 0, 1), -78.0)}


def wave(t, period, amplitude, phase=0.0):
    return amplitude * math.sin(2 * math.pi * t / period + phase)


def stride_pose(t, period, thigh, knee, arm, bob):
    """Legs swing about x (forward is a negative angle), knees bend backward,
    arms swing against the legs."""
    pose = {"Bip01": ((0.0, 90.0 - bob + bob * math.cos(4 * math.pi * t / period), 0.0), IDENTITY_Q)}
    for s, phase in (("L", 0.0), ("R", math.pi)):
        swing = wave(t, period, thigh, phase)
        bend = knee * max(0.0, math.sin(2 * math.pi * t / period + phase + math.pi / 2))
        pose["Bip01_%s_Thigh" % s] = (None, quat_axis((1, 0, 0), -swing))
        pose["Bip01_%s_Calf" % s] = (None, quat_axis((1, 0, 0), bend))
        pose["Bip01_%s_Foot" % s] = (None, quat_axis((1, 0, 0), swing * 0.3))
        down = ARMS_DOWN["Bip01_%s_UpperArm" % s]
        pose["Bip01_%s_UpperArm" % s] = (None, quat_then(down, quat_axis((1, 0, 0), -wave(t, period, arm, phase + math.pi))))
    return pose


def pose_idle(t):
    pose = {b: (None, q) for b, q in ARMS_DOWN.items()}
    pose["Bip01"] = ((0.0, 90.0 + wave(t, 2.0, 0.3), 0.0), IDENTITY_Q)
    pose["Bip01_Spine1"] = (None, quat_axis((1, 0, 0), wave(t, 2.0, 1.5)))
    pose["Bip01_Head"] = (None, quat_axis((0, 1, 0), wave(t, 2.0, 3.0, 1.0)))
    return pose


def pose_walk(t):
    # A stride of 32 units a step: thighs of 80 swing 11.5 degrees either way.
    return stride_pose(t, 1.0, 11.5, 35.0, 12.0, 1.5)


def pose_run(t):
    # 72 units a step in 0.3 s: 240 units a second.
    pose = stride_pose(t, 0.6, 26.7, 80.0, 35.0, 3.0)
    pose["Bip01_Spine"] = (None, quat_axis((1, 0, 0), 8.0))
    for s, sign in (("L", 1.0), ("R", -1.0)):
        pose["Bip01_%s_Forearm" % s] = (None, quat_axis((0, 1, 0), 70.0 * sign))
    return pose


def pose_death(t):
    f = min(1.0, t / 1.2)
    ease = f * f
    pose = {
        "Bip01": ((0.0, 90.0 - 78.0 * ease, -30.0 * ease), quat_axis((1, 0, 0), -85.0 * ease)),
        "Bip01_Spine1": (None, quat_axis((1, 0, 0), -10.0 * math.sin(math.pi * f))),
        "Bip01_Head": (None, quat_axis((1, 0, 0), -25.0 * ease)),
    }
    for s, sign in (("L", 1.0), ("R", -1.0)):
        knee = 50.0 * math.sin(math.pi * f)
        pose["Bip01_%s_Thigh" % s] = (None, quat_axis((1, 0, 0), -knee * 0.6))
        pose["Bip01_%s_Calf" % s] = (None, quat_axis((1, 0, 0), knee))
        pose["Bip01_%s_UpperArm" % s] = (None, quat_axis((0, 0, 1), sign * (78.0 - 100.0 * ease)))
    return pose


def pose_aim(t):
    pose = {"Bip01_L_UpperArm": (None, ARMS_DOWN["Bip01_L_UpperArm"])}
    # The right arm points forward (+x turned onto +z), swaying a little.
    pose["Bip01_R_UpperArm"] = (None, quat_then(quat_axis((0, 1, 0), -90.0), quat_axis((1, 0, 0), wave(t, 1.0, 1.5))))
    pose["Bip01_R_Hand"] = (None, quat_axis((1, 0, 0), 90.0))
    return pose


def pose_talk(t):
    return {
        "Bone_szczeka": (None, quat_axis((1, 0, 0), 12.0 * abs(math.sin(3 * math.pi * t)))),
        "Bone_brwi": (add(bind_translation("Bone_brwi"), (0.0, wave(t, 1.0, 0.5), 0.0)), IDENTITY_Q),
    }


def pose_wave(t):
    pose = {"Bip01_L_UpperArm": (None, ARMS_DOWN["Bip01_L_UpperArm"])}
    pose["Bip01_R_UpperArm"] = (None, quat_axis((0, 0, 1), 60.0))
    pose["Bip01_R_Forearm"] = (None, quat_axis((0, 0, 1), 40.0 + wave(t, 1.5, 25.0)))
    return pose


# (file name, seconds, loops, pose)
ANIMATIONS = [
    ("stoi_DEFAULT.bin", 2.0, True, pose_idle),
    ("idzie.bin", 1.0, True, pose_walk),
    ("biegnie_2.bin", 0.6, True, pose_run),
    ("umiera.bin", 1.2, False, pose_death),
    ("celuje.bin", 1.0, True, pose_aim),
    ("glowa_gada.bin", 1.0, True, pose_talk),
]
COMMON_ANIMATIONS = [("machanie.bin", 1.5, True, pose_wave)]


def f32(values):
    return tuple(struct.unpack("<%df" % len(values), struct.pack("<%df" % len(values), *values)))


def animation_tracks(seconds, pose_at):
    frames = int(round(seconds * KEY_TIME_SCALE))
    poses = [pose_at(k / KEY_TIME_SCALE) for k in range(frames + 1)]
    tracks = []
    for bone in ANIMATED:
        bind = bind_translation(bone)
        ts = [f32(p.get(bone, (None, None))[0] or bind) for p in poses]
        rs = [f32(p.get(bone, (None, IDENTITY_Q))[1]) for p in poses]
        ss = [(1.0, 1.0, 1.0)] * len(poses)

        def keys(values):
            # One key when the value never changes, else one every frame.
            if all(v == values[0] for v in values):
                return [(0.0, values[0])]
            return [(float(k), v) for k, v in enumerate(values)]

        tracks.append((bone, (bind, IDENTITY_Q, (1.0, 1.0, 1.0)), keys(ts), keys(rs), keys(ss)))
    return tracks


def animation_file(seconds, pose_at):
    return animation_bin(KEY_TIME_SCALE, seconds, animation_tracks(seconds, pose_at))


def animation_name(file_name):
    for suffix in ("_DEFAULT.bin", ".bin"):
        if file_name.endswith(suffix):
            return file_name[:-len(suffix)]
    raise ValueError(file_name)


# ---- side files ----------------------------------------------------------------

SOCKETS = [("weapon", "Bip01_R_Hand", (8.0, 0.0, 0.0)), ("hat", "Bip01_HeadNub", (0.0, 0.0, 0.0))]

# (kind, name, zone, nodes, size)
COLLISIONS = [
    ("cylinder", "glowa", "glowa", ("Bip01_Head", "Bip01_HeadNub"), 10),
    ("cylinder", "tulow", "tulow", ("Bip01_Spine2", "Bip01_Neck"), 16),
    ("cylinder", "brzuch", "dolny_tulow", ("Bip01_Pelvis", "Bip01_Spine2"), 15),
    ("cylinder", "ramie_l", "lewa_reka", ("Bip01_L_UpperArm", "Bip01_L_Forearm"), 6),
    ("cylinder", "przedramie_l", "lewa_reka", ("Bip01_L_Forearm", "Bip01_L_Hand"), 6),
    ("sphere", "dlon_l", "lewa_reka", ("Bip01_L_Hand", ), 6),
    ("cylinder", "ramie_p", "prawa_reka", ("Bip01_R_UpperArm", "Bip01_R_Forearm"), 6),
    ("cylinder", "przedramie_p", "prawa_reka", ("Bip01_R_Forearm", "Bip01_R_Hand"), 6),
    ("sphere", "dlon_p", "prawa_reka", ("Bip01_R_Hand", ), 6),
    ("cylinder", "udo_l", "lewa_noga", ("Bip01_L_Thigh", "Bip01_L_Calf"), 8),
    ("cylinder", "lydka_l", "lewa_noga", ("Bip01_L_Calf", "Bip01_L_Foot"), 6),
    ("sphere", "stopa_l", "lewa_noga", ("Bip01_L_Foot", ), 7),
    ("cylinder", "udo_p", "prawa_noga", ("Bip01_R_Thigh", "Bip01_R_Calf"), 8),
    ("cylinder", "lydka_p", "prawa_noga", ("Bip01_R_Calf", "Bip01_R_Foot"), 6),
    ("sphere", "stopa_p", "prawa_noga", ("Bip01_R_Foot", ), 7),
]
MENAZKA_PREFAB = "prefabs\\manekin\\menazka.x"
# The mess tin hangs on the left hip, behind, in the pelvis's space.
MENAZKA_TIE, MENAZKA_TRANSLATION, MENAZKA_ROTATION = "Bip01_Pelvis", (-12.0, -6.0, -11.0), (0.0, 20.0, 0.0)
ZONES = ["glowa", "tulow", "dolny_tulow", "lewa_reka", "prawa_reka", "lewa_noga", "prawa_noga", "menazka"]


def lines_file(lines):
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def sockets_file():
    return lines_file(["%s %s %s 0 0 0" % (s, n, " ".join(number(c) for c in o)) for s, n, o in SOCKETS])


def collisions_file():
    lines = []
    for kind, name, zone, nodes, size in COLLISIONS:
        lines.append("%s %s" % (kind, name))
        if kind == "sphere":
            lines += ["node_name %s" % nodes[0], "radius %d" % size]
        else:
            lines += ["start_node_name %s" % nodes[0], "finish_node_name %s" % nodes[1], "thickness %d" % size]
        lines.append("hit_zone_name %s" % zone)
    lines += ["mesh menazka", "tie_node_name %s" % MENAZKA_TIE, "prefab_filename %s" % MENAZKA_PREFAB,
              "translation %s" % " ".join(number(c) for c in MENAZKA_TRANSLATION),
              "rotation %s" % " ".join(number(c) for c in MENAZKA_ROTATION), "hit_zone_name menazka"]
    return lines_file(lines)


def menazka_file():
    # A 10 x 8 x 4 tin centred on its origin (the 64-unit box scaled).
    quads = [(n, [(x / 32 * 5, y / 8 - 4, z / 16) for x, y, z in corners]) for n, corners in xw.box(64.0, 64.0)]
    return xw.mesh_text("menazka", quads, "textures\\bialy.tga").encode()


def animations_desc():
    return lines_file(["%s 0 0 0 1" % animation_name(f) for f, _, _, _ in ANIMATIONS])


# ---- ragdoll -------------------------------------------------------------------


def particle_names():
    names = ["glowa%d" % i for i in range(1, 9)] + ["miednica5", "miednica6"]
    for s, pelvis in (("L", (2, 3)), ("P", (1, 4))):
        names += ["%s_tulow%d" % (s, i) for i in range(1, 5)]
        names += ["%s_miednica%d" % (s, i) for i in pelvis]
        names += ["%s_poldupek%d" % (s, i) for i in range(1, 7)]
        names += ["%s_udo%d" % (s, i) for i in (1, 2, 3, 4, 5, 6, 8, 9)]
        names += ["%s_kolano%d" % (s, i) for i in range(1, 7)]
        names += ["%s_lydka%d" % (s, i) for i in range(1, 9)]
    for s in "LP":
        names += ["%s_ramie%d" % (s, i) for i in range(1, 9)]
        names += ["%s_lokiec%d" % (s, i) for i in range(1, 7)]
        names += ["%s_przedramie%d" % (s, i) for i in range(1, 9)]
    return names


PARTICLES = particle_names()

# The node each particle follows (kept with the particle, read by nothing).
PARTICLE_NODES = [("glowa1", "Bip01_Neck"), ("glowa2", "Bip01_Neck"), ("glowa3", "Bip01_Neck"),
                  ("glowa4", "Bip01_Neck"), ("glowa", "Bip01_HeadNub"), ("miednica", "Bip01_Pelvis"),
                  ("tulow", "Bip01_Spine2"), ("poldupek", "Bip01_%s_Thigh"), ("udo", "Bip01_%s_Thigh"),
                  ("kolano", "Bip01_%s_Calf"), ("lydka", "Bip01_%s_Calf"), ("przedramie", "Bip01_%s_Forearm"),
                  ("ramie", "Bip01_%s_UpperArm"), ("lokiec", "Bip01_%s_Forearm")]


def particle_line(name):
    side = {"L": "L", "P": "R"}.get(name[0]) if name[1:2] == "_" else None
    word = name[2:] if side else name
    for prefix, node in PARTICLE_NODES:
        if word.startswith(prefix):
            region = word.rstrip("0123456789")
            return "%s %s 0 1 %s" % (name, node % side if "%s" in node else node, region)
    raise ValueError(name)


# Joint rows: P1, A1, B1, P2, A2, B2, K1, K2, fraction and the six joint particles.
JOINTS = [
    (["L_ramie6", "L_ramie7", "L_przedramie6", "L_ramie2", "L_ramie3", "L_przedramie5", "L_przedramie8",
      "L_przedramie7"], 0.333, "L_lokiec", "elbow"),
    (["P_ramie6", "P_ramie7", "P_przedramie6", "P_ramie2", "P_ramie3", "P_przedramie5", "P_przedramie8",
      "P_przedramie7"], 0.333, "P_lokiec", "elbow"),
    (["miednica5", "miednica6", "L_udo5", "L_miednica2", "L_miednica3", "L_udo6", "L_udo8", "L_udo9"], 0.333,
     "L_poldupek", "hip"),
    (["P_miednica1", "P_miednica4", "P_udo5", "miednica5", "miednica6", "P_udo6", "P_udo8", "P_udo9"], 0.333,
     "P_poldupek", "hip"),
    (["L_udo3", "L_udo1", "L_lydka1", "L_udo4", "L_udo2", "L_lydka2", "L_lydka7", "L_lydka8"], 0.5, "L_kolano",
     "knee"),
    (["P_udo3", "P_udo1", "P_lydka1", "P_udo4", "P_udo2", "P_lydka2", "P_lydka7", "P_lydka8"], 0.333, "P_kolano",
     "knee"),
]


def boxes():
    out = [["glowa%d" % i for i in range(1, 9)], ["%s_tulow%d" % (s, i) for s in "LP" for i in range(1, 5)]]
    for s in "LP":
        out += [["%s_udo%d" % (s, i) for i in (1, 2, 3, 4, 5, 6, 8, 9)], ["%s_lydka%d" % (s, i) for i in range(1, 9)],
                ["%s_ramie%d" % (s, i) for i in range(1, 9)], ["%s_przedramie%d" % (s, i) for i in range(1, 9)]]
    return out


PELVIS = ["P_miednica1", "P_miednica4", "miednica5", "miednica6", "L_miednica2", "L_miednica3"]
SHOULDER_RING = (1, 4, 5, 8)
WRIST_RING_TO_SHOULDER = ((1, 1), (2, 4), (3, 8), (4, 5))


def pairs_within(group):
    return [(a, b) for i, a in enumerate(group) for b in group[i + 1:]]


def distance_pairs(placed):
    pairs = []
    for box in boxes():
        pairs += pairs_within(box)
    pairs += pairs_within(PELVIS)
    pairs += [(p, t) for p in PELVIS for t in ("L_tulow1", "P_tulow1", "L_tulow4", "P_tulow4")]
    for row, _, prefix, _ in JOINTS:
        joint = ["%s%d" % (prefix, i) for i in range(1, 7)]
        pairs += [(j, r) for j in joint for r in row] + pairs_within(joint)
    pairs += [("glowa%d" % i, t) for i in range(1, 5) for t in ("L_tulow2", "P_tulow2", "L_tulow3", "P_tulow3")]
    for s in "LP":
        for i in SHOULDER_RING:
            shoulder = "%s_ramie%d" % (s, i)
            # Not the trunk particle that the shoulder particle meets in the T-pose.
            met = min(range(1, 5), key=lambda k: length(sub(placed[shoulder], placed["%s_tulow%d" % (s, k)])))
            pairs += [(shoulder, "%s_tulow%d" % (s, k)) for k in range(1, 5) if k != met]
    seen, out = set(), []
    for a, b in pairs:
        key = frozenset((a.lower(), b.lower()))
        if key not in seen:
            seen.add(key)
            out.append((a, b))
    return out


def self_collision_lines():
    # The wrist ring hangs from the shoulder ring as on a rope: no farther
    # apart than at death, plus a little slack.
    return ["%s_przedramie%d %s_ramie%d 1 1 %s_przedramie%d %s_ramie%d 2" % (s, w, s, r, s, w, s, r)
            for s in "LP" for w, r in WRIST_RING_TO_SHOULDER]


def place_particles(bones):
    """The ragdoll's particles placed from bone world positions."""
    LU, RU, LT, RT = bones["Bip01_L_UpperArm"], bones["Bip01_R_UpperArm"], bones["Bip01_L_Thigh"], bones["Bip01_R_Thigh"]
    SP, N, HN = bones["Bip01_Spine"], bones["Bip01_Neck"], bones["Bip01_HeadNub"]
    M, Hm, H, S = mul(add(LU, RU), 0.5), mul(add(LT, RT), 0.5), sub(RT, LT), sub(RU, LU)
    p = {}
    X, Y = unit(add(H, S)), unit(sub(M, Hm))
    Z = unit(cross(X, Y))
    w, s = length(H) / 2, length(S) / 2

    def at(o, *terms):
        r = o
        for k, v in terms:
            r = add(r, mul(v, k))
        return r

    p["P_miednica1"] = at(Hm, (2 * w, X), (7, Z))
    p["P_miednica4"] = at(Hm, (2 * w, X), (-7, Z))
    p["miednica5"] = at(Hm, (7, Z))
    p["miednica6"] = at(Hm, (-7, Z))
    p["L_miednica2"] = at(Hm, (-2 * w, X), (7, Z))
    p["L_miednica3"] = at(Hm, (-2 * w, X), (-7, Z))
    for side, sign in (("L", -1), ("P", 1)):
        for i, (ky, kz) in enumerate(((-7, 7), (7, 7), (7, -7), (-7, -7)), 1):
            p["%s_tulow%d" % (side, i)] = at(M, (sign * s, X), (ky, Y), (kz, Z))
    # Head.
    X, Y = unit(S), unit(sub(M, SP))
    Z = unit(cross(X, Y))
    Q = rotation_between(Y, sub(HN, N))[0]
    Xq, Zq = transform(X, Q), transform(Z, Q)
    a = length(sub(p["P_tulow2"], p["P_tulow3"])) / 2
    b = length(sub(p["P_tulow2"], p["L_tulow2"])) / 2
    for i, (kz, kx) in enumerate(((a, b), (a, -b), (-a, -b), (-a, b)), 1):
        p["glowa%d" % i] = at(N, (kz, Zq), (kx, Xq))
    for i, (kz, kx) in enumerate(((10.8, 9.0), (10.8, -9.0), (-6.0, -9.0), (-6.0, 9.0)), 5):
        p["glowa%d" % i] = at(HN, (kz, Zq), (kx, Xq))
    # Legs.
    X, Y = unit(H), unit(sub(M, Hm))
    Z = unit(cross(X, Y))
    for side, bone in (("L", "L"), ("P", "R")):
        T, C, F = bones["Bip01_%s_Thigh" % bone], bones["Bip01_%s_Calf" % bone], bones["Bip01_%s_Foot" % bone]
        Q1 = rotation_between(mul(Y, -1), sub(C, T))[0]
        X1, Z1 = transform(X, Q1), transform(Z, Q1)
        Q2 = rotation_between(sub(C, T), sub(F, C))[0]
        X2, Z2 = transform(X1, Q2), transform(Z1, Q2)
        Tp, Cp = add(T, mul(sub(C, T), 0.1)), add(C, mul(sub(F, C), 0.15))
        for n, o, kx, kz in ((5, Tp, w, -7), (6, Tp, -w, -7), (8, Tp, -w, 7), (9, Tp, w, 7), (1, C, w, w),
                             (2, C, -w, w), (3, C, w, -w), (4, C, -w, -w)):
            p["%s_udo%d" % (side, n)] = at(o, (kx, X1), (kz, Z1))
        for n, o, kx, kz in ((1, Cp, w, w), (2, Cp, -w, w), (7, Cp, -w, -w), (8, Cp, w, -w), (3, F, w, w),
                             (4, F, -w, w), (5, F, w, -w), (6, F, -w, -w)):
            p["%s_lydka%d" % (side, n)] = at(o, (kx, X2), (kz, Z2))
    # Arms.
    X, Y = unit(S), unit(sub(M, SP))
    Z = unit(cross(X, Y))
    for side, bone, out in (("L", "L", mul(X, -1)), ("P", "R", X)):
        U, F, D = bones["Bip01_%s_UpperArm" % bone], bones["Bip01_%s_Forearm" % bone], bones["Bip01_%s_Hand" % bone]
        Q1 = rotation_between(out, sub(F, U))[0]
        Y1, Z1 = transform(Y, Q1), transform(Z, Q1)
        Q2 = rotation_between(sub(F, U), sub(D, F))[0]
        Y2, Z2 = transform(Y1, Q2), transform(Z1, Q2)
        Fp = add(F, mul(sub(D, F), 0.16))
        for n, o, ky, kz in ((1, U, -7, 7), (4, U, -7, -7), (5, U, 7, 7), (8, U, 7, -7), (2, F, -3, 3), (3, F, -3, -3),
                             (6, F, 3, 3), (7, F, 3, -3)):
            p["%s_ramie%d" % (side, n)] = at(o, (ky, Y1), (kz, Z1))
        for n, o, ky, kz in ((5, Fp, -3, -3), (6, Fp, 3, -3), (7, Fp, 3, 3), (8, Fp, -3, 3), (1, D, -3, 3),
                             (2, D, -3, -3), (3, D, 3, -3), (4, D, 3, 3)):
            p["%s_przedramie%d" % (side, n)] = at(o, (ky, Y2), (kz, Z2))
    # Joints, in the placement's order: elbows, hips, knees.
    for row, fraction, prefix, kind in JOINTS:
        P1, A1, B1, P2, A2, B2, K1, K2 = [p[n] for n in row]
        av, bv = sub(A1, P1), sub(B1, P1)
        _, axis, angle = rotation_between(av, bv)
        theta = fraction * angle
        j1 = add(P1, transform(av, rotation_axis(axis, theta)))
        a2 = sub(A2, P2)
        _, axis2, _ = rotation_between(a2, sub(B2, P2))
        j2 = add(P2, transform(a2, rotation_axis(axis2, theta)))
        d = length(sub(P2, P1))
        G1, G2 = mul(add(K1, P2), 0.5), mul(add(K2, P1), 0.5)
        mid = mul(add(G1, G2), 0.5)
        E = mul(unit(sub(G2, mid)), d / 2)
        Ca, Cb = mean([A1, A2, P1, P2]), mean([B1, B2, K1, K2])
        Dv = mul(unit(sub(add(Ca, mul(sub(Cb, Ca), 0.7)), mid)), d / 2)
        j3, j4 = add(add(mid, mul(Dv, 2)), E), sub(add(mid, mul(Dv, 2)), E)
        j5, j6 = (sub(mid, E), add(mid, E)) if kind != "hip" else (add(mid, E), sub(mid, E))
        for i, j in enumerate((j1, j2, j3, j4, j5, j6), 1):
            p["%s%d" % (prefix, i)] = j
    return p


# ---- textures ------------------------------------------------------------------

HEAD_COLOUR = (230, 190, 160)
REGION_COLOURS = [(40, 80, 200), (40, 170, 60), (200, 40, 40), (220, 200, 40), (170, 60, 170)]
SPARE_COLOUR = (128, 128, 128)
TORSO_SUBSTITUTES = [("manekin_a", (230, 120, 20)), ("manekin_b", (20, 160, 160)), ("manekin_c", (90, 90, 90))]
TEXTURE_SIZE = 64


def body_texture(torso_colour):
    colours = [torso_colour] + REGION_COLOURS[1:] + [SPARE_COLOUR] * 3
    half, quarter = TEXTURE_SIZE // 2, TEXTURE_SIZE // 4
    pixels = []
    for y in range(TEXTURE_SIZE):
        for x in range(TEXTURE_SIZE):
            pixels.append(colours[(y // half) * 4 + x // quarter] + (255, ))
    return tex.tga_bytes(TEXTURE_SIZE, pixels)


TEXTURE_FILES = ["manekin.tga", "manekin_glowa.tga"] + [n + ".tga" for n, _ in TORSO_SUBSTITUTES]

# Lines of scripts\textures.txt and scripts\texture_substitutes.txt (written by
# gen_textures.py).
TEXTURE_DESCRIPTIONS = [line for name in TEXTURE_FILES for line in ("texture %s" % name, "plastic", "")]
SUBSTITUTE_LINES = ["texture manekin.tga"] + ["substitute %s.tga" % n for n, _ in TORSO_SUBSTITUTES] + [""]

# ---- checks --------------------------------------------------------------------

ALLOWED_PATH = set("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!_\\.-")


class CheckFailed(Exception):
    pass


def require(condition, message):
    if not condition:
        raise CheckFailed(message)


def mat_mul(a, b):
    return [sum(a[r * 4 + k] * b[k * 4 + c] for k in range(4)) for r in range(4) for c in range(4)]


def written(values, binary):
    """Numbers as the file holds them."""
    return list(f32(values)) if binary else [float(number(v)) for v in values]


def check_offsets(binary):
    for bone, _, _ in BONES:
        world = [1.0 if r == c else 0.0 for r in range(4) for c in range(4)]
        chain, b = [], bone
        while b is not None:
            chain.append(b)
            b = PARENT[b]
        for b in chain:  # local first, then each parent's
            world = mat_mul(world, written(translation_matrix(bind_translation(b)), binary))
        product = mat_mul(written(offset_matrix(bone), binary), world)
        for r in range(4):
            for c in range(4):
                require(abs(product[r * 4 + c] - (1.0 if r == c else 0.0)) <= 1e-5,
                        "offset x bind world of %s is not the identity (%s)" % (bone, "binary" if binary else "text"))


def check_mesh(mesh, binary):
    require(len(mesh.positions) < 65536, "too many vertices")
    four = False
    for v, weights in enumerate(mesh.weights):
        require(1 <= len(weights) <= 4, "vertex %d has %d weights" % (v, len(weights)))
        values = written([w / 1000.0 for _, w in weights], binary) if binary else [float(weight_text(w))
                                                                                   for _, w in weights]
        require(abs(sum(values) - 1.0) <= 1e-6, "weights of vertex %d sum to %r" % (v, sum(values)))
        four = four or len(weights) == 4
    require(four, "no vertex has four weights")
    weighted = {b for b, _ in skin_bones(mesh)}
    for bone in weighted:
        require(not any(k in bone for k in ("ForeTwist", "Nub", "Finger")), "%s must carry no weights" % bone)
    require("Bone_szczeka" in weighted, "the jaw carries no weights")
    for a, b, c in mesh.faces:
        pa, pb, pc = mesh.positions[a], mesh.positions[b], mesh.positions[c]
        outward = add(add(mesh.normals[a], mesh.normals[b]), mesh.normals[c])
        require(dot(cross(sub(pb, pa), sub(pc, pa)), outward) > 0, "a triangle faces inward")


def check_skeleton():
    names = [n for n, _, _ in BONES]
    require(len(set(n.lower() for n in names)) == len(names), "two frames share a name")
    require(len(BIPED_NAMES) == 54 and len(set(BIPED_NAMES)) == 54, "the biped table is not 54 names")
    for n in BIPED_NAMES + RAGDOLL_BONES + ["Bone_szczeka", "Bone_brwi"]:
        require(n in POSITION, "bone %s is missing" % n)
    require(len(RAGDOLL_BONES) == 27, "the ragdoll bone list is not 27 names")
    for parent, aim in (("Bip01_Pelvis", "Bip01_Spine"), ("Bip01_Neck", "Bip01_Head"),
                        ("Bip01_L_UpperArm", "Bip01_L_Forearm"), ("Bip01_R_UpperArm", "Bip01_R_Forearm"),
                        ("Bip01_L_Hand", "Bip01_L_Finger1"), ("Bip01_R_Hand", "Bip01_R_Finger1")):
        kids = children_of(parent)
        require(len(kids) > 1 and kids[1] == aim, "the aim child of %s is not %s" % (parent, aim))
    for _, node, _ in SOCKETS:
        require(node in POSITION, "socket node %s is missing" % node)
    for _, _, zone, nodes, size in COLLISIONS:
        require(all(n in POSITION for n in nodes) and zone in ZONES and 6 <= size <= 16, "bad collision element")
    require(MENAZKA_TIE in POSITION, "the mess tin's node is missing")


def check_animation(data):
    n, sizes = bin_record_sizes(data)
    require(n == len(ANIMATED), "an animation lacks tracks")
    require(len(data) == 28 + sum(sizes), "record sizes do not add up")
    seconds, = struct.unpack_from("<d", data, 20)
    at = 28
    for size in sizes:
        nt, nr, ns = struct.unpack_from("<III", data, at + 168)
        times = struct.unpack_from("<%df" % (nt + nr + ns), data, at + 180)
        for start, count in ((0, nt), (nt, nr), (nt + nr, ns)):
            kind = times[start:start + count]
            require(count >= 1 and kind[0] == 0.0 and list(kind) == sorted(kind), "keys must start at 0, ascending")
            require(kind[-1] <= seconds * KEY_TIME_SCALE + 1e-6, "a key lies past the end")
        at += size


def check_ragdoll(placed, distance, self_collision):
    require(len(PARTICLES) == 122 and len(set(PARTICLES)) == 122, "the particle list is not 122 names")
    names = {n.lower() for n in PARTICLES}
    lower = {n.lower(): n for n in PARTICLES}
    pairs = list(distance)
    for line in self_collision:
        words = line.split(" ")
        require(len(words) == 7, "self-collision line of %d words" % len(words))
        pairs += [(words[0], words[1]), (words[4], words[5])]
    for a, b in pairs:
        require(a.lower() in names and b.lower() in names, "a constraint names an unknown particle")
        d = length(sub(placed[lower[a.lower()]], placed[lower[b.lower()]]))
        require(d >= 0.05, "%s and %s are %.4f apart in the bind pose" % (a, b, d))


def check_placement_example():
    """The placement reproduces the standing skeleton's known particles. (The
    legs are left out: with the leg nearly straight, RotationBetweenVectors
    turns about PerpendicularVector's (1, 0, 1), as the engine does.)"""
    bones = {"Bip01_L_Thigh": (-10, 90, 0), "Bip01_R_Thigh": (10, 90, 0), "Bip01_L_UpperArm": (-20, 135, 0),
             "Bip01_R_UpperArm": (20, 135, 0), "Bip01_Spine": (0, 100, 0), "Bip01_Neck": (0, 140, 0),
             "Bip01_HeadNub": (0, 160, 0), "Bip01_L_Calf": (-10, 50, 1), "Bip01_L_Foot": (-10, 10, 0),
             "Bip01_R_Calf": (10, 50, 1), "Bip01_R_Foot": (10, 10, 0), "Bip01_L_Forearm": (-47, 135, 0),
             "Bip01_L_Hand": (-72, 135, 0), "Bip01_R_Forearm": (47, 135, 0), "Bip01_R_Hand": (72, 135, 0)}
    p = place_particles({k: tuple(float(c) for c in v) for k, v in bones.items()})
    for name, want, tolerance in (("P_miednica1", (20, 90, 7), 1e-9), ("miednica6", (0, 90, -7), 1e-9),
                                  ("L_tulow1", (-20, 128, 7), 1e-9), ("P_tulow2", (20, 142, 7), 1e-9),
                                  ("glowa1", (20, 140, 7), 1e-9), ("glowa5", (9, 160, 10.8), 1e-9),
                                  ("glowa7", (-9, 160, -6), 1e-9)):
        require(length(sub(p[name], want)) <= tolerance, "placement of %s is %r" % (name, p[name]))


def check_paths(paths):
    for path in paths:
        require(set(path) <= ALLOWED_PATH, "texture path %s holds a character the registry refuses" % path)


# ---- output --------------------------------------------------------------------


def build():
    """Every file as {data-relative path with backslashes: bytes}, checked."""
    check_placement_example()
    check_skeleton()
    for binary in (False, True):
        check_offsets(binary)
    high, low = build_mesh(False), build_mesh(True)
    check_mesh(high, False)
    check_mesh(low, True)
    files = {
        "models\\manekin\\manekin.x": model_text(high).encode("ascii"),
        "models\\manekin\\manekin_lowpoly.x": model_binary(low),
        "models\\manekin\\manekin.tga": body_texture(REGION_COLOURS[0]),
        "models\\manekin\\manekin_glowa.tga": tex.tga_bytes(32, tex.flat(32, HEAD_COLOUR)),
    }
    for name, colour in TORSO_SUBSTITUTES:
        files["models\\manekin\\%s.tga" % name] = body_texture(colour)
    check_paths([p for p in files if p.endswith(".tga")] + MATERIALS)
    for name, seconds, loops, pose in ANIMATIONS:
        data = animation_file(seconds, pose)
        check_animation(data)
        files["models\\manekin\\animations\\" + name] = data
    files["models\\manekin\\animations\\animations_desc.txt"] = animations_desc()
    for name, seconds, loops, pose in COMMON_ANIMATIONS:
        data = animation_file(seconds, pose)
        check_animation(data)
        files["models\\common\\" + name] = data
        files["models\\common\\" + animation_name(name) + ".txt"] = lines_file(["standard_params 0 0 0 1"])
    files["models\\manekin\\sockets.txt"] = sockets_file()
    files["models\\manekin\\collisions.txt"] = collisions_file()
    files[MENAZKA_PREFAB] = menazka_file()
    placed = place_particles(POSITION)
    distance = distance_pairs(placed)
    self_collision = self_collision_lines()
    check_ragdoll(placed, distance, self_collision)
    files["models\\manekin\\death\\particles.txt"] = lines_file([particle_line(n) for n in PARTICLES])
    files["models\\manekin\\death\\distance_constraints.txt"] = lines_file(
        ["%s %s 1 1 0 0 0 dc" % pair for pair in distance])
    files["models\\manekin\\death\\selfcollision_constraints.txt"] = lines_file(self_collision)
    for path, data in files.items():
        if path.endswith(".txt"):
            require(b"\t" not in data and b"  " not in data, "%s holds tabs or double blanks" % path)
    return files


def main():
    data_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "data")
    try:
        files = build()
    except CheckFailed as e:
        print("gen_character: check failed, nothing written: %s" % e, file=sys.stderr)
        return 1
    for relative, data in files.items():
        path = os.path.join(data_dir, *relative.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    print("wrote %d files under %s" % (len(files), data_dir))
    return 0


if __name__ == "__main__":
    sys.exit(main())
