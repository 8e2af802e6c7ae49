#!/usr/bin/env python3
"""Writes the demo particle effects: data/afx/*.afx, their textures under
data/textures/fx/, the debris chunk model data/models/debris_chunk.x and the
blood-drop lists data/scripts/BloodDrops.txt and BloodDropsOF.txt.

    smoke_puff                 a grey puff: colour and opacity keys, growth, spin
    flash                      an additive flash on an 8 x 4 frame atlas
    spark_small                sparks (drawn from the spark buffer, no texture)
    debris_chunk               a mesh particle thrown up and falling
    heat_haze                  a sprite with a screen-distortion normal map
    explosion_light            an additive light sprite
    explosion_small            the explosive crate's death: an explosion power,
                               After (flash, chunk, light, haze) and Every
                               (smoke, sparks) sub-effects
    e_dymek_spod_helikoptera   the dust blown up under a helicopter
    krew_kropla                a blood drop (its textures from the lists)
    smoke_column               the endless, unseen emitter of the smouldering
                               crate's smoke (the world key set_fx)
    smoke_wisp                 a faint puff of that column

No texture is used additively by one effect and normally by another, so the
game writes no "!fx_bugs.txt". The generated files are committed.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gen_meshes import box, mesh_text  # noqa: E402
from gen_textures import write_file, write_tga  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "data")


def radial(size, colour, power=1.0):
    """A round blob: full alpha in the middle, none at the edge."""
    px = []
    half = (size - 1) / 2.0
    for y in range(size):
        for x in range(size):
            d = (((x - half) ** 2 + (y - half) ** 2) ** 0.5) / half
            a = max(0.0, 1.0 - d) ** power
            px.append(colour + (int(round(255 * a)),))
    return px


def atlas(frames_x, frames_y, cell):
    """An 8 x 4 atlas of flash frames: a blob that grows, then fades."""
    width = frames_x * cell
    px = [(0, 0, 0, 0)] * (width * frames_y * cell)
    count = frames_x * frames_y
    for f in range(count):
        fx, fy = f % frames_x, f // frames_x
        t = f / (count - 1)
        radius = (cell / 2 - 1) * (0.35 + 0.65 * min(1.0, t * 3))
        fade = 1.0 - t
        for y in range(cell):
            for x in range(cell):
                d = (((x - cell / 2 + 0.5) ** 2 + (y - cell / 2 + 0.5) ** 2) ** 0.5) / radius
                a = max(0.0, 1.0 - d) * fade
                i = (fy * cell + y) * width + fx * cell + x
                px[i] = (255, int(160 + 90 * (1 - t)), int(60 * (1 - t)), int(round(255 * a)))
    return width, frames_y * cell, px


def write_tga_rect(path, width, height, pixels):
    import struct

    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 32, 0x28)
    data = bytearray()
    for r, g, b, a in pixels:
        data += bytes((b, g, r, a))
    write_file(path, header + bytes(data))


def haze_normal(size):
    """A ring of tilted normals around a flat middle (0x80, 0x80, 0xFF flat)."""
    px = []
    half = (size - 1) / 2.0
    for y in range(size):
        for x in range(size):
            dx, dy = (x - half) / half, (y - half) / half
            d = (dx * dx + dy * dy) ** 0.5
            w = max(0.0, 1.0 - abs(d - 0.6) / 0.4) * 0.5
            px.append((int(128 + 127 * dx * w), int(128 + 127 * dy * w), 255, 255))
    return px


EFFECTS = {
    "smoke_puff": """Type Sprite
Filename textures\\fx\\smoke.tga
Scale 24 24 1
Scale_Rand 8 8 0
Move true
Vel 0 40 0
Vel_Rand 30 16 30
Grow 0.8
Spinning_Sprite true
Spinning_Speed 30
Spinning_Speed_Rand 20
Life_Time 2.5
Life_Time_Rand 0.5
dwColor 2
Color 0 90 90 90
Color 1 40 40 40
Color_Time 0 0
Color_Time 1 1
dwAlpha 3
Alpha 0 0
Alpha 1 160
Alpha 2 0
Alpha_Time 0 0
Alpha_Time 1 0.2
Alpha_Time 2 1
Disappear_Distance 3000
""",
    "flash": """Type Sprite
Filename textures\\fx\\flash_atlas.tga
Additive true
Animated_Sprite_Texture true
Animated_Sprite_FPS 64
Scale 96 96 1
Life_Time 0.5
dwColor 1
Color 0 255 255 255
dwAlpha 2
Alpha 0 255
Alpha 1 0
Alpha_Time 0 0
Alpha_Time 1 1
""",
    "spark_small": """Type Spark
Move true
Vel 0 150 0
Vel_Rand 300 200 300
Gravity 600
Life_Time 0.6
Life_Time_Rand 0.3
Accelerate_After 0.1
Accelerate_Coef 200
Accelerate_For 0.3
""",
    "debris_chunk": """Type Mesh
Filename models\\debris_chunk.x
Move true
Vel 0 260 0
Vel_Rand 300 120 300
Gravity 700
Scale 1 1 1
Life_Time 2
""",
    "heat_haze": """Type Sprite
