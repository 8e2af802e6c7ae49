#!/usr/bin/env python3
"""Writes the player's arena, worlds\\arena.w with its Bezier paths arena.bzr,
and its meshes, on the .x writer of gen_meshes.py.

The arena is a walled 3072 x 3072 floor (y = 0). The player starts at
"game_start_point", (0, 37, -600), looking along +z. Around him:

    ahead, at z = 300          the first pillar (arena_pillar_a)
    to the right, x = +600     the second pillar (arena_pillar_b) and to the
    to the left, x = -600      left the third (arena_pillar_c), both at
                               z = -420: straight to his sides after a
                               second's walk
    x from -900, z = 600       the movement course of gen_physics.py: stairs of
                               16 and 20, ramps of 40 and 50 degrees, the
                               corner, the ledge
    (900, 0, -900)             a low beam, its underside 56 above the floor:
                               a crouching body passes, a standing one not
    x 600 .. 1100, z = 700     a platform riding a Bezier path back and forth
    (0, 0, 1200)               a door, opened by the switch beside it
    zones (trigger lights)     a countdown of 3 s, a Bezier drive of the player,
                               a radius restriction of 200

    models/arena_pillar_a.x .. _c.x   64 x 256 x 64 pillars, each its own
                                      texture of the demo data: crate.tga,
                                      alcove.tga, floor.tga
    models/arena_wall.x               the walls' 64-unit block (bialy.tga)

Surfaces, sky and light are the demo data's own (the floor and the course
take floor.tga, the platform, door and switch crate.tga).
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_meshes as meshes  # noqa: E402  (the shared .x writer)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "data")

# The pillars' textures: three hues of the demo data that no special surface
# (water, lava) takes.
PILLARS = {
    "a": ("textures\\crate.tga", (0.0, 0.0, 300.0)),
    "b": ("textures\\alcove.tga", (600.0, 0.0, -420.0)),
    "c": ("textures\\floor.tga", (-600.0, 0.0, -420.0)),
}

HEADER = """world_general_properties
\tfog 3158064 9000 3000 1
\tfog_in_game 1
\tglobal_ambient_light 4210752
\tbackground_color 3158064
\tfarz 12000
\tsky_light_use 1
\tsky_light_direction 45 135
\tsky_light_color 16774880
\tsky_light_power 1.2
\tsky_mesh models\\sky.x
\tvertex_ambient_brightness 1.1
\tvertex_ambient_contrast 0.9
\tvertex_ambient_color 1 0.95 0.9
\tsounds_world_bank none
"""


class World:
    def __init__(self):
        self.parts = [HEADER]
        self.pesel = 2000

    def _object(self, head, name, pos, lines):
        self.pesel += 1
        p = self.pesel
        text = ["", head, "\tpesel %d %d %d" % (p, p - 2000, p - 2000), "\tname %s" % name]
        text += ["\txpos %g" % pos[0], "\typos %g" % pos[1], "\tzpos %g" % pos[2]]
        text += ["\t" + line for line in lines]
        self.parts.append("\n".join(text) + "\n")

    def mesh(self, file, name, pos, *lines):
        self._object("mesh " + file, name, pos, list(lines) + ([] if any(
            line.startswith("flags ") for line in lines) else ["flags 13"]))

    def zone(self, name, pos, radius, *lines):
        """A trigger light: its action runs when the player comes within the radius."""
        self._object("light", name, pos, ["range %g" % radius, "flags 0"] + list(lines))

    def text(self):
        return "editor_undo_pesel 0 0 40\n" + "".join(self.parts)


def arena():
    w = World()
    w.mesh("models\\plane.x", "arena_floor", (0, 0, 0), "scaling_axis 3 1 3", "flags 13")
    for name, pos, scale in (("arena_wall_north", (0, 0, 1536), "48 4 0.25"),
                             ("arena_wall_south", (0, 0, -1536), "48 4 0.25"),
                             ("arena_wall_east", (1536, 0, 0), "0.25 4 48"),
                             ("arena_wall_west", (-1536, 0, 0), "0.25 4 48")):
        w.mesh("models\\arena_wall.x", name, pos, "scaling_axis " + scale)
    # The start: a marker light of no range, facing +z.
    w._object("light", "game_start_point", (0, 37, -600), ["range 0", "flags 0", "rotation_angles 0 0 0"])

    for key, (_, pos) in PILLARS.items():
        w.mesh("models\\arena_pillar_%s.x" % key, "arena_pillar_%s" % key, pos)

    for i, (piece, x) in enumerate((("course_stairs16", -900), ("course_stairs20", -770), ("course_ramp40", -640),
                                    ("course_ramp50", -510))):
        w.mesh("models\\%s.x" % piece, "arena_" + piece[len("course_"):], (x, 0, 600))
    w.mesh("models\\course_corner.x", "arena_corner", (-300, 0, 900))
    w.mesh("models\\course_ledge.x", "arena_ledge", (-1100, 0, 300))
    w.mesh("models\\course_ledge.x", "arena_beam", (900, 56, -900))

    w.mesh("models\\box.x", "arena_platform", (600, 0, 700), "scaling_axis 2 0.25 2",
           "bezier_moving_____start_node_name arena_platform_0", "bezier_moving_____params0 0 1 0 0 1 0 1")

    w.mesh("models\\box.x", "arena_door", (0, 0, 1200), "scaling_axis 2 2.5 0.125", "action_general_opt 1 0",
           "action_door 1 1 90 45 0", "action_console_print Arena door swings")
    w.mesh("models\\box.x", "arena_switch", (120, 48, 1180), "scaling_axis 0.25 0.25 0.25",
           "action_general_opt 1 1", "action_console_print Arena switch used",
           "action_give_action_to___mesh arena_door", "action_give_action_to___delay 0")

    w.zone("arena_countdown_zone", (-900, 32, -900), 64, "action_general_opt 1 1", "action_general_2 1 1",
           "action_countdown_turn_on 1", "action_countdown_time_in_seconds 3",
           "action_countdown_action_on_finish arena_countdown_end", "action_console_print Arena countdown started")
    w.zone("arena_countdown_end", (-900, 32, -1200), 0, "action_general_opt 1 0",
           "action_console_print Arena countdown over")
    w.zone("arena_drive_zone", (-300, 32, -1200), 64, "action_general_opt 1 1", "action_general_2 1 1",
           "action_player_move_and_view_turn_on_bezier_walk 1",
           "action_player_move_and_view_bezier_to_walk_on arena_walk_0",
           "action_console_print Arena drive started")
    w.zone("arena_restriction_zone", (300, 32, -1200), 64, "action_general_opt 1 1", "action_general_2 1 1",
           "action_player_move_and_view_turn_on_movement_radius 1",
           "action_player_move_and_view_movement_radius 200", "action_console_print Arena restriction")
    return w.text()


def bezier_paths():
    nodes = [
        # The platform's path, there and back.
        ("arena_platform_0", 0, (600, 0, 700), (800, 0, 700), (900, 0, 700), 120, 1),
        ("arena_platform_1", 1, (1100, 0, 700), (900, 0, 700), (800, 0, 700), 120, 0),
        # The player's drive: from the drive zone out to the west and back.
        ("arena_walk_0", 10, (-300, 0, -1100), (-500, 0, -1100), (-700, 0, -1100), 110, 11),
        ("arena_walk_1", 11, (-900, 0, -1100), (-700, 0, -1100), (-500, 0, -1100), 110, 10),
    ]
    lines = []
    for name, nr, pos, k1, k2, speed, nxt in nodes:
        lines += ["bezier_node " + name, "nr %d" % nr, "pos %g %g %g" % pos, "ksztalt1 %g %g %g" % k1,
                  "ksztalt2 %g %g %g" % k2, "values %d 0 0 0 0" % speed, "next_in_path_nr %d" % nxt]
    return "\r\n".join(lines) + "\r\n"


def main():
    files = {os.path.join("models", "arena_pillar_%s.x" % key): meshes.mesh_text(
        "arena_pillar_" + key, meshes.box(64.0, 256.0), texture) for key, (texture, _) in PILLARS.items()}
    files[os.path.join("models", "arena_wall.x")] = meshes.mesh_text("arena_wall", meshes.box(64.0, 64.0),
                                                                     "textures\\bialy.tga")
    files[os.path.join("worlds", "arena.w")] = arena()
    for name, text in files.items():
        with open(os.path.join(DATA, name), "w", newline="\n") as f:
            f.write(text)
        print("wrote", os.path.join("data", name))
    with open(os.path.join(DATA, "worlds", "arena.bzr"), "w", newline="") as f:
        f.write(bezier_paths())
    print("wrote", os.path.join("data", "worlds", "arena.bzr"))


if __name__ == "__main__":
    main()
