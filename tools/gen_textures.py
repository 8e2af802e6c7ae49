#!/usr/bin/env python3
"""Generates the textures of the demo data and their texture scripts.

Plain Python 3, no third-party modules. Every texture is made of flat
regions of distinct colours (quadrants, bands, a border), so a screenshot
probe can tell one texture, one frame or one variant from another. Colours
are chosen to be exact in 16-bit 5:6:5, so the block-compressed files decode
to the very colours written here.

    python3 tools/gen_textures.py [data-directory]

Writes, under the data directory (default: data/ beside this folder):
  textures/bialy.tga              white, the default texture of every world
  textures/crate.tga              the crate of box.x, with crate_normal.tga
                                  (flat, alpha 40: a faint mask
                                  for its highlight and environment cube)
  textures/*_normal.tga           flat normal maps (alpha 0: no shine) of the
                                  floor, the wreck, the grate, the glass, the
                                  white default, the tree and the lava (paint_normal.dds
                                  for paint.dds), so that the
                                  lit passes find one for every lit texture
  textures/bark.tga, leaves.tga   the tree of tree.x: bark bands, and leaves
                                  with cut-out holes (alpha 0, `transparent`)
  textures/crate_broken.tga       the wreck of a crate
  textures/floor.tga              the floor of plane.x, with floor_high.tga
                                  (the high-quality variant) and
                                  floor_detail.tga (its detail map)
  textures/blocker.tga            the visibility blocker marker
  textures/grate.tga              a grate with transparent holes (alpha 0)
  textures/glass.tga              a glass pane, alpha 128 (translucent)
  textures/screen.tga             an animated screen, with screen_1.tga ..
                                  screen_3.tga as its three frames
  textures/sign.tga, sign.dds     a tga/dds twin (the dds file is loaded)
  textures/dark_floor.tga         a dark patch of floor (dark_plane.x)
  textures/oil_stain.tga          an oil stain, dark blue-grey (multiplied in)
  textures/light_shaft.tga        a light shaft, pale yellow (added on)
  textures/water.tga              the pool's water, deep blue-green, with
                                  water_normal.tga (its waves: a normal map
                                  of tiling noise, no pattern repeating
                                  inside it)
  textures/lava.tga               the lava plane's crust, dark red and brown,
                                  with lava_flow.tga (its `lava` companion:
                                  8-texel orange and brown checks, so that
                                  its flow shows from frame to frame)
  textures/metal_dxt1.dds         DXT1 with a full mip chain
  textures/rust_dxt5.dds          DXT5 with alpha, full mip chain
  textures/paint.dds              uncompressed A8R8G8B8, full mip chain
  textures/sky_cube.dds           an uncompressed cube map, one colour a face
  textures/sky_nadir.tga .. sky_zenith.tga  the bands of the sky box sky.x,
                                  one flat colour each, horizon to zenith
  textures/sky_clouds.tga         its cloud layer, white at alpha 128 (translucent)
  textures/alcove.tga             the alcove floor, one warm grey, with
                                  alcove_normal.tga (flat, alpha 32: a faint
                                  reflection of the cube) and
                                  alcove_detail.tga (two near greys)
  textures/tarvok_noise.tga       grey noise that the post-processing registers
                                  with its targets (deterministic: the classic
                                  15-bit generator from seed 1)
  textures/bright_panel.tga       a near-white panel (fully_bright_in_normal_mask)
                                  that the post-processing's bloom spreads, with
                                  bright_panel_normal.tga (flat, alpha 255: the
                                  mask that leaves the panel fully bright)
  textures/hud_vignetting.tga     the post-processing's vignettes: white within
  textures/hud_vignetting_light.tga  half the radius, darkening toward the
                                  corners (to 0.3 heavy, 0.8 light)
  textures/hud_ekran_krwi_16.tga  the blood screen: dark red, opaque at the
                                  edges and clear in the middle
  scripts/textures.txt            the descriptions
  scripts/textures/extra.txt      descriptions that add to the first file
  scripts/texture_substitutes.txt substitutes for skinned meshes

The test character's textures are gen_character.py's; their descriptions and
substitutes are added here from it.
"""
import os
import struct
import sys