Filename textures\\fx\\haze.tga
DistortionNormal textures\\fx\\haze_normal.tga
Scale 80 80 1
Grow 0.5
Life_Time 0.8
dwColor 1
Color 0 255 255 255
dwAlpha 2
Alpha 0 60
Alpha 1 0
Alpha_Time 0 0
Alpha_Time 1 1
""",
    "explosion_light": """Type Sprite
Filename textures\\fx\\glow.tga
Additive true
Light_Sprite true
Scale 200 200 1
Life_Time 0.4
dwColor 1
Color 0 255 200 120
dwAlpha 2
Alpha 0 255
Alpha 1 0
Alpha_Time 0 0
Alpha_Time 1 1
""",
    "explosion_small": """Type Sprite
Filename textures\\fx\\flash_atlas.tga
Additive true
Pos 0 32 0
Scale 64 64 1
Grow 1.5
Life_Time 1.2
Explosion_Power 1.5
dwColor 2
Color 0 255 190 90
Color 1 120 40 10
Color_Time 0 0
Color_Time 1 1
dwAlpha 2
Alpha 0 255
Alpha 1 0
Alpha_Time 0 0
Alpha_Time 1 1
After 0 flash 0
After 0 debris_chunk 0
After 0 debris_chunk 0.1
After 0.05 explosion_light 0
After 0.1 heat_haze 0
Every 0.08 smoke_puff 0.04
Every 0.05 spark_small 0.02
""",
    "e_dymek_spod_helikoptera": """Type Sprite
Filename textures\\fx\\smoke.tga
Pos_Rand 200 0 200
Scale 48 24 1
Move true
Vel 0 30 0
Vel_Rand 160 20 160
Grow 0.6
Life_Time 1.5
Life_Time_Rand 0.5
dwColor 1
Color 0 150 130 100
dwAlpha 3
Alpha 0 0
Alpha 1 90
Alpha 2 0
Alpha_Time 0 0
Alpha_Time 1 0.3
Alpha_Time 2 1
""",
    "krew_kropla": """Type BloodDrop
Move true
Vel 0 80 0
Vel_Rand 120 60 120
Gravity 500
Scale 3 3 1
Life_Time 1.5
dwColor 1
Color 0 255 255 255
dwAlpha 1
Alpha 0 255
""",
    "smoke_column": """Type Sprite
Filename textures\\fx\\smoke.tga
Pos 0 64 0
Life_Time -1
dwAlpha 1
Alpha 0 0
Every 0.4 smoke_wisp 0.3
""",
    "smoke_wisp": """Type Sprite
Filename textures\\fx\\smoke.tga
Scale 12 12 1
Move true
Vel 0 24 0
Vel_Rand 8 6 8
Grow 0.5
Life_Time 3
dwColor 1
Color 0 70 70 70
dwAlpha 3
Alpha 0 0
Alpha 1 70
Alpha 2 0
Alpha_Time 0 0
Alpha_Time 1 0.3
Alpha_Time 2 1
""",
}

BLOOD_DROPS = """// Textures of blood-drop particles.
textures\\fx\\blood_drop_1.tga
textures\\fx\\blood_drop_2.tga
"""
BLOOD_DROPS_OF = """// Floor blood: its presence lets the drops leave blood on flat ground.
textures\\fx\\blood_floor_1.tga
"""


def main():
    afx = os.path.join(DATA, "afx")
    os.makedirs(afx, exist_ok=True)
    for name, text in EFFECTS.items():
        with open(os.path.join(afx, name + ".afx"), "w", newline="\r\n") as f:
            f.write(text)

    tex = os.path.join(DATA, "textures", "fx")
    write_tga(os.path.join(tex, "smoke.tga"), 32, radial(32, (255, 255, 255), 1.5))
    write_tga(os.path.join(tex, "glow.tga"), 32, radial(32, (255, 255, 255), 2.0))
    write_tga(os.path.join(tex, "haze.tga"), 32, radial(32, (255, 255, 255), 1.0))
    write_tga(os.path.join(tex, "haze_normal.tga"), 32, haze_normal(32))
    width, height, px = atlas(8, 4, 16)
    write_tga_rect(os.path.join(tex, "flash_atlas.tga"), width, height, px)
    write_tga(os.path.join(tex, "blood_drop_1.tga"), 8, radial(8, (150, 0, 0), 0.7))
    write_tga(os.path.join(tex, "blood_drop_2.tga"), 8, radial(8, (110, 0, 0), 1.0))
    write_tga(os.path.join(tex, "blood_floor_1.tga"), 16, radial(16, (90, 0, 0), 0.5))

    write_file(
        os.path.join(DATA, "models", "debris_chunk.x"),
        mesh_text("debris_chunk", box(12.0, 12.0), "textures\\crate.tga").encode(),
    )

    scripts = os.path.join(DATA, "scripts")
    with open(os.path.join(scripts, "BloodDrops.txt"), "w", newline="\r\n") as f:
        f.write(BLOOD_DROPS)
    with open(os.path.join(scripts, "BloodDropsOF.txt"), "w", newline="\r\n") as f:
        f.write(BLOOD_DROPS_OF)


if __name__ == "__main__":
    main()
