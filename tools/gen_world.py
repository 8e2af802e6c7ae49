#!/usr/bin/env python3
"""Writes the extra meshes of the demo world worlds\\test.w as text .x files.

    models/box_broken.x                    the wreck a destroyed crate leaves: a
                                           flattened 64-unit box (y from 0 to 16)
    models/blockers/visibility_blocker.x   the marker of a visibility blocker: one
                                           256 x 256 upright quad (two triangles)
                                           facing -z, standing on y = 0
    models/sign_glow.x                     a glowing sign (sign.tga, `additive`):
                                           a 96 x 48 upright quad facing -z
    models/oil_stain.x                     an oil stain (oil_stain.tga, `stain`):
                                           a 64 x 64 quad facing up, at y = 0
    models/light_shaft.x                   a light shaft from a window
                                           (light_shaft.tga, `ray_of_light`): a
                                           64 x 192 upright quad facing -z
    models/bright_panel.x                  a bright panel on the north wall
                                           (bright_panel.tga, near white): a
                                           64 x 64 upright quad facing -z
    models/dark_plane.x                    a dark patch of floor (dark_floor.tga):
                                           a 192 x 192 quad facing up, at y = 0

The floor, the walls and the crates use box.x and plane.x of gen_meshes.py,
whose .x writer this script shares. The world file and its Bezier path file
(data/worlds/test.w and test.bzr) are written by hand.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_meshes as meshes  # noqa: E402  (the shared .x writer)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "data", "models")


def upright_quad(size):
    h = size / 2.0
    # Clockwise seen from -z, the side it faces.
    return [((0, 0, -1), [(-h, size, 0.0), (h, size, 0.0), (h, 0.0, 0.0), (-h, 0.0, 0.0)])]


def upright_rect(width, height):
    h = width / 2.0
    # Clockwise seen from -z, the side it faces.
    return [((0, 0, -1), [(-h, height, 0.0), (h, height, 0.0), (h, 0.0, 0.0), (-h, 0.0, 0.0)])]


def main():
    files = {
        "box_broken.x": meshes.mesh_text("box_broken", meshes.box(64.0, 16.0), "textures\\crate_broken.tga"),
        os.path.join("blockers", "visibility_blocker.x"): meshes.mesh_text(
            "visibility_blocker", upright_quad(256.0), "textures\\blocker.tga"),
        "sign_glow.x": meshes.mesh_text("sign_glow", upright_rect(96.0, 48.0), "textures\\sign.tga"),
        "oil_stain.x": meshes.mesh_text("oil_stain", meshes.plane(64.0), "textures\\oil_stain.tga"),
        "light_shaft.x": meshes.mesh_text("light_shaft", upright_rect(64.0, 192.0), "textures\\light_shaft.tga"),
        "bright_panel.x": meshes.mesh_text("bright_panel", upright_rect(64.0, 64.0), "textures\\bright_panel.tga"),
        "dark_plane.x": meshes.mesh_text("dark_plane", meshes.plane(192.0), "textures\\dark_floor.tga"),
    }
    for name, text in files.items():
        path = os.path.join(OUT, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", newline="\n") as f:
            f.write(text)
        print("wrote", os.path.join("data", "models", name))


if __name__ == "__main__":
    main()