# Colours exact in 5:6:5 (R, G, B).
RED = (255, 0, 0)
GREEN = (0, 255, 0)
BLUE = (0, 0, 255)
YELLOW = (255, 255, 0)
CYAN = (0, 255, 255)
MAGENTA = (255, 0, 255)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
GREY = (132, 130, 132)
ORANGE = (255, 130, 0)
BROWN = (132, 65, 0)
NAVY = (0, 0, 132)
OLIVE = (132, 130, 0)
TEAL = (0, 130, 132)
PURPLE = (132, 0, 132)
SKY_BLUE = (132, 195, 255)
OIL = (66, 97, 165)
SHAFT = (99, 97, 66)
NORMAL_UP = (132, 130, 255)
ALCOVE = (198, 190, 173)
DETAIL_MID = (128, 128, 128)
DETAIL_NEAR = (124, 124, 124)
DETAIL_DARK = (66, 65, 66)  # half of GREY: a detail texel doubles the colour under it
DARK_GREY = (33, 32, 33)
DARK_BROWN = (66, 32, 0)


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def quadrants(size, colours, alpha=255):
    """size x size texels: top-left, top-right, bottom-left, bottom-right."""
    half = size // 2
    px = []
    for y in range(size):
        for x in range(size):
            c = colours[(1 if x >= half else 0) + (2 if y >= half else 0)]
            px.append(c + (alpha,))
    return px


def flat(size, colour, alpha=255):
    return [colour + (alpha,)] * (size * size)


def tga_bytes(size, pixels):
    """32-bit uncompressed TGA, top-left origin."""
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, size, size, 32, 0x28)
    data = bytearray()
    for r, g, b, a in pixels:
        data += bytes((b, g, r, a))
    return header + bytes(data)


def write_tga(path, size, pixels):
    write_file(path, tga_bytes(size, pixels))


# ---- DDS -----------------------------------------------------------------------

DDSD_CAPS, DDSD_HEIGHT, DDSD_WIDTH, DDSD_PIXELFORMAT, DDSD_MIPMAPCOUNT = 0x1, 0x2, 0x4, 0x1000, 0x20000
DDPF_ALPHAPIXELS, DDPF_FOURCC, DDPF_RGB = 0x1, 0x4, 0x40
DDSCAPS_COMPLEX, DDSCAPS_TEXTURE, DDSCAPS_MIPMAP = 0x8, 0x1000, 0x400000
DDSCAPS2_CUBEMAP_ALL = 0x200 | 0xFC00


def dds_header(size, levels, fourcc=None, cube=False):
    flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_MIPMAPCOUNT
    h = struct.pack("<4sIIIIIII", b"DDS ", 124, flags, size, size, 0, 0, levels)
    h += b"\0" * 44
    if fourcc:
        h += struct.pack("<II4sIIIII", 32, DDPF_FOURCC, fourcc, 0, 0, 0, 0, 0)
    else:
        h += struct.pack("<II4sIIIII", 32, DDPF_RGB | DDPF_ALPHAPIXELS, b"\0\0\0\0", 32,
                         0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
    caps = DDSCAPS_TEXTURE | DDSCAPS_COMPLEX | DDSCAPS_MIPMAP
    h += struct.pack("<IIIII", caps, DDSCAPS2_CUBEMAP_ALL if cube else 0, 0, 0, 0)
    return h


def rgb565(c):
    r, g, b = c
    return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)


def colour_block(c):
    v = rgb565(c)
    # Both end points the colour, every index 0: the block is that colour.
    return struct.pack("<HHI", v, v, 0)


def alpha_block(a):
    return bytes((a, a, 0, 0, 0, 0, 0, 0))


def level_colour(level_pixels, size, bx, by):
    return level_pixels[(by * 4) * size + bx * 4]


