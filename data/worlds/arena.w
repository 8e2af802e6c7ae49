editor_undo_pesel 0 0 40
world_general_properties
	fog 3158064 9000 3000 1
	fog_in_game 1
	global_ambient_light 4210752
	background_color 3158064
	farz 12000
	sky_light_use 1
	sky_light_direction 45 135
	sky_light_color 16774880
	sky_light_power 1.2
	sky_mesh models\sky.x
	vertex_ambient_brightness 1.1
	vertex_ambient_contrast 0.9
	vertex_ambient_color 1 0.95 0.9
	sounds_world_bank none

mesh models\plane.x
	pesel 2001 1 1
	name arena_floor
	xpos 0
	ypos 0
	zpos 0
	scaling_axis 3 1 3
	flags 13

mesh models\arena_wall.x
	pesel 2002 2 2
	name arena_wall_north
	xpos 0
	ypos 0
	zpos 1536
	scaling_axis 48 4 0.25
	flags 13

mesh models\arena_wall.x
	pesel 2003 3 3
	name arena_wall_south
	xpos 0
	ypos 0
	zpos -1536
	scaling_axis 48 4 0.25
	flags 13

mesh models\arena_wall.x
	pesel 2004 4 4
	name arena_wall_east
	xpos 1536
	ypos 0
	zpos 0
	scaling_axis 0.25 4 48
	flags 13

mesh models\arena_wall.x
	pesel 2005 5 5
	name arena_wall_west
	xpos -1536
	ypos 0
	zpos 0
	scaling_axis 0.25 4 48
	flags 13

light
	pesel 2006 6 6
	name game_start_point
	xpos 0
	ypos 37
	zpos -600
	range 0
	flags 0
	rotation_angles 0 0 0

mesh models\arena_pillar_a.x
	pesel 2007 7 7
	name arena_pillar_a
	xpos 0
	ypos 0
	zpos 300
	flags 13

mesh models\arena_pillar_b.x
	pesel 2008 8 8
	name arena_pillar_b
	xpos 600
	ypos 0
	zpos -420
	flags 13

mesh models\arena_pillar_c.x
	pesel 2009 9 9
	name arena_pillar_c
	xpos -600
	ypos 0
	zpos -420
	flags 13

mesh models\course_stairs16.x
	pesel 2010 10 10
	name arena_stairs16
	xpos -900
	ypos 0
	zpos 600
	flags 13

mesh models\course_stairs20.x
	pesel 2011 11 11
	name arena_stairs20
	xpos -770
	ypos 0
	zpos 600
	flags 13

mesh models\course_ramp40.x
	pesel 2012 12 12
	name arena_ramp40
	xpos -640
	ypos 0
	zpos 600
	flags 13

mesh models\course_ramp50.x
	pesel 2013 13 13
	name arena_ramp50
	xpos -510
	ypos 0
	zpos 600
	flags 13

mesh models\course_corner.x
	pesel 2014 14 14
	name arena_corner
	xpos -300
	ypos 0
	zpos 900
	flags 13

mesh models\course_ledge.x
	pesel 2015 15 15
	name arena_ledge
	xpos -1100
	ypos 0
	zpos 300
	flags 13

mesh models\course_ledge.x
	pesel 2016 16 16
	name arena_beam
	xpos 900
	ypos 56
	zpos -900
	flags 13

mesh models\box.x
	pesel 2017 17 17
	name arena_platform
	xpos 600
	ypos 0
	zpos 700
	scaling_axis 2 0.25 2
	bezier_moving_____start_node_name arena_platform_0
	bezier_moving_____params0 0 1 0 0 1 0 1
	flags 13

mesh models\box.x
	pesel 2018 18 18
	name arena_door
	xpos 0
	ypos 0
	zpos 1200
	scaling_axis 2 2.5 0.125
	action_general_opt 1 0
	action_door 1 1 90 45 0
	action_console_print Arena door swings
	flags 13

mesh models\box.x
	pesel 2019 19 19
	name arena_switch
	xpos 120
	ypos 48
	zpos 1180
	scaling_axis 0.25 0.25 0.25
	action_general_opt 1 1
	action_console_print Arena switch used
	action_give_action_to___mesh arena_door
	action_give_action_to___delay 0
	flags 13

light
	pesel 2020 20 20
	name arena_countdown_zone
	xpos -900
	ypos 32
	zpos -900
	range 64
	flags 0
	action_general_opt 1 1
	action_general_2 1 1
	action_countdown_turn_on 1
	action_countdown_time_in_seconds 3
	action_countdown_action_on_finish arena_countdown_end
	action_console_print Arena countdown started

light
	pesel 2021 21 21
	name arena_countdown_end
	xpos -900
	ypos 32
	zpos -1200
	range 0
	flags 0
	action_general_opt 1 0
	action_console_print Arena countdown over

light
	pesel 2022 22 22
	name arena_drive_zone
	xpos -300
	ypos 32
	zpos -1200
	range 64
	flags 0
	action_general_opt 1 1
	action_general_2 1 1
	action_player_move_and_view_turn_on_bezier_walk 1
	action_player_move_and_view_bezier_to_walk_on arena_walk_0
	action_console_print Arena drive started

light
	pesel 2023 23 23
	name arena_restriction_zone
	xpos 300
	ypos 32
	zpos -1200
	range 64
	flags 0
	action_general_opt 1 1
	action_general_2 1 1
	action_player_move_and_view_turn_on_movement_radius 1
	action_player_move_and_view_movement_radius 200
	action_console_print Arena restriction