def compressed_level(pixels, size, dxt5):
    out = bytearray()
    blocks = max(1, (size + 3) // 4)
    for by in range(blocks):
        for bx in range(blocks):
            x, y = min(bx * 4, size - 1), min(by * 4, size - 1)
            r, g, b, a = pixels[y * size + x]
            if dxt5:
                out += alpha_block(a)
            out += colour_block((r, g, b))
    return bytes(out)


def shrink(pixels, size):
    """Every second texel: flat regions stay flat and keep their colours."""
    half = max(1, size // 2)
    step = size // half
    return [pixels[(y * step) * size + x * step] for y in range(half) for x in range(half)], half


def write_dds(path, size, pixels, fourcc=None, faces=None):
    levels = size.bit_length()
    data = bytearray(dds_header(size, levels, fourcc, cube=faces is not None))
    for face in (faces if faces is not None else [pixels]):
        px, s = face, size
        for _ in range(levels):
            if fourcc:
                data += compressed_level(px, s, fourcc == b"DXT5")
            else:
                for r, g, b, a in px:
                    data += bytes((b, g, r, a))
            px, s = shrink(px, s)
    write_file(path, bytes(data))


# ---- The textures ----------------------------------------------------------------


def grate(size):
    px = []
    for y in range(size):
        for x in range(size):
            bar = (x % 16) < 4 or (y % 16) < 4
            px.append(GREY + (255,) if bar else BLACK + (0,))
    return px


def leaves(size):
    # Green leaf blocks on a transparent ground: every other 8 x 8 block of
    # a checker is cut out.
    px = []
    for y in range(size):
        for x in range(size):
            px.append(GREEN + (255,) if (x // 8 + y // 8) % 2 == 0 else BLACK + (0,))
    return px


def checks(size, cell, colours):
    return [colours[((x // cell) + (y // cell)) % 2] + (255,) for y in range(size) for x in range(size)]


def noise_waves(size, seed=7):
    """The normal map of a tiling noise height field (value noise on lattices
    of 4, 8 and 16 cells a side, smoothly interpolated and wrapped at the
    edges, halved in strength with each octave), as (x, y, z) ->
    (128 + 127 x, ...), z out of the surface: waves without a repeating
    pattern inside the texture."""
    import math
    state = seed

    def rand01():
        nonlocal state
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        return ((state >> 16) & 0x7FFF) / 32767.0

    height = [0.0] * (size * size)
    for cells, weight in ((4, 1.0), (8, 0.5), (16, 0.25)):
        lattice = [rand01() for _ in range(cells * cells)]
        step = size / cells
        for y in range(size):
            for x in range(size):
                fx, fy = x / step, y / step
                x0, y0 = int(fx), int(fy)
                tx, ty = fx - x0, fy - y0
                sx, sy = tx * tx * (3 - 2 * tx), ty * ty * (3 - 2 * ty)
                a = lattice[(y0 % cells) * cells + x0 % cells]
                b = lattice[(y0 % cells) * cells + (x0 + 1) % cells]
                c = lattice[((y0 + 1) % cells) * cells + x0 % cells]
                d = lattice[((y0 + 1) % cells) * cells + (x0 + 1) % cells]
                top, bottom = a + (b - a) * sx, c + (d - c) * sx
                height[y * size + x] += weight * (top + (bottom - top) * sy)
    px = []
    strength = 2.5
    for y in range(size):
        for x in range(size):
            dx = -(height[y * size + (x + 1) % size] - height[y * size + (x - 1) % size]) * strength
            dy = -(height[((y + 1) % size) * size + x] - height[((y - 1) % size) * size + x]) * strength
            length = math.sqrt(dx * dx + dy * dy + 1.0)
            n = (dx / length, dy / length, 1.0 / length)
            px.append(tuple(int(round(128 + 127 * c)) for c in n) + (255,))
    return px


def noise(size, seed=1):
    """Grey texels from the classic 15-bit linear congruential generator."""
    px = []
    state = seed
    for _ in range(size * size):
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        v = (state >> 16) & 0xFF
        px.append((v, v, v, 255))
    return px


def vignette(size, corner):
    """White within half the radius, falling smoothly to `corner` at the corners."""
    px = []
    for y in range(size):
        for x in range(size):
            dx = (x + 0.5) / size * 2.0 - 1.0
            dy = (y + 0.5) / size * 2.0 - 1.0
            r = min(1.0, (dx * dx + dy * dy) ** 0.5 / 2.0 ** 0.5)
            t = max(0.0, (r - 0.5) / 0.5)
            v = round(255 * (1.0 - (1.0 - corner) * t * t * (3.0 - 2.0 * t)))
            px.append((v, v, v, 255))
    return px


def blood(size):
    """Dark red whose alpha grows from 0 in the middle to 255 at the edges."""
    px = []
    for y in range(size):
        for x in range(size):
            dx = abs((x + 0.5) / size * 2.0 - 1.0)
            dy = abs((y + 0.5) / size * 2.0 - 1.0)
            a = round(255 * max(0.0, (max(dx, dy) - 0.4) / 0.6))
            px.append((132, 0, 0, a))
    return px


def main():
    import gen_character  # the test character's texture descriptions and substitutes

    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")
    tex = os.path.join(root, "textures")
    write_tga(os.path.join(tex, "bialy.tga"), 8, flat(8, WHITE))
    write_tga(os.path.join(tex, "crate.tga"), 64, quadrants(64, [BROWN, ORANGE, ORANGE, BROWN]))
    write_tga(os.path.join(tex, "crate_normal.tga"), 64, flat(64, NORMAL_UP, 40))
    for name in ("floor", "crate_broken", "grate", "glass", "bialy", "bark", "leaves", "lava"):
        write_tga(os.path.join(tex, name + "_normal.tga"), 8, flat(8, NORMAL_UP, 0))
    write_dds(os.path.join(tex, "paint_normal.dds"), 8, flat(8, NORMAL_UP, 0))
    write_tga(os.path.join(tex, "bark.tga"), 32, quadrants(32, [BROWN, OLIVE, OLIVE, BROWN]))
    write_tga(os.path.join(tex, "leaves.tga"), 64, leaves(64))
    write_tga(os.path.join(tex, "crate_broken.tga"), 64, quadrants(64, [BROWN, BLACK, BLACK, BROWN]))
    write_tga(os.path.join(tex, "floor.tga"), 64, quadrants(64, [GREY, OLIVE, OLIVE, GREY]))
    write_tga(os.path.join(tex, "floor_high.tga"), 128, quadrants(128, [GREY, TEAL, TEAL, GREY]))
    write_tga(os.path.join(tex, "floor_detail.tga"), 32, quadrants(32, [DETAIL_MID, DETAIL_DARK, DETAIL_DARK, DETAIL_MID]))
    write_tga(os.path.join(tex, "blocker.tga"), 32, quadrants(32, [MAGENTA, BLACK, BLACK, MAGENTA]))
    write_tga(os.path.join(tex, "grate.tga"), 64, grate(64))
    write_tga(os.path.join(tex, "glass.tga"), 32, flat(32, CYAN, 128))
    write_tga(os.path.join(tex, "screen.tga"), 32, flat(32, NAVY))
    for k, c in enumerate((RED, GREEN, BLUE), 1):
        write_tga(os.path.join(tex, "screen_%d.tga" % k), 32, flat(32, c))
    write_tga(os.path.join(tex, "sign.tga"), 32, quadrants(32, [YELLOW, BLACK, BLACK, YELLOW]))
    write_dds(os.path.join(tex, "sign.dds"), 32, quadrants(32, [YELLOW, PURPLE, PURPLE, YELLOW]))
    write_tga(os.path.join(tex, "oil_stain.tga"), 8, flat(8, OIL))
    write_tga(os.path.join(tex, "dark_floor.tga"), 32, quadrants(32, [DARK_GREY, DARK_BROWN, DARK_BROWN, DARK_GREY]))
    write_tga(os.path.join(tex, "light_shaft.tga"), 8, flat(8, SHAFT))
    write_tga(os.path.join(tex, "water.tga"), 64, flat(64, TEAL))
    write_tga(os.path.join(tex, "water_normal.tga"), 64, noise_waves(64))
    write_tga(os.path.join(tex, "lava.tga"), 64, quadrants(64, [BROWN, RED, RED, BROWN]))
    write_tga(os.path.join(tex, "lava_flow.tga"), 64, checks(64, 8, [ORANGE, BROWN]))
    write_dds(os.path.join(tex, "metal_dxt1.dds"), 64, quadrants(64, [GREY, WHITE, WHITE, GREY]), b"DXT1")
    write_dds(os.path.join(tex, "rust_dxt5.dds"), 64, quadrants(64, [BROWN, ORANGE, ORANGE, BROWN], 192), b"DXT5")
    write_dds(os.path.join(tex, "paint.dds"), 32, quadrants(32, [GREEN, BLUE, BLUE, GREEN]))
    faces = [flat(16, c) for c in (RED, CYAN, GREEN, MAGENTA, BLUE, YELLOW)]
    write_dds(os.path.join(tex, "sky_cube.dds"), 16, None, faces=faces)
    sky = [("sky_nadir", BROWN), ("sky_horizon", ORANGE), ("sky_middle", SKY_BLUE), ("sky_high", BLUE),
           ("sky_zenith", NAVY)]
    for name, colour in sky:
        write_tga(os.path.join(tex, name + ".tga"), 8, flat(8, colour))
    write_tga(os.path.join(tex, "sky_clouds.tga"), 8, flat(8, WHITE, 128))
    write_tga(os.path.join(tex, "tarvok_noise.tga"), 64, noise(64))
    write_tga(os.path.join(tex, "alcove.tga"), 32, flat(32, ALCOVE))
    write_tga(os.path.join(tex, "alcove_normal.tga"), 32, flat(32, NORMAL_UP, 32))
    write_tga(os.path.join(tex, "alcove_detail.tga"), 32,
              quadrants(32, [DETAIL_MID, DETAIL_NEAR, DETAIL_NEAR, DETAIL_MID]))
    write_tga(os.path.join(tex, "bright_panel.tga"), 8, flat(8, (250, 250, 244)))
    # Alpha above one half: the whole panel is fully bright.
    write_tga(os.path.join(tex, "bright_panel_normal.tga"), 8, flat(8, NORMAL_UP, 255))
    write_tga(os.path.join(tex, "hud_vignetting.tga"), 64, vignette(64, 0.3))
    write_tga(os.path.join(tex, "hud_vignetting_light.tga"), 64, vignette(64, 0.8))
    write_tga(os.path.join(tex, "hud_ekran_krwi_16.tga"), 64, blood(64))

    scripts = os.path.join(root, "scripts")
    write_file(os.path.join(scripts, "textures.txt"), "\r\n".join([
        "texture bialy.tga",
        "priority",
        "",
        "texture crate.tga",
        "wood",
        "environmental sky_cube.dds",
        "specular 2.0 16.0",
        "",
        "texture crate_broken.tga",
        "wood",
        "",
        "texture floor.tga",
        "cement",
        "detail floor_detail.tga",
        "detail_density 8.0",
        "",
        "texture blocker.tga",
        "do_not_render",
        "",
        "texture grate.tga",
        "transparent",
        "metal",
        "2sided",
        "",
        "texture glass.tga",
        "translucent",
        "glass",
        "",
        "texture bark.tga",
        "wood",
        "",
        "texture leaves.tga",
        "transparent",
        "2sided",
        "",
        "texture screen.tga",
        "animation_frame screen_1.tga",
        "animation_frame screen_2.tga",
        "animation_frame screen_3.tga",
        "animation_speed 0.5",
        "no_light",
        "",
        "texture sign.tga",
        "additive",
        "",
        "texture oil_stain.tga",
        "stain",
        "",
        "texture dark_floor.tga",
        "cement",
        "",
        "texture light_shaft.tga",
        "ray_of_light",
        "appear_distance 2000",
        "2sided",
        "",
        "texture water.tga",
        "water",
        "normal water_normal.tga",
        "normal_density 1",
        "environmental sky_cube.dds",
        "water_height 8",
        "water_color 40 90 120",
        "water_transparent 0.85",
        "water_fog_far 6000",
        "water_fog_near 1500",
        "",
        "texture lava.tga",
        "lava lava_flow.tga",
        "lava_speed_up 60",
        "lava_speed_down 40",
        "lava_map_coef 0.8",
        "water_color 255 230 200",
        "water_fog_far 6000",
        "water_fog_near 1500",
        "no_light",
        "",
        "texture metal_dxt1.dds",
        "metal",
        "",
        "texture rust_dxt5.dds",
        "metal",
        "",
        "texture paint.dds",
        "plastic",
        "",
        "texture alcove.tga",
        "cement",
        "detail alcove_detail.tga",
        "detail_density 4.0",
        "environmental sky_cube.dds",
        "",
        "texture bright_panel.tga",
        "fully_bright_in_normal_mask",
        "",
    ] + [line for name, _ in sky for line in ("texture %s.tga" % name, "no_light", "no_fog", "")] + [
        "texture sky_clouds.tga",
        "translucent",
        "no_light",
        "no_fog",
        "",
    ] + gen_character.TEXTURE_DESCRIPTIONS).encode("ascii"))
    # A second file adds to the first: the glass block continues.
    write_file(os.path.join(scripts, "textures", "extra.txt"), "\r\n".join([
        "texture glass.tga",
        "no_fog",
        "",
    ]).encode("ascii"))
    write_file(os.path.join(scripts, "texture_substitutes.txt"), "\r\n".join([
        "texture crate.tga",
        "substitute crate.tga",
        "substitute crate_broken.tga",
        "",
    ] + gen_character.SUBSTITUTE_LINES).encode("ascii"))


if __name__ == "__main__":
    main()
